// The whole window as drawn, header included: WebDriver's screenshot shows only the page,
// so the program (under --automation) writes a PNG of its toplevel when asked by a file.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { existsSync, readFileSync, writeFileSync } from 'node:fs'
import path from 'node:path'
import { World, Driver, PNG, waitFor } from './support/harness.mjs'

const HEADER = [198, 193, 187]
const near = (px, rgb, tol) => Math.abs(px[0] - rgb[0]) + Math.abs(px[1] - rgb[1]) + Math.abs(px[2] - rgb[2]) <= tol

describe('a picture of the whole window', () => {
  let world
  let driver

  before(async () => {
    world = new World()
    driver = new Driver(world)
    await driver.start()
    await driver.newSession()
  })

  after(async () => {
    try { await driver?.endSession() } catch {}
    await world?.close()
  })

  test('the header bar over the room: its colour, dark text, the bell and a drawn page', async () => {
    await driver.openRoom()
    await driver.exec('window.__room.moveTo({ x: 15.6, z: 7, yaw: 0, pitch: 0 })')
    const shotFile = path.join(world.dataFolder, 'window-shot.png')
    writeFileSync(path.join(world.dataFolder, 'window-shot.request'), '')
    await waitFor('the window picture', () => existsSync(shotFile), 10000)
    const shot = PNG.sync.read(readFileSync(shotFile))
    const { width: W, height: H } = shot
    assert.ok(W >= 640 && H >= 480, `${W}x${H}`)
    const at = (x, y) => shot.data.subarray((y * W + x) * 4, (y * W + x) * 4 + 3)

    // The header's height and the bell's square, as the layout places them at 96 dpi.
    const A = Math.max(Math.min(Math.floor(H / 2), Math.max(150, Math.min(Math.floor(H * 26 / 100), 280))) - 38, 142)
    const T = Math.max(Math.floor((A - 2 * 8 - 2 * 34 - 46) / 2), 6)
    const bell = { left: W - 14 - (8 + 2 * 46), top: T, size: 46 }

    let background = 0
    let dark = 0
    for (let y = 0; y < A; y++) {
      for (let x = 0; x < W; x++) {
        const px = at(x, y)
        if (near(px, HEADER, 6)) background++
        else if (px[0] + px[1] + px[2] < 3 * 90) dark++
      }
    }
    assert.ok(background > W * A * 0.4, `only ${background} of ${W * A} header pixels have the header colour`)
    assert.ok(dark > 200, `only ${dark} dark pixels of label text in the header`)

    let bellDrawn = 0
    for (let y = bell.top; y < bell.top + bell.size; y++) {
      for (let x = bell.left; x < bell.left + bell.size; x++) if (!near(at(x, y), HEADER, 30)) bellDrawn++
    }
    assert.ok(bellDrawn > 100, `only ${bellDrawn} pixels of the bell differ from the header`)

    // The page below: the room, not one flat colour and not the header colour.
    const colours = new Set()
    let header = 0
    for (let y = A + 4; y < H; y += 2) {
      for (let x = 0; x < W; x += 2) {
        const px = at(x, y)
        colours.add((px[0] >> 3) << 10 | (px[1] >> 3) << 5 | (px[2] >> 3))
        if (near(px, HEADER, 6)) header++
      }
    }
    assert.ok(colours.size > 50, `only ${colours.size} colours in the page area`)
    assert.ok(header < (W / 2) * ((H - A) / 2) * 0.5, 'the page area is mostly header colour')
  })
})
