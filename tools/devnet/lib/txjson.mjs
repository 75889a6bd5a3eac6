// Transaction JSON in WhatsOnChain's shape, built from the chain's records.
import { asmOf } from './script.mjs'
import { bsv } from './json.mjs'

// WhatsOnChain cuts an output script's hex and asm past 100 KB of hex and
// flags the output, so a client must fetch such scripts another way.
export const SCRIPT_TEXT_LIMIT = 100 * 1024

function scriptPubKey (out) {
  const hex = out.script.toString('hex')
  const asm = asmOf(out.script)
  const cut = hex.length > SCRIPT_TEXT_LIMIT
  const spk = { asm: cut ? asm.slice(0, SCRIPT_TEXT_LIMIT) : asm, hex: cut ? hex.slice(0, SCRIPT_TEXT_LIMIT) : hex, type: out.kind }
  if (out.owner) {
    spk.reqSigs = 1
    spk.addresses = [out.owner]
  } else {
    spk.addresses = []
  }
  spk.isTruncated = cut
  return spk
}

export function txJson (chain, rec) {
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
    return { value: bsv(out.satoshis), n, scriptPubKey: scriptPubKey(out) }
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
