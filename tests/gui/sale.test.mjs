// A whole sale between two people, each with their own platform folder and their own real
// quenvale program, driven through the page's bridge: the seller places, the buyer asks,
// the seller (told by the bell) accepts, the buyer pays, the seller completes. Each step
// runs in a fresh program, since a running one keeps the walls it read for 45 s.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { World, Driver, waitFor, processGone } from './support/harness.mjs'

const FRAME = 3
const PRICE = 5000
const op = (name) => (m) => m && m.op === name
const list = (action) => (m) => m && m.op === 'place-list' && m.spot === FRAME && (!action || m.action === action)

/** One program of this person for the time of fn: a new session, the room, then the close path. */
async function withProgram (driver, fn) {
  await driver.newSession()
  const pid = driver.programPid()
  assert.ok(pid > 0, 'the program started by the driver')
  const outputFrom = driver.process.output.length
  try {
    await driver.openRoom()
    return await fn(() => driver.process.output.slice(outputFrom))
  } finally {
    await driver.closeWindow()
    await waitFor('the program to exit', () => processGone(pid), 15000)
    try { await driver.endSession() } catch {}
  }
}

/** The walls as this program reads them now: the "walls" reply and the frame in the room. */
async function wallOf (driver) {
  const walls = await driver.ask({ op: 'hello' }, op('walls'))
  const shown = walls.shows.find((s) => s.spot === FRAME) || null
  if (shown) await waitFor('the picture in the room', async () => (await driver.exec('return window.__room.state()')).frames[FRAME].url, 20000)
  const frame = (await driver.exec('return window.__room.state()')).frames[FRAME]
  return { shown, url: frame.url || '', plaque: frame.plaque }
}

describe('a sale between two programs', () => {
  let seller
  let buyer
  let sellerDriver
  let buyerDriver
  let pic
  let buyerKey

  before(async () => {
    seller = new World()
    await seller.startDevnet()
    buyer = new World()
    buyer.shareDevnet(seller)
    await seller.openWallet('Seller', 'seller')
    // Two coins: the offer and the record that carries it may not share one.
    buyerKey = JSON.parse(await (async () => { await buyer.openWallet('Buyer', 'buyer'); return buyer.wendrel('show', '--json') })()).identity_key
    pic = await seller.mint('Harbour', [200, 40, 40])
    sellerDriver = new Driver(seller)
    buyerDriver = new Driver(buyer)
    await sellerDriver.start()
    await buyerDriver.start()
  })

  after(async () => {
    for (const d of [sellerDriver, buyerDriver]) try { await d?.endSession() } catch {}
    await seller?.close()
    await buyer?.close()
  })

  test('place, ask, accept (the bell says so), pay, complete: both walls agree and the frame ends empty', async () => {
    // The seller hangs the piece from the page.
    await withProgram(sellerDriver, async () => {
      const offer = await sellerDriver.ask({ op: 'select', spot: FRAME }, list())
      assert.equal(offer.taken, false, JSON.stringify(offer))
      assert.ok(offer.arts.some((a) => a.origin === pic), JSON.stringify(offer.arts))
      const placed = await sellerDriver.send({ op: 'place', spot: FRAME, origin: pic, price: String(PRICE), unit: 'sats', weeks: 1 },
        (m) => m.op === 'placed' || m.op === 'place-error')
      assert.equal(placed.op, 'placed', JSON.stringify(placed))
      assert.equal(placed.status, `Placed on AP${FRAME}.`)
    })
    await seller.mine()

    // The buyer's room shows it as the seller's does; the buyer asks.
    await withProgram(buyerDriver, async () => {
      const wall = await wallOf(buyerDriver)
      assert.deepEqual(wall.shown, { spot: FRAME, url: `spots/ap${FRAME}.png`, title: 'Harbour' })
      assert.match(wall.url, new RegExp(`^spots/ap${FRAME}\\.png`))
      assert.ok(wall.plaque.includes('Harbour'), wall.plaque)
      const taken = await buyerDriver.ask({ op: 'select', spot: FRAME }, list('ask'))
      assert.deepEqual([taken.taken, taken.mine, taken.price], [true, false, PRICE])
      const asked = await buyerDriver.send({ op: 'ask', spot: FRAME }, list('asked'))
      assert.equal(asked.status, 'Asked. The owner accepts next.')
    })

    // The seller's bell has the note; the seller accepts the buyer named in the list.
    await withProgram(sellerDriver, async (output) => {
      const wall = await wallOf(sellerDriver)
      assert.match(wall.url, new RegExp(`^spots/ap${FRAME}\\.png`))
      const notes = await waitFor('the notes list with the ask', () => {
        const lines = output().split('\n').filter((l) => l.startsWith('notes: '))
        return lines.map((l) => JSON.parse(l.slice(7))).find((n) => n.length > 0)
      }, 30000, 200)
      assert.deepEqual(notes, [{ spot: FRAME, text: `AP${FRAME}. Accept the ask.` }])
      const mine = await sellerDriver.ask({ op: 'select', spot: FRAME }, list('accept'))
      assert.equal(mine.buyer, buyerKey)
      const accepted = await sellerDriver.send({ op: 'accept', spot: FRAME, buyer: mine.buyer }, list('accepted'))
      assert.equal(accepted.status, 'Accepted. The buyer pays next.')
    })

    await withProgram(buyerDriver, async () => {
      const due = await buyerDriver.ask({ op: 'select', spot: FRAME }, list())
      assert.equal(due.action, 'pay', JSON.stringify(due))
      const paid = await buyerDriver.send({ op: 'pay', spot: FRAME }, list('paid'))
      assert.equal(paid.status, 'Paid. The owner completes the sale.')
    })

    await withProgram(sellerDriver, async () => {
      await sellerDriver.ask({ op: 'select', spot: FRAME }, list('complete'))
      const removed = await sellerDriver.send({ op: 'complete', spot: FRAME }, op('removed'))
      assert.deepEqual(removed, { op: 'removed', spot: FRAME, status: 'Completed. The frame is empty.' })
    })
    await seller.mine()

    // Fresh programs on both sides: the frame is empty, and the buyer now holds the piece.
    const sellerWall = await withProgram(sellerDriver, () => wallOf(sellerDriver))
    const buyerWall = await withProgram(buyerDriver, async () => {
      const wall = await wallOf(buyerDriver)
      const free = await buyerDriver.ask({ op: 'select', spot: FRAME }, list())
      assert.equal(free.taken, false, JSON.stringify(free))
      assert.ok(free.arts.some((a) => a.origin === pic), JSON.stringify(free.arts))
      return wall
    })
    assert.deepEqual(sellerWall, buyerWall)
    assert.deepEqual(buyerWall.shown, null)
    assert.equal(buyerWall.url, '')
  })
})
