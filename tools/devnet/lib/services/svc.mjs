// The platform service under /svc: oracle txid lists, transaction lookup and
// submit, identity, roles, labels, alias lookup and paymail claims.
import { HttpError, sendJson, readJson, isPlainObject, intParam, decodeSegment } from '../http.mjs'
import { isTxid } from '../codec.mjs'
import { txJson } from '../txjson.mjs'
import { normaliseKey, aliasKey, quotaOf } from '../platform.mjs'

export const PREFIX = '/svc'
export const NAME = 'svc'

export function errorReply (res, err) {
  sendJson(res, err.status, { error: err.message })
}

function keyParam (s) {
  const key = normaliseKey(decodeSegment(s))
  if (!key) throw new HttpError(400, 'not a public key')
  return key
}

export async function handle (ctx) {
  const { method, path, query, res, devnet } = ctx
  const { chain, platform } = devnet
  let m

  if (path === '/oi/submit') {
    if (method !== 'POST') throw new HttpError(405, 'use POST')
    const body = await readJson(ctx.req)
    if (!isPlainObject(body) || typeof body.txhex !== 'string') throw new HttpError(400, 'txhex is required')
    const r = chain.submit(body.txhex)
    if (r.ok) devnet.accepted(r.txid)
    if (r.ok || r.code === 'known') return sendJson(res, 200, { ok: true, txid: r.txid })
    return sendJson(res, 200, { ok: false, error: r.text, txid: r.txid })
  }
  if (path === '/api/paymail/claim') {
    if (method !== 'POST') throw new HttpError(405, 'use POST')
    const body = await readJson(ctx.req)
    const r = platform.claim(body)
    if (r.status === 200) devnet.changed()
    return sendJson(res, r.status, r.body)
  }
  if (method !== 'GET') throw new HttpError(405, 'use GET')

  if ((m = /^\/oi\/oracle\/([^/]+)\/txids$/.exec(path))) {
    if (!Object.hasOwn(devnet.oracles, m[1])) throw new HttpError(404, `unknown oracle ${m[1]}`)
    const address = devnet.oracles[m[1]]
    const limit = intParam(query, 'limit', { def: 2000, min: 1, max: 10000 })
    const offset = intParam(query, 'offset', { def: 0, min: 0, max: 1e9 })
    return sendJson(res, 200, { txids: chain.addressTxids(address).slice(offset, offset + limit) })
  }
  if ((m = /^\/oi\/tx\/([^/]+)$/.exec(path))) {
    if (!isTxid(m[1])) throw new HttpError(400, 'invalid txid')
    const rec = chain.txs.get(m[1].toLowerCase())
    if (!rec) throw new HttpError(404, 'transaction not found')
    return sendJson(res, 200, txJson(chain, rec))
  }
  if ((m = /^\/api\/paymail\/identity\/([^/]+)$/.exec(path))) {
    const id = platform.identity(keyParam(m[1]))
    if (!id) throw new HttpError(404, 'unknown identity')
    return sendJson(res, 200, { pubkey: id.pubkey, alias: id.alias, handle: id.alias ? platform.handle(id.alias) : '', frozen: id.frozen, role: id.role })
  }
  if ((m = /^\/api\/paymail\/quota\/([^/]+)$/.exec(path))) {
    const key = keyParam(m[1])
    const id = platform.identity(key)
    const role = id ? id.role : 'default'
    return sendJson(res, 200, { pubkey: key, role, quota: quotaOf(role), used: id ? id.labels.length : 0 })
  }
  if ((m = /^\/api\/paymail\/labels\/([^/]+)$/.exec(path))) {
    const id = platform.identity(keyParam(m[1]))
    return sendJson(res, 200, { labels: id ? [...id.labels] : [] })
  }
  if ((m = /^\/api\/bsvalias\/id\/([^/]+)$/.exec(path))) {
    const handle = decodeSegment(m[1])
    const at = handle.lastIndexOf('@')
    const domain = at >= 0 ? handle.slice(at + 1).toLowerCase() : ''
    const alias = aliasKey(handle.slice(0, Math.max(at, 0)))
    const key = alias && domain === platform.domain ? platform.aliases.get(alias) : undefined
    if (!key) throw new HttpError(404, `${handle} not found`)
    return sendJson(res, 200, { bsvalias: '1.0', handle: platform.handle(alias), pubkey: key })
  }
  throw new HttpError(404, 'not found')
}
