// Every submitted transaction is checked by the devnet itself: structure,
// inputs, value, fee and the strict script rules.
import { test, describe, before, after } from 'node:test'
import assert from 'node:assert/strict'
import {
  openDevnet, fundedCoin, buildTx, buildWithFee, legacyUnlock, withUnlocking, edited, newKey, sdk, WOC
} from '../support/devnet/harness.mjs'

const { Transaction, Spend, Signature, BigNumber, TransactionSignature } = sdk

let net
before(async () => { net = await openDevnet() })
after(async () => { await net.close() })

const minFee = (size) => Math.ceil(size / 10)

describe('accepts', () => {
  test('a chain of unconfirmed spends, each spending the previous output', async () => {
    const coin = await fundedCoin(net, 50000)
    let prev = { hex: coin.hex, vout: 0, key: coin.key }
    const ids = []
    for (let i = 0; i < 4; i++) {
      const next = newKey()
      const tx = await buildTx({ inputs: [prev], outputs: [{ address: next.toAddress(), sats: 40000 - i * 1000 }] })
      const r = await net.submit(tx.toHex())
      assert.equal(r.status, 200, r.text)
      assert.equal(r.json, tx.id('hex'))
      ids.push(r.json)
      prev = { hex: tx.toHex(), vout: 0, key: next }
    }
    const state = (await net.get('/devnet/state')).json
    for (const id of ids) assert.ok(state.mempool.includes(id))
    const mined = await net.mine(1)
    for (const id of ids) assert.ok(mined.txids.includes(id))
  })

  test('a fee of exactly 100 sat per 1000 bytes rounded up', async () => {
    const coin = await fundedCoin(net, 20000)
    const { tx, size, fee } = await buildWithFee({ input: { hex: coin.hex, vout: 0, key: coin.key }, inSats: 20000, to: newKey().toAddress(), feeOf: minFee })
    assert.equal(fee, Math.ceil(size / 10))
    const r = await net.submit(tx.toHex())
    assert.equal(r.status, 200, r.text)
  })

  test('spending a confirmed output and an unconfirmed output together', async () => {
    const a = await fundedCoin(net, 10000, true)
    const b = await fundedCoin(net, 10000, false)
    const tx = await buildTx({
      inputs: [{ hex: a.hex, vout: 0, key: a.key }, { hex: b.hex, vout: 0, key: b.key }],
      outputs: [{ address: newKey().toAddress(), sats: 19000 }],
      change: a.address
    })
    assert.equal((await net.submit(tx.toHex())).status, 200)
  })
})

describe('refuses', () => {
  test('a fee one satoshi below the rule', async () => {
    const coin = await fundedCoin(net, 20000)
    const { tx } = await buildWithFee({ input: { hex: coin.hex, vout: 0, key: coin.key }, inSats: 20000, to: newKey().toAddress(), feeOf: s => minFee(s) - 1 })
    const r = await net.submit(tx.toHex())
    assert.equal(r.status, 400)
    assert.equal(r.text, '66: insufficient priority')
  })

  test('outputs worth more than the inputs', async () => {
    const coin = await fundedCoin(net, 5000)
    const tx = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: newKey().toAddress(), sats: 5001 }] })
    const r = await net.submit(tx.toHex())
    assert.equal(r.text, '16: bad-txns-in-belowout')
  })

  test('a negative output value', async () => {
    const coin = await fundedCoin(net, 5000)
    const tx = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: newKey().toAddress(), sats: 4000 }] })
    const raw = Buffer.from(tx.toHex(), 'hex')
    // The single output's value sits right after the input and the output count.
    const valueAt = raw.length - 4 - 26 - 8
    raw.writeBigInt64LE(-1n, valueAt)
    const r = await net.submit(raw.toString('hex'))
    assert.equal(r.text, '16: bad-txns-vout-negative')
  })

  test('truncated, padded and malformed hex', async () => {
    const coin = await fundedCoin(net, 5000)
    const hex = (await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: newKey().toAddress(), sats: 4000 }] })).toHex()
    // The SDK parser itself takes both of these, which is why the devnet re-checks.
    for (const bad of [hex.slice(0, -2), hex + '00', hex + 'deadbeef', hex.slice(0, -1), hex.replace(/^../, 'zz'), '']) {
      const r = await net.submit(bad)
      assert.equal(r.status, 400)
      assert.equal(r.text, 'TX decode failed', `for ${bad.length} chars`)
    }
    // The same transaction with its input count written in a longer form.
    const longCount = hex.slice(0, 8) + 'fd0100' + hex.slice(10)
    assert.equal(sdk.Transaction.fromHex(longCount).id('hex').length, 64)
    assert.equal((await net.submit(longCount)).text, 'TX decode failed')
    assert.equal((await net.submit(hex)).status, 200)
  })

  test('inputs that do not exist', async () => {
    const coin = await fundedCoin(net, 5000)
    const tx = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: newKey().toAddress(), sats: 4000 }] })
    // The funding transaction has two outputs; output 7 does not exist.
    const r = await net.submit(edited(tx, (c) => { c.inputs[0].sourceOutputIndex = 7 }))
    assert.equal(r.status, 400)
    assert.equal(r.text, 'Missing inputs')
  })

  test('a double spend against the mempool, then against the chain', async () => {
    const coin = await fundedCoin(net, 30000)
    const input = { hex: coin.hex, vout: 0, key: coin.key }
    const first = await buildTx({ inputs: [input], outputs: [{ address: newKey().toAddress(), sats: 20000 }] })
    const second = await buildTx({ inputs: [input], outputs: [{ address: newKey().toAddress(), sats: 21000 }] })
    assert.equal((await net.submit(first.toHex())).status, 200)
    const inMempool = await net.submit(second.toHex())
    assert.equal(inMempool.status, 400)
    assert.equal(inMempool.text, '258: txn-mempool-conflict')
    await net.mine(1)
    const onChain = await net.submit(second.toHex())
    assert.equal(onChain.text, 'Missing inputs')
    // The loser is not on chain.
    assert.equal((await net.get(`${WOC}/tx/${second.id('hex')}`)).status, 404)
  })

  test('the same input twice in one transaction', async () => {
    const coin = await fundedCoin(net, 30000)
    const input = { hex: coin.hex, vout: 0, key: coin.key }
    const tx = await buildTx({ inputs: [input, input], outputs: [{ address: newKey().toAddress(), sats: 20000 }] })
    assert.equal((await net.submit(tx.toHex())).text, '16: bad-txns-inputs-duplicate')
  })
})

