// Admin paths: faults, reset, state, latency and auto-mining.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import http from 'node:http'
import { openDevnet, newKey, WOC } from '../support/devnet/harness.mjs'

let net
before(async () => { net = await openDevnet() })
after(async () => { await net.close() })

// A request on a fresh connection, so a dropped connection is seen as such.
function rawGet (port, path) {
  return new Promise((resolve) => {
    const req = http.request({ host: '127.0.0.1', port, path, agent: false }, (res) => {
      const parts = []
      res.on('data', (c) => parts.push(c))
      res.on('end', () => resolve({ status: res.statusCode, text: Buffer.concat(parts).toString('utf8') }))
    })
    req.on('error', (err) => resolve({ error: err.code ?? err.message }))
    req.end()
  })
}

describe('faults', () => {
  test('a status fault fires exactly the asked number of times, then the path answers normally', async () => {
    const f = await net.post('/devnet/faults', { method: 'GET', pathRegex: '^/woc/v1/bsv/main/chain/info$', status: 503, body: 'busy', count: 3 })
    assert.equal(f.status, 200)
    const seen = []
    for (let i = 0; i < 5; i++) seen.push((await net.get(`${WOC}/chain/info`)).status)
    assert.deepEqual(seen, [503, 503, 503, 200, 200])
    assert.deepEqual((await net.get('/devnet/faults')).json.faults, [])
  })

  test('the body is sent as given; a JSON body as JSON', async () => {
    await net.post('/devnet/faults', { pathRegex: '/arc/v1/tx', status: 200, body: { txStatus: 'REJECTED', extraInfo: 'forced' } })
    const r = await net.post('/arc/v1/tx', { rawTx: '00' })
    assert.deepEqual(r.json, { txStatus: 'REJECTED', extraInfo: 'forced' })
    assert.match(r.type, /^application\/json/)
    await net.post('/devnet/faults', { pathRegex: 'tx/raw', status: 429, body: 'slow down' })
    const w = await net.post(`${WOC}/tx/raw`, { txhex: '00' })
    assert.equal(w.status, 429)
    assert.equal(w.text, 'slow down')
  })

  test('method and query string take part in the match', async () => {
    await net.post('/devnet/faults', { method: 'POST', pathRegex: 'oracle', status: 500 })
    await net.post('/devnet/faults', { method: 'GET', pathRegex: 'oracle/as1/txids\\?.*offset=2000', status: 502 })
    assert.equal((await net.get('/svc/oi/oracle/as1/txids?limit=2000&offset=0')).status, 200)
    assert.equal((await net.get('/svc/oi/oracle/as1/txids?limit=2000&offset=2000')).status, 502)
    assert.equal((await net.get('/svc/oi/oracle/as1/txids?limit=2000&offset=2000')).status, 200)
    const left = (await net.get('/devnet/faults')).json.faults
    assert.deepEqual(left.map(f => [f.method, f.remaining]), [['POST', 1]])
    assert.equal((await net.del('/devnet/faults')).json.cleared, 1)
  })

  test('drop closes the connection without an answer, count times', async () => {
    await net.post('/devnet/faults', { pathRegex: '^/ord/api/bsv20/', drop: true, count: 2 })
    const who = newKey().toAddress()
    const a = await rawGet(net.devnet.port, `/ord/api/bsv20/${who}/unspent`)
    const b = await rawGet(net.devnet.port, `/ord/api/bsv20/${who}/unspent`)
    const c = await rawGet(net.devnet.port, `/ord/api/bsv20/${who}/unspent`)
    assert.ok(a.error && b.error, JSON.stringify([a, b]))
    assert.equal(c.status, 200)
  })

  test('a delay alone holds the answer back and then answers normally', async () => {
    await net.post('/devnet/faults', { pathRegex: 'chain/info', delayMs: 300 })
    const t0 = Date.now()
    const r = await net.get(`${WOC}/chain/info`)
    assert.ok(Date.now() - t0 >= 290)
    assert.equal(r.status, 200)
    const t1 = Date.now()
    await net.get(`${WOC}/chain/info`)
    assert.ok(Date.now() - t1 < 290)
  })

  test('truncate announces the whole body, sends half of it and closes the connection', async () => {
    await net.post('/devnet/faults', { pathRegex: 'chain/info', status: 200, body: '{"blocks":123456789}', contentType: 'application/json', truncate: true })
    const seen = await new Promise((resolve) => {
      const req = http.request({ host: '127.0.0.1', port: net.devnet.port, path: `${WOC}/chain/info`, agent: false }, (res) => {
        const parts = []
        res.on('data', (c) => parts.push(c))
        res.on('aborted', () => {})
        res.on('error', () => {})
        res.on('close', () => resolve({ status: res.statusCode, length: Number(res.headers['content-length']), text: Buffer.concat(parts).toString('utf8'), complete: res.complete }))
      })
      req.on('error', (err) => resolve({ error: err.code }))
      req.end()
    })
    assert.equal(seen.status, 200, JSON.stringify(seen))
    assert.equal(seen.length, 20)
    assert.equal(seen.text, '{"blocks":')
    assert.equal(seen.complete, false)
    assert.equal((await net.get(`${WOC}/chain/info`)).status, 200)
  })

  test('bodyBytes streams exactly that many bytes of the repeated body', async () => {
    const size = 20 * 1024 * 1024 + 3
    await net.post('/devnet/faults', { pathRegex: 'chain/info', status: 200, body: 'ab', bodyBytes: size })
    await net.post('/devnet/faults', { pathRegex: 'chain/info', status: 500, bodyBytes: 5 })
    const big = await new Promise((resolve) => {
      http.get({ host: '127.0.0.1', port: net.devnet.port, path: `${WOC}/chain/info`, agent: false }, (res) => {
        let n = 0
        let head = ''
        let tail = ''
        res.on('data', (c) => { if (head.length < 4) head += c.toString('latin1', 0, 4); n += c.length; tail = c.toString('latin1', c.length - 3) })
        res.on('end', () => resolve({ status: res.statusCode, length: Number(res.headers['content-length']), n, head, tail }))
      })
    })
    assert.deepEqual(big, { status: 200, length: size, n: size, head: 'abab', tail: 'aba' })
    const small = await rawGet(net.devnet.port, `${WOC}/chain/info`)
    assert.deepEqual(small, { status: 500, text: 'xxxxx' })
  })

  test('a client that leaves in the middle of a large body ends the stream', async () => {
    await net.post('/devnet/faults', { pathRegex: 'chain/info', status: 200, bodyBytes: 32 * 1024 * 1024 })
    await new Promise((resolve) => {
      const req = http.get({ host: '127.0.0.1', port: net.devnet.port, path: `${WOC}/chain/info`, agent: false }, (res) => {
        res.once('data', () => { req.destroy(); resolve() })
      })
      req.on('error', () => {})
    })
    // The devnet still answers (its write loop did not wedge on the closed socket).
    assert.equal((await net.get(`${WOC}/chain/info`)).status, 200)
  })

  test('admin paths are never faulted, so a test can always clean up', async () => {
    await net.post('/devnet/faults', { pathRegex: '.*', status: 500, count: 100 })
    assert.equal((await net.get('/devnet/state')).status, 200)
    assert.equal((await net.get(`${WOC}/chain/info`)).status, 500)
    assert.equal((await net.del('/devnet/faults')).json.cleared, 1)
    assert.equal((await net.get(`${WOC}/chain/info`)).status, 200)
  })

  test('malformed fault requests are refused', async () => {
    for (const bad of [{}, { pathRegex: '(' }, { pathRegex: 'x' }, { pathRegex: 'x', status: 99 }, { pathRegex: 'x', status: 500, count: 0 }, { pathRegex: 'x', drop: 'yes' }, { pathRegex: 'x', status: 500, method: 'GET POST' }, { pathRegex: 'x', truncate: true }, { pathRegex: 'x', status: 200, truncate: 'yes' }, { pathRegex: 'x', status: 200, body: 'a', truncate: true }, { pathRegex: 'x', bodyBytes: 10 }, { pathRegex: 'x', status: 200, bodyBytes: 32 * 1024 * 1024 + 1 }, { pathRegex: 'x', status: 200, bodyBytes: -1 }]) {
      assert.equal((await net.post('/devnet/faults', bad)).status, 400, JSON.stringify(bad))
    }
    assert.deepEqual((await net.get('/devnet/faults')).json.faults, [])
  })
})

