// WhatsOnChain paths: shapes, confirmed and unconfirmed views, paging.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { openDevnet, fundedCoin, buildTx, newKey, WOC } from '../support/devnet/harness.mjs'

let net
before(async () => { net = await openDevnet() })
after(async () => { await net.close() })

describe('a confirmed payment and an unconfirmed spend of it', () => {
  let coin, spend, payee, height
  before(async () => {
    coin = await fundedCoin(net, 70000, true)
    height = (await net.get(`${WOC}/chain/info`)).json.blocks
    payee = newKey()
    spend = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: payee.toAddress(), sats: 25000 }], change: coin.address })
    assert.equal((await net.submit(spend.toHex())).status, 200)
  })

  test('GET /tx/{txid}: confirmed fields present, unconfirmed ones absent', async () => {
    const c = (await net.get(`${WOC}/tx/${coin.txid}`)).json
    assert.equal(c.txid, coin.txid)
    assert.equal(c.hash, coin.txid)
    assert.equal(c.size, coin.hex.length / 2)
    assert.equal(c.blockheight, height)
    assert.equal(c.confirmations, 1)
    assert.match(c.blockhash, /^[0-9a-f]{64}$/)
    assert.equal(typeof c.time, 'number')
    const out = c.vout[0]
    assert.equal(out.n, 0)
    assert.equal(out.value, 0.0007)
    assert.deepEqual(out.scriptPubKey.addresses, [coin.address])
    assert.equal(out.scriptPubKey.type, 'pubkeyhash')
    assert.equal(out.scriptPubKey.reqSigs, 1)
    assert.match(out.scriptPubKey.asm, /^OP_DUP OP_HASH160 [0-9a-f]{40} OP_EQUALVERIFY OP_CHECKSIG$/)
    const u = (await net.get(`${WOC}/tx/${spend.id('hex')}`)).json
    for (const k of ['blockhash', 'confirmations', 'time', 'blockheight']) assert.ok(!(k in u), k)
    assert.deepEqual(Object.keys(u.vin[0]), ['txid', 'vout', 'scriptSig', 'sequence'])
    assert.equal(u.vin[0].txid, coin.txid)
    assert.equal(u.vin[0].scriptSig.hex, spend.inputs[0].unlockingScript.toHex())
    assert.match(u.vin[0].scriptSig.asm, /\[ALL\|FORKID\] [0-9a-f]{66}$/)
  })

  test('amounts in BSV are written as plain decimals', async () => {
    const one = await fundedCoin(net, 1)
    const text = (await net.get(`${WOC}/tx/${one.txid}`)).text
    assert.match(text, /"value":0\.00000001,/)
  })

  test('hex, raw and decoded', async () => {
    const hex = await net.get(`${WOC}/tx/${spend.id('hex')}/hex`)
    assert.equal(hex.text, spend.toHex())
    assert.match(hex.type, /^text\/plain/)
    assert.equal((await net.get(`${WOC}/tx/${spend.id('hex')}/raw`)).text, spend.toHex())
    const d = (await net.get(`${WOC}/tx/${spend.id('hex')}/decoded`)).json
    assert.equal(d.vout[0].satoshis, 25000)
    assert.equal(d.vout[0].value, 0.00025)
  })

  test('out/{vout} and {vout}/spent', async () => {
    const o = (await net.get(`${WOC}/tx/${coin.txid}/out/0`)).json
    assert.equal(o.spent, true)
    assert.equal(o.spentIn.txid, spend.id('hex'))
    const s = await net.get(`${WOC}/tx/${coin.txid}/0/spent`)
    assert.deepEqual(s.json, { txid: spend.id('hex'), vin: 0, status: 'unconfirmed' })
    assert.equal((await net.get(`${WOC}/tx/${spend.id('hex')}/out/0`)).json.spent, false)
    assert.equal((await net.get(`${WOC}/tx/${spend.id('hex')}/0/spent`)).status, 404)
    assert.equal((await net.get(`${WOC}/tx/${spend.id('hex')}/9/spent`)).status, 404)
    assert.equal((await net.get(`${WOC}/tx/${spend.id('hex')}/out/9`)).status, 404)
  })

  test('unspent lists: bare, all, confirmed-only and unconfirmed-only', async () => {
    const payer = coin.address
    const bare = (await net.get(`${WOC}/address/${payer}/unspent`)).json
    assert.ok(Array.isArray(bare))
    const funded = bare.find(u => u.tx_hash === coin.txid)
    assert.deepEqual(funded, { height, tx_pos: 0, tx_hash: coin.txid, value: 70000, isSpentInMempoolTx: true })
    const change = bare.find(u => u.tx_hash === spend.id('hex'))
    assert.equal(change.height, 0)
    assert.equal(change.isSpentInMempoolTx, false)
    const all = (await net.get(`${WOC}/address/${payer}/unspent/all`)).json
    assert.equal(all.address, payer)
    assert.equal(all.error, '')
    assert.deepEqual(all.result, bare)
    assert.ok(!('nextPageToken' in all))
    const unc = (await net.get(`${WOC}/address/${payer}/unconfirmed/unspent`)).json
    assert.deepEqual(unc.result.map(u => u.tx_hash), [spend.id('hex')])
    const conf = (await net.get(`${WOC}/address/${payer}/confirmed/unspent`)).json
    assert.deepEqual(conf.result.map(u => u.tx_hash), [coin.txid])
  })

  test('balance: confirmed and the unconfirmed change', async () => {
    const payer = (await net.get(`${WOC}/address/${coin.address}/balance`)).json
    const changeSats = spend.outputs[1].satoshis
    assert.deepEqual(payer, { confirmed: 70000, unconfirmed: changeSats - 70000 })
    assert.deepEqual((await net.get(`${WOC}/address/${payee.toAddress()}/balance`)).json, { confirmed: 0, unconfirmed: 25000 })
    const batch = await net.post(`${WOC}/addresses/balance`, { addresses: [payee.toAddress(), 'nope'] })
    assert.deepEqual(batch.json[0], { address: payee.toAddress(), balance: { confirmed: 0, unconfirmed: 25000 }, error: '' })
    assert.notEqual(batch.json[1].error, '')
    const tooMany = await net.post(`${WOC}/addresses/balance`, { addresses: Array(21).fill(payee.toAddress()) })
    assert.equal(tooMany.status, 400)
  })

  test('history: bare, confirmed and unconfirmed', async () => {
    const a = coin.address
    const h = (await net.get(`${WOC}/address/${a}/history`)).json
    assert.deepEqual(h, [{ tx_hash: coin.txid, height }, { tx_hash: spend.id('hex'), height: 0 }])
    const c = (await net.get(`${WOC}/address/${a}/confirmed/history`)).json
    assert.deepEqual(c.result, [{ tx_hash: coin.txid, height }])
    const u = (await net.get(`${WOC}/address/${a}/unconfirmed/history`)).json
    assert.deepEqual(u.result, [{ tx_hash: spend.id('hex') }])
  })

  test('POST /txs returns transaction JSON per id', async () => {
    const unknown = 'cd'.repeat(32)
    const r = await net.post(`${WOC}/txs`, { txids: [coin.txid, spend.id('hex'), unknown] })
    assert.equal(r.json[0].txid, coin.txid)
    assert.equal(r.json[1].vin[0].txid, coin.txid)
    assert.equal(r.json[2].error, 'unknown')
  })

  test('mining moves the spend into the confirmed views', async () => {
    const mined = await net.mine(1)
    const h = (await net.get(`${WOC}/address/${coin.address}/history`)).json
    assert.deepEqual(h.map(x => x.height), [height, mined.height])
    assert.deepEqual((await net.get(`${WOC}/address/${coin.address}/unconfirmed/history`)).json.result, [])
    assert.equal((await net.get(`${WOC}/tx/${coin.txid}/0/spent`)).json.status, 'confirmed')
    assert.ok(!(await net.get(`${WOC}/address/${coin.address}/unspent`)).json.some(u => u.tx_hash === coin.txid))
    assert.equal((await net.get(`${WOC}/tx/${coin.txid}`)).json.confirmations, 2)
  })
})