describe('script rules', () => {
  let coin
  let good
  before(async () => {
    coin = await fundedCoin(net, 40000)
    good = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: newKey().toAddress(), sats: 30000 }] })
  })
  const sigAndKey = () => good.inputs[0].unlockingScript.chunks.map(c => Buffer.from(c.data))
  const push = (b) => Buffer.concat([Buffer.from([b.length]), b])

  async function refused (hex) {
    const r = await net.submit(hex)
    assert.equal(r.status, 400)
    assert.match(r.text, /^16: mandatory-script-verify-flag-failed \(.+\)$/)
  }

  test('a signature made for another transaction', async () => {
    const other = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: newKey().toAddress(), sats: 31000 }] })
    await refused(withUnlocking(good, 0, other.inputs[0].unlockingScript.toHex()))
  })

  test('a signature by another key', async () => {
    const tx = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: newKey() }], outputs: [{ address: newKey().toAddress(), sats: 30000 }] })
    await refused(tx.toHex())
  })

  test('a valid legacy signature without SIGHASH_FORKID', async () => {
    const tx = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, template: legacyUnlock(coin.key) }], outputs: [{ address: newKey().toAddress(), sats: 30000 }] })
    // The interpreter's relaxed default takes this signature; only the strict rules refuse it.
    const src = Transaction.fromHex(coin.hex).outputs[0]
    const relaxed = new Spend({
      sourceTXID: coin.txid, sourceOutputIndex: 0, sourceSatoshis: src.satoshis, lockingScript: src.lockingScript,
      transactionVersion: tx.version, otherInputs: [], outputs: tx.outputs, inputIndex: 0,
      unlockingScript: tx.inputs[0].unlockingScript, inputSequence: tx.inputs[0].sequence, lockTime: tx.lockTime
    })
    assert.equal(relaxed.validate(), true)
    await refused(tx.toHex())
  })

  test('a high-S form of a valid signature', async () => {
    const [sig, pub] = sigAndKey()
    const parsed = Signature.fromDER([...sig.subarray(0, -1)])
    const n = new BigNumber('fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141', 16)
    const high = new TransactionSignature(parsed.r, n.sub(parsed.s), sig[sig.length - 1]).toChecksigFormat()
    await refused(withUnlocking(good, 0, Buffer.concat([push(Buffer.from(high)), push(pub)]).toString('hex')))
  })

  test('a non-minimal push of the signature', async () => {
    const [sig, pub] = sigAndKey()
    const pushdata1 = Buffer.concat([Buffer.from([0x4c, sig.length]), sig])
    await refused(withUnlocking(good, 0, Buffer.concat([pushdata1, push(pub)]).toString('hex')))
  })

  test('an unlocking script that is not push-only', async () => {
    const [sig, pub] = sigAndKey()
    await refused(withUnlocking(good, 0, Buffer.concat([push(sig), push(pub), Buffer.from([0x61])]).toString('hex')))
  })

  test('an extra item left on the stack', async () => {
    const [sig, pub] = sigAndKey()
    await refused(withUnlocking(good, 0, Buffer.concat([Buffer.from([0x51]), push(sig), push(pub)]).toString('hex')))
  })

  test('the untouched transaction still verifies', async () => {
    // Guards the cases above: each differs from this one only in its unlocking script.
    assert.equal((await net.submit(good.toHex())).status, 200)
  })
})

test('a signature over the wrong input amount', async () => {
  const coin = await fundedCoin(net, 12345)
  const src = Transaction.fromHex(coin.hex).outputs[0]
  const to = newKey().toAddress()
  // The FORKID digest commits to the amount being spent.
  const forged = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, template: new sdk.P2PKH().unlock(coin.key, 'all', false, 12346, src.lockingScript) }], outputs: [{ address: to, sats: 12000 }] })
  const r = await net.submit(forged.toHex())
  assert.match(r.text, /^16: mandatory-script-verify-flag-failed/)
  const honest = await buildTx({ inputs: [{ hex: coin.hex, vout: 0, key: coin.key }], outputs: [{ address: to, sats: 12000 }] })
  assert.equal((await net.submit(honest.toHex())).status, 200)
})
