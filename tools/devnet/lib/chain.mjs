// The devnet chain: blocks, mempool, UTXO set and the indexes every read path
// answers from. All changes happen synchronously, so two submissions can never
// interleave between the double-spend check and the update.
import { Transaction } from './sdk.mjs'
import { MAX_MONEY, walkRawTx, txidOf, sha256d, hexToBytes, p2pkhScript } from './codec.mjs'
import { readOutputScript, inscObject } from './script.mjs'
import { verifyScripts } from './verify.mjs'

export const GENESIS_TIME = 1704067200 // 2024-01-01T00:00:00Z, fixed so the genesis ids never change
export const GENESIS_SATS = 1_000_000_000_000_000 // 10 million BSV for the faucet
export const MIN_FEE_PER_KB = 100

const ALL = () => true

// Lowest fee the devnet takes for a transaction of `size` bytes.
export function minFee (size) {
  return Math.ceil((size * MIN_FEE_PER_KB) / 1000)
}

const TEXT = {
  decode: 'TX decode failed',
  known: '257: txn-already-known',
  'vin-empty': '16: bad-txns-vin-empty',
  'vout-empty': '16: bad-txns-vout-empty',
  coinbase: '16: coinbase',
  'inputs-duplicate': '16: bad-txns-inputs-duplicate',
  'vout-negative': '16: bad-txns-vout-negative',
  'vout-toolarge': '16: bad-txns-vout-toolarge',
  'txouttotal-toolarge': '16: bad-txns-txouttotal-toolarge',
  'missing-inputs': 'Missing inputs',
  'in-belowout': '16: bad-txns-in-belowout',
  fee: '66: insufficient priority',
  'mempool-conflict': '258: txn-mempool-conflict'
}

function refuse (code, extra = {}) {
  const text = code === 'script'
    ? `16: mandatory-script-verify-flag-failed (${extra.reason})`
    : TEXT[code]
  return { ok: false, code, text, ...extra }
}

function u32le (n) { const b = Buffer.alloc(4); b.writeUInt32LE(n >>> 0); return b }

function genesisCoinbase (faucetAddress) {
  const tag = Buffer.from('quenvale devnet genesis', 'utf8')
  const value = Buffer.alloc(8); value.writeBigInt64LE(BigInt(GENESIS_SATS))
  const lock = p2pkhScript(faucetAddress)
  return Buffer.concat([
    u32le(1), Buffer.from([1]), Buffer.alloc(32), u32le(0xffffffff),
    Buffer.from([tag.length + 1, tag.length]), tag, u32le(0xffffffff),
    Buffer.from([1]), value, Buffer.from([lock.length]), lock, u32le(0)
  ])
}

function merkleRoot (txids) {
  if (txids.length === 0) return Buffer.alloc(32)
  let level = txids.map(t => Buffer.from(t, 'hex').reverse())
  while (level.length > 1) {
    const next = []
    for (let i = 0; i < level.length; i += 2) {
      const right = level[i + 1] ?? level[i]
      next.push(sha256d(Buffer.concat([level[i], right])))
    }
    level = next
  }
  return level[0]
}

function blockHash (prevHash, root, time, height) {
  const header = Buffer.concat([
    u32le(0x20000000), Buffer.from(prevHash, 'hex').reverse(), root,
    u32le(time), u32le(0x207fffff), u32le(height)
  ])
  return Buffer.from(sha256d(header)).reverse().toString('hex')
}

export class Chain {
  constructor ({ faucetAddress, clock = () => Date.now() }) {
    this.faucetAddress = faucetAddress
    this.clock = clock
    this.reset()
  }

  now () { return Math.floor(this.clock() / 1000) }

  reset () {
    this.txs = new Map() // txid -> record
    this.mempool = new Map() // txid -> record, acceptance order
    this.blocks = []
    this.outputs = new Map() // "txid:vout" -> output record
    this.spends = new Map() // "txid:vout" -> {txid, vin}
    this.addrs = new Map() // address -> {txids, txset, outs}
    this.inscriptions = new Map() // origin "txid_vout" -> inscription
    this.conflicts = new Map() // txid -> {txid, raw, competing, seen}
    this.seq = 0
    this.nextNum = 0
    this.changeListeners = this.changeListeners ?? []
    const raw = genesisCoinbase(this.faucetAddress)
    const rec = this._apply(raw, walkRawTx(raw), GENESIS_TIME)
    this.genesisTxid = rec.txid
    this._seal(GENESIS_TIME)
  }

  get height () { return this.blocks[this.blocks.length - 1].height }
  get tip () { return this.blocks[this.blocks.length - 1] }

  onChange (fn) { this.changeListeners.push(fn) }
  _changed () { for (const fn of this.changeListeners) fn() }

  _addr (address) {
    let a = this.addrs.get(address)
    if (!a) { a = { txids: [], txset: new Set(), outs: [] }; this.addrs.set(address, a) }
    return a
  }

  _touch (address, txid) {
    const a = this._addr(address)
    if (!a.txset.has(txid)) { a.txset.add(txid); a.txids.push(txid) }
  }

