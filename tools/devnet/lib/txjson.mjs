// Transaction JSON in WhatsOnChain's shape, built from the chain's records.
import { asmOf } from './script.mjs'
import { bsv } from './json.mjs'

function scriptPubKey (out) {
  const spk = { asm: asmOf(out.script), hex: out.script.toString('hex'), type: out.kind }
  if (out.owner) {
    spk.reqSigs = 1
    spk.addresses = [out.owner]
  } else {
    spk.addresses = []
  }
  return spk
}

// decoded = true adds "satoshis" beside "value" (the /decoded form).
export function txJson (chain, rec, { decoded = false } = {}) {
  const w = rec.walk
  const vin = w.inputs.map(inp => {
    if (rec.coinbase) return { coinbase: inp.script.toString('hex'), sequence: inp.sequence }
    return {
      txid: inp.txid,
      vout: inp.vout,
      scriptSig: { asm: asmOf(inp.script, { unlocking: true }), hex: inp.script.toString('hex') },
      sequence: inp.sequence
    }
  })
  const vout = w.outputs.map((o, n) => {
    const out = chain.output(rec.txid, n)
    const entry = { value: bsv(out.satoshis) }
    if (decoded) entry.satoshis = out.satoshis
    entry.n = n
    entry.scriptPubKey = scriptPubKey(out)
    return entry
  })
  const j = { txid: rec.txid, hash: rec.txid, version: w.version, size: rec.size, locktime: w.locktime, vin, vout }
  if (rec.height !== null) {
    j.blockhash = rec.blockHash
    j.confirmations = chain.confirmations(rec)
    j.time = rec.blockTime
    j.blocktime = rec.blockTime
    j.blockheight = rec.height
  }
  return j
}

export function outputJson (out) {
  return { value: bsv(out.satoshis), satoshis: out.satoshis, n: out.vout, scriptPubKey: scriptPubKey(out) }
}
