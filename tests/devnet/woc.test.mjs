// WhatsOnChain paths: shapes, confirmed and unconfirmed views, paging, the
// bulk routes and their caps, and 404 for routes the service no longer has.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { createHash } from 'node:crypto'
import { openDevnet, fundedCoin, buildTx, newKey, sdk, WOC } from '../support/devnet/harness.mjs'

const { P2PKH } = sdk

// WhatsOnChain names an address by the reversed SHA-256 of its locking script.
const scriptHashOf = (address) => Buffer.from(createHash('sha256').update(Buffer.from(new P2PKH().lock(address).toHex(), 'hex')).digest()).reverse().toString('hex')

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

  test('hex is the raw transaction as text', async () => {
    const hex = await net.get(`${WOC}/tx/${spend.id('hex')}/hex`)
    assert.equal(hex.text, spend.toHex())
    assert.match(hex.type, /^text\/plain/)
    assert.deepEqual((await net.get(`${WOC}/tx/hash/${spend.id('hex')}`)).json, (await net.get(`${WOC}/tx/${spend.id('hex')}`)).json)
  })

  test('{vout}/spent: the spender, 404 while unspent, 400 for an output that does not exist', async () => {
    const s = await net.get(`${WOC}/tx/${coin.txid}/0/spent`)
    assert.deepEqual(s.json, { txid: spend.id('hex'), vin: 0, status: 'unconfirmed' })
    assert.equal((await net.get(`${WOC}/tx/${spend.id('hex')}/0/spent`)).status, 404)
    assert.equal((await net.get(`${WOC}/tx/${spend.id('hex')}/9/spent`)).status, 400)
    assert.equal((await net.get(`${WOC}/tx/${'ef'.repeat(32)}/0/spent`)).status, 400)
  })

  test('unspent lists: all, confirmed-only and unconfirmed-only, each naming the script hash', async () => {
    const payer = coin.address
    const changeSats = spend.outputs[1].satoshis
    const all = (await net.get(`${WOC}/address/${payer}/unspent/all`)).json
    assert.equal(all.address, payer)
    assert.equal(all.script, scriptHashOf(payer))
    assert.equal(all.error, '')
    assert.ok(!('nextPageToken' in all))
    assert.deepEqual(all.result.find(u => u.tx_hash === coin.txid), { height, tx_pos: 0, tx_hash: coin.txid, value: 70000, isSpentInMempoolTx: true, status: 'confirmed' })
    assert.deepEqual(all.result.find(u => u.tx_hash === spend.id('hex')),
      { tx_pos: 1, tx_hash: spend.id('hex'), value: changeSats, isSpentInMempoolTx: false, hex: spend.outputs[1].lockingScript.toHex(), status: 'unconfirmed' })
    const unc = (await net.get(`${WOC}/address/${payer}/unconfirmed/unspent`)).json
    assert.deepEqual(unc.result, [{ tx_pos: 1, tx_hash: spend.id('hex'), value: changeSats, isSpentInMempoolTx: false, hex: spend.outputs[1].lockingScript.toHex() }])
    const conf = (await net.get(`${WOC}/address/${payer}/confirmed/unspent`)).json
    assert.deepEqual(conf.result, [{ height, tx_pos: 0, tx_hash: coin.txid, value: 70000, isSpentInMempoolTx: true }])
    assert.equal(conf.script, all.script)
  })

  test('balance: confirmed and the unconfirmed change', async () => {
    const changeSats = spend.outputs[1].satoshis
    const c = (await net.get(`${WOC}/address/${coin.address}/confirmed/balance`)).json
    assert.deepEqual(c, { address: coin.address, script: c.script, confirmed: 70000, error: '', associatedScripts: [{ script: c.script, type: 'pubkeyhash' }] })
    const u = (await net.get(`${WOC}/address/${coin.address}/unconfirmed/balance`)).json
    assert.deepEqual(u, { address: coin.address, script: c.script, unconfirmed: changeSats - 70000, error: '' })
    assert.equal((await net.get(`${WOC}/address/${payee.toAddress()}/unconfirmed/balance`)).json.unconfirmed, 25000)
  })

  test('history: confirmed and unconfirmed', async () => {
    const a = coin.address
    const c = (await net.get(`${WOC}/address/${a}/confirmed/history`)).json
    assert.deepEqual(c.result, [{ tx_hash: coin.txid, height }])
    const u = (await net.get(`${WOC}/address/${a}/unconfirmed/history`)).json
    assert.deepEqual(u.result, [{ tx_hash: spend.id('hex') }])
    assert.equal(u.script, c.script)
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
    const h = (await net.get(`${WOC}/address/${coin.address}/confirmed/history?order=asc`)).json.result
    assert.deepEqual(h.map(x => x.height), [height, mined.height])
    assert.deepEqual((await net.get(`${WOC}/address/${coin.address}/unconfirmed/history`)).json.result, [])
    assert.equal((await net.get(`${WOC}/tx/${coin.txid}/0/spent`)).json.status, 'confirmed')
    assert.ok(!(await net.get(`${WOC}/address/${coin.address}/unspent/all`)).json.result.some(u => u.tx_hash === coin.txid))
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

  async function walk (path, query = '') {
    const seen = []
    let url = `${path}?limit=2${query}`
    for (let pages = 0; pages < 10; pages++) {
      const r = (await net.get(url)).json
      seen.push(...r.result)
      if (!r.nextPageToken) return { seen, pages: pages + 1 }
      url = `${path}?limit=2${query}&token=${encodeURIComponent(r.nextPageToken)}`
    }
    throw new Error('paging did not end')
  }

  test('confirmed history pages newest first by default, oldest first when asked', async () => {
    const desc = await walk(`${WOC}/address/${addr}/confirmed/history`)
    assert.equal(desc.pages, 3)
    assert.deepEqual(desc.seen.map(x => x.tx_hash), [...ids].reverse())
    const asc = await walk(`${WOC}/address/${addr}/confirmed/history`, '&order=asc')
    assert.deepEqual(asc.seen.map(x => x.tx_hash), ids)
  })

  test('confirmed unspent pages end the same way; unspent/all takes no limit', async () => {
    const { seen, pages } = await walk(`${WOC}/address/${addr}/confirmed/unspent`)
    assert.equal(pages, 3)
    assert.deepEqual(seen.map(x => x.value), [1000, 1001, 1002, 1003, 1004])
    const all = (await net.get(`${WOC}/address/${addr}/unspent/all?limit=2`)).json
    assert.equal(all.result.length, 5)
    assert.ok(!('nextPageToken' in all))
  })

  test('a token from another list or a forged one is refused, as are limits out of range', async () => {
    const first = (await net.get(`${WOC}/address/${addr}/confirmed/unspent?limit=2`)).json
    const other = await net.get(`${WOC}/address/${addr}/confirmed/history?token=${first.nextPageToken}`)
    assert.equal(other.status, 400)
    const desc = (await net.get(`${WOC}/address/${addr}/confirmed/history?limit=2`)).json
    assert.equal((await net.get(`${WOC}/address/${addr}/confirmed/history?order=asc&token=${desc.nextPageToken}`)).status, 400)
    assert.equal((await net.get(`${WOC}/address/${addr}/unspent/all?token=$$$`)).status, 400)
    for (const limit of [0, 1001]) assert.equal((await net.get(`${WOC}/address/${addr}/confirmed/history?limit=${limit}`)).status, 400, limit)
  })
})

