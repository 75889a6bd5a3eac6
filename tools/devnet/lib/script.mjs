// Script reading for the indexes: chunking, asm text, output classification,
// the 1Sat inscription envelope and MAP metadata.
import { OP } from './sdk.mjs'
import { hashToAddress, sha256 } from './codec.mjs'

export const MAP_PREFIX = '1PuQa7K62MiKCtssSLKy1kh56WWU7MtUR5'

const OP_NAME = new Map()
for (const [name, code] of Object.entries(OP)) {
  if (typeof code === 'number' && !OP_NAME.has(code)) OP_NAME.set(code, name)
}

// Chunks of a script: {op, data?}. Pushes carry data; a push that runs past
// the end stops the walk and sets `truncated`. Parsing continues past
// OP_RETURN because MAP metadata lives there.
export function chunksOf (script) {
  const chunks = []
  let pos = 0
  let truncated = false
  while (pos < script.length) {
    const op = script[pos++]
    let len = -1
    if (op >= 0x01 && op <= 0x4b) len = op
    else if (op === 0x4c) { if (pos + 1 > script.length) { truncated = true; break } len = script[pos]; pos += 1 } else if (op === 0x4d) { if (pos + 2 > script.length) { truncated = true; break } len = script.readUInt16LE(pos); pos += 2 } else if (op === 0x4e) { if (pos + 4 > script.length) { truncated = true; break } len = script.readUInt32LE(pos); pos += 4 }
    if (len >= 0) {
      if (pos + len > script.length) { truncated = true; break }
      chunks.push({ op, data: script.subarray(pos, pos + len) })
      pos += len
    } else if (op === 0x00) {
      chunks.push({ op, data: Buffer.alloc(0) })
    } else {
      chunks.push({ op })
    }
  }
  return { chunks, truncated }
}

function scriptNum (data) {
  if (data.length === 0) return 0n
  let v = 0n
  for (let i = 0; i < data.length; i++) v |= BigInt(data[i]) << BigInt(8 * i)
  const top = data[data.length - 1]
  if (top & 0x80) {
    v &= ~(0x80n << BigInt(8 * (data.length - 1)))
    return -v
  }
  return v
}

const SIGHASH_NAMES = { 1: 'ALL', 2: 'NONE', 3: 'SINGLE' }

function looksLikeDerSig (d) {
  // DER sequence + one hash-type byte; enough to decide how to print it.
  return d.length >= 9 && d.length <= 73 && d[0] === 0x30 && d[1] === d.length - 3
}

function sighashSuffix (t) {
  const base = SIGHASH_NAMES[t & 0x1f]
  if (!base) return null
  let s = base
  if (t & 0x40) s += '|FORKID'
  if (t & 0x80) s += '|ANYONECANPAY'
  return s
}

// asm in the node's style: small pushes as numbers, others as hex, signatures
// in unlocking scripts with their hash type spelled out.
export function asmOf (script, { unlocking = false } = {}) {
  const { chunks, truncated } = chunksOf(script)
  const parts = []
  for (const c of chunks) {
    if (c.data) {
      if (c.data.length <= 4) parts.push(scriptNum(c.data).toString())
      else if (unlocking && looksLikeDerSig(c.data) && sighashSuffix(c.data[c.data.length - 1])) {
        parts.push(c.data.subarray(0, c.data.length - 1).toString('hex') + '[' + sighashSuffix(c.data[c.data.length - 1]) + ']')
      } else parts.push(c.data.toString('hex'))
    } else if (c.op === 0x4f) parts.push('-1')
    else if (c.op >= 0x51 && c.op <= 0x60) parts.push(String(c.op - 0x50))
    else parts.push(OP_NAME.get(c.op) ?? 'OP_UNKNOWN')
  }
  if (truncated) parts.push('[error]')
  return parts.join(' ')
}

function isP2pkhAt (chunks, i) {
  const c = chunks.slice(i, i + 5)
  return c.length === 5 && c[0].op === 0x76 && c[1].op === 0xa9 && c[2].data && c[2].data.length === 20 &&
    c[2].op === 0x14 && c[3].op === 0x88 && c[4].op === 0xac
}

function isPlainP2pkh (script) {
  return script.length === 25 && script[0] === 0x76 && script[1] === 0xa9 && script[2] === 0x14 &&
    script[23] === 0x88 && script[24] === 0xac
}

function pushText (c) {
  return c && c.data ? c.data.toString('utf8') : null
}

