// Shared test support: start a devnet in-process, talk to it over HTTP and
// build transactions with @bsv/sdk (independent of the project's C++ code).
import {
  Transaction, P2PKH, SatoshisPerKilobyte, LockingScript, UnlockingScript, PrivateKey,
  TransactionSignature, Hash, Mnemonic, HD
} from '../../../tools/devnet/lib/sdk.mjs'
import { startDevnet, DEVNET_MNEMONIC } from '../../../tools/devnet/lib/devnet.mjs'

export * as sdk from '../../../tools/devnet/lib/sdk.mjs'
export { startDevnet, DEVNET_MNEMONIC }

export const WOC = '/woc/v1/bsv/main'

// Nothing in these tests, the devnet or the SDK may leave loopback.
const loopbackFetch = globalThis.fetch
globalThis.fetch = (input, init) => {
  const url = new URL(typeof input === 'string' || input instanceof URL ? input : input.url)
  if (url.hostname !== '127.0.0.1') throw new Error(`refusing a request off loopback: ${url.href}`)
  return loopbackFetch(input, init)
}

// A started devnet plus small HTTP helpers bound to it.
export async function openDevnet (opts = {}) {
  const devnet = await startDevnet(opts)
  const base = devnet.url
  async function call (method, path, body, headers = {}) {
    const init = { method, headers: { ...headers } }
    if (body !== undefined) {
      if (typeof body === 'string' || Buffer.isBuffer(body)) init.body = body
      else { init.body = JSON.stringify(body); init.headers['content-type'] = 'application/json' }
    }
    const res = await fetch(base + path, init)
    const buf = Buffer.from(await res.arrayBuffer())
    const text = buf.toString('utf8')
    let json
    try { json = JSON.parse(text) } catch { json = undefined }
    return { status: res.status, type: res.headers.get('content-type') ?? '', text, json, bytes: buf }
  }
  return {
    devnet,
    profile: devnet.profile,
    get: (p) => call('GET', p),
    post: (p, b, h) => call('POST', p, b, h),
    del: (p) => call('DELETE', p),
    call,
    close: () => devnet.close(),
    async fund (address, sats, confirmed = false) {
      const r = await call('POST', '/devnet/fund', { address, sats, confirmed })
      if (r.status !== 200) throw new Error(`fund failed: ${r.status} ${r.text}`)
      return r.json.txid
    },
    async mine (blocks = 1) {
      const r = await call('POST', '/devnet/mine', { blocks })
      if (r.status !== 200) throw new Error(`mine failed: ${r.text}`)
      return r.json
    },
    async hex (txid) {
      const r = await call('GET', `${WOC}/tx/${txid}/hex`)
      if (r.status !== 200) throw new Error(`no hex for ${txid}: ${r.status}`)
      return r.text
    },
    async submit (hex) { return call('POST', `${WOC}/tx/raw`, { txhex: hex }) }
  }
}

let seq = 0
// A fresh key for a test wallet (deterministic per run, distinct per call).
export function newKey () {
  seq++
  return PrivateKey.fromString(Hash.sha256(`devnet test key ${seq}`, 'utf8').map(b => b.toString(16).padStart(2, '0')).join(''), 'hex')
}

export function devnetKey (path) {
  return HD.fromSeed(Mnemonic.fromString(DEVNET_MNEMONIC).toSeed('')).derive(path).privKey
}

function lockFor (o) {
  if (o.address) return new P2PKH().lock(o.address)
  return LockingScript.fromHex(Buffer.isBuffer(o.script) ? o.script.toString('hex') : o.script)
}

// inputs: [{hex, vout, key, template?}]; outputs: [{address|script, sats}];
// change: address for the remainder after the 100 sat/kB fee; without it the
// whole remainder is the fee.
export async function buildTx ({ inputs, outputs, change, version = 1 }) {
  const tx = new Transaction()
  tx.version = version
  for (const i of inputs) {
    tx.addInput({
      sourceTransaction: Transaction.fromHex(i.hex),
      sourceOutputIndex: i.vout,
      unlockingScriptTemplate: i.template ?? new P2PKH().unlock(i.key)
    })
  }
  for (const o of outputs) tx.addOutput({ satoshis: o.sats, lockingScript: lockFor(o) })
  // Without a change output the SDK's fee() would add the remainder to the
  // last output; the outputs then stand as given and the remainder is the fee.
  if (change) {
    tx.addOutput({ lockingScript: new P2PKH().lock(change), change: true })
    await tx.fee(new SatoshisPerKilobyte(100))
  }
  await tx.sign()
  return tx
}

// Build a one-output spend whose fee is exactly feeOf(size) for its final
// size. Signature lengths vary by a byte, so re-sign until it settles.
export async function buildWithFee ({ input, inSats, to, feeOf }) {
  let fee = 50
  for (let round = 0; round < 8; round++) {
    const tx = await buildTx({ inputs: [input], outputs: [{ address: to, sats: inSats - fee }] })
    const size = tx.toBinary().length
    if (fee === feeOf(size)) return { tx, size, fee }
    fee = feeOf(size)
  }
  throw new Error('fee did not settle')
}

// Unlocking template that signs the legacy (pre-FORKID) digest with SIGHASH_ALL.
export function legacyUnlock (key) {
  return {
    estimateLength: async () => 108,
    sign: async (tx, i) => {
      const input = tx.inputs[i]
      const src = input.sourceTransaction.outputs[input.sourceOutputIndex]
      const preimage = TransactionSignature.formatOTDA({
        sourceTXID: input.sourceTransaction.id('hex'),
        sourceOutputIndex: input.sourceOutputIndex,
        sourceSatoshis: src.satoshis,
        transactionVersion: tx.version,
        otherInputs: tx.inputs.filter((_, k) => k !== i),
        outputs: tx.outputs,
        inputIndex: i,
        subscript: src.lockingScript,
        inputSequence: input.sequence ?? 0xffffffff,
        lockTime: tx.lockTime,
        scope: TransactionSignature.SIGHASH_ALL
      })
      const raw = key.sign(Hash.sha256([...preimage]))
      const sig = new TransactionSignature(raw.r, raw.s, TransactionSignature.SIGHASH_ALL).toChecksigFormat()
      const pub = key.toPublicKey().encode(true)
      return new UnlockingScript([{ op: sig.length, data: sig }, { op: pub.length, data: pub }])
    }
  }
}

// Replace input i's unlocking script with raw bytes and return the new hex.
export function withUnlocking (tx, i, scriptHex) {
  return edited(tx, (copy) => { copy.inputs[i].unlockingScript = UnlockingScript.fromHex(scriptHex) })
}

// Hex of a copy of tx after change(copy). A parsed transaction caches its
// bytes, so the copy is rebuilt from its parts before serialising.
export function edited (tx, change) {
  const copy = Transaction.fromHex(tx.toHex())
  change(copy)
  return new Transaction(copy.version, copy.inputs, copy.outputs, copy.lockTime).toHex()
}

// A funded coin for a fresh key: {key, address, txid, vout, hex, sats}.
export async function fundedCoin (net, sats = 100000, confirmed = false) {
  const key = newKey()
  const address = key.toAddress()
  const txid = await net.fund(address, sats, confirmed)
  return { key, address, txid, vout: 0, hex: await net.hex(txid), sats }
}
