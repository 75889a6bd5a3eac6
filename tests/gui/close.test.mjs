// Closing the program while a payment is on its way: the close path says "Finishing…" and
// keeps the process alive (bounded) until the worker is done, so the posting's journal is
// on disk and its transaction at the network when the program has exited.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { existsSync, readFileSync, readdirSync } from 'node:fs'
import path from 'node:path'
import { World, Driver, waitFor, processGone } from './support/harness.mjs'

// Under the broadcast's own 2 s limit, so the payment is slow but goes through.
const DELAY_MS = 1700

describe('closing during a slow posting', () => {
  let world
  let driver

  before(async () => {
    world = new World()
    await world.startDevnet()
    await world.openWallet()
    world.autoApprove()
    driver = new Driver(world)
    await driver.start()
    await driver.newSession()
  })

  after(async () => {
    try { await driver?.endSession() } catch {}
    await world?.close()
  })

  test('the admission paid while the window closes is broadcast and journalled before the exit', async () => {
    await driver.openRoom()
    await driver.ask({ op: 'hello' }, (m) => m.op === 'walls')
    const pid = driver.programPid()
    assert.ok(pid > 0, 'the program started by the driver')
    const submit = await world.admin('/devnet/faults', { method: 'POST', pathRegex: '^/svc/oi/submit$', delayMs: DELAY_MS, count: 5 })
    assert.ok(submit.id > 0, JSON.stringify(submit))

    const folder = path.join(world.env.LOCALAPPDATA, 'Orvane', 'ord_snap')
    const journals = () => existsSync(folder) ? readdirSync(folder).filter((f) => f.endsWith('_spent.json')) : []
    assert.deepEqual(journals(), [], 'nothing spent before the admission')
    const outputFrom = driver.process.output.length
    await driver.exec("window.chrome.webview.postMessage({ op: 'enter' })")
    await waitFor('the payment held at the devnet', async () => {
      const { body } = await world.get('/devnet/faults')
      return body.faults.some((f) => f.fired > 0)
    }, 30000, 50)
    const held = Date.now()
    assert.ok(!processGone(pid))

    await driver.closeWindow()
    const closed = Date.now()
    await waitFor('the program to exit', () => processGone(pid), 20000, 50)
    // It stayed for the held broadcast, and ended well within the close path's 10 s bound.
    const sinceHeld = Date.now() - held
    const sinceClose = Date.now() - closed
    assert.ok(sinceHeld > DELAY_MS - 200, `exited ${sinceHeld} ms after the broadcast was held`)
    assert.ok(sinceClose < 10000, `exited ${sinceClose} ms after the close`)
    assert.match(driver.process.output.slice(outputFrom), /^status: Finishing\u2026$/m)

    const written = journals()
    assert.equal(written.length, 1, `spent journals: ${written}`)
    const { outpoints } = JSON.parse(readFileSync(path.join(folder, written[0]), 'utf8'))
    assert.ok(outpoints.length >= 1, JSON.stringify(outpoints))

    // The journal names each coin in both byte orders of its txid; the devnet knows the
    // transaction that spends each coin in one of them.
    const reversed = (txid) => Buffer.from(txid, 'hex').reverse().toString('hex')
    const coins = new Map()
    for (const point of outpoints) {
      const [txid, vout] = point.split(/[:_]/)
      const key = [txid, reversed(txid)].sort()[0] + ':' + vout
      coins.set(key, [...(coins.get(key) || []), { txid, vout: Number(vout) }])
    }
    assert.ok(coins.size >= 1)
    for (const [key, forms] of coins) {
      let spender = null
      for (const { txid, vout } of forms) {
        const spent = await world.get(`/woc/v1/bsv/main/tx/${txid}/${vout}/spent`)
        if (spent.status !== 200) continue
        const tx = await world.get(`/woc/v1/bsv/main/tx/${spent.body.txid}`)
        assert.equal(tx.status, 200)
        if (tx.body.vin.some((i) => i.txid === txid && i.vout === vout)) spender = spent.body.txid
      }
      assert.ok(spender, `${key} is not spent at the devnet`)
    }
  })
})
