// The platform service: oracle lists, transaction lookup, identities, roles,
// labels, alias lookup and signed paymail claims.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { readFileSync } from 'node:fs'
import { openDevnet, newKey, sdk, WOC } from '../support/devnet/harness.mjs'
import { verifyMessage, claimMessage } from '../../tools/devnet/lib/platform.mjs'

const { BSM, ECDSA, BigNumber } = sdk
const vectors = JSON.parse(readFileSync(new URL('../support/devnet/signed-message-vectors.json', import.meta.url), 'utf8'))

let net
let domain
before(async () => { net = await openDevnet(); domain = net.profile.paymail_domain })
after(async () => { await net.close() })

function signPlain (key, message, digestOf = (m) => BSM.magicHash([...Buffer.from(m, 'utf8')])) {
  const sig = ECDSA.sign(new BigNumber(digestOf(message)), key, true)
  return Buffer.from([...sig.r.toArray('be', 32), ...sig.s.toArray('be', 32)]).toString('base64')
}

function claimFor (key, alias, extra = {}) {
  const c = { alias, pubkey: key.toPublicKey().toString(), address: key.toAddress(), avatar: '', ts: 1733650000, ...extra }
  return { ...c, sig: signPlain(key, claimMessage(c)) }
}

const claim = (body) => net.post('/svc/api/paymail/claim', body)
const lookup = (alias) => net.get(`/svc/api/bsvalias/id/${alias}@${domain}`)

describe('signature check', () => {
  test('accepts the published vectors over all three digests and both encodings', () => {
    for (const v of vectors.vectors) {
      for (const sig of [v.plain_base64, v.compact_base64, v.plain_over_single_sha256_base64, v.plain_over_double_sha256_base64]) {
        assert.equal(verifyMessage(v.message, vectors.public_key, sig), true)
      }
      assert.equal(verifyMessage(v.message, vectors.public_key_uncompressed, v.plain_base64), true)
      assert.equal(verifyMessage(v.message, '0x' + vectors.public_key, v.plain_base64), true)
    }
  })

  test('refuses another message, a changed signature and bad encodings', () => {
    const v = vectors.vectors[0]
    assert.equal(verifyMessage(v.message + '!', vectors.public_key, v.plain_base64), false)
    const bytes = Buffer.from(v.plain_base64, 'base64'); bytes[10] ^= 1
    assert.equal(verifyMessage(v.message, vectors.public_key, bytes.toString('base64')), false)
    assert.equal(verifyMessage(v.message, vectors.public_key, v.plain_base64.slice(0, 40)), false)
    assert.equal(verifyMessage(v.message, vectors.public_key, v.plain_base64.replace(/^./, '*')), false)
    assert.equal(verifyMessage(v.message, 'zz', v.plain_base64), false)
    assert.equal(verifyMessage(v.message, newKey().toPublicKey().toString(), v.plain_base64), false)
  })
})

