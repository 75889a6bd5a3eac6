// The ordinals index: envelopes anywhere in a script, MAP metadata, origins
// that follow their satoshi, content by origin.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { createHash } from 'node:crypto'
import { openDevnet, fundedCoin, buildTx, newKey, sdk } from '../support/devnet/harness.mjs'

const { P2PKH } = sdk

let net
before(async () => { net = await openDevnet() })
after(async () => { await net.close() })

const PNG = Buffer.from('89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489', 'hex')
const MAP_PREFIX = '1PuQa7K62MiKCtssSLKy1kh56WWU7MtUR5'

function push (b) {
  b = Buffer.isBuffer(b) ? b : Buffer.from(b, 'utf8')
  if (b.length === 0) return Buffer.from([0])
  if (b.length <= 75) return Buffer.concat([Buffer.from([b.length]), b])
  if (b.length <= 255) return Buffer.concat([Buffer.from([0x4c, b.length]), b])
  const h = Buffer.alloc(3); h[0] = 0x4d; h.writeUInt16LE(b.length, 1)
  return Buffer.concat([h, b])
}

const envelope = (type, data) => Buffer.concat([Buffer.from([0x00, 0x63]), push('ord'), Buffer.from([0x51]), push(type), Buffer.from([0x00]), push(data), Buffer.from([0x68])])
const p2pkh = (address) => Buffer.from(new P2PKH().lock(address).toHex(), 'hex')
const mapSet = (pairs) => Buffer.concat([Buffer.from([0x6a]), push(MAP_PREFIX), push('SET'), ...pairs.flat().map(push)])

async function inscribe (address, contentType, content, map) {
  const r = await net.post('/devnet/inscribe', { address, contentType, contentBase64: content.toString('base64'), map })
  assert.equal(r.status, 200, r.text)
  return r.json
}

const txo = async (outpoint) => (await net.get(`/ord/api/txos/${outpoint}`)).json
const unspentOf = async (address) => (await net.get(`/ord/api/txos/address/${address}/unspent`)).json

describe('inscribe and read back', () => {
  let owner
  let made
  before(async () => {
    owner = newKey()
    made = await inscribe(owner.toAddress(), 'image/png', PNG, { app: 'ZuvAdudurero', type: 'ord', name: 'Dot' })
  })

  test('the origin is vout 0 of its own 1-sat output', async () => {
    assert.equal(made.origin, `${made.txid}_0`)
    const t = await txo(made.origin)
    assert.equal(t.satoshis, 1)
    assert.equal(t.owner, owner.toAddress())
    assert.equal(t.spend, '')
    assert.equal(t.outpoint, made.origin)
    assert.equal(t.origin.outpoint, made.origin)
    assert.equal(typeof t.origin.num, 'number')
    const file = { hash: createHash('sha256').update(PNG).digest('hex'), size: PNG.length, type: 'image/png' }
    assert.deepEqual(t.data.insc.file, file)
    assert.deepEqual(t.origin.data.insc.file, file)
    assert.deepEqual(t.data.map, { app: 'ZuvAdudurero', type: 'ord', name: 'Dot' })
  })

  test('content is served as raw bytes with its type, by origin or bare txid', async () => {
    for (const p of [`/ord/content/${made.origin}`, `/ord/api/files/inscriptions/${made.origin}`, `/ord/content/${made.txid}`]) {
      const r = await net.get(p)
      assert.equal(r.status, 200, p)
      assert.equal(r.type, 'image/png')
      assert.deepEqual(r.bytes, PNG)
    }
    assert.equal((await net.get(`/ord/content/${made.txid}_1`)).status, 404)
    assert.equal((await net.get('/ord/content/nothex')).status, 400)
  })

  test('JSON content is parsed into insc.json', async () => {
    const cert = { pic: made.origin, sha256: 'ab'.repeat(32), title: 'Dot' }
    const c = await inscribe(owner.toAddress(), 'application/json', Buffer.from(JSON.stringify(cert)))
    const t = await txo(c.origin)
    assert.deepEqual(t.data.insc.json, cert)
    assert.deepEqual(t.origin.data.insc.json, cert)
  })

  test('the owner\'s unspent list holds the inscription', async () => {
    const list = await unspentOf(owner.toAddress())
    assert.ok(list.some(t => t.outpoint === made.origin && t.origin.outpoint === made.origin))
  })
})