// Envelope: OP_FALSE OP_IF "ord" (tag value)* [OP_0 data*] OP_ENDIF.
function findEnvelope (chunks) {
  for (let i = 0; i + 2 < chunks.length; i++) {
    if (chunks[i].op !== 0x00 || chunks[i + 1].op !== 0x63) continue
    const tagc = chunks[i + 2]
    if (!tagc.data || tagc.data.toString('latin1') !== 'ord') continue
    let j = i + 3
    let type = ''
    const body = []
    let ok = false
    while (j < chunks.length) {
      const c = chunks[j]
      if (c.op === 0x68) { ok = true; break }
      if (c.op === 0x00) {
        j++
        while (j < chunks.length && chunks[j].data) { body.push(chunks[j].data); j++ }
        ok = j < chunks.length && chunks[j].op === 0x68
        break
      }
      let tag = null
      if (c.op >= 0x51 && c.op <= 0x60) tag = c.op - 0x50
      else if (c.data && c.data.length === 1) tag = c.data[0]
      const v = chunks[j + 1]
      if (tag === null || !v || !v.data) break
      if (tag === 1) type = v.data.toString('utf8')
      j += 2
    }
    if (!ok) continue
    return { start: i, end: j, type, content: Buffer.concat(body) }
  }
  return null
}

function findMap (chunks, from) {
  for (let i = from; i < chunks.length; i++) {
    if (chunks[i].op !== 0x6a) continue
    if (pushText(chunks[i + 1]) !== MAP_PREFIX || pushText(chunks[i + 2]) !== 'SET') continue
    const pairs = []
    for (let k = i + 3; k + 1 < chunks.length; k += 2) {
      const key = pushText(chunks[k])
      const value = pushText(chunks[k + 1])
      if (key === null || value === null || key === '|') break
      pairs.push([key, value])
    }
    // fromEntries keeps a key such as "__proto__" as plain data.
    return Object.fromEntries(pairs)
  }
  return null
}

const INLINE_LIMIT = 256 * 1024

// The "insc" object of the ordinals index for an envelope.
export function inscObject (insc) {
  const out = { file: { hash: sha256(insc.content).toString('hex'), size: insc.content.length, type: insc.type } }
  const base = insc.type.split(';')[0].trim().toLowerCase()
  if (insc.content.length <= INLINE_LIMIT) {
    if (base.startsWith('text/') || base === 'application/json') out.text = insc.content.toString('utf8')
    if (base === 'application/json') {
      try { out.json = JSON.parse(insc.content.toString('utf8')) } catch { /* not JSON after all */ }
    }
  }
  return out
}

// Everything the indexes need from one locking script.
export function readOutputScript (script) {
  if (isPlainP2pkh(script)) {
    return { kind: 'pubkeyhash', owner: hashToAddress(script.subarray(3, 23)), insc: null, map: null }
  }
  if (script[0] === 0x6a || (script[0] === 0x00 && script[1] === 0x6a)) {
    return { kind: 'nulldata', owner: null, insc: null, map: null }
  }
  const { chunks } = chunksOf(script)
  const env = findEnvelope(chunks)
  if (!env) return { kind: 'nonstandard', owner: null, insc: null, map: null }
  let owner = null
  if (env.start === 5 && isP2pkhAt(chunks, 0)) owner = hashToAddress(chunks[2].data)
  else if (isP2pkhAt(chunks, env.end + 1)) owner = hashToAddress(chunks[env.end + 3].data)
  return {
    kind: 'nonstandard',
    owner,
    insc: { type: env.type, content: env.content },
    map: findMap(chunks, env.end + 1)
  }
}

// A data push. Small values stay data pushes (not OP_N) because readers of the
// envelope and MAP expect pushed bytes; neither part is ever executed.
export function pushData (buf) {
  const n = buf.length
  let head
  if (n === 0) return Buffer.from([0x00])
  if (n <= 0x4b) head = Buffer.from([n])
  else if (n <= 0xff) head = Buffer.from([0x4c, n])
  else if (n <= 0xffff) { head = Buffer.alloc(3); head[0] = 0x4d; head.writeUInt16LE(n, 1) } else { head = Buffer.alloc(5); head[0] = 0x4e; head.writeUInt32LE(n, 1) }
  return Buffer.concat([head, buf])
}

// Envelope, then the P2PKH lock, then MAP metadata when given.
export function inscriptionScript ({ lock, type, content, map }) {
  const parts = [
    Buffer.from([0x00, 0x63]), pushData(Buffer.from('ord', 'latin1')),
    Buffer.from([0x51]), pushData(Buffer.from(type, 'utf8')),
    Buffer.from([0x00]), pushData(content),
    Buffer.from([0x68]),
    lock
  ]
  const entries = map ? Object.entries(map) : []
  if (entries.length > 0) {
    parts.push(Buffer.from([0x6a]), pushData(Buffer.from(MAP_PREFIX, 'utf8')), pushData(Buffer.from('SET', 'utf8')))
    for (const [k, v] of entries) parts.push(pushData(Buffer.from(k, 'utf8')), pushData(Buffer.from(v, 'utf8')))
  }
  return Buffer.concat(parts)
}
