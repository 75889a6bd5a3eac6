// Byte-level helpers: hex, ids, addresses and an exact walk over a raw
// transaction. The walk decides where the transaction ends, so truncated or
// padded submissions are refused before the SDK sees them.
import { createHash } from 'node:crypto'
import { Utils } from './sdk.mjs'

export const MAX_MONEY = 21_000_000n * 100_000_000n

const HEX_RE = /^(?:[0-9a-fA-F]{2})*$/
const TXID_RE = /^[0-9a-fA-F]{64}$/

export function isTxid (s) {
  return typeof s === 'string' && TXID_RE.test(s)
}

export function sha256 (buf) {
  return createHash('sha256').update(buf).digest()
}

export function sha256d (buf) {
  return sha256(sha256(buf))
}

// Display-order id of a serialised transaction.
export function txidOf (bytes) {
  return Buffer.from(sha256d(bytes)).reverse().toString('hex')
}

export function hexToBytes (text) {
  if (typeof text !== 'string' || !HEX_RE.test(text)) return null
  return Buffer.from(text, 'hex')
}

// Base58Check P2PKH main-net address -> 20-byte hash, or null.
export function addressHash (addr) {
  if (typeof addr !== 'string' || addr.length < 26 || addr.length > 35) return null
  if (!/^[1-9A-HJ-NP-Za-km-z]+$/.test(addr)) return null
  try {
    const { prefix, data } = Utils.fromBase58Check(addr)
    if (prefix.length !== 1 || prefix[0] !== 0x00 || data.length !== 20) return null
    return Buffer.from(data)
  } catch {
    return null
  }
}

export function isAddress (addr) {
  return addressHash(addr) !== null
}

export function hashToAddress (hash20) {
  return Utils.toBase58Check([...hash20], [0x00])
}

export function p2pkhScript (addr) {
  const h = addressHash(addr)
  if (!h) throw new Error(`not a P2PKH address: ${addr}`)
  return Buffer.concat([Buffer.from([0x76, 0xa9, 0x14]), h, Buffer.from([0x88, 0xac])])
}

class Reader {
  constructor (buf) { this.buf = buf; this.pos = 0 }
  need (n) {
    if (this.pos + n > this.buf.length) throw new Error('truncated transaction')
  }
  bytes (n) { this.need(n); const b = this.buf.subarray(this.pos, this.pos + n); this.pos += n; return b }
  u32 () { this.need(4); const v = this.buf.readUInt32LE(this.pos); this.pos += 4; return v }
  i64 () { this.need(8); const v = this.buf.readBigInt64LE(this.pos); this.pos += 8; return v }
  varint () {
    this.need(1)
    const first = this.buf[this.pos++]
    if (first < 0xfd) return first
    if (first === 0xfd) { this.need(2); const v = this.buf.readUInt16LE(this.pos); this.pos += 2; if (v < 0xfd) throw new Error('non-canonical length'); return v }
    if (first === 0xfe) { this.need(4); const v = this.buf.readUInt32LE(this.pos); this.pos += 4; if (v <= 0xffff) throw new Error('non-canonical length'); return v }
    this.need(8)
    const v = this.buf.readBigUInt64LE(this.pos); this.pos += 8
    if (v <= 0xffffffffn) throw new Error('non-canonical length')
    // Anything this large cannot fit in a bounded request body.
    throw new Error('length out of range')
  }
}

// Exact structure of a raw transaction with output values as signed 64-bit
// integers (a negative value must be seen as negative, not as a huge number).
export function walkRawTx (bytes) {
  const r = new Reader(bytes)
  const version = r.u32()
  const nIn = r.varint()
  const inputs = []
  for (let i = 0; i < nIn; i++) {
    const prevHash = r.bytes(32)
    const vout = r.u32()
    const script = r.bytes(r.varint())
    const sequence = r.u32()
    inputs.push({ txid: Buffer.from(prevHash).reverse().toString('hex'), vout, script, sequence })
  }
  const nOut = r.varint()
  const outputs = []
  for (let i = 0; i < nOut; i++) {
    const value = r.i64()
    const script = r.bytes(r.varint())
    outputs.push({ value, script })
  }
  const locktime = r.u32()
  if (r.pos !== bytes.length) throw new Error('trailing bytes after transaction')
  return { version, inputs, outputs, locktime }
}
