// ARC stand-in under /arc/v1/tx. Refusals are problem objects carrying the
// transaction status, as ARC writes them.
import { HttpError, sendJson, readBody } from '../http.mjs'
import { isTxid } from '../codec.mjs'

export const PREFIX = '/arc/v1/tx'

const TITLES = {
  400: 'Bad request',
  404: 'Not found',
  405: 'Method not allowed',
  413: 'Request too large',
  461: 'Unlocking scripts failed',
  462: 'Invalid inputs',
  463: 'Malformed transaction',
  464: 'Invalid outputs',
  465: 'Fee too low'
}

// Refusal code of the chain -> ARC status code.
const STATUS_OF = {
  decode: 463,
  'vin-empty': 463,
  'vout-empty': 463,
  coinbase: 463,
  'inputs-duplicate': 462,
  'missing-inputs': 462,
  'vout-negative': 464,
  'vout-toolarge': 464,
  'txouttotal-toolarge': 464,
  'in-belowout': 464,
  fee: 465,
  script: 461
}

function problem (status, detail, { txid = '', txStatus = 'REJECTED', extraInfo = '' } = {}) {
  return {
    type: `https://bitcoin-sv.github.io/arc/#/errors?id=_${status}`,
    title: TITLES[status] ?? 'Error',
    status,
    detail,
    txid,
    txStatus,
    extraInfo
  }
}

export function errorReply (res, err) {
  sendJson(res, err.status, problem(err.status, err.message, err.extra))
}

function statusReply (chain, txid, txStatus, extra = {}) {
  const rec = chain.txs.get(txid)
  return {
    blockHash: rec && rec.height !== null ? rec.blockHash : '',
    blockHeight: rec && rec.height !== null ? rec.height : 0,
    extraInfo: '',
    status: 200,
    timestamp: new Date(chain.clock()).toISOString(),
    title: 'OK',
    txStatus,
    txid,
    ...extra
  }
}

function knownStatus (chain, txid) {
  const rec = chain.txs.get(txid)
  if (rec) return rec.height !== null ? 'MINED' : 'SEEN_ON_NETWORK'
  return null
}

// ARC takes the raw transaction as JSON {"rawTx"}, plain hex text, or bytes.
async function rawTxOf (req) {
  const body = await readBody(req)
  const type = String(req.headers['content-type'] ?? '').split(';')[0].trim().toLowerCase()
  if (type === 'application/octet-stream') return body.toString('hex')
  if (type === 'text/plain') return body.toString('utf8').trim()
  let parsed
  try { parsed = JSON.parse(body.toString('utf8')) } catch { throw new HttpError(400, 'body is not valid JSON') }
  if (!parsed || typeof parsed.rawTx !== 'string') throw new HttpError(400, 'rawTx is required')
  return parsed.rawTx
}

export async function handle (ctx) {
  const { method, path, res, devnet } = ctx
  const chain = devnet.chain
  if (path === '' || path === '/') {
    if (method !== 'POST') throw new HttpError(405, 'use POST to submit a transaction')
    const r = chain.submit(await rawTxOf(ctx.req))
    if (r.ok) return sendJson(res, 200, statusReply(chain, r.txid, 'SEEN_ON_NETWORK'))
    if (r.code === 'known') return sendJson(res, 200, statusReply(chain, r.txid, knownStatus(chain, r.txid), { extraInfo: 'Transaction already known' }))
    if (r.code === 'mempool-conflict') {
      return sendJson(res, 200, statusReply(chain, r.txid, 'DOUBLE_SPEND_ATTEMPTED', { competingTxs: r.competing, extraInfo: 'double spend attempted' }))
    }
    const status = STATUS_OF[r.code] ?? 463
    throw new HttpError(status, `arc error ${status}: ${r.text}`, { txid: r.txid ?? '', txStatus: 'REJECTED', extraInfo: r.text })
  }
  const m = /^\/([^/]+)$/.exec(path)
  if (!m) throw new HttpError(404, 'no such path')
  if (method !== 'GET') throw new HttpError(405, 'use GET to read a status')
  if (!isTxid(m[1])) throw new HttpError(400, 'invalid txid')
  const txid = m[1].toLowerCase()
  const known = knownStatus(chain, txid)
  if (known) return sendJson(res, 200, statusReply(chain, txid, known))
  const lost = chain.conflicts.get(txid)
  if (lost) return sendJson(res, 200, statusReply(chain, txid, 'DOUBLE_SPEND_ATTEMPTED', { competingTxs: lost.competing, extraInfo: 'double spend attempted' }))
  throw new HttpError(404, 'transaction not found', { txid, txStatus: 'UNKNOWN' })
}