describe('paging', () => {
  let addr
  const ids = []
  before(async () => {
    addr = newKey().toAddress()
    for (let i = 0; i < 5; i++) ids.push(await net.fund(addr, 1000 + i))
    await net.mine(1)
  })

  async function walk (path) {
    const seen = []
    let url = `${path}?limit=2`
    for (let pages = 0; pages < 10; pages++) {
      const r = (await net.get(url)).json
      seen.push(...r.result)
      if (!r.nextPageToken) return { seen, pages: pages + 1 }
      url = `${path}?limit=2&token=${encodeURIComponent(r.nextPageToken)}`
    }
    throw new Error('paging did not end')
  }

  test('confirmed history pages end after every entry was seen once', async () => {
    const { seen, pages } = await walk(`${WOC}/address/${addr}/confirmed/history`)
    assert.equal(pages, 3)
    assert.deepEqual(seen.map(x => x.tx_hash), ids)
  })

  test('unspent/all pages end the same way', async () => {
    const { seen, pages } = await walk(`${WOC}/address/${addr}/unspent/all`)
    assert.equal(pages, 3)
    assert.deepEqual(seen.map(x => x.value), [1000, 1001, 1002, 1003, 1004])
  })

  test('a token from another list or a forged one is refused', async () => {
    const first = (await net.get(`${WOC}/address/${addr}/unspent/all?limit=2`)).json
    const other = await net.get(`${WOC}/address/${addr}/confirmed/history?token=${first.nextPageToken}`)
    assert.equal(other.status, 400)
    assert.equal((await net.get(`${WOC}/address/${addr}/unspent/all?token=$$$`)).status, 400)
    assert.equal((await net.get(`${WOC}/address/${addr}/unspent/all?limit=0`)).status, 400)
  })
})

test('unknown transactions are 404, malformed ids and addresses 400', async () => {
  const unknown = 'ef'.repeat(32)
  for (const p of [`/tx/${unknown}`, `/tx/${unknown}/hex`, `/tx/${unknown}/raw`, `/tx/${unknown}/decoded`, `/tx/${unknown}/out/0`, `/tx/${unknown}/0/spent`]) {
    assert.equal((await net.get(WOC + p)).status, 404, p)
  }
  assert.equal((await net.get(`${WOC}/tx/xyz`)).status, 400)
  assert.equal((await net.get(`${WOC}/address/1BadAddress/unspent`)).status, 400)
  // A valid Base58Check string with the wrong version byte is not a main-net P2PKH address.
  assert.equal((await net.get(`${WOC}/address/3J98t1WpEZ73CNmQviecrnyiWrnqRhWNLy/balance`)).status, 400)
})
