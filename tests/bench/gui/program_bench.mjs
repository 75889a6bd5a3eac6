// Speed figures of the real quenvale program under Xvfb, driven through WebKitWebDriver
// against a devnet with a prepared wallet: start to "hello" and to the placed artwork,
// resident memory of the host and its web process, the longest stall of the host's
// user-interface thread during a place, and the room's frame rate beside one full-screen
// textured quad in the same web view. Not a test: it prints figures and the goals.
//   xvfb-run -a -s '-screen 0 1280x800x24' node tests/bench/gui/program_bench.mjs
//   (BENCH_SECONDS=8 for longer frame-rate samples)
import { copyFileSync, mkdirSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs'
import { execFileSync } from 'node:child_process'
import { performance } from 'node:perf_hooks'
import path from 'node:path'
import { World, Driver, BIN, PROGRAM, waitFor, sleep } from '../../gui/support/harness.mjs'

const SECONDS = Number(process.env.BENCH_SECONDS || 5)
const GOALS = { helloMs: 2000, stallMs: 50, hostMB: 200 }
const VIEW = { width: 1280, height: 720 }
const UNIT = 1.3
// Two metres in front of frame 5 (north wall of the hall), looking at it.
const BEFORE_FIVE = { x: 12 * UNIT, z: 2 * UNIT + 2, yaw: 0, pitch: 0 }
const VIEWS = [
  { name: 'gate', x: 12.2 * UNIT, z: 15.6 * UNIT, yaw: 0, pitch: 0 },
  { name: 'hall', x: 12.2 * UNIT, z: 12.6 * UNIT, yaw: 0.35, pitch: 0.05 },
  { name: 'floor two', x: 12.2 * UNIT, z: 13.6 * UNIT, yaw: -0.2, pitch: 0.1, level: 1 }
]
const SPACE = '\uE00D'
const ROOM = 'quenvale://room/index.html?v=40'
// Served from the web folder for the bench only, so navigation stays on the scheme.
const QUAD_SOURCE = new URL('./quad.html', import.meta.url)
const QUAD_FILE = path.join(BIN, 'QuenvaleWeb', 'bench-quad.html')

// ---- processes ---------------------------------------------------------------------------
function childrenOf (pid) {
  const out = []
  try {
    for (const task of readdirSync(`/proc/${pid}/task`)) {
      out.push(...readFileSync(`/proc/${pid}/task/${task}/children`, 'utf8').trim().split(/\s+/).filter(Boolean).map(Number))
    }
  } catch {}
  return out
}
const commOf = (pid) => { try { return readFileSync(`/proc/${pid}/comm`, 'utf8').trim() } catch { return '' } }
const statusField = (pid, name) => {
  try {
    const m = new RegExp(`^${name}:\\s+(\\d+) kB`, 'm').exec(readFileSync(`/proc/${pid}/status`, 'utf8'))
    return m ? Number(m[1]) * 1024 / 1e6 : NaN
  } catch { return NaN }
}
/** The program the driver started, and WebKit's helpers under it, by their names. */
function programProcesses (driverPid) {
  const host = childrenOf(driverPid).find((c) => {
    try { return readFileSync(`/proc/${c}/cmdline`, 'utf8').split('\0')[0] === PROGRAM } catch { return false }
  })
  if (!host) return null
  const all = []
  const walk = (p) => { for (const c of childrenOf(p)) { all.push(c); walk(c) } }
  walk(host)
  return {
    host,
    web: all.find((p) => commOf(p).startsWith('WebKitWebProces')),
    network: all.find((p) => commOf(p).startsWith('WebKitNetworkPr'))
  }
}
/** When a process started, in epoch milliseconds (clock-tick resolution). */
function startedAt (pid) {
  const boot = Number(/^btime (\d+)$/m.exec(readFileSync('/proc/stat', 'utf8'))[1])
  const stat = readFileSync(`/proc/${pid}/stat`, 'utf8')
  const ticks = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[19])
  const hz = Number(execFileSync('getconf', ['CLK_TCK'], { encoding: 'utf8' }).trim())
  return boot * 1000 + ticks * 1000 / hz
}

// ---- the page ----------------------------------------------------------------------------
// The host answers hello with "look" at once (the bridge's hello handler), so the arrival of
// that answer dates hello from outside the page; "walls" follows from a worker. Recorded
// in the page's clock: milliseconds since its navigation, plus the epoch of that.
// The page marks when it said hello and first heard each kind of reply (its boot script says
// hello before a session could listen).
const ORIGIN = 'return { origin: performance.timeOrigin, hello: (performance.getEntriesByName("quenvale:hello")[0] || {}).startTime }'
const heardAt = (driver, op) => driver.exec('const m = performance.getEntriesByName("quenvale:heard:" + arguments[0])[0]; return m ? m.startTime : null', [op])