  // Index a transaction that has already passed validation (or is trusted).
  _apply (raw, walk, seen) {
    const txid = txidOf(raw)
    const rec = { txid, raw, walk, size: raw.length, seen, seq: this.seq++, height: null, blockHash: null, blockTime: null, blockIndex: null }
    this.txs.set(txid, rec)
    const coinbase = walk.inputs.length === 1 && /^0{64}$/.test(walk.inputs[0].txid) && walk.inputs[0].vout === 0xffffffff
    rec.coinbase = coinbase
    // Satoshi ranges of the inputs, for the first-in-first-out ordinal rule.
    const inRanges = []
    let offset = 0
    if (!coinbase) {
      walk.inputs.forEach((inp, vin) => {
        const key = `${inp.txid}:${inp.vout}`
        this.spends.set(key, { txid, vin })
        const prev = this.outputs.get(key)
        if (prev.owner) this._touch(prev.owner, txid)
        inRanges.push({ start: offset, prev })
        offset += prev.satoshis
      })
    }
    let outOffset = 0
    walk.outputs.forEach((o, vout) => {
      const sats = Number(o.value)
      const info = readOutputScript(o.script)
      const out = { txid, vout, satoshis: sats, script: o.script, kind: info.kind, owner: info.owner, insc: info.insc, map: info.map, origin: null }
      if (sats === 1) {
        const from = inRanges.findLast(r => r.start <= outOffset)
        const carried = from && from.prev.satoshis === 1 && from.start === outOffset ? from.prev.origin : null
        if (carried) out.origin = carried
        else if (info.insc) out.origin = this._newInscription(out)
      }
      this.outputs.set(`${txid}:${vout}`, out)
      if (out.owner) {
        this._touch(out.owner, txid)
        this._addr(out.owner).outs.push(`${txid}:${vout}`)
      }
      outOffset += sats
    })
    return rec
  }

  _newInscription (out) {
    const origin = `${out.txid}_${out.vout}`
    const data = { insc: inscObject(out.insc) }
    if (out.map) data.map = out.map
    this.inscriptions.set(origin, { origin, num: this.nextNum++, type: out.insc.type, content: out.insc.content, data })
    return origin
  }

  _seal (time) {
    const prev = this.blocks.length ? this.tip : null
    const height = prev ? prev.height + 1 : 1
    const txids = prev ? [...this.mempool.keys()] : [...this.txs.keys()]
    const root = merkleRoot(txids)
    const hash = blockHash(prev ? prev.hash : '00'.repeat(32), root, time, height)
    const block = { height, hash, prevHash: prev ? prev.hash : '00'.repeat(32), time, merkleRoot: Buffer.from(root).reverse().toString('hex'), txids }
    txids.forEach((txid, i) => {
      const rec = this.txs.get(txid)
      rec.height = height; rec.blockHash = hash; rec.blockTime = time; rec.blockIndex = i
    })
    this.mempool.clear()
    this.blocks.push(block)
    return block
  }

  // Mine n blocks; the first takes the whole mempool.
  mine (n = 1) {
    const mined = []
    for (let i = 0; i < n; i++) mined.push(this._seal(Math.max(this.now(), this.tip.time)))
    this._changed()
    return mined
  }

  // Validate and accept a transaction given as hex. Never throws for bad input.
  submit (hexText) {
    const text = typeof hexText === 'string' ? hexText.trim() : ''
    const raw = hexToBytes(text)
    if (!raw || raw.length < 10) return refuse('decode')
    let walk
    try {
      walk = walkRawTx(raw)
    } catch {
      return refuse('decode')
    }
    const txid = txidOf(raw)
    const known = this.txs.get(txid)
    if (known) return refuse('known', { txid, mined: known.height !== null })
    if (walk.inputs.length === 0) return refuse('vin-empty', { txid })
    if (walk.outputs.length === 0) return refuse('vout-empty', { txid })
    // Values first: the SDK reads them unsigned and cannot round-trip a negative one.
    let outTotal = 0n
    for (const o of walk.outputs) {
      if (o.value < 0n) return refuse('vout-negative', { txid })
      if (o.value > MAX_MONEY) return refuse('vout-toolarge', { txid })
      outTotal += o.value
      if (outTotal > MAX_MONEY) return refuse('txouttotal-toolarge', { txid })
    }
    let tx
    try {
      tx = Transaction.fromBinary([...raw])
      if (!Buffer.from(tx.toBinary()).equals(raw)) return refuse('decode', { txid })
    } catch {
      return refuse('decode', { txid })
    }
    const seen = new Set()
    for (const inp of walk.inputs) {
      if (/^0{64}$/.test(inp.txid) && inp.vout === 0xffffffff) return refuse('coinbase', { txid })
      const key = `${inp.txid}:${inp.vout}`
      if (seen.has(key)) return refuse('inputs-duplicate', { txid })
      seen.add(key)
    }
    const prevouts = []
    const competing = []
    let inTotal = 0n
    for (const inp of walk.inputs) {
      const key = `${inp.txid}:${inp.vout}`
      const prev = this.outputs.get(key)
      const spend = this.spends.get(key)
      const spender = spend ? this.txs.get(spend.txid) : null
      if (!prev || (spender && spender.height !== null)) return refuse('missing-inputs', { txid })
      if (spender && !competing.includes(spender.txid)) competing.push(spender.txid)
      prevouts.push({ satoshis: prev.satoshis, script: prev.script })
      inTotal += BigInt(prev.satoshis)
    }
    if (inTotal < outTotal) return refuse('in-belowout', { txid })
    const fee = Number(inTotal - outTotal)
    const needed = minFee(raw.length)
    if (fee < needed) return refuse('fee', { txid, fee, needed })
    const bad = verifyScripts(tx, prevouts)
    if (bad) return refuse('script', { txid, reason: bad.reason, input: bad.index })
    // A conflict is reported only for an otherwise valid transaction, so the
    // status lookup never calls an invalid one a double spend.
    if (competing.length > 0) {
      if (!this.conflicts.has(txid)) this.conflicts.set(txid, { txid, raw, competing, seen: this.now() })
      this._changed()
      return refuse('mempool-conflict', { txid, competing })
    }
    const rec = this._apply(raw, walk, this.now())
    this.mempool.set(txid, rec)
    this._changed()
    return { ok: true, txid, fee }
  }