describe('origin moves with its satoshi', () => {
  test('a 1-sat transfer carries the origin; the old output shows its spend', async () => {
    const alice = newKey()
    const bob = newKey()
    const made = await inscribe(alice.toAddress(), 'text/plain', Buffer.from('moving'))
    const fee = await fundedCoin(net, 5000)
    const tx = await buildTx({
      inputs: [{ hex: await net.hex(made.txid), vout: 0, key: alice }, { hex: fee.hex, vout: 0, key: fee.key }],
      outputs: [{ address: bob.toAddress(), sats: 1 }],
      change: fee.address
    })
    const r = await net.submit(tx.toHex())
    assert.equal(r.status, 200, r.text)
    const moved = await txo(`${tx.id('hex')}_0`)
    assert.equal(moved.owner, bob.toAddress())
    assert.equal(moved.origin.outpoint, made.origin)
    assert.equal(moved.origin.data.insc.text, 'moving')
    assert.deepEqual(moved.data, {}) // the new script is a plain lock
    assert.equal((await txo(made.origin)).spend, tx.id('hex'))
    assert.ok(!(await unspentOf(alice.toAddress())).some(t => t.outpoint === made.origin))
    assert.ok((await unspentOf(bob.toAddress())).some(t => t.origin?.outpoint === made.origin))
    // Content stays reachable by origin after the move, and after mining.
    await net.mine(1)
    assert.equal((await net.get(`/ord/content/${made.origin}`)).text, 'moving')
    assert.ok((await txo(`${tx.id('hex')}_0`)).height > 0)
  })

  test('first-in-first-out over values decides which output gets the sat', async () => {
    const holder = newKey()
    const made = await inscribe(holder.toAddress(), 'text/plain', Buffer.from('fifo'))
    const a = await fundedCoin(net, 1000)
    const b = await fundedCoin(net, 5000)
    const [x, y, z] = [newKey(), newKey(), newKey()]
    // Input sats: a = 0..999, inscription = 1000, b = 1001..6000.
    const tx = await buildTx({
      inputs: [{ hex: a.hex, vout: 0, key: a.key }, { hex: await net.hex(made.txid), vout: 0, key: holder }, { hex: b.hex, vout: 0, key: b.key }],
      outputs: [
        { address: x.toAddress(), sats: 1 }, // sat 0: from a
        { address: y.toAddress(), sats: 999 }, // 1..999
        { address: z.toAddress(), sats: 1 }, // sat 1000: the inscription
        { address: y.toAddress(), sats: 4000 }
      ]
    })
    assert.equal((await net.submit(tx.toHex())).status, 200)
    const id = tx.id('hex')
    assert.equal((await txo(`${id}_0`)).origin, null)
    assert.equal((await txo(`${id}_2`)).origin.outpoint, made.origin)
    assert.equal((await txo(`${id}_3`)).origin, null)
  })

  test('a sat that lands in a larger output is no longer an inscription', async () => {
    const holder = newKey()
    const made = await inscribe(holder.toAddress(), 'text/plain', Buffer.from('merged'))
    const a = await fundedCoin(net, 3000)
    const tx = await buildTx({
      inputs: [{ hex: await net.hex(made.txid), vout: 0, key: holder }, { hex: a.hex, vout: 0, key: a.key }],
      outputs: [{ address: holder.toAddress(), sats: 2500 }]
    })
    assert.equal((await net.submit(tx.toHex())).status, 200)
    assert.equal((await txo(`${tx.id('hex')}_0`)).origin, null)
  })
})

describe('envelopes in scripts built elsewhere', () => {
  async function withOutput (script, sats = 1) {
    const a = await fundedCoin(net, 20000)
    const tx = await buildTx({ inputs: [{ hex: a.hex, vout: 0, key: a.key }], outputs: [{ script, sats }], change: a.address })
    const r = await net.submit(tx.toHex())
    assert.equal(r.status, 200, r.text)
    return tx.id('hex')
  }

  test('an envelope after the P2PKH lock, with MAP after it', async () => {
    const who = newKey().toAddress()
    const id = await withOutput(Buffer.concat([p2pkh(who), envelope('text/markdown', '# hi'), mapSet([['app', 'ZuvAdudurero'], ['name', 'Note']])]))
    const t = await txo(`${id}_0`)
    assert.equal(t.owner, who)
    assert.equal(t.origin.outpoint, `${id}_0`)
    assert.equal(t.data.insc.file.type, 'text/markdown')
    assert.equal(t.data.insc.text, '# hi')
    assert.deepEqual(t.data.map, { app: 'ZuvAdudurero', name: 'Note' })
    const c = await net.get(`/ord/content/${id}_0`)
    assert.equal(c.type, 'text/markdown')
    assert.equal(c.text, '# hi')
  })

  test('an envelope before the lock, content over 255 bytes', async () => {
    const who = newKey().toAddress()
    const body = Buffer.alloc(700, 7)
    const id = await withOutput(Buffer.concat([envelope('application/octet-stream', body), p2pkh(who)]))
    const t = await txo(`${id}_0`)
    assert.equal(t.owner, who)
    assert.equal(t.data.insc.file.size, 700)
    assert.deepEqual((await net.get(`/ord/content/${id}`)).bytes, body)
  })

  test('without the envelope nothing is indexed as an inscription', async () => {
    const who = newKey().toAddress()
    const id = await withOutput(Buffer.concat([p2pkh(who), mapSet([['app', 'x']])]))
    const t = await txo(`${id}_0`)
    assert.equal(t.origin, null)
    assert.equal((await net.get(`/ord/content/${id}_0`)).status, 404)
  })
})

test('token paths answer empty', async () => {
  const who = newKey().toAddress()
  assert.deepEqual((await net.get(`/ord/api/bsv20/${who}/unspent`)).json, [])
  assert.equal((await net.get(`/ord/api/bsv20/id/${'ab'.repeat(32)}_0`)).status, 404)
  assert.equal((await net.get('/ord/api/bsv20/notanaddress/unspent')).status, 400)
  assert.equal((await net.get(`/ord/api/txos/${'ab'.repeat(32)}_0`)).status, 404)
})

test('the unspent list answers 100 outputs a page by default and at most, paged by offset', async () => {
  const who = newKey().toAddress()
  const ids = []
  for (let i = 0; i < 105; i++) ids.push(await net.fund(who, 1000 + i))
  const first = await unspentOf(who)
  assert.equal(first.length, 100)
  const asked = (await net.get(`/ord/api/txos/address/${who}/unspent?limit=500`)).json
  assert.equal(asked.length, 100)
  const rest = (await net.get(`/ord/api/txos/address/${who}/unspent?limit=100&offset=100`)).json
  assert.deepEqual([...first, ...rest].map(t => t.txid), ids)
  assert.deepEqual((await net.get(`/ord/api/txos/address/${who}/unspent?offset=103&limit=1`)).json.map(t => t.satoshis), [1103])
})