/** Resizes the window until the web view is VIEW (the header's height follows the window's). */
async function sizeView (driver) {
  for (let i = 0; i < 4; i++) {
    const [w, h] = await driver.exec('return [innerWidth, innerHeight]')
    if (w === VIEW.width && h === VIEW.height) return [w, h]
    const rect = await driver.call('GET', driver.s('/window/rect'))
    await driver.call('POST', driver.s('/window/rect'), { width: rect.width + VIEW.width - w, height: rect.height + VIEW.height - h })
    await sleep(500)
  }
  return driver.exec('return [innerWidth, innerHeight]')
}

async function drawnPerSecond (driver, counter) {
  const before = await driver.exec(`return ${counter}`)
  const t0 = performance.now()
  await sleep(SECONDS * 1000)
  const after = await driver.exec(`return ${counter}`)
  return (after - before) / ((performance.now() - t0) / 1000)
}

/**
 * Round trips that the host's user-interface thread answers, every 16 ms until stop():
 * the window's rectangle (answered in the host alone) alternating with a one-line script
 * (host and web process). The longest of each, and the longest gap between answers.
 */
function probe (driver) {
  let stopped = false
  const rect = []
  const script = []
  let longestGap = 0
  const done = (async () => {
    let last = performance.now()
    for (let i = 0; !stopped; i++) {
      const t = performance.now()
      if (i % 2 === 0) await driver.call('GET', driver.s('/window/rect'))
      else await driver.exec('return 0')
      const end = performance.now()
      ;(i % 2 === 0 ? rect : script).push(end - t)
      longestGap = Math.max(longestGap, end - last)
      last = end
      const wait = 16 - (performance.now() - t)
      if (wait > 0) await sleep(wait)
    }
  })()
  return async () => {
    stopped = true
    await done
    const top = (a) => a.length ? Math.max(...a) : NaN
    const median = (a) => a.length ? [...a].sort((x, y) => x - y)[a.length >> 1] : NaN
    return { rect: top(rect), script: top(script), gap: longestGap, median: median(rect), n: rect.length + script.length }
  }
}

// ---- the run -----------------------------------------------------------------------------
const world = new World()
const driver = new Driver(world)
const fig = {}
try {
  await world.startDevnet()
  await world.openWallet()
  const placedPic = await world.mint('Harbour', [200, 40, 40])
  const freePic = await world.mint('Lantern', [40, 200, 60])
  const placed = await world.cli('place', '--frame', '2', '--origin', placedPic, '--weeks', '1')
  if (!placed.startsWith('success')) throw new Error('place: ' + placed)
  await world.mine()
  mkdirSync(world.dataFolder, { recursive: true })
  // The wallet application's auto-approval: the admission is paid without the question.
  writeFileSync(path.join(world.env.LOCALAPPDATA, 'Orvane', 'nbutton_auto.json'), '{"on":true}\n')
  writeFileSync(path.join(world.dataFolder, 'look.json'), '{"quick":false,"fps":60}\n')
  copyFileSync(QUAD_SOURCE, QUAD_FILE)

  await driver.start()
  const sessionAsked = Date.now()
  await driver.newSession()
  fig.session = Date.now() - sessionAsked
  const procs = programProcesses(driver.process.pid)
  if (!procs) throw new Error('the quenvale process was not found under the driver')
  const started = startedAt(procs.host)

  // The program's own first page, as a user sees it.
  const look = await waitFor('hello answered on the first page', () => heardAt(driver, 'look'), 60000, 50)
  const page = await driver.exec(ORIGIN)
  fig.saidHello = page.origin + page.hello - started
  fig.hello = page.origin + look - started
  fig.walls = page.origin + (await waitFor('the walls on the first page', () => heardAt(driver, 'walls'), 60000, 50)) - started

  // A place through the page as the GUI suite makes one (the page's clock held, so the
  // probe sees the host rather than software rendering): the gate first, then Space at frame 5.
  await driver.url(ROOM + '&test')
  await waitFor('the room', () => driver.exec('return !!window.__room && window.__room.state().framesReady'), 30000)
  await driver.exec('window.__room.moveTo(arguments[0]); window.__room.step(0.15)', [BEFORE_FIVE])
  await waitFor('the admission', async () => (await driver.exec('return window.__room.state().gate.paid')), 60000, 250)
  const stopIdle = probe(driver)
  await sleep(2000)
  fig.idle = await stopIdle()
  await driver.exec('window.__room.moveTo(arguments[0]); window.__room.step(0.15)', [BEFORE_FIVE])
  await driver.keys([SPACE])
  await waitFor('the place list', async () => {
    const p = (await driver.exec('return window.__room.state().panel'))
    return p.visible && p.arts.some((a) => a.value === freePic)
  }, 60000)
  await driver.exec("document.getElementById('place-art').value = arguments[0]", [freePic])
  await driver.click(await driver.element('#week1'))
  const stopPlace = probe(driver)
  const placeStarted = performance.now()
  await driver.click(await driver.element('#place-go'))
  await waitFor('the picture on frame 5', async () => (await driver.exec('return window.__room.state().frames[5].url')), 120000, 100)
  fig.placeMs = performance.now() - placeStarted
  fig.place = await stopPlace()

  // The room with its test hook, kept at full resolution: hello is when the frame models
  // are placed (framesReady), the walls painted at the first frame drawn with the picture
  // on frame 2; both dated in the page at the animation frame that sees them.
  await driver.url(ROOM + '&test&live&fullres')
  await waitFor('the test hook', () => driver.exec('return !!window.__room'), 30000, 20)
  fig.lateWatch = await driver.exec(`const w = window; const late = w.__room.state().framesReady;
    (function look () {
      const s = w.__room.state();
      if (s.framesReady && !w.__readyAt) w.__readyAt = performance.now();
      if (s.frames[2] && s.frames[2].url) {
        const n = s.drawn;
        (function drawn () { if (w.__room.state().drawn > n) w.__wallsAt = performance.now(); else requestAnimationFrame(drawn) })();
      } else requestAnimationFrame(look);
    })();
    return late`)
  fig.reloadHello = await waitFor('the frame models placed', () => driver.exec('return window.__readyAt || 0'), 60000, 50)
  fig.reloadWalls = await waitFor('the picture on frame 2', () => driver.exec('return window.__wallsAt || 0'), 60000, 50)

  fig.view = await sizeView(driver)
  fig.pixelRatio = (await driver.exec('return window.__room.state().pixelRatio'))
  fig.roomFps = {}
  for (const v of VIEWS) {
    await driver.exec('window.__room.moveTo(arguments[0])', [v])
    await sleep(1500)
    fig.roomFps[v.name] = await drawnPerSecond(driver, 'window.__room.state().drawn')
  }

  fig.rss = Object.fromEntries(Object.entries(procs).map(([k, pid]) => [k, pid ? { now: statusField(pid, 'VmRSS'), peak: statusField(pid, 'VmHWM') } : null]))

  // The ceiling: the same web view and size, one textured quad a frame.
  await driver.url('quenvale://room/bench-quad.html')
  await waitFor('the quad page', () => driver.exec('return !!window.__quad && window.__quad.ok()'), 20000)
  fig.quadSize = await driver.exec('return window.__quad.size()')
  await sleep(1500)
  fig.quadFps = await drawnPerSecond(driver, 'window.__quad.drawn()')
} finally {
  try { await driver.endSession() } catch {}
  await world.close()
  rmSync(QUAD_FILE, { force: true })
}