  // ---- reads -------------------------------------------------------------

  confirmations (rec) {
    return rec.height === null ? 0 : this.height - rec.height + 1
  }

  // The read methods take an optional `seen(rec)` filter: a view of the chain
  // in which some transactions do not exist yet (see Devnet.wocSees).
  spendOf (txid, vout, seen = ALL) {
    const s = this.spends.get(`${txid}:${vout}`)
    if (!s) return null
    const rec = this.txs.get(s.txid)
    if (!seen(rec)) return null
    return { txid: s.txid, vin: s.vin, confirmed: rec.height !== null }
  }

  output (txid, vout) {
    return this.outputs.get(`${txid}:${vout}`) ?? null
  }

  addressTxids (address, seen = ALL) {
    const txids = this.addrs.get(address)?.txids ?? []
    return seen === ALL ? txids : txids.filter(t => seen(this.txs.get(t)))
  }

  addressOutputs (address, seen = ALL) {
    const a = this.addrs.get(address)
    const outs = a ? a.outs.map(k => this.outputs.get(k)) : []
    return seen === ALL ? outs : outs.filter(o => seen(this.txs.get(o.txid)))
  }

  // Outputs of the address not spent in a block, with where they stand.
  addressUnspent (address, seen = ALL) {
    const list = []
    for (const out of this.addressOutputs(address, seen)) {
      const spend = this.spendOf(out.txid, out.vout, seen)
      if (spend && spend.confirmed) continue
      const rec = this.txs.get(out.txid)
      list.push({ out, rec, spentInMempool: Boolean(spend) })
    }
    return list
  }

  balance (address, seen = ALL) {
    let confirmed = 0
    let unconfirmed = 0
    for (const out of this.addressOutputs(address, seen)) {
      const made = this.txs.get(out.txid).height !== null
      const spend = this.spendOf(out.txid, out.vout, seen)
      if (made) {
        if (!spend) confirmed += out.satoshis
        else if (spend.confirmed) continue
        else { confirmed += out.satoshis; unconfirmed -= out.satoshis }
      } else {
        unconfirmed += out.satoshis
        if (spend) unconfirmed -= out.satoshis
      }
    }
    return { confirmed, unconfirmed }
  }

  // ---- persistence -------------------------------------------------------

  snapshot () {
    const blocks = this.blocks.slice(1).map(b => ({
      time: b.time,
      txs: b.txids.map(t => ({ hex: this.txs.get(t).raw.toString('hex'), seen: this.txs.get(t).seen }))
    }))
    const mempool = [...this.mempool.values()].map(r => ({ hex: r.raw.toString('hex'), seen: r.seen }))
    const conflicts = [...this.conflicts.values()].map(c => ({ hex: c.raw.toString('hex'), competing: c.competing, seen: c.seen }))
    return { genesis: this.genesisTxid, blocks, mempool, conflicts }
  }

  // Rebuild from a snapshot. Transactions are re-indexed in their original
  // order, which reproduces inscription numbers and history order exactly.
  restore (snap) {
    this.reset()
    if (snap.genesis !== this.genesisTxid) throw new Error('state file belongs to another devnet (genesis differs)')
    const load = (t) => {
      const raw = hexToBytes(t.hex)
      if (!raw) throw new Error('state file holds a bad transaction')
      const rec = this._apply(raw, walkRawTx(raw), t.seen)
      return rec
    }
    for (const b of snap.blocks) {
      for (const t of b.txs) { const rec = load(t); this.mempool.set(rec.txid, rec) }
      this._seal(b.time)
    }
    for (const t of snap.mempool) { const rec = load(t); this.mempool.set(rec.txid, rec) }
    for (const c of snap.conflicts) {
      const raw = hexToBytes(c.hex)
      this.conflicts.set(txidOf(raw), { txid: txidOf(raw), raw, competing: c.competing, seen: c.seen })
    }
  }
}
