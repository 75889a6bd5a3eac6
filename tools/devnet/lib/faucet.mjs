// The faucet: real transactions signed with the faucet key, submitted through
// the same validation as every other transaction.
import { Transaction, P2PKH, SatoshisPerKilobyte, LockingScript } from './sdk.mjs'
import { p2pkhScript } from './codec.mjs'
import { inscriptionScript } from './script.mjs'

export class Faucet {
  constructor (chain, key) {
    this.chain = chain
    this.key = key // {privKey, address}
    this.queue = Promise.resolve()
  }

  // Signing is asynchronous in the SDK; one faucet spend at a time keeps two
  // requests from picking the same coin.
  serial (fn) {
    const run = this.queue.then(fn, fn)
    this.queue = run.catch(() => {})
    return run
  }

  coin (needed) {
    let best = null
    for (const u of this.chain.addressUnspent(this.key.address)) {
      if (u.spentInMempool || u.out.kind !== 'pubkeyhash') continue
      if (!best || u.out.satoshis > best.out.satoshis) best = u
    }
    if (!best || best.out.satoshis < needed) throw new Error('faucet is empty')
    return best
  }

  async spend (outputs) {
    const total = outputs.reduce((s, o) => s + o.satoshis, 0)
    // Fee margin: outputs are small apart from inscription content.
    const margin = 1000 + Math.ceil(outputs.reduce((s, o) => s + o.script.length, 0) / 10)
    const { out, rec } = this.coin(total + margin)
    const tx = new Transaction()
    tx.addInput({
      sourceTransaction: Transaction.fromBinary([...rec.raw]),
      sourceOutputIndex: out.vout,
      unlockingScriptTemplate: new P2PKH().unlock(this.key.privKey)
    })
    for (const o of outputs) tx.addOutput({ satoshis: o.satoshis, lockingScript: LockingScript.fromBinary([...o.script]) })
    tx.addOutput({ lockingScript: LockingScript.fromBinary([...p2pkhScript(this.key.address)]), change: true })
    await tx.fee(new SatoshisPerKilobyte(100))
    await tx.sign()
    const r = this.chain.submit(tx.toHex())
    if (!r.ok) throw new Error(`faucet transaction refused: ${r.text}`)
    return r.txid
  }

  fund (address, sats) {
    return this.serial(() => this.spend([{ satoshis: sats, script: p2pkhScript(address) }]))
  }

  inscribe ({ address, type, content, map, satoshis = 1 }) {
    const script = inscriptionScript({ lock: p2pkhScript(address), type, content, map })
    return this.serial(() => this.spend([{ satoshis, script }]))
  }
}