describe('paymail claim', () => {
  test('a signed claim registers the alias for its key', async () => {
    const key = newKey()
    const r = await claim(claimFor(key, 'Alice.Art'))
    assert.equal(r.status, 200, r.text)
    assert.equal(r.json.handle, `alice.art@${domain}`)
    const pub = key.toPublicKey().toString()
    assert.deepEqual((await lookup('alice.art')).json, { bsvalias: '1.0', handle: `alice.art@${domain}`, pubkey: pub })
    assert.equal((await lookup('ALICE.ART')).json.pubkey, pub)
    const id = (await net.get(`/svc/api/paymail/identity/${pub}`)).json
    assert.equal(id.pubkey, pub)
    assert.equal(id.alias, 'alice.art')
    assert.equal(id.frozen, false)
    assert.deepEqual((await net.get(`/svc/api/paymail/labels/${pub}`)).json, { labels: ['alice.art'] })
    assert.equal((await net.get(`/svc/api/paymail/quota/${pub}`)).json.role, 'default')
  })

  test('digest variants: single and double SHA-256 of the message are accepted', async () => {
    const key = newKey()
    for (const [alias, digest] of [['single', (m) => sdk.Hash.sha256([...Buffer.from(m)])], ['double', (m) => sdk.Hash.hash256([...Buffer.from(m)])]]) {
      const c = { alias, pubkey: key.toPublicKey().toString(), address: key.toAddress(), avatar: '', ts: 5 }
      const r = await claim({ ...c, sig: signPlain(key, claimMessage(c), digest) })
      assert.equal(r.status, 200, r.text)
    }
  })

  test('a wrong signature is refused and registers nothing', async () => {
    const key = newKey()
    const good = claimFor(key, 'mallory')
    const cases = [
      { ...good, sig: claimFor(newKey(), 'mallory').sig }, // someone else's key signed it
      { ...good, ts: good.ts + 1 }, // the signed time differs
      { ...good, ordAddress: key.toAddress() }, // a field the signature does not cover
      { ...good, sig: 'not base64 at all!' }
    ]
    for (const c of cases) {
      const r = await claim(c)
      assert.equal(r.status, 401, r.text)
      assert.ok(r.json.error)
    }
    assert.equal((await lookup('mallory')).status, 404)
  })

  test('the optional ordinals and BN fields are part of the signed message', async () => {
    const key = newKey()
    const ord = newKey().toAddress()
    assert.equal((await claim(claimFor(key, 'withord', { ordAddress: ord }))).status, 200)
    const bn = newKey()
    const r = await claim(claimFor(key, 'withbn', { ordAddress: ord, bnPub: bn.toPublicKey().toString(), bnAddress: bn.toAddress() }))
    assert.equal(r.status, 200, r.text)
  })

  test('an alias held by another key is 409; its holder may claim it again', async () => {
    const owner = newKey()
    assert.equal((await claim(claimFor(owner, 'taken'))).status, 200)
    const r = await claim(claimFor(newKey(), '@Taken '))
    assert.equal(r.status, 409)
    assert.equal(r.json.error, `taken@${domain} is already taken`)
    assert.equal((await claim(claimFor(owner, 'taken', { ts: 99 }))).status, 200)
    assert.equal((await lookup('taken')).json.pubkey, owner.toPublicKey().toString())
  })

  test('the label quota follows the role; a frozen identity cannot claim', async () => {
    const key = newKey()
    const pub = key.toPublicKey().toString()
    for (let i = 0; i < 10; i++) assert.equal((await claim(claimFor(key, `q${i}`))).status, 200)
    const over = await claim(claimFor(key, 'q10'))
    assert.equal(over.status, 403)
    assert.equal(over.json.error, 'paymail quota reached (10 free labels per identity)')
    assert.equal((await net.post('/devnet/identity', { pubkey: pub, role: 'architect' })).status, 200)
    assert.equal((await net.get(`/svc/api/paymail/quota/${pub}`)).json.role, 'architect')
    assert.equal((await claim(claimFor(key, 'q10'))).status, 200)
    assert.equal((await net.get(`/svc/api/paymail/labels/${pub}`)).json.labels.length, 11)
    await net.post('/devnet/identity', { pubkey: pub, frozen: true })
    assert.equal((await net.get(`/svc/api/paymail/identity/${pub}`)).json.frozen, true)
    assert.equal((await claim(claimFor(key, 'q11'))).status, 403)
  })

  test('malformed claims are 400', async () => {
    const key = newKey()
    assert.equal((await claim({ ...claimFor(key, 'x'), pubkey: 'abc' })).status, 400)
    assert.equal((await claim({ ...claimFor(key, 'x'), ts: 'soon' })).status, 400)
    assert.equal((await claim(claimFor(key, '@@@'))).status, 400)
    assert.equal((await net.post('/svc/api/paymail/claim', '[1,2')).status, 400)
  })
})

