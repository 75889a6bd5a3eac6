// Script verification of every input with the SDK interpreter under the
// strict rule set a node applies to relayed transactions.
import { Spend, LockingScript } from './sdk.mjs'

// Without an explicit set the interpreter relaxes its checks (for example it
// accepts signatures without FORKID), so the set is always passed.
export const STRICT_FLAGS = Object.freeze([
  'UTXO_AFTER_GENESIS', 'SIGHASH_FORKID', 'STRICTENC', 'DERSIG', 'LOW_S', 'NULLFAIL',
  'MINIMALDATA', 'SIGPUSHONLY', 'CLEANSTACK', 'NULLDUMMY'
])

function reasonOf (err) {
  const first = String(err && err.message ? err.message : err).split('\n')[0]
  return first.replace(/^Script evaluation error:\s*/, '').trim() || 'script failed'
}

// tx: parsed SDK Transaction; prevouts[i] = {satoshis, script (Buffer)} for input i.
// Returns null when every input verifies, else {index, reason}.
export function verifyScripts (tx, prevouts) {
  for (let i = 0; i < tx.inputs.length; i++) {
    const input = tx.inputs[i]
    let ok = false
    let reason = 'script evaluated to false'
    try {
      const spend = new Spend({
        sourceTXID: input.sourceTXID,
        sourceOutputIndex: input.sourceOutputIndex,
        sourceSatoshis: prevouts[i].satoshis,
        lockingScript: LockingScript.fromBinary([...prevouts[i].script]),
        transactionVersion: tx.version,
        otherInputs: tx.inputs.filter((_, k) => k !== i),
        outputs: tx.outputs,
        inputIndex: i,
        unlockingScript: input.unlockingScript,
        inputSequence: input.sequence,
        lockTime: tx.lockTime,
        verifyFlags: [...STRICT_FLAGS]
      })
      ok = spend.validate() === true
    } catch (err) {
      reason = reasonOf(err)
    }
    if (!ok) return { index: i, reason }
  }
  return null
}
