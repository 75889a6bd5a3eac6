// The platform service's registry: identities, roles, freezing and paymail
// aliases, with claim signature checks.
import { PublicKey, Signature, BigNumber, ECDSA, BSM } from './sdk.mjs'
import { sha256, sha256d } from './codec.mjs'

export const ROLES = Object.freeze(['default', 'dev', 'agent', 'operator', 'architect'])

// Labels (aliases) per identity key by role; null = unlimited.
export function quotaOf (role) {
  if (role === 'architect') return null
  if (role === 'dev') return 20
  return 10
}

// Hex public key (33 or 65 bytes, optional 0x) -> compressed lowercase hex, or null.
export function normaliseKey (text) {
  if (typeof text !== 'string') return null
  let t = text.trim()
  if (/^0x/i.test(t)) t = t.slice(2)
  if (!/^(?:[0-9a-fA-F]{66}|04[0-9a-fA-F]{128})$/.test(t)) return null
  if (t.length === 66 && !/^0[23]/.test(t)) return null
  try {
    return PublicKey.fromString(t.toLowerCase()).toString()
  } catch {
    return null
  }
}

// Registry form of an alias: trimmed, cut before "@", lower case, only
// a-z 0-9 _ - . kept.
export function aliasKey (text) {
  if (typeof text !== 'string') return ''
  let t = text.replace(/^[@$ ]+/, '').replace(/[ \r\n]+$/, '')
  const at = t.indexOf('@')
  if (at >= 0) t = t.slice(0, at)
  return t.toLowerCase().replace(/[^a-z0-9_.-]/g, '').slice(0, 64)
}

export function claimMessage (c) {
  let m = `OV-PAYMAIL-CLAIM|${c.alias}|${c.pubkey}|${c.address ?? ''}|${c.avatar ?? ''}|`
  if (c.bnPub && c.bnAddress) m += `${c.ordAddress ?? ''}|${c.bnPub}|${c.bnAddress}|`
  else if (c.ordAddress) m += `${c.ordAddress}|`
  return m + String(c.ts)
}

function decodeSignature (b64) {
  if (typeof b64 !== 'string') return null
  const t = b64.replace(/[\s=]/g, '')
  if (!/^[A-Za-z0-9+/]*$/.test(t)) return null
  const bytes = Buffer.from(t, 'base64')
  if (bytes.length !== 64 && bytes.length !== 65) return null
  const rs = bytes.length === 65 ? bytes.subarray(1) : bytes
  return { r: rs.subarray(0, 32), s: rs.subarray(32, 64) }
}

// Signature over the signed-message digest, or over the single or double
// SHA-256 of the message; 64-byte r||s or 65-byte compact form.
export function verifyMessage (message, pubkeyHex, sigB64) {
  const key = normaliseKey(pubkeyHex)
  const rs = decodeSignature(sigB64)
  if (!key || !rs) return false
  let pub
  let sig
  try {
    pub = PublicKey.fromString(key)
    sig = new Signature(new BigNumber(rs.r.toString('hex'), 16), new BigNumber(rs.s.toString('hex'), 16))
  } catch {
    return false
  }
  const msg = Buffer.from(message, 'utf8')
  const digests = [Buffer.from(BSM.magicHash([...msg])), sha256(msg), sha256d(msg)]
  for (const d of digests) {
    try {
      if (ECDSA.verify(new BigNumber(d.toString('hex'), 16), sig, pub)) return true
    } catch { /* malformed r or s: try no further */ return false }
  }
  return false
}

export class Platform {
  constructor ({ domain }) {
    this.domain = domain
    this.reset()
  }

  reset () {
    this.identities = new Map() // compressed key -> identity
    this.aliases = new Map() // alias key -> compressed key
  }

  handle (alias) { return `${alias}@${this.domain}` }

  identity (key, create = false) {
    let id = this.identities.get(key)
    if (!id && create) {
      id = { pubkey: key, alias: '', labels: [], role: 'default', frozen: false, address: '', avatar: '', ordAddress: '' }
      this.identities.set(key, id)
    }
    return id ?? null
  }

  // Give `alias` to `key`. Returns null or {status, error}.
  register (alias, key, { enforceQuota }) {
    const holder = this.aliases.get(alias)
    if (holder && holder !== key) return { status: 409, error: `${this.handle(alias)} is already taken` }
    const id = this.identity(key, true)
    if (!holder) {
      const quota = quotaOf(id.role)
      if (enforceQuota && quota !== null && id.labels.length >= quota) {
        return { status: 403, error: `paymail quota reached (${quota} free labels per identity)` }
      }
      this.aliases.set(alias, key)
      id.labels.push(alias)
    }
    id.alias = alias
    return null
  }

  // A claim request body. Returns {status, body}.
  claim (c) {
    if (typeof c !== 'object' || c === null) return { status: 400, body: { error: 'claim must be a JSON object' } }
    const key = normaliseKey(c.pubkey)
    if (!key) return { status: 400, body: { error: 'pubkey must be a hex public key' } }
    const alias = aliasKey(c.alias)
    if (!alias) return { status: 400, body: { error: 'need a paymail name (letters, numbers, _ - .)' } }
    if (!Number.isSafeInteger(c.ts) || c.ts <= 0) return { status: 400, body: { error: 'ts must be a positive integer' } }
    for (const f of ['address', 'avatar', 'ordAddress', 'bnPub', 'bnAddress']) {
      if (c[f] !== undefined && typeof c[f] !== 'string') return { status: 400, body: { error: `${f} must be a string` } }
    }
    if (typeof c.alias !== 'string' || typeof c.pubkey !== 'string') return { status: 400, body: { error: 'alias and pubkey must be strings' } }
    if (!verifyMessage(claimMessage(c), c.pubkey, c.sig)) return { status: 401, body: { error: 'claim signature does not verify' } }
    if (this.identity(key)?.frozen) return { status: 403, body: { error: 'this identity is frozen' } }
    const refused = this.register(alias, key, { enforceQuota: true })
    if (refused) return { status: refused.status, body: { error: refused.error } }
    const id = this.identity(key)
    id.address = c.address ?? ''
    id.avatar = c.avatar ?? ''
    if (c.ordAddress) id.ordAddress = c.ordAddress
    return { status: 200, body: { ok: true, alias, handle: this.handle(alias), pubkey: key } }
  }

  snapshot () {
    return { identities: [...this.identities.values()] }
  }

  restore (snap) {
    this.reset()
    for (const id of snap.identities ?? []) {
      const key = normaliseKey(id.pubkey)
      if (!key) continue
      const labels = (id.labels ?? []).map(aliasKey).filter(Boolean)
      this.identities.set(key, { ...id, pubkey: key, labels })
      for (const a of labels) this.aliases.set(a, key)
    }
  }
}
