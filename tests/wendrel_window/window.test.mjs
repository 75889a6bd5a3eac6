// The wallet window (wendrel with no command) under Xvfb: the real program, a devnet, the
// gallery's own connect (quenvale-cli connect), and clicks and keys from xdotool. Under
// --automation the window prints "at NAME X Y" for its buttons and entries, "status TEXT"
// for what it tells the person and "balance ID SATS" when a balance arrives.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { execFile } from 'node:child_process'
import { existsSync, readFileSync, rmSync } from 'node:fs'
import path from 'node:path'
import { World, BIN, ROOT, run, sleep, waitFor } from '../gui/support/harness.mjs'

const WENDREL = path.join(BIN, 'wendrel')
const CLASS = 'OrvaneWendrelShell'

/** Runs a program and resolves with its exit code and output, whatever the code. */
function outcome (program, args, env, ms = 30000) {
  return new Promise((resolve) => {
    execFile(program, args, { env, timeout: ms }, (err, stdout, stderr) => {
      resolve({ code: err ? (typeof err.code === 'number' ? err.code : -1) : 0, stdout, stderr })
    })
  })
}

const xdotool = (...args) => run('/usr/bin/xdotool', args, process.env, 10000)

async function windowsOfClass () {
  const r = await outcome('/usr/bin/xdotool', ['search', '--class', CLASS], process.env)
  return r.stdout.split('\n').filter(Boolean)
}

