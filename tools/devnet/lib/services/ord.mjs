// 1Sat ordinals indexer stand-in: the API under /ord/api and inscription
// content under /ord/content and /ord/api/files/inscriptions (the file route
// the indexer's public API page documents).
import { HttpError, sendJson, send, intParam } from '../http.mjs'
import { isAddress } from '../codec.mjs'
import { inscObject } from '../script.mjs'

export const PREFIX = '/ord'
export const NAME = 'ord'

// The indexer's list routes answer at most this many items a request.
const PAGE_MAX = 100

export function errorReply (res, err) {
  sendJson(res, err.status, { error: err.message })
}

function outputData (out) {
  if (out.dataObj === undefined) {
    const data = {}
    if (out.insc) data.insc = inscObject(out.insc)
    if (out.map) data.map = out.map
    out.dataObj = data
  }
  return out.dataObj
}

export function txoJson (chain, out) {
  const rec = chain.txs.get(out.txid)
  const spend = chain.spendOf(out.txid, out.vout)
  let origin = null
  if (out.origin) {
    const ins = chain.inscriptions.get(out.origin)
    origin = { outpoint: ins.origin, num: ins.num, data: ins.data }
  }
  return {
    txid: out.txid,
    vout: out.vout,
    outpoint: `${out.txid}_${out.vout}`,
    satoshis: out.satoshis,
    owner: out.owner ?? '',
    spend: spend ? spend.txid : '',
    height: rec.height ?? 0,
    idx: rec.blockIndex ?? 0,
    origin,
    data: outputData(out)
  }
}

const OUTPOINT_RE = /^([0-9a-fA-F]{64})(?:_(\d{1,10}))?$/

// "txid_vout", or a bare txid meaning output 0.
function outpointParam (s, { bareMeansZero }) {
  const m = OUTPOINT_RE.exec(s)
  if (!m || (m[2] === undefined && !bareMeansZero)) throw new HttpError(400, 'invalid outpoint')
  const vout = m[2] === undefined ? 0 : Number(m[2])
  if (vout > 0xffffffff) throw new HttpError(400, 'invalid outpoint')
  return { txid: m[1].toLowerCase(), vout }
}

function safeContentType (t) {
  return t && /^[\x20-\x7e]{1,200}$/.test(t) ? t : 'application/octet-stream'
}

function content (res, chain, id) {
  const { txid, vout } = outpointParam(id, { bareMeansZero: true })
  const ins = chain.inscriptions.get(`${txid}_${vout}`)
  if (!ins) throw new HttpError(404, 'inscription not found')
  return send(res, 200, ins.content, safeContentType(ins.type))
}

export async function handle (ctx) {
  const { method, path, query, res, devnet } = ctx
  const chain = devnet.chain
  if (method !== 'GET') throw new HttpError(405, 'method not allowed')
  let m
  if ((m = /^\/content\/([^/]+)$/.exec(path))) return content(res, chain, m[1])
  if ((m = /^\/api\/files\/inscriptions\/([^/]+)$/.exec(path))) return content(res, chain, m[1])
  if ((m = /^\/api\/txos\/address\/([^/]+)\/unspent$/.exec(path))) {
    if (!isAddress(m[1])) throw new HttpError(400, 'invalid address')
    // A larger limit is cut to the page size rather than refused, so a client
    // that reads a short page as the end of the list is caught out.
    const limit = Math.min(intParam(query, 'limit', { def: PAGE_MAX, min: 1, max: 1e9 }), PAGE_MAX)
    const offset = intParam(query, 'offset', { def: 0, min: 0, max: 1e9 })
    const list = chain.addressOutputs(m[1]).filter(o => !chain.spendOf(o.txid, o.vout))
    return sendJson(res, 200, list.slice(offset, offset + limit).map(o => txoJson(chain, o)))
  }
  if ((m = /^\/api\/txos\/([^/]+)$/.exec(path))) {
    const { txid, vout } = outpointParam(m[1], { bareMeansZero: false })
    const out = chain.output(txid, vout)
    if (!out) throw new HttpError(404, 'txo not found')
    return sendJson(res, 200, txoJson(chain, out))
  }
  if ((m = /^\/api\/bsv20\/([^/]+)\/unspent$/.exec(path))) {
    if (!isAddress(m[1])) throw new HttpError(400, 'invalid address')
    // The devnet carries no tokens.
    return sendJson(res, 200, [])
  }
  if ((m = /^\/api\/bsv20\/id\/([^/]+)$/.exec(path))) throw new HttpError(404, 'token not found')
  throw new HttpError(404, 'not found')
}
