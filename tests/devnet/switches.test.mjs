// Runtime switches that make the devnet behave like the public services under
// load: the WhatsOnChain rate limit, WhatsOnChain lagging behind ARC, and the
// per-route request counts a test reads to see what a client asked for.
import { test } from 'node:test'
import assert from 'node:assert/strict'
import { openDevnet, fundedCoin, buildTx, newKey, WOC } from '../support/devnet/harness.mjs'

test('--woc-rps: past N WhatsOnChain requests in one second the rest are 429 until the second has passed', async () => {
  const net = await openDevnet({ wocRps: 3 })
  try {
    const url = `${net.devnet.url}${WOC}/chain/info`
    const replies = await Promise.all(Array.from({ length: 5 }, () => fetch(url)))
    const statuses = replies.map(r => r.status).sort()
    assert.deepEqual(statuses, [200, 200, 200, 429, 429])
    const refused = replies.find(r => r.status === 429)
    assert.equal(await refused.text(), 'Too Many Requests')
    assert.equal(refused.headers.get('retry-after'), null)
    // Other services are not limited.
    for (let i = 0; i < 5; i++) assert.equal((await net.get(`/ord/api/txos/${'ab'.repeat(32)}_0`)).status, 404)
    await new Promise(resolve => setTimeout(resolve, 1050))
    assert.equal((await net.get(`${WOC}/chain/info`)).status, 200)
    // The limit can be lifted at run time; a reset restores the start value.
    assert.deepEqual((await net.post('/devnet/switches', { wocRps: 0 })).json.wocRps, 0)
    const free = await Promise.all(Array.from({ length: 8 }, () => fetch(url)))
    assert.deepEqual(free.map(r => r.status), Array(8).fill(200))
    await net.post('/devnet/reset')
    assert.equal((await net.get('/devnet/switches')).json.wocRps, 3)
    for (const bad of [{ wocRps: -1 }, { wocRps: 1.5 }, { propagationMs: 'soon' }, { arcQueued: 1 }, { nosuch: true }]) {
      assert.equal((await net.post('/devnet/switches', bad)).status, 400, JSON.stringify(bad))
    }
  } finally { await net.close() }
})

test('--propagation-ms: a transaction ARC or the platform accepted reaches WhatsOnChain only that long after', async () => {
  let now = Date.UTC(2025, 0, 1)
  const net = await openDevnet({ propagationMs: 5000, clock: () => now })
  try {
    const coin = await fundedCoin(net, 50000, true)
    const payee = newKey().toAddress()
    const tx = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: payee, sats: 30000 }], change: coin.address })
    const txid = tx.id('hex')
    assert.equal((await net.post('/arc/v1/tx', { rawTx: tx.toHex() })).json.txStatus, 'SEEN_ON_NETWORK')

    // ARC and the ordinals index see it at once.
    assert.equal((await net.get(`/arc/v1/tx/${txid}`)).json.txStatus, 'SEEN_ON_NETWORK')
    assert.equal((await net.get(`/ord/api/txos/${txid}_0`)).json.owner, payee)
    const woc = async () => ({
      tx: (await net.get(`${WOC}/tx/${txid}`)).status,
      hex: (await net.post(`${WOC}/txs/hex`, { txids: [txid] })).json[0].hex ?? null,
      spent: (await net.get(`${WOC}/tx/${coin.txid}/0/spent`)).status,
      bulkSpent: (await net.post(`${WOC}/utxos/spent`, { utxos: [{ txid: coin.txid, vout: 0 }] })).json[0].spentIn?.txid ?? null,
      history: (await net.get(`${WOC}/address/${payee}/unconfirmed/history`)).json.result.length,
      balance: (await net.get(`${WOC}/address/${payee}/unconfirmed/balance`)).json.unconfirmed,
      unspent: (await net.get(`${WOC}/address/${coin.address}/unspent/all`)).json.result.map(u => [u.tx_hash, u.isSpentInMempoolTx]).sort()
    })
    assert.deepEqual(await woc(), { tx: 404, hex: null, spent: 404, bulkSpent: null, history: 0, balance: 0, unspent: [[coin.txid, false]] })

    now += 4999
    assert.equal((await net.get(`${WOC}/tx/${txid}`)).status, 404)
    now += 1
    assert.deepEqual(await woc(), {
      tx: 200,
      hex: tx.toHex(),
      spent: 200,
      bulkSpent: txid,
      history: 1,
      balance: 30000,
      unspent: [[coin.txid, true], [txid, false]].sort()
    })

    // The platform submit path lags the same way; WhatsOnChain's own submit does not.
    const viaSvc = await buildTx({ inputs: [{ hex: tx.toHex(), vout: 1, key: coin.key }], outputs: [{ address: payee, sats: 1000 }], change: coin.address })
    assert.equal((await net.post('/svc/oi/submit', { txhex: viaSvc.toHex() })).json.ok, true)
    assert.equal((await net.get(`${WOC}/tx/${viaSvc.id('hex')}`)).status, 404)
    const viaWoc = await buildTx({ inputs: [{ hex: viaSvc.toHex(), vout: 1, key: coin.key }], outputs: [{ address: payee, sats: 1000 }], change: coin.address })
    assert.equal((await net.submit(viaWoc.toHex())).status, 200)
    assert.equal((await net.get(`${WOC}/tx/${viaWoc.id('hex')}`)).status, 200)
    // A block makes it visible whatever the delay.
    await net.mine(1)
    assert.equal((await net.get(`${WOC}/tx/${viaSvc.id('hex')}`)).status, 200)
  } finally { await net.close() }
})

test('request counts per service and route, ids as placeholders, admin paths left out, and a reset', async () => {
  const net = await openDevnet()
  try {
    const a = await fundedCoin(net, 5000)
    const b = await fundedCoin(net, 6000)
    assert.equal((await net.post('/devnet/requests/reset')).status, 200)
    await net.get(`${WOC}/tx/${a.txid}/hex`)
    await net.get(`${WOC}/tx/${b.txid}/hex`)
    await net.get(`${WOC}/address/${a.address}/unspent/all`)
    await net.get(`${WOC}/address/${a.address}/balance`)
    await net.post('/arc/v1/tx', { rawTx: '00' })
    await net.get(`/arc/v1/tx/${a.txid}`)
    await net.get(`/ord/api/txos/${a.txid}_0`)
    await net.get('/devnet/state')
    assert.deepEqual((await net.get('/devnet/requests')).json, {
      woc: { 'GET /tx/:txid/hex': 2, 'GET /address/:address/unspent/all': 1, 'GET /address/:address/balance': 1 },
      arc: { 'POST /v1/tx': 1, 'GET /v1/tx/:txid': 1 },
      ord: { 'GET /api/txos/:outpoint': 1 }
    })
    assert.equal((await net.post('/devnet/requests/reset')).status, 200)
    assert.deepEqual((await net.get('/devnet/requests')).json, {})
  } finally { await net.close() }
})
