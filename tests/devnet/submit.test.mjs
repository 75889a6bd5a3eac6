// The three submit paths share one validator but answer in each service's own
// words: WhatsOnChain plain text, ARC status objects, the platform {ok}.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { openDevnet, fundedCoin, buildTx, newKey, WOC } from '../support/devnet/harness.mjs'

let net
before(async () => { net = await openDevnet() })
after(async () => { await net.close() })

async function pair () {
  const coin = await fundedCoin(net, 30000)
  const input = { hex: coin.hex, vout: 0, key: coin.key }
  const a = await buildTx({ inputs: [input], outputs: [{ address: newKey().toAddress(), sats: 20000 }] })
  const b = await buildTx({ inputs: [input], outputs: [{ address: newKey().toAddress(), sats: 21000 }] })
  return { coin, a, b }
}

const arcPost = (hex) => net.post('/arc/v1/tx', { rawTx: hex })
const svcPost = (hex) => net.post('/svc/oi/submit', { txhex: hex })

describe('WhatsOnChain POST /tx/raw', () => {
  test('answers the txid as a JSON string, then txn-already-known', async () => {
    const { a } = await pair()
    const first = await net.submit(a.toHex())
    assert.equal(first.status, 200)
    assert.equal(first.text, JSON.stringify(a.id('hex')))
    const again = await net.submit(a.toHex())
    assert.equal(again.status, 400)
    assert.equal(again.text, '257: txn-already-known')
    assert.match(again.type, /^text\/plain/)
  })

  test('refuses a body without txhex', async () => {
    assert.equal((await net.post(`${WOC}/tx/raw`, { hex: '00' })).status, 400)
    assert.equal((await net.post(`${WOC}/tx/raw`, 'not json')).status, 400)
  })
})

describe('ARC POST /arc/v1/tx and GET /arc/v1/tx/{txid}', () => {
  test('accepts, reports SEEN_ON_NETWORK, then MINED', async () => {
    const { a } = await pair()
    const r = await arcPost(a.toHex())
    assert.equal(r.status, 200)
    assert.equal(r.json.txid, a.id('hex'))
    assert.equal(r.json.txStatus, 'SEEN_ON_NETWORK')
    assert.equal((await arcPost(a.toHex())).json.txStatus, 'SEEN_ON_NETWORK')
    assert.equal((await net.get(`/arc/v1/tx/${a.id('hex')}`)).json.txStatus, 'SEEN_ON_NETWORK')
    const mined = await net.mine(1)
    const s = await net.get(`/arc/v1/tx/${a.id('hex')}`)
    assert.equal(s.json.txStatus, 'MINED')
    assert.equal(s.json.blockHash, mined.hashes[0])
    assert.equal(s.json.blockHeight, mined.height)
  })

  test('a double spend is DOUBLE_SPEND_ATTEMPTED, also when asked later', async () => {
    const { a, b } = await pair()
    assert.equal((await net.submit(a.toHex())).status, 200)
    const r = await arcPost(b.toHex())
    assert.equal(r.status, 200)
    assert.equal(r.json.txStatus, 'DOUBLE_SPEND_ATTEMPTED')
    assert.deepEqual(r.json.competingTxs, [a.id('hex')])
    const later = await net.get(`/arc/v1/tx/${b.id('hex')}`)
    assert.equal(later.json.txStatus, 'DOUBLE_SPEND_ATTEMPTED')
    // The winner keeps its status.
    assert.equal((await net.get(`/arc/v1/tx/${a.id('hex')}`)).json.txStatus, 'SEEN_ON_NETWORK')
  })

  test('refusals carry ARC codes: 461 scripts, 462 inputs, 465 fee, 463 malformed', async () => {
    const coin = await fundedCoin(net, 30000)
    const badSig = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: newKey() }], outputs: [{ address: coin.address, sats: 20000 }] })
    const lowFee = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: coin.address, sats: 29999 }] })
    const spent = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: coin.address, sats: 20000 }] })
    const respend = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: coin.address, sats: 20001 }] })
    const cases = [[badSig.toHex(), 461], [lowFee.toHex(), 465], [badSig.toHex().slice(0, -2), 463], [respend.toHex(), 462]]
    for (const [hex, status] of cases) {
      if (status === 462) {
        // Spend the coin on chain first, so the last case has nothing to spend.
        assert.equal((await net.submit(spent.toHex())).status, 200)
        await net.mine(1)
      }
      const r = await arcPost(hex)
      assert.equal(r.status, status, r.text)
      assert.equal(r.json.status, status)
      assert.equal(r.json.txStatus, 'REJECTED')
      assert.ok(r.json.title && r.json.detail && r.json.extraInfo, r.text)
      assert.ok('txid' in r.json)
    }
    assert.equal((await arcPost(respend.toHex())).json.extraInfo, 'Missing inputs')
  })

  test('takes raw hex as text/plain and bytes as application/octet-stream', async () => {
    const { a, b } = await pair()
    const t = await net.post('/arc/v1/tx', a.toHex(), { 'content-type': 'text/plain' })
    assert.equal(t.json.txStatus, 'SEEN_ON_NETWORK')
    const o = await net.post('/arc/v1/tx', Buffer.from(b.toHex(), 'hex'), { 'content-type': 'application/octet-stream' })
    assert.equal(o.json.txStatus, 'DOUBLE_SPEND_ATTEMPTED')
  })

  test('an unknown txid is 404 and a malformed one 400', async () => {
    assert.equal((await net.get(`/arc/v1/tx/${'ab'.repeat(32)}`)).status, 404)
    assert.equal((await net.get('/arc/v1/tx/xyz')).status, 400)
  })
})

describe('platform POST /svc/oi/submit', () => {
  test('answers {ok, txid}; a repeat is still ok; a refusal is ok false with the reason', async () => {
    const { a, b } = await pair()
    const r = await svcPost(a.toHex())
    assert.deepEqual(r.json, { ok: true, txid: a.id('hex') })
    assert.deepEqual((await svcPost(a.toHex())).json, { ok: true, txid: a.id('hex') })
    const c = await svcPost(b.toHex())
    assert.equal(c.json.ok, false)
    assert.equal(c.json.error, '258: txn-mempool-conflict')
    assert.equal((await svcPost('00')).json.ok, false)
  })
})

test('a body over 10 MB is refused with 413 on every submit path', async () => {
  const big = 'a'.repeat(10 * 1024 * 1024 + 10)
  for (const p of [`${WOC}/tx/raw`, '/arc/v1/tx', '/svc/oi/submit']) {
    const r = await net.post(p, JSON.stringify({ txhex: big, rawTx: big }), { 'content-type': 'application/json' })
    assert.equal(r.status, 413, p)
  }
  // The server is still answering afterwards.
  assert.equal((await net.get(`${WOC}/chain/info`)).status, 200)
})