describe('bulk routes', () => {
  let rich, fresh, coin, spend, ids
  before(async () => {
    rich = newKey().toAddress()
    fresh = newKey().toAddress()
    coin = await fundedCoin(net, 40000, true)
    ids = []
    for (let i = 0; i < 25; i++) ids.push(await net.fund(rich, 600 + i))
    spend = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: fresh, sats: 30000 }] })
    assert.equal((await net.submit(spend.toHex())).status, 200)
  })

  test('every bulk route takes 20 items and refuses 21 with 400', async () => {
    const items = {
      '/txs': ['txids', () => coin.txid],
      '/txs/hex': ['txids', () => coin.txid],
      '/utxos/spent': ['utxos', () => ({ txid: coin.txid, vout: 0 })],
      '/addresses/confirmed/balance': ['addresses', () => rich],
      '/addresses/unconfirmed/balance': ['addresses', () => rich],
      '/addresses/confirmed/history': ['addresses', () => rich],
      '/addresses/unconfirmed/history': ['addresses', () => rich]
    }
    for (const [route, [field, one]] of Object.entries(items)) {
      const ok = await net.post(WOC + route, { [field]: Array.from({ length: 20 }, one) })
      assert.equal(ok.status, 200, route)
      assert.equal(ok.json.length, 20, route)
      const over = await net.post(WOC + route, { [field]: Array.from({ length: 21 }, one) })
      assert.equal(over.status, 400, route)
      assert.match(over.type, /^text\/plain/, route)
    }
  })

  test('POST /txs/hex: raw hex with block fields, an error per unknown id', async () => {
    const unknown = 'cd'.repeat(32)
    const r = (await net.post(`${WOC}/txs/hex`, { txids: [coin.txid, spend.id('hex'), unknown] })).json
    const tip = (await net.get(`${WOC}/chain/info`)).json
    assert.deepEqual(r[0], { txid: coin.txid, hex: coin.hex, blockhash: tip.bestblockhash, blockheight: tip.blocks, blocktime: r[0].blocktime, confirmations: 1 })
    assert.equal(typeof r[0].blocktime, 'number')
    assert.equal(r[1].hex, spend.toHex())
    assert.deepEqual([r[1].blockheight, r[1].confirmations], [0, 0])
    assert.equal(r[2].txid, unknown)
    assert.ok(r[2].error)
  })

  test('POST /utxos/spent: spentIn for a spent output, none for an unspent one, an error for one that does not exist', async () => {
    const r = (await net.post(`${WOC}/utxos/spent`, { utxos: [{ txid: coin.txid, vout: 0 }, { txid: spend.id('hex'), vout: 0 }, { txid: spend.id('hex'), vout: 7 }] })).json
    assert.deepEqual(r[0], { utxo: { txid: coin.txid, vout: 0 }, spentIn: { txid: spend.id('hex'), vin: 0, status: 'unconfirmed' }, error: '' })
    assert.deepEqual(r[1], { utxo: { txid: spend.id('hex'), vout: 0 }, error: '' })
    assert.equal(r[2].spentIn, undefined)
    assert.notEqual(r[2].error, '')
  })

  test('POST /addresses/{confirmed,unconfirmed}/balance: one entry per address, an error for a bad one', async () => {
    const c = (await net.post(`${WOC}/addresses/confirmed/balance`, { addresses: [rich, coin.address, 'nope'] })).json
    assert.deepEqual(c.slice(0, 2), [
      { address: rich, script: scriptHashOf(rich), confirmed: 0, error: '' },
      { address: coin.address, script: scriptHashOf(coin.address), confirmed: 40000, error: '' }
    ])
    assert.notEqual(c[2].error, '')
    const u = (await net.post(`${WOC}/addresses/unconfirmed/balance`, { addresses: [rich, fresh] })).json
    const richSats = ids.reduce((sum, _, i) => sum + 600 + i, 0)
    assert.deepEqual(u, [
      { address: rich, script: scriptHashOf(rich), unconfirmed: richSats, error: '' },
      { address: fresh, script: scriptHashOf(fresh), unconfirmed: 30000, error: '' }
    ])
  })

  test('POST /addresses/confirmed/history: 20 items an address, newest first, and a token the single route continues', async () => {
    await net.mine(1)
    const [r, f] = (await net.post(`${WOC}/addresses/confirmed/history`, { addresses: [rich, fresh] })).json
    assert.deepEqual(Object.keys(r), ['address', 'script', 'result', 'error', 'nextPageToken'])
    assert.equal(r.result.length, 20)
    const rest = (await net.get(`${WOC}/address/${rich}/confirmed/history?token=${encodeURIComponent(r.nextPageToken)}`)).json
    assert.deepEqual([...r.result, ...rest.result].map(h => h.tx_hash), [...ids].reverse())
    assert.ok(!('nextPageToken' in rest))
    assert.deepEqual(f.result.map(h => h.tx_hash), [spend.id('hex')])
  })

  test('POST /addresses/unconfirmed/history: tx_hash entries without heights', async () => {
    const who = newKey().toAddress()
    const a = await net.fund(who, 700)
    const b = await net.fund(who, 701)
    const [r, empty] = (await net.post(`${WOC}/addresses/unconfirmed/history`, { addresses: [who, newKey().toAddress()] })).json
    assert.deepEqual(r, { address: who, script: scriptHashOf(who), result: [{ tx_hash: a }, { tx_hash: b }], error: '' })
    assert.deepEqual(empty.result, [])
  })
})

