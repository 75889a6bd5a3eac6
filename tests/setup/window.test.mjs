// The setup window under Xvfb: its look (coarsely), the options, and INSTALL pressed
// twice quickly running one install.
import { test } from 'node:test'
import assert from 'node:assert/strict'
import { spawn, execFileSync } from 'node:child_process'
import { existsSync, readFileSync, writeFileSync } from 'node:fs'
import { createRequire } from 'node:module'
import path from 'node:path'
import { ROOT, SETUP, tempHome } from './support.mjs'

const { PNG } = createRequire(path.join(ROOT, 'web', 'package.json'))('pngjs')
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

async function waitFor (what, fn, ms = 30000) {
  const end = Date.now() + ms
  for (;;) {
    const v = fn()
    if (v) return v
    if (Date.now() > end) throw new Error('timed out waiting for ' + what)
    await sleep(50)
  }
}

function startWindow (h, args = []) {
  const shot = path.join(h.root, 'shot.png')
  const child = spawn(SETUP, ['--automation', ...args], { env: { ...h.env, QUENVALE_SETUP_SHOT: shot } })
  const w = { child, shot, stderr: '', exit: null }
  child.stderr.on('data', (d) => { w.stderr += d })
  child.on('exit', (code) => { w.exit = code })
  return w
}

async function screenshot (w) {
  const before = (w.stderr.match(/^shot: written$/gm) || []).length
  writeFileSync(w.shot + '.request', '')
  await waitFor('the screenshot', () => (w.stderr.match(/^shot: written$/gm) || []).length > before)
  return PNG.sync.read(readFileSync(w.shot))
}

function pixel (png, x, y) {
  const i = (png.width * y + x) * 4
  return [png.data[i], png.data[i + 1], png.data[i + 2]]
}
const near = (a, b, d = 12) => a.every((v, i) => Math.abs(v - b[i]) <= d)

test('the setup window looks right and INSTALL pressed twice runs one install', async () => {
  const h = tempHome()
  const w = startWindow(h)
  try {
    await waitFor('the window', () => /window: shown/.test(w.stderr))
    const wid = execFileSync('xdotool', ['search', '--sync', '--name', '^Quenvale Setup$'], { encoding: 'utf8' }).trim().split('\n')[0]
    let png = await screenshot(w)
    assert.equal(png.width, 800)
    assert.equal(png.height, 780)
    assert.ok(near(pixel(png, 5, 5), [6, 8, 14]), 'background ' + pixel(png, 5, 5))
    assert.ok(near(pixel(png, 280, 712), [212, 175, 55]), 'gold action button ' + pixel(png, 280, 712))
    assert.ok(near(pixel(png, 50, 320), [10, 14, 22]), 'folder box ' + pixel(png, 50, 320))
    // The third option's box is filled as ticked until it is clicked.
    const box = [43, 402 + 2 * 38 + 8 + 3]
    assert.ok(near(pixel(png, ...box), [22, 28, 40], 4), 'ticked box ' + pixel(png, ...box))
    execFileSync('xdotool', ['mousemove', '--window', wid, '60', String(402 + 2 * 38 + 19), 'click', '1'])
    await sleep(300)
    png = await screenshot(w)
    assert.ok(near(pixel(png, ...box), [10, 14, 22], 4), 'unticked box ' + pixel(png, ...box))

    execFileSync('xdotool', ['mousemove', '--window', wid, '400', '732', 'click', '--repeat', '2', '--delay', '60', '1'])
    await waitFor('the install', () => /status: Quenvale is ready\./.test(w.stderr), 60000)
    await sleep(500)
    assert.equal((w.stderr.match(/^status: Copying quenvale…$/gm) || []).length, 1, w.stderr)
    assert.equal((w.stderr.match(/^status: Quenvale is ready\.$/gm) || []).length, 1, w.stderr)
    assert.equal(w.exit, null, 'the second click did not close the window')
    const folder = path.join(h.home, '.local/share/Quenvale')
    assert.ok(existsSync(path.join(folder, 'quenvale')))
    png = await screenshot(w)
    assert.ok(near(pixel(png, 760 - 2, 691), [212, 175, 55]), 'progress bar full ' + pixel(png, 758, 691))

    // The button now reads CLOSE and ends the program.
    execFileSync('xdotool', ['mousemove', '--window', wid, '400', '732', 'click', '1'])
    await waitFor('the program to end', () => w.exit !== null, 10000)
    assert.equal(w.exit, 0)
  } finally {
    if (w.exit === null) w.child.kill('SIGKILL')
    h.close()
  }
})
