// From the setup program to the room, as a person on a fresh desktop goes: a silent install
// into a home of its own, the menu entry naming the installed program, that program started
// (not the build's), Connect bringing up the installed wallet window, the approval, the
// admission at the gate, and a removal that leaves the home as it was.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { execFileSync, spawnSync } from 'node:child_process'
import { existsSync, readFileSync, readlinkSync, readdirSync, lstatSync } from 'node:fs'
import path from 'node:path'
import { World, Driver, BIN, waitFor, processGone } from './support/harness.mjs'

const CLASS = 'OrvaneWendrelShell'

/** Every path below dir, relative and sorted; folders end in "/". */
function treeOf (dir) {
  const out = []
  const walk = (rel) => {
    for (const name of readdirSync(path.join(dir, rel))) {
      const r = rel ? rel + '/' + name : name
      if (lstatSync(path.join(dir, r)).isDirectory()) { out.push(r + '/'); walk(r) } else out.push(r)
    }
  }
  walk('')
  return out.sort()
}

function setup (program, args, env) {
  const r = spawnSync(program, args, { env, encoding: 'utf8', timeout: 60000 })
  return { code: r.status, output: (r.stdout || '') + (r.stderr || '') }
}

/** The processes showing a window of the wallet's class. */
function walletWindowPids () {
  const found = spawnSync('xdotool', ['search', '--class', CLASS], { encoding: 'utf8', timeout: 10000 })
  const pids = new Set()
  for (const id of found.stdout.split('\n').filter(Boolean)) {
    const pid = spawnSync('xdotool', ['getwindowpid', id], { encoding: 'utf8', timeout: 10000 }).stdout.trim()
    if (pid) pids.add(Number(pid))
  }
  return [...pids]
}

describe('installed by the setup program, connected through the wallet window', () => {
  let world
  let driver
  let folder
  let homeBefore
  let walletId

  before(async () => {
    world = new World()
    await world.startDevnet()
    // Two wallets: with a lone one the gallery binds it without asking.
    await world.wendrel('create', '--name', 'Savings')
    walletId = (await world.wendrel('create', '--name', 'Newcomer')).split('\n')[0].trim()
    const shown = JSON.parse(await world.wendrel('show', walletId, '--json'))
    await world.admin('/devnet/fund', { address: shown.address, sats: 300000, confirmed: true })
    // The admission is paid from a wallet with a published paymail.
    await world.wendrel('paymail', 'newcomer', '--wallet', walletId)
    world.autoApprove()
    homeBefore = treeOf(world.env.HOME)
    folder = path.join(world.dir, 'apps', 'Quenvale')
    driver = new Driver(world)
    await driver.start()
  })

  after(async () => {
    try { await driver?.endSession() } catch {}
    await world?.close()
  })

  test('install, start from the menu entry\'s program, connect, walk in; then remove', async () => {
    const installed = setup(path.join(BIN, 'quenvale-setup'), ['/S', `/D=${folder}`], world.env)
    assert.equal(installed.code, 0, installed.output)
    const entry = readFileSync(path.join(world.env.XDG_DATA_HOME, 'applications', 'quenvale.desktop'), 'utf8')
    const exec = /^Exec=(.*)$/m.exec(entry)
    assert.ok(exec, entry)
    const program = exec[1].replace(/^"(.*)"$/, '$1')
    assert.equal(program, path.join(folder, 'quenvale'))

    await driver.newSession(program)
    const pid = driver.programPid()
    assert.ok(pid > 0, 'the installed program runs')
    assert.equal(readlinkSync(`/proc/${pid}/exe`), program)
    await driver.openRoom()
    const first = await driver.ask({ op: 'hello' }, (m) => m.op === 'walls' || m.op === 'need-connect' || m.op === 'look')
    assert.ok(first)

    // Connect: no wallet window is up, so the program starts the installed one.
    assert.deepEqual(walletWindowPids(), [])
    const from = await driver.exec('const n = window.__heard.length; window.chrome.webview.postMessage({ op: "connect" }); return n')
    const windowPid = await waitFor('the wallet window', () => walletWindowPids()[0], 30000, 200)
    assert.equal(readlinkSync(`/proc/${windowPid}/exe`), path.join(folder, 'wendrel'))
    const requests = JSON.parse(await waitFor('the connect request', async () => {
      const listed = await world.wendrel('requests', '--json')
      return JSON.parse(listed).length > 0 && listed
    }, 20000, 200))
    assert.equal(requests.length, 1)
    await world.wendrel('approve', '--wallet', walletId)
    const connected = await waitFor('"connected"', async () => {
      const heard = await driver.exec('return window.__heard.slice(arguments[0])', [from])
      return heard.find((m) => m.op === 'connected' || m.op === 'need-connect')
    }, 60000, 200)
    assert.deepEqual(connected, { op: 'connected', status: 'Connected.' })

    // Through the gate: the admission is paid from the connected wallet.
    const entered = await driver.send({ op: 'enter' }, (m) => m.op === 'entered' || m.op === 'unpaid')
    assert.equal(entered.op, 'entered', JSON.stringify(entered))

    await driver.closeWindow()
    await waitFor('the program to exit', () => processGone(pid), 20000, 100)
    try { await driver.endSession() } catch {}
    process.kill(windowPid, 'SIGTERM')
    await waitFor('the wallet window to close', () => processGone(windowPid), 10000, 100)

    // The removal, run from the copy the install left beside the program.
    const removed = setup(path.join(folder, 'quenvale-setup'), ['/uninstall', '/S'], world.env)
    assert.equal(removed.code, 0, removed.output)
    assert.ok(!existsSync(folder), 'the install folder is gone')
    // What the programs wrote for the person (wallets, data) is theirs and stays; of the
    // setup's own things nothing is left in the home.
    const left = treeOf(world.env.HOME).filter((p) => !homeBefore.includes(p))
    const ours = left.filter((p) => /quenvale/i.test(p) && !p.startsWith('.local/share/Orvane') && !p.startsWith('.cache/'))
    assert.deepEqual(ours, [], `left in the home: ${left.join(', ')}`)
  })
})