describe('the wallet window', () => {
  let world
  let win
  let spending
  let savings

  // What the window printed after mark: the last place of a widget, a status line.
  const mark = () => win.output.length
  const placeOf = (name, from = 0) => {
    const lines = win.output.slice(from).split('\n')
    let at = null
    for (const line of lines) {
      const m = /^at (\S+) (-?\d+) (-?\d+)$/.exec(line)
      if (m && m[1] === name) at = { x: Number(m[2]), y: Number(m[3]) }
    }
    return at
  }
  // A busy machine can hold a window's first drawing back for seconds.
  const waitPlace = (name, from = 0) => waitFor(`the window's ${name}`, () => placeOf(name, from), 30000)
    .catch((e) => { throw new Error(`${e.message}; exit ${win.exitCode}; output: ${win.output}`) })
  const statusAfter = (from) => waitFor('a status line', () => {
    const m = /^status (.*)$/m.exec(win.output.slice(from))
    return m && m[1]
  }, 15000)
  const press = async (name, from = 0) => {
    const at = await waitPlace(name, from)
    await xdotool('mousemove', String(at.x), String(at.y), 'sleep', '0.2', 'click', '1')
  }
  const type = (text) => xdotool('type', '--delay', '15', text)
  const key = (k) => xdotool('key', k)
  const requestShown = (from) => waitFor('a connect request row', () => {
    const m = /^at approve:(\S+) /m.exec(win.output.slice(from))
    return m && m[1]
  }, 15000)
  const reply = (id) => JSON.parse(readFileSync(path.join(world.env.LOCALAPPDATA, 'Orvane', 'connect', id + '.rep.json'), 'utf8'))
  // The gallery's connect, killed with the world should a test fail before it ends.
  const connectInBackground = async () => {
    const child = world.spawn(path.join(BIN, 'quenvale-cli'), ['connect', '--json'])
    const { code } = await child.exited
    return { code, stdout: child.output, stderr: '' }
  }
  const wallets = async () => JSON.parse(await world.wendrel('list', '--json'))

  before(async () => {
    world = new World()
    await world.startDevnet()
    // Two wallets, so the gallery is not bound to a lone wallet at start and must ask.
    spending = (await world.wendrel('create', '--name', 'Spending')).trim()
    savings = (await world.wendrel('create', '--name', 'Savings')).trim()
    const shown = JSON.parse(await world.wendrel('show', savings, '--json'))
    await world.admin('/devnet/fund', { address: shown.address, sats: 12345, confirmed: true })
    win = world.spawn(WENDREL, ['--automation'])
    await waitPlace('new')
  })

  after(async () => {
    await world?.close()
  })

  test('carries the class the gallery raises; a second start raises it and exits', async () => {
    const ids = await windowsOfClass()
    assert.equal(ids.length, 1, `windows of class ${CLASS}: ${ids}`)
    const cls = await run('/usr/bin/xprop', ['-id', ids[0], 'WM_CLASS'], process.env, 10000)
    assert.match(cls, /"OrvaneWendrelShell"/)
    const second = await outcome(WENDREL, [], world.env)
    assert.equal(second.code, 0, second.stderr)
    assert.match(second.stdout, /already open/)
    assert.equal(win.exitCode, null, 'the first window is still running')
    assert.deepEqual(await windowsOfClass(), ids)
  })

  test('lists the wallets with the active one marked and fetches its balance off the UI thread', async () => {
    assert.ok(placeOf('wallet:' + spending) && placeOf('wallet:' + savings), win.output)
    const listed = await wallets()
    assert.equal(listed.find((w) => w.active).id, savings)
    await waitFor('the balance of the active wallet', () => new RegExp(`^balance ${savings} 12345$`, 'm').test(win.output), 20000)
  })

  test('Deny in the window fails the gallery\'s connect with the deny text', async () => {
    const from = mark()
    const connect = connectInBackground()
    const request = await requestShown(from)
    await press('deny:' + request)
    const r = await connect
    assert.equal(r.code, 1, r.stdout + r.stderr)
    assert.equal(JSON.parse(r.stdout).result, 'error: connect denied in Wendrel.')
    assert.deepEqual(reply(request), { ok: false })
    assert.match(await statusAfter(from), new RegExp(`^Denied ${request}`))
  })

  test('Approve in the window connects the gallery to the active wallet, preselected in the row', async () => {
    const from = mark()
    const connect = connectInBackground()
    const request = await requestShown(from)
    await press('approve:' + request)
    const r = await connect
    assert.equal(r.code, 0, r.stdout + r.stderr)
    const result = JSON.parse(r.stdout)
    assert.equal(result.ok, true)
    assert.equal(result.wallet_id, savings)
    assert.deepEqual(reply(request), { ok: true, wallet_id: savings })
    // Answered: the row is gone and the same request cannot be answered twice.
    assert.deepEqual(JSON.parse(await world.wendrel('requests', '--json')), [])
  })

  test('a wallet picked in the row is the one the reply names', async () => {
    await world.cli('disconnect')
    const from = mark()
    const connect = connectInBackground()
    const request = await requestShown(from)
    // The choice lists the wallets in registry order with the active one (Savings) chosen;
    // one up is Spending.
    await press('choice:' + request)
    await key('Up')
    await key('Return')
    await press('approve:' + request)
    const r = await connect
    assert.equal(r.code, 0, r.stdout + r.stderr)
    assert.equal(JSON.parse(r.stdout).wallet_id, spending)
    assert.deepEqual(reply(request), { ok: true, wallet_id: spending })
  })

  test('New wallet shows its words once in the window and never on the output', async () => {
    const from = mark()
    await press('new')
    await press('field0', from)
    await type('Window made')
    await key('Return')
    const status = await statusAfter(from)
    const made = /^Made wallet (\S+)\.$/.exec(status)
    assert.ok(made, status)
    const listed = await wallets()
    const row = listed.find((w) => w.id === made[1])
    assert.ok(row && row.name === 'Window made' && row.active, JSON.stringify(listed))
    const words = JSON.parse(await world.wendrel('show', made[1], '--json', '--reveal')).mnemonic.split(' ')
    assert.equal(words.length, 12)
    for (let i = 0; i + 1 < words.length; i++) {
      assert.ok(!win.output.includes(words[i] + ' ' + words[i + 1]), 'the words reached the output')
    }
    // The words dialog (placed after the status line) closes on its button.
    await press('dialog-ok', win.output.lastIndexOf('status Made wallet'))
  })

  test('Seal and Unseal with a password; a wrong one leaves the wallet sealed', async () => {
    const id = (await wallets()).find((w) => w.active).id
    let from = mark()
    await press('seal')
    await press('field0', from)
    await type('pass word 1')
    await press('field1', from)
    await type('pass word 1')
    await key('Return')
    assert.equal(await statusAfter(from), `Sealed wallet ${id}.`)
    assert.equal(JSON.parse(await world.wendrel('show', id, '--json')).sealed, true)

    from = mark()
    await press('unseal')
    await press('field0', from)
    await type('not it')
    await key('Return')
    assert.match(await statusAfter(from), /^error: wrong password/)
    assert.equal(JSON.parse(await world.wendrel('show', id, '--json')).sealed, true)

    from = mark()
    await press('unseal')
    await press('field0', from)
    await type('pass word 1')
    await key('Return')
    assert.equal(await statusAfter(from), `Unsealed wallet ${id}.`)
    assert.equal(JSON.parse(await world.wendrel('show', id, '--json')).sealed, false)
    assert.ok(!win.output.includes('pass word'), 'a password reached the output')
  })

  test('closes when its platform folder is removed', async () => {
    win.kill('SIGTERM')
    await win.exited
    const again = world.spawn(WENDREL, ['--automation'])
    await waitFor('the second window', () => /^at new /m.test(again.output), 30000)
      .catch((e) => { throw new Error(`${e.message}; exit ${again.exitCode}; output: ${again.output}`) })
    rmSync(path.join(world.env.LOCALAPPDATA, 'Orvane'), { recursive: true, force: true, maxRetries: 5 })
    const end = await Promise.race([again.exited, sleep(5000).then(() => 'still running')])
    assert.deepEqual(end, { code: 0, signal: null }, again.output)
    assert.ok(!existsSync(path.join(world.env.LOCALAPPDATA, 'Orvane')), 'the folder came back')
  })

  test('without a display it says so in one line; the commands still work', async () => {
    const env = { ...world.env }
    delete env.DISPLAY
    const r = await outcome(WENDREL, [], env)
    assert.notEqual(r.code, 0)
    assert.equal(r.stdout, '')
    assert.match(r.stderr, /^wendrel: error: no display for the wallet window[^\n]*\n$/)
    const made = await outcome(WENDREL, ['create', '--name', 'Headless'], env)
    assert.equal(made.code, 0, made.stderr)
    const listed = await outcome(WENDREL, ['list', '--json'], env)
    assert.equal(listed.code, 0, listed.stderr)
    assert.deepEqual(JSON.parse(listed.stdout).map((w) => w.name), ['Headless'])
  })
})

test('the desktop entry is valid and names the window\'s class', async () => {
  const file = path.join(ROOT, 'resources', 'wendrel.desktop')
  await run('/usr/bin/desktop-file-validate', [file], process.env, 10000)
  const text = readFileSync(file, 'utf8')
  assert.match(text, /^Exec=wendrel$/m)
  assert.match(text, /^StartupWMClass=OrvaneWendrelShell$/m)
  assert.ok(existsSync(path.join(BIN, '..', 'share', 'applications', 'wendrel.desktop')), 'the build lays the entry out under share/')
})