test('an output script past 100 KB of hex is cut in the JSON and flagged isTruncated', async () => {
  const coin = await fundedCoin(net, 100000)
  const data = Buffer.alloc(60000, 0xab)
  const big = Buffer.concat([Buffer.from([0x00, 0x6a, 0x4d, data.length & 0xff, data.length >> 8]), data])
  const tx = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ script: big, sats: 0 }], change: coin.address })
  assert.equal((await net.submit(tx.toHex())).status, 200)
  for (const j of [(await net.get(`${WOC}/tx/${tx.id('hex')}`)).json, (await net.post(`${WOC}/txs`, { txids: [tx.id('hex')] })).json[0]]) {
    const [cut, whole] = j.vout.map(v => v.scriptPubKey)
    assert.equal(cut.isTruncated, true)
    assert.ok(cut.hex.length <= 100 * 1024 && cut.hex.length < big.length * 2)
    assert.ok(big.toString('hex').startsWith(cut.hex))
    assert.ok(cut.asm.length <= 100 * 1024)
    assert.equal(whole.isTruncated, false)
    assert.equal(whole.hex, new P2PKH().lock(coin.address).toHex())
  }
  // The raw transaction still carries the whole script.
  assert.equal((await net.get(`${WOC}/tx/${tx.id('hex')}/hex`)).text, tx.toHex())
})

