// One transaction built and signed with @bsv/sdk, followed through every read
// path of the four services, before and after it is mined.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { isDeepStrictEqual } from 'node:util'
import { openDevnet, fundedCoin, buildTx, newKey, sdk, WOC } from '../support/devnet/harness.mjs'

const { Transaction, P2PKH } = sdk

let net
before(async () => { net = await openDevnet() })
after(async () => { await net.close() })

function push (b) { return Buffer.concat([Buffer.from([b.length]), b]) }

describe('a payment with a watch output, an inscription and a data output', () => {
  let alice, bob, watch, coin, tx, txid, content
  before(async () => {
    alice = newKey()
    bob = newKey()
    watch = net.profile.frames[0]
    coin = await fundedCoin(net, 50000, true)
    content = Buffer.from('{"title":"Harbour"}')
    const insc = Buffer.concat([
      Buffer.from(new P2PKH().lock(bob.toAddress()).toHex(), 'hex'),
      Buffer.from([0x00, 0x63]), push(Buffer.from('ord')), Buffer.from([0x51]), push(Buffer.from('application/json')),
      Buffer.from([0x00]), push(content), Buffer.from([0x68])
    ])
    const record = Buffer.concat([Buffer.from([0x00, 0x6a]), push(Buffer.from('OV-Art test record'))])
    tx = await buildTx({
      inputs: [{ hex: coin.hex, vout: 0, key: coin.key }],
      outputs: [{ address: watch, sats: 1 }, { script: insc, sats: 1 }, { script: record, sats: 0 }],
      change: alice.toAddress()
    })
    txid = tx.id('hex')
    const r = await net.post('/svc/oi/submit', { txhex: tx.toHex() })
    assert.deepEqual(r.json, { ok: true, txid })
  })

  async function checkAll (expectHeight) {
    const change = tx.outputs[3].satoshis
    // WhatsOnChain: raw forms round-trip to the submitted bytes.
    assert.equal((await net.get(`${WOC}/tx/${txid}/hex`)).text, tx.toHex())
    assert.equal(Transaction.fromHex((await net.get(`${WOC}/tx/${txid}/hex`)).text).id('hex'), txid)
    assert.deepEqual((await net.post(`${WOC}/txs/hex`, { txids: [txid] })).json.map(r => [r.txid, r.hex, r.blockheight]), [[txid, tx.toHex(), expectHeight ?? 0]])
    const j = (await net.get(`${WOC}/tx/${txid}`)).json
    assert.equal(j.txid, txid)
    assert.equal(j.size, tx.toBinary().length)
    assert.deepEqual(j.vin.map(v => [v.txid, v.vout]), [[coin.txid, 0]])
    assert.deepEqual(j.vout.map(v => Math.round(v.value * 1e8)), tx.outputs.map(o => o.satoshis))
    assert.deepEqual(j.vout.map(v => v.scriptPubKey.hex), tx.outputs.map(o => o.lockingScript.toHex()))
    assert.deepEqual(j.vout.map(v => v.scriptPubKey.addresses), [[watch], [bob.toAddress()], [], [alice.toAddress()]])
    assert.equal(j.vout[2].scriptPubKey.type, 'nulldata')
    assert.deepEqual(j.vout.map(v => v.scriptPubKey.isTruncated), [false, false, false, false])
    assert.deepEqual((await net.post(`${WOC}/txs`, { txids: [txid] })).json, [j])
    assert.equal(j.blockheight, expectHeight ?? undefined)
    const status = expectHeight ? 'confirmed' : 'unconfirmed'
    assert.deepEqual((await net.get(`${WOC}/tx/${coin.txid}/0/spent`)).json, { txid, vin: 0, status })
    const outs = [0, 1, 2, 3].map(vout => ({ txid, vout }))
    assert.deepEqual((await net.post(`${WOC}/utxos/spent`, { utxos: outs })).json, outs.map(utxo => ({ utxo, error: '' })))
    const height = expectHeight ?? 0
    for (const [addr, vout, sats] of [[watch, 0, 1], [bob.toAddress(), 1, 1], [alice.toAddress(), 3, change]]) {
      const hist = expectHeight ? 'confirmed/history' : 'unconfirmed/history'
      const entry = expectHeight ? { tx_hash: txid, height } : { tx_hash: txid }
      assert.ok((await net.get(`${WOC}/address/${addr}/${hist}`)).json.result.some(h => isDeepStrictEqual(h, entry)), addr)
      const all = (await net.get(`${WOC}/address/${addr}/unspent/all`)).json.result
      const u = all.find(x => x.tx_hash === txid)
      assert.deepEqual(u, expectHeight
        ? { height, tx_pos: vout, tx_hash: txid, value: sats, isSpentInMempoolTx: false, status: 'confirmed' }
        : { tx_pos: vout, tx_hash: txid, value: sats, isSpentInMempoolTx: false, hex: tx.outputs[vout].lockingScript.toHex(), status: 'unconfirmed' })
      const confirmed = (await net.get(`${WOC}/address/${addr}/confirmed/balance`)).json.confirmed
      const unconfirmed = (await net.get(`${WOC}/address/${addr}/unconfirmed/balance`)).json.unconfirmed
      assert.equal(confirmed + unconfirmed, all.reduce((s, x) => s + x.value, 0))
      assert.equal((await net.post(`${WOC}/addresses/confirmed/balance`, { addresses: [addr] })).json[0].confirmed, confirmed)
      assert.equal((await net.post(`${WOC}/addresses/unconfirmed/balance`, { addresses: [addr] })).json[0].unconfirmed, unconfirmed)
    }
    // ARC.
    const arc = (await net.get(`/arc/v1/tx/${txid}`)).json
    assert.equal(arc.txStatus, expectHeight ? 'MINED' : 'SEEN_ON_NETWORK')
    if (expectHeight) { assert.equal(arc.blockHash, j.blockhash); assert.equal(arc.blockHeight, expectHeight) }
    // Ordinals.
    const t = (await net.get(`/ord/api/txos/${txid}_1`)).json
    assert.equal(t.owner, bob.toAddress())
    assert.equal(t.origin.outpoint, `${txid}_1`)
    assert.deepEqual(t.data.insc.json, { title: 'Harbour' })
    assert.equal(t.height, height)
    assert.ok((await net.get(`/ord/api/txos/address/${bob.toAddress()}/unspent`)).json.some(x => x.outpoint === `${txid}_1`))
    assert.ok((await net.get(`/ord/api/txos/address/${alice.toAddress()}/unspent`)).json.some(x => x.outpoint === `${txid}_3` && x.satoshis === change))
    assert.equal((await net.get(`/ord/api/txos/${coin.txid}_0`)).json.spend, txid)
    const c = await net.get(`/ord/content/${txid}_1`)
    assert.equal(c.type, 'application/json')
    assert.deepEqual(c.bytes, content)
    // Platform.
    assert.deepEqual((await net.get(`/svc/oi/tx/${txid}`)).json, j)
    assert.ok((await net.get('/svc/oi/oracle/as1/txids')).json.txids.includes(txid))
  }

  test('every read path agrees while it is unconfirmed', async () => {
    await checkAll(null)
  })

  test('every read path agrees once it is mined', async () => {
    const mined = await net.mine(1)
    assert.ok(mined.txids.includes(txid))
    await checkAll(mined.height)
  })
})