describe('state and reset', () => {
  test('state reports the chain; reset returns to the genesis state', async () => {
    const who = newKey()
    const txid = await net.fund(who.toAddress(), 1234)
    await net.post('/devnet/identity', { pubkey: who.toPublicKey().toString(), alias: 'resetme' })
    await net.post('/devnet/faults', { pathRegex: 'never', status: 500 })
    const s = (await net.get('/devnet/state')).json
    assert.deepEqual(s.mempool, [txid])
    assert.equal(s.faucet.address, net.profile.devnet.faucet_address)
    assert.ok(s.height >= 1)
    assert.equal((await net.post('/devnet/reset')).status, 200)
    const after = (await net.get('/devnet/state')).json
    assert.equal(after.height, 1)
    assert.deepEqual(after.mempool, [])
    assert.equal(after.identities, 0)
    assert.deepEqual(after.faults, [])
    assert.equal(after.transactions, 1)
    assert.equal((await net.get(`${WOC}/tx/${txid}`)).status, 404)
    assert.equal((await net.get(`/svc/api/bsvalias/id/resetme@${net.profile.paymail_domain}`)).status, 404)
    // The faucet works again from its genesis coin.
    assert.match(await net.fund(who.toAddress(), 10), /^[0-9a-f]{64}$/)
  })

  test('fund and mine validate their arguments', async () => {
    assert.equal((await net.post('/devnet/fund', { address: 'x', sats: 1 })).status, 400)
    assert.equal((await net.post('/devnet/fund', { address: newKey().toAddress(), sats: 0 })).status, 400)
    assert.equal((await net.post('/devnet/fund', { address: newKey().toAddress(), sats: 1.5 })).status, 400)
    assert.equal((await net.post('/devnet/mine', { blocks: 0 })).status, 400)
    assert.equal((await net.post('/devnet/inscribe', { address: newKey().toAddress(), contentType: 'text/plain', contentBase64: '!!' })).status, 400)
    const m = await net.post('/devnet/mine', { blocks: 3 })
    assert.equal(m.json.hashes.length, 3)
  })

  test('fund with confirmed: true mines it at once', async () => {
    const who = newKey().toAddress()
    const r = await net.post('/devnet/fund', { address: who, sats: 500, confirmed: true })
    assert.equal((await net.get(`${WOC}/address/${who}/confirmed/balance`)).json.confirmed, 500)
    assert.equal((await net.get(`${WOC}/address/${who}/unconfirmed/balance`)).json.unconfirmed, 0)
    assert.equal((await net.get(`${WOC}/tx/${r.json.txid}`)).json.confirmations, 1)
  })
})

describe('timing options', () => {
  test('--latency-ms delays every answer', async () => {
    const slow = await openDevnet({ latencyMs: 200 })
    try {
      const t0 = Date.now()
      assert.equal((await slow.get(`${WOC}/chain/info`)).status, 200)
      assert.ok(Date.now() - t0 >= 190)
    } finally { await slow.close() }
  })

  test('--auto-mine-ms confirms the mempool on its own', async () => {
    const auto = await openDevnet({ autoMineMs: 50 })
    try {
      const who = newKey().toAddress()
      const txid = await auto.fund(who, 900)
      let confirmations = 0
      for (let i = 0; i < 40 && confirmations === 0; i++) {
        await new Promise(resolve => setTimeout(resolve, 25))
        confirmations = (await auto.get(`${WOC}/tx/${txid}`)).json.confirmations ?? 0
      }
      assert.ok(confirmations >= 1)
    } finally { await auto.close() }
  })
})