// ---- the figures -------------------------------------------------------------------------
const ms = (v) => Math.round(v) + ' ms'
const mb = (v) => v.toFixed(0) + ' MB'
const verdict = (ok) => ok ? 'ok' : 'OVER'
const rows = []
rows.push(['WebDriver session (program start and view)', ms(fig.session), ''])
rows.push(['program start -> page said hello', ms(fig.saidHello), ''])
rows.push(['program start -> hello answered (first page)', ms(fig.hello), `goal <= ${GOALS.helloMs} ms: ${verdict(fig.hello <= GOALS.helloMs)}`])
rows.push(['program start -> walls answered (first page)', ms(fig.walls), ''])
rows.push(['navigation -> hello (page with test hook)', (fig.lateWatch ? '<= ' : '') + ms(fig.reloadHello), ''])
rows.push(['navigation -> walls painted (picture on frame 2)', ms(fig.reloadWalls), ''])
const host = fig.rss.host
rows.push(['host quenvale RSS after a place (peak)', `${mb(host.now)} (${mb(host.peak)})`, `goal <= ${GOALS.hostMB} MB: ${verdict(host.peak <= GOALS.hostMB)}`])
for (const k of ['web', 'network']) {
  const r = fig.rss[k]
  rows.push([`WebKit ${k} process RSS (peak)`, r ? `${mb(r.now)} (${mb(r.peak)})` : 'not found', ''])
}
rows.push(['place, click to picture on frame', ms(fig.placeMs), ''])
rows.push(['UI thread, longest window-rect round trip in place', ms(fig.place.rect), `goal <= ${GOALS.stallMs} ms: ${verdict(fig.place.rect <= GOALS.stallMs)}`])
rows.push(['  same, idle room (median in place)', `${ms(fig.idle.rect)} (${ms(fig.place.median)})`, ''])
rows.push(['  longest script round trip in place / idle', `${ms(fig.place.script)} / ${ms(fig.idle.script)}`, 'host and web process'])
rows.push(['  longest gap between answers in place / idle', `${ms(fig.place.gap)} / ${ms(fig.idle.gap)}`, `${fig.place.n} probes, every 16 ms`])
const fpsText = Object.entries(fig.roomFps).map(([k, v]) => `${k} ${v.toFixed(1)}`).join(', ')
rows.push([`room fps at ${fig.view.join('x')} (pixel ratio ${fig.pixelRatio})`, fpsText, 'look fps 60'])
rows.push([`one textured quad fps at ${fig.quadSize.join('x')}`, fig.quadFps.toFixed(1), 'ceiling of this view'])
const width = Math.max(...rows.map((r) => r[0].length))
const width2 = Math.max(...rows.map((r) => r[1].length))
for (const [a, b, c] of rows) console.log(`${a.padEnd(width)}  ${b.padEnd(width2)}  ${c}`.trimEnd())
