// The three submit paths share one validator but answer in each service's own
// words: WhatsOnChain plain text, ARC status objects, the platform {ok}.
import { test, describe, before, after, afterEach } from 'node:test'
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

describe('ARC switches and formats', () => {
  const switches = (body) => net.post('/devnet/switches', body)
  // The switches belong to the shared devnet; every test leaves them off.
  afterEach(async () => { await switches({ arcQueued: false, arcRequireEf: false }) })

  test('extended format is taken like plain hex; --arc-require-ef refuses plain hex with an unconfirmed parent with 460', async () => {
    const { a } = await pair()
    const o = await net.post('/arc/v1/tx', Buffer.from(a.toHexEF(), 'hex'), { 'content-type': 'application/octet-stream' })
    assert.deepEqual([o.status, o.json.txid, o.json.txStatus], [200, a.id('hex'), 'SEEN_ON_NETWORK'])
    assert.equal((await net.get(`${WOC}/tx/${a.id('hex')}/hex`)).text, a.toHex())

    assert.equal((await switches({ arcRequireEf: true })).status, 200)
    const { a: b } = await pair()
    const plain = await arcPost(b.toHex())
    assert.equal(plain.status, 460, plain.text)
    assert.deepEqual([plain.json.status, plain.json.title, plain.json.txid], [460, 'Not extended format', b.id('hex')])
    assert.equal((await net.get(`/arc/v1/tx/${b.id('hex')}`)).status, 404)
    assert.equal((await arcPost(b.toHexEF())).json.txStatus, 'SEEN_ON_NETWORK')
    // A parent in a block needs no extended format.
    const coin = await fundedCoin(net, 9000, true)
    const c = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: coin.address, sats: 8000 }] })
    assert.equal((await arcPost(c.toHex())).json.txStatus, 'SEEN_ON_NETWORK')
  })

  test('the QUEUED switch answers an accepted transaction with QUEUED (200); the transaction is still accepted', async () => {
    assert.equal((await switches({ arcQueued: true })).status, 200)
    const { a, b } = await pair()
    const r = await arcPost(a.toHex())
    assert.deepEqual([r.status, r.json.status, r.json.txid, r.json.txStatus], [200, 200, a.id('hex'), 'QUEUED'])
    assert.equal((await net.get(`/arc/v1/tx/${a.id('hex')}`)).json.txStatus, 'SEEN_ON_NETWORK')
    assert.equal((await net.get(`${WOC}/tx/${a.id('hex')}`)).status, 200)
    // Refusals and double spends are answered as before.
    assert.equal((await arcPost(b.toHex())).json.txStatus, 'DOUBLE_SPEND_ATTEMPTED')
    await switches({ arcQueued: false })
    const { a: c } = await pair()
    assert.equal((await arcPost(c.toHex())).json.txStatus, 'SEEN_ON_NETWORK')
  })

  test('an Authorization header is accepted; with an ARC key it is required on both routes (401 otherwise)', async () => {
    const { a } = await pair()
    assert.equal((await net.post('/arc/v1/tx', { rawTx: a.toHex() }, { authorization: 'Bearer anything' })).status, 200)
    const keyed = await openDevnet({ arcKey: 'devkey-1' })
    try {
      const coin = await fundedCoin(keyed, 20000)
      const tx = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: coin.address, sats: 19000 }] })
      for (const headers of [{}, { authorization: 'Bearer wrong' }, { authorization: 'devkey-1' }]) {
        const r = await keyed.post('/arc/v1/tx', { rawTx: tx.toHex() }, headers)
        assert.deepEqual([r.status, r.json.status], [401, 401], JSON.stringify(headers))
      }
      assert.equal((await keyed.get(`/arc/v1/tx/${coin.txid}`)).status, 401)
      const ok = await keyed.post('/arc/v1/tx', { rawTx: tx.toHex() }, { authorization: 'Bearer devkey-1' })
      assert.deepEqual([ok.status, ok.json.txStatus], [200, 'SEEN_ON_NETWORK'])
      const status = await keyed.call('GET', `/arc/v1/tx/${tx.id('hex')}`, undefined, { authorization: 'Bearer devkey-1' })
      assert.equal(status.json.txStatus, 'SEEN_ON_NETWORK')
      // The other services take no key.
      assert.equal((await keyed.get(`${WOC}/tx/${tx.id('hex')}`)).status, 200)
    } finally { await keyed.close() }
  })

  test('other routes under ARC answer 404', async () => {
    for (const [method, p] of [['GET', '/arc/v1/tx'], ['PUT', '/arc/v1/tx'], ['POST', `/arc/v1/tx/${'ab'.repeat(32)}`], ['GET', '/arc/v1/tx/a/b']]) {
      assert.equal((await net.call(method, p)).status, 404, `${method} ${p}`)
    }
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