describe('identity admin and lookups', () => {
  test('the admin path sets alias, role and frozen; the lookups reflect them', async () => {
    const pub = newKey().toPublicKey().toString()
    const r = await net.post('/devnet/identity', { pubkey: pub, alias: 'curator', role: 'architect' })
    assert.equal(r.status, 200, r.text)
    assert.equal((await lookup('curator')).json.pubkey, pub)
    assert.equal((await net.get(`/svc/api/paymail/quota/${pub}`)).json.role, 'architect')
    const clash = await net.post('/devnet/identity', { pubkey: newKey().toPublicKey().toString(), alias: 'curator', role: 'dev' })
    assert.equal(clash.status, 409)
    assert.equal((await net.post('/devnet/identity', { pubkey: pub, role: 'king' })).status, 400)
  })

  test('unknown identities, aliases and domains', async () => {
    const pub = newKey().toPublicKey().toString()
    assert.equal((await net.get(`/svc/api/paymail/identity/${pub}`)).status, 404)
    assert.equal((await net.get(`/svc/api/paymail/quota/${pub}`)).json.role, 'default')
    assert.deepEqual((await net.get(`/svc/api/paymail/labels/${pub}`)).json, { labels: [] })
    assert.equal((await net.get('/svc/api/paymail/identity/nothex')).status, 400)
    assert.equal((await lookup('nobody')).status, 404)
    await net.post('/devnet/identity', { pubkey: pub, alias: 'elsewhere' })
    assert.equal((await net.get('/svc/api/bsvalias/id/elsewhere@example.com')).status, 404)
    assert.equal((await net.get(`/svc/api/bsvalias/id/elsewhere%40${domain}`)).status, 200)
  })
})

describe('oracle', () => {
  test('txid lists follow the name\'s address in first-seen order, paged by limit and offset', async () => {
    const as3 = net.profile.frames[2]
    const ids = []
    for (let i = 0; i < 5; i++) ids.push(await net.fund(as3, 1 + i))
    await net.mine(1)
    const all = (await net.get('/svc/oi/oracle/as3/txids')).json.txids
    assert.deepEqual(all, ids)
    assert.deepEqual(all, (await net.get(`${WOC}/address/${as3}/confirmed/history?order=asc`)).json.result.map(h => h.tx_hash))
    const p1 = (await net.get('/svc/oi/oracle/as3/txids?limit=2&offset=0')).json.txids
    const p3 = (await net.get('/svc/oi/oracle/as3/txids?limit=2&offset=4')).json.txids
    const p4 = (await net.get('/svc/oi/oracle/as3/txids?limit=2&offset=6')).json.txids
    assert.deepEqual([p1, p3, p4], [ids.slice(0, 2), ids.slice(4), []])
  })

  test('every oracle name answers for its profile address', async () => {
    const names = { ocp: net.profile.ocp_address, oao: net.profile.oao_address, ident: net.profile.credential_issuer_address }
    net.profile.frames.forEach((a, i) => { names[`as${i + 1}`] = a })
    for (const [name, address] of Object.entries(names)) {
      const txid = await net.fund(address, 1)
      assert.ok((await net.get(`/svc/oi/oracle/${name}/txids`)).json.txids.includes(txid), name)
    }
    assert.equal((await net.get('/svc/oi/oracle/as11/txids')).status, 404)
    assert.equal((await net.get('/svc/oi/oracle/constructor/txids')).status, 404)
    assert.equal((await net.get('/svc/oi/oracle/as1/txids?limit=x')).status, 400)
  })

  test('GET /svc/oi/tx/{txid} is the WhatsOnChain transaction JSON', async () => {
    const txid = await net.fund(net.profile.frames[0], 7)
    assert.deepEqual((await net.get(`/svc/oi/tx/${txid}`)).json, (await net.get(`${WOC}/tx/${txid}`)).json)
    assert.equal((await net.get(`/svc/oi/tx/${'00'.repeat(32)}`)).status, 404)
  })
})
