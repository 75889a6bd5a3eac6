// Makes tests/data/ov-art-records.json: gallery records signed outside this code base,
// with the pinned @bsv/sdk of the devnet. The signing message is rebuilt here on its
// own, so the C++ side is checked against an independent reading of the message rules.
// Run from the repository root:  node tests/data/ov-art-records.mjs > tests/data/ov-art-records.json
import { createHash } from 'node:crypto'
import { PrivateKey, BSM, Utils } from '../../tools/devnet/lib/sdk.mjs'

const N = BigInt('0xfffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141')

const norm = (v) => (typeof v === 'string' ? v.trim() : '')
const who = (v) => norm(v).replace(/^[@$]/, '').trim().toLowerCase()
const str = (r, k, keepCase) => (typeof r[k] === 'string' ? (keepCase ? r[k] : r[k].toLowerCase()) : '')
const int = (r, k) => (Number.isInteger(r[k]) ? String(r[k]) : '0')

function message (r) {
  const ts = Number.isInteger(r.ts) ? (r.ts < 0 ? '-' : String(r.ts)) : '0'
  const place = (norm(r.channel) || norm(r.location)).toLowerCase()
  let payload
  switch (norm(r.type)) {
    case 'art_gentry': payload = ['visit', ts]; break
    case 'art_show': payload = [str(r, 'spot'), str(r, 'pic'), str(r, 'cert'), str(r, 'sha256'), str(r, 'price', true),
      int(r, 'exp'), str(r, 'pic_utxo'), str(r, 'cert_utxo'), str(r, 'pay_addr', true), ts]; break
    case 'art_gask': payload = [str(r, 'spot'), str(r, 'pic'), str(r, 'cert'), int(r, 'price_sats'),
      str(r, 'buyer_ord', true), str(r, 'buyer'), ts]; break
    default: throw new Error('type not covered: ' + r.type)
  }
  return ['OV1', norm(r.type), place, who(r.handle), who(r.actor), ts, ...payload].join('|')
}

const key = PrivateKey.fromString(createHash('sha256').update('quenvale ov-art record fixture').digest('hex'), 'hex')
const pub = key.toPublicKey()

function plainSig (msg) {
  const sig = BSM.sign(Utils.toArray(msg, 'utf8'), key, 'raw')
  let s = BigInt('0x' + sig.s.toHex())
  if (s > N / 2n) s = N - s
  const r32 = sig.r.toArray('be', 32)
  const s32 = Utils.toArray(s.toString(16).padStart(64, '0'), 'hex')
  return Utils.toBase64([...r32, ...s32])
}

const h = (t) => createHash('sha256').update(t).digest('hex')
const common = { protocol: 'OV-Art', location: 'art', handle: 'carol', actor: 'carol', paymail: 'carol@devnet.quenvale.test' }
const records = [
  {
    ...common, type: 'art_show', spot: 'as3', pic: h('pic'), cert: h('cert'), sha256: h('content'), price: '1500',
    pic_utxo: h('pic utxo') + '_0', cert_utxo: h('cert utxo') + '_1', pay_addr: '1J7mdg5rbQyUHENYdx39WVWK7fsLpEoXZy',
    ts: 1733650000, exp: 1733650000 + 604800
  },
  {
    ...common, type: 'art_gask', spot: 'as7', pic: h('pic'), cert: h('cert'), price_sats: 1500,
    buyer_ord: '1BoatSLRHtKNngkdXEeobR76b53LETtpyT', buyer: pub.encode(true, 'hex'), ts: 1733650100
  }
]
const out = records.map((r) => {
  const m = message(r)
  const signed = { ...r, pubkey: pub.encode(true, 'hex'), sig: plainSig(m) }
  return { message: m, record: signed }
})
// The same art_gentry in the 65-byte recoverable form, which readers also accept.
const gentry = { ...common, type: 'art_gentry', ts: 1733650200 }
const gm = message(gentry)
out.push({ message: gm, record: { ...gentry, pubkey: pub.encode(true, 'hex'), sig: BSM.sign(Utils.toArray(gm, 'utf8'), key) } })

console.log(JSON.stringify({
  about: 'Gallery records signed with @bsv/sdk 2.1.0 (BSM digest; plain r||s Base64 with low S, the last one in the ' +
    '65-byte recoverable form) by a key that is not a wallet key. Made by tests/data/ov-art-records.mjs; the message ' +
    'of each record was built by that script, not by the C++ code.',
  public_key: pub.encode(true, 'hex'),
  public_key_uncompressed: pub.encode(false, 'hex'),
  records: out
}, null, 1))
