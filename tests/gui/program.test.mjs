// The real quenvale program under Xvfb, driven through WebKitWebDriver: its own page over
// the quenvale:// scheme, the page's bridge to the wallet on a devnet (hello, the walls,
// selecting a free frame, placing an artwork), what the screen shows, and one running
// copy per instance.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { execFileSync } from 'node:child_process'
import { createHash } from 'node:crypto'
import { existsSync, mkdirSync, readdirSync, realpathSync, rmSync, writeFileSync } from 'node:fs'
import path from 'node:path'
import { World, Driver, BIN, PROGRAM, waitFor, sleep } from './support/harness.mjs'

const UNIT = 1.3
// Two metres in front of frame 5 (north wall of the hall), looking at it.
const BEFORE_FIVE = { x: 12 * UNIT, z: 2 * UNIT + 2, yaw: 0, pitch: 0 }
const SPACE = '\uE00D'
const state = (d) => d.exec('return window.__room.state()')

describe('the room in the program, against a devnet', () => {
  let world
  let driver
  let placedPic
  let freePic

  before(async () => {
    world = new World()
    await world.startDevnet()
    await world.openWallet()
    placedPic = await world.mint('Harbour', [200, 40, 40])
    freePic = await world.mint('Lantern', [40, 200, 60])
    const placed = await world.cli('place', '--frame', '2', '--origin', placedPic, '--weeks', '1')
    assert.match(placed, /^success/)
    await world.mine()
    // The page learns these from look.json through the port's look settings.
    mkdirSync(world.dataFolder, { recursive: true })
    // The wallet application's auto-approval: the admission is paid without the question.
    writeFileSync(path.join(world.env.LOCALAPPDATA, 'Orvane', 'nbutton_auto.json'), '{"on":true}\n')
    writeFileSync(path.join(world.dataFolder, 'look.json'), '{"quick":true,"fps":30}\n')
    driver = new Driver(world)
    await driver.start()
    await driver.newSession()
  })

  after(async () => {
    try { await driver?.endSession() } catch {}
    await world?.close()
  })

  test('the program opens its own page with window.chrome.webview', async () => {
    const [href, post, add, remove] = await driver.exec(`const v = window.chrome.webview;
      return [location.href, typeof v.postMessage, typeof v.addEventListener, typeof v.removeEventListener]`)
    assert.equal(href, 'quenvale://room/index.html?v=40')
    assert.deepEqual([post, add, remove], ['function', 'function', 'function'])
    assert.equal(await driver.exec('return Object.isFrozen(window.chrome.webview)'), true)
    // Off the scheme is refused: the view stays on the room.
    await driver.exec("location.href = 'http://127.0.0.1:9/'")
    await sleep(500)
    assert.equal(await driver.currentUrl(), 'quenvale://room/index.html?v=40')
  })

  test('the scheme serves the room with its types and nothing outside it', async () => {
    const [html, js, glb, missing, up] = await driver.execAsync(`const done = arguments[arguments.length - 1];
      const look = (u) => fetch(u).then((r) => [r.status, r.headers.get('content-type'), r.headers.get('access-control-allow-origin')]);
      Promise.all(['index.html', 'room.js?v=40', 'frame-1.glb?v=3', 'nothing.js', '%2e%2e/%2e%2e/%2e%2e/%2e%2e/etc/passwd'].map(look)).then(done)`)
    assert.deepEqual(html, [200, 'text/html; charset=utf-8', '*'])
    assert.deepEqual(js.slice(0, 2), [200, 'text/javascript; charset=utf-8'])
    assert.deepEqual(glb.slice(0, 2), [200, 'model/gltf-binary'])
    assert.equal(missing[0], 404)
    assert.notEqual(up[0], 200)
  })

  test('hello brings the look settings and the walls: the placed artwork hangs on its frame', async () => {
    await driver.url('quenvale://room/index.html?v=40&test')
    await waitFor('the room', () => driver.exec('return !!window.__room && window.__room.state().framesReady'), 30000)
    const look = await waitFor('the look reply', async () => {
      const s = await state(driver)
      return s.lookScale === 1.7 && s.frameRate === 30 && s
    }, 20000)
    assert.equal(look.lookScale, 1.7)
    const url = await waitFor('the picture on AP2', async () => (await state(driver)).frames[2].url, 60000)
    assert.match(url, /^spots\/ap2\.png/)
    const [status, type] = await driver.execAsync(`const done = arguments[arguments.length - 1];
      fetch(arguments[0]).then((r) => done([r.status, r.headers.get('content-type')]))`, [url])
    assert.deepEqual([status, type], [200, 'image/png'])
    assert.ok(!(await state(driver)).frames[5].url, 'AP5 is free')
  })

  test('walking through the gate pays the admission; the program answers "entered"', async () => {
    await driver.exec('window.__room.moveTo(arguments[0]); window.__room.step(0.15)', [BEFORE_FIVE])
    const gate = await waitFor('the admission', async () => {
      const s = await state(driver)
      return s.gate.paid && s.gate
    }, 60000, 250)
    assert.equal(gate.locked, false)
  })

  test('Space facing a free frame lists the wallet\'s artworks; Place hangs the chosen one', async () => {
    await driver.exec('window.__room.moveTo(arguments[0]); window.__room.step(0.15)', [BEFORE_FIVE])
    await driver.keys([SPACE])
    const panel = await waitFor('the place list', async () => {
      const s = await state(driver)
      return s.panel.visible && s.panel.arts.length > 0 && s.panel
    }, 60000)
    assert.equal(panel.spot, 5)
    const origins = panel.arts.map((a) => a.value)
    assert.ok(origins.includes(freePic), JSON.stringify(panel.arts))
    assert.ok(!origins.includes(placedPic), 'the artwork on AP2 is reserved')

    await driver.exec("document.getElementById('place-art').value = arguments[0]", [freePic])
    await driver.click(await driver.element('#week1'))
    await driver.click(await driver.element('#place-go'))
    const url = await waitFor('the picture on AP5', async () => (await state(driver)).frames[5].url, 90000, 250)
    assert.match(url, /^spots\/ap5\.png/)
    const s = await state(driver)
    assert.equal(s.working.visible, false)
    assert.equal(s.frames[5].plaque.includes('Lantern'), true, s.frames[5].plaque)
  })

  test('the page area shows the room, not a blank view', async () => {
    await driver.exec('window.__room.moveTo(arguments[0]); window.__room.render()', [{ ...BEFORE_FIVE, z: BEFORE_FIVE.z + 3 }])
    const shot = await driver.screenshot()
    assert.ok(shot.width >= 400 && shot.height >= 200, `${shot.width}x${shot.height}`)
    const colours = new Set()
    let lit = 0
    for (let i = 0; i < shot.width * shot.height; i++) {
      const [r, g, b] = shot.data.subarray(i * 4, i * 4 + 3)
      colours.add((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))
      if (Math.abs(r - 6) + Math.abs(g - 8) + Math.abs(b - 14) > 30) lit++
    }
    assert.ok(colours.size > 100, `only ${colours.size} colours`)
    assert.ok(lit > shot.width * shot.height * 0.2, `only ${lit} pixels differ from the background`)
  })

  test('ending the session closes the program through its close path', async () => {
    rmWindowFile(world)
    await driver.endSession()
    await waitFor('window.json written on close', () => existsSync(path.join(world.dataFolder, 'window.json')), 15000)
  })
})