test('routes the service no longer has answer 404 "Not Found", even for known ids', async () => {
  const coin = await fundedCoin(net, 5000, true)
  const a = coin.address
  const t = coin.txid
  const gone = [
    ['GET', `/address/${a}/balance`], ['GET', `/address/${a}/history`], ['GET', `/address/${a}/unspent`],
    ['GET', `/tx/${t}/out/0`], ['GET', `/tx/${t}/decoded`], ['GET', `/tx/${t}/raw`],
    ['POST', '/addresses/balance', { addresses: [a] }], ['PUT', `/tx/${t}`], ['POST', `/tx/${t}/hex`]
  ]
  for (const [method, p, body] of gone) {
    const r = await net.call(method, WOC + p, body)
    assert.deepEqual([r.status, r.text], [404, 'Not Found'], `${method} ${p}`)
  }
})

test('unknown transactions are 404, malformed ids and addresses 400', async () => {
  const unknown = 'ef'.repeat(32)
  for (const p of [`/tx/${unknown}`, `/tx/hash/${unknown}`, `/tx/${unknown}/hex`]) {
    assert.equal((await net.get(WOC + p)).status, 404, p)
  }
  assert.equal((await net.get(`${WOC}/tx/xyz`)).status, 400)
  assert.equal((await net.get(`${WOC}/address/1BadAddress/unspent/all`)).status, 400)
  // A valid Base58Check string with the wrong version byte is not a main-net P2PKH address.
  assert.equal((await net.get(`${WOC}/address/3J98t1WpEZ73CNmQviecrnyiWrnqRhWNLy/confirmed/balance`)).status, 400)
})
