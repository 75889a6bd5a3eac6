// The GUI suite's support: a devnet, a platform folder with a connected wendrel wallet,
// WebKitWebDriver driving the real quenvale program over plain W3C fetch calls, and
// decoding screenshots. Every wait has a time-out; everything started is killed in close().
import { spawn, execFile } from 'node:child_process'
import { createServer } from 'node:net'
import { mkdtempSync, mkdirSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs'
import { createRequire } from 'node:module'
import { tmpdir } from 'node:os'
import path from 'node:path'
import { fileURLToPath } from 'node:url'

export const ROOT = fileURLToPath(new URL('../../../', import.meta.url))
export const BIN = path.join(ROOT, process.env.QUENVALE_BUILD_DIR || 'build', 'bin')
export const PROGRAM = path.join(BIN, 'quenvale')
const DRIVER = process.env.WEBKIT_WEBDRIVER || '/usr/bin/WebKitWebDriver'
const require = createRequire(path.join(ROOT, 'web', 'package.json'))
export const { PNG } = require('pngjs')

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

/** Polls fn until it returns a truthy value; throws what it last saw after ms. */
export async function waitFor (what, fn, ms = 20000, every = 100) {
  const end = Date.now() + ms
  let last
  for (;;) {
    try {
      last = await fn()
      if (last) return last
    } catch (e) {
      last = e
    }
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}; last: ${last instanceof Error ? last.message : JSON.stringify(last)}`)
    await sleep(every)
  }
}

/** Whether a process has ended (gone, or a zombie waiting for its parent). */
export function processGone (pid) {
  try {
    return /^\S+ \(.*\) Z/.test(readFileSync(`/proc/${pid}/stat`, 'utf8'))
  } catch {
    return true
  }
}

export function freePort () {
  return new Promise((resolve, reject) => {
    const s = createServer()
    s.on('error', reject)
    s.listen(0, '127.0.0.1', () => {
      const { port } = s.address()
      s.close(() => resolve(port))
    })
  })
}

/** Runs a program of the build to its end; rejects with its output on a non-zero exit. */
export function run (program, args, env, ms = 60000) {
  return new Promise((resolve, reject) => {
    execFile(program, args, { env, timeout: ms, maxBuffer: 1 << 22 }, (err, stdout, stderr) => {
      if (err) reject(new Error(`${path.basename(program)} ${args.join(' ')}: ${err.message}\n${stdout}${stderr}`))
      else resolve(stdout)
    })
  })
}

/** A small real PNG of one colour. */
export function png (r, g, b, size = 16) {
  const img = new PNG({ width: size, height: size })
  for (let i = 0; i < size * size; i++) img.data.set([r, g, b, 255], i * 4)
  return PNG.sync.write(img)
}

/** What a test environment holds: temp folder, devnet, environment for the programs. */
export class World {
  constructor () {
    this.dir = mkdtempSync(path.join(tmpdir(), 'quenvale-gui-'))
    this.children = []
    this.env = {
      ...process.env,
      LOCALAPPDATA: path.join(this.dir, 'local'),
      QUENVALE_PROFILE: path.join(this.dir, 'profile.json'),
      HOME: path.join(this.dir, 'home'),
      XDG_CONFIG_HOME: path.join(this.dir, 'home', '.config'),
      XDG_CACHE_HOME: path.join(this.dir, 'home', '.cache'),
      XDG_DATA_HOME: path.join(this.dir, 'home', '.local', 'share'),
      // No session bus: the single instance must hold without one.
      DBUS_SESSION_BUS_ADDRESS: 'disabled:'
    }
    mkdirSync(this.env.LOCALAPPDATA, { recursive: true })
    mkdirSync(this.env.HOME, { recursive: true })
  }

  get dataFolder () { return path.join(this.env.LOCALAPPDATA, 'Orvane', 'quenvale') }

  /** Spawns a child that close() kills; output is kept for failure messages. */
  spawn (program, args, env = this.env) {
    const child = spawn(program, args, { env, stdio: ['ignore', 'pipe', 'pipe'], detached: true })
    child.output = ''
    child.stdout.on('data', (d) => { child.output += d })
    child.stderr.on('data', (d) => { child.output += d })
    child.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })))
    this.children.push(child)
    return child
  }

  async startDevnet () {
    const child = this.spawn(process.execPath, [path.join(ROOT, 'tools/devnet/server.mjs'), '--port', '0', '--profile-out', this.env.QUENVALE_PROFILE])
    this.devnet = await waitFor('the devnet', () => {
      const m = /devnet listening on (http:\/\/127\.0\.0\.1:\d+)\n/.exec(child.output)
      if (child.exitCode !== null) throw new Error('devnet exited: ' + child.output)
      return m && m[1]
    }, 30000)
  }

  async admin (p, body) {
    const r = await fetch(this.devnet + p, { method: 'POST', body: JSON.stringify(body), headers: { 'content-type': 'application/json' }, signal: AbortSignal.timeout(20000) })
    if (!r.ok) throw new Error(`${p}: ${r.status} ${await r.text()}`)
    return r.json()
  }

  /** A second person on the same devnet: this folder's programs read that world's profile. */
  shareDevnet (other) {
    this.devnet = other.devnet
    this.env.QUENVALE_PROFILE = other.env.QUENVALE_PROFILE
  }

  async get (p) {
    const r = await fetch(this.devnet + p, { signal: AbortSignal.timeout(20000) })
    return { status: r.status, body: r.ok ? await r.json() : null }
  }

  /** The wallet application's auto-approval: payments are made without the question. */
  autoApprove () {
    writeFileSync(path.join(this.env.LOCALAPPDATA, 'Orvane', 'nbutton_auto.json'), '{"on":true}\n')
  }

  mine () { return this.admin('/devnet/mine', { blocks: 1 }) }
  wendrel (...args) { return run(path.join(BIN, 'wendrel'), args, this.env) }
  cli (...args) { return run(path.join(BIN, 'quenvale-cli'), args, this.env, 120000) }

  /** A funded wallet with a paymail, connected to the gallery of this build's instance. */
  async openWallet (name = 'Gui tester', alias = 'guitester') {
    const id = (await this.wendrel('create', '--name', name)).split('\n')[0].trim()
    const shown = JSON.parse(await this.wendrel('show', '--json'))
    for (let i = 0; i < 2; i++) await this.admin('/devnet/fund', { address: shown.address, sats: 300000, confirmed: true })
    await this.wendrel('paymail', alias)
    // quenvale-cli sits beside quenvale, so both bind the same instance.
    const connect = this.cli('connect', '--json')
    let done = false
    connect.finally(() => { done = true }).catch(() => {})
    const approving = (async () => {
      while (!done) {
        await this.wendrel('approve', '--wallet', id).catch(() => {})
        await sleep(100)
      }
    })()
    await connect
    await approving
    return { id, address: shown.address }
  }

  async mint (title, rgb) {
    const file = path.join(this.dir, title.replace(/\W/g, '') + '.png')
    writeFileSync(file, png(...rgb))
    const minted = JSON.parse(await this.wendrel('mint', '--image', file, '--title', title, '--artist', 'Gui', '--json'))
    await this.mine()
    return minted.pic
  }

  async close () {
    for (const child of this.children) {
      if (child.exitCode === null && child.signalCode === null) {
        try { process.kill(-child.pid, 'SIGKILL') } catch {}
      }
    }
    await Promise.all(this.children.map((c) => Promise.race([c.exited, sleep(3000)])))
    rmSync(this.dir, { recursive: true, force: true })
  }
}

/** WebKitWebDriver and one session on the real program, through plain W3C calls. */
export class Driver {
  constructor (world) { this.world = world }

  async start () {
    this.port = await freePort()
    this.process = this.world.spawn(DRIVER, [`--port=${this.port}`])
    this.base = `http://127.0.0.1:${this.port}`
    await waitFor('WebKitWebDriver', async () => {
      const r = await fetch(this.base + '/status', { signal: AbortSignal.timeout(2000) })
      return r.ok
    }, 15000)
  }

  async call (method, p, body, ms = 30000) {
    const r = await fetch(this.base + p, {
      method,
      body: body === undefined ? undefined : JSON.stringify(body),
      headers: { 'content-type': 'application/json' },
      signal: AbortSignal.timeout(ms)
    })
    const json = await r.json()
    if (!r.ok) throw new Error(`${method} ${p}: ${r.status} ${JSON.stringify(json.value)}`)
    return json.value
  }

  /** The quenvale program the driver started for the session (its child), or 0. */
  programPid () {
    const pid = this.process.pid
    for (const task of readdirSync(`/proc/${pid}/task`)) {
      const children = readFileSync(`/proc/${pid}/task/${task}/children`, 'utf8').trim().split(/\s+/).filter(Boolean)
      for (const c of children) {
        try {
          if (readFileSync(`/proc/${c}/cmdline`, 'utf8').split('\0')[0] === PROGRAM) return Number(c)
        } catch {}
      }
    }
    return 0
  }

  /** Opens the room with its test hook and listens to every host message. */
  async openRoom () {
    await this.url('quenvale://room/index.html?v=40&test')
    await waitFor('the room', () => this.exec('return !!window.__room && window.__room.state().framesReady'), 30000)
    await this.exec(`window.__heard = [];
      window.chrome.webview.addEventListener('message', (e) => window.__heard.push(e.data))`)
  }

  /** Posts a page message through the bridge shim; resolves with the first host message after it that fits. */
  async send (message, fits, ms = 90000) {
    const from = await this.exec('const n = window.__heard.length; window.chrome.webview.postMessage(arguments[0]); return n', [message])
    return waitFor(`a reply to ${JSON.stringify(message)}`, async () => {
      const heard = await this.exec('return window.__heard.slice(arguments[0])', [from])
      return heard.find(fits)
    }, ms, 200)
  }

  /** As send, for a message that is safe to repeat: posted again while the host is busy and stays silent. */
  async ask (message, fits, ms = 90000) {
    const end = Date.now() + ms
    for (;;) {
      try {
        return await this.send(message, fits, Math.min(10000, end - Date.now()))
      } catch (e) {
        if (Date.now() >= end) throw e
      }
    }
  }

  async newSession () {
    const value = await this.call('POST', '/session', {
      capabilities: { alwaysMatch: { browserName: 'quenvale', 'webkitgtk:browserOptions': { binary: PROGRAM, args: ['--automation'] } } }
    }, 45000)
    this.session = value.sessionId
    return value
  }

  s (p) { return `/session/${this.session}${p}` }
  url (u) { return this.call('POST', this.s('/url'), { url: u }) }
  currentUrl () { return this.call('GET', this.s('/url')) }
  exec (script, args = []) { return this.call('POST', this.s('/execute/sync'), { script, args }) }
  execAsync (script, args = []) { return this.call('POST', this.s('/execute/async'), { script, args }) }
  async element (css) {
    const v = await this.call('POST', this.s('/element'), { using: 'css selector', value: css })
    return Object.values(v)[0]
  }

  click (id) { return this.call('POST', this.s(`/element/${id}/click`), {}) }
  keys (codes) {
    const actions = []
    for (const k of codes) actions.push({ type: 'keyDown', value: k }, { type: 'keyUp', value: k })
    return this.call('POST', this.s('/actions'), { actions: [{ type: 'key', id: 'keyboard', actions }] })
  }

  async screenshot () {
    // The shot can be a frame behind: let two frames pass first.
    await this.execAsync('const done = arguments[arguments.length - 1]; requestAnimationFrame(() => requestAnimationFrame(() => done(true)))')
    return PNG.sync.read(Buffer.from(await this.call('GET', this.s('/screenshot')), 'base64'))
  }

  /** Ends the session; the program quits when its view closes. */
  async endSession () {
    if (!this.session) return
    const id = this.session
    this.session = null
    await this.call('DELETE', `/session/${id}`, undefined, 20000)
  }
}