function rmWindowFile (world) {
  rmSync(path.join(world.dataFolder, 'window.json'), { force: true })
}

// Top-level "Quenvale" windows that belong to the given processes (GTK sets _NET_WM_PID).
function quenvaleWindows (children) {
  const pids = new Set(children.map((c) => c.pid))
  const tree = execFileSync('xwininfo', ['-root', '-tree'], { encoding: 'utf8', timeout: 10000 })
  let n = 0
  for (const line of tree.split('\n')) {
    const m = /^\s*(0x[0-9a-f]+) "Quenvale"/.exec(line)
    if (!m) continue
    const prop = execFileSync('xprop', ['-id', m[1], '_NET_WM_PID'], { encoding: 'utf8', timeout: 10000 })
    const pid = /= (\d+)/.exec(prop)
    if (pid && pids.has(Number(pid[1]))) n++
  }
  return n
}

describe('one running copy per instance', () => {
  let world
  before(() => { world = new World() })
  after(async () => { await world?.close() })

  const showRequests = () => existsSync(world.dataFolder) ? readdirSync(world.dataFolder).filter((f) => f.endsWith('.show')) : []

  test('two copies started in the same instant: one window, the other exits 0 and the first takes its request', async () => {
    const a = world.spawn(PROGRAM, [])
    const b = world.spawn(PROGRAM, [])
    const first = await Promise.race([a.exited.then((e) => ({ e, gone: a, kept: b })), b.exited.then((e) => ({ e, gone: b, kept: a })), sleep(20000).then(() => null)])
    assert.ok(first, 'neither copy left within 20 s')
    assert.deepEqual(first.e, { code: 0, signal: null }, first.gone.output)
    await waitFor('the first copy\'s window', () => quenvaleWindows([a, b]) === 1, 20000)
    await waitFor('the show request taken', () => showRequests().length === 0, 5000)
    assert.equal(first.kept.exitCode, null, 'the first copy runs on: ' + first.kept.output)

    // A later start with the window up: the same.
    const c = world.spawn(PROGRAM, [])
    const later = await Promise.race([c.exited, sleep(15000).then(() => null)])
    assert.deepEqual(later, { code: 0, signal: null }, c.output)
    await waitFor('the show request taken', () => showRequests().length === 0, 5000)
    assert.equal(quenvaleWindows([a, b, c]), 1)
    assert.equal(first.kept.exitCode, null)
  })

  test('a start while the first copy is ending (lock held, no window) waits for it and then runs', async () => {
    for (const child of world.children) {
      if (child.exitCode === null && child.signalCode === null) process.kill(-child.pid, 'SIGKILL')
    }
    await Promise.all(world.children.map((c) => c.exited))
    // An ending copy holds the instance lock with its window gone: a holder of that lock
    // stands in for it, for a fixed time.
    const word = createHash('sha256').update(realpathSync(BIN)).digest('hex').slice(0, 16)
    const lockFile = path.join(world.dataFolder, 'instance-' + word + '.lock')
    assert.ok(existsSync(lockFile), 'the lock file the first copies used: ' + readdirSync(world.dataFolder))
    const holder = world.spawn('flock', ['-x', lockFile, '-c', 'echo held; sleep 3'])
    await waitFor('the lock held', () => holder.output.includes('held'), 10000)
    const later = world.spawn(PROGRAM, [])
    await sleep(1500)
    assert.equal(later.exitCode, null, 'the later start left while the lock was held: ' + later.output)
    assert.equal(quenvaleWindows([later]), 0)
    assert.deepEqual(await holder.exited, { code: 0, signal: null })
    await waitFor('the later copy\'s window', () => quenvaleWindows([later]) === 1, 20000)
    assert.deepEqual(showRequests(), [], 'its own request is not left for the next start')
    assert.equal(later.exitCode, null, later.output)
  })
})
