// ARC stand-in under /arc/v1/tx. Refusals are RFC 7807 problem objects
// carrying the transaction status, with the titles ARC's published API gives.
// Switches (devnet.switches): arcKey makes a bearer key compulsory,
// arcRequireEf refuses plain transactions ARC could not enrich, and arcQueued
// answers an accepted transaction with QUEUED instead of SEEN_ON_NETWORK.
import { HttpError, sendJson, readBody } from '../http.mjs'
import { isTxid, hexToBytes, walkRawTx, txidOf } from '../codec.mjs'
import { Transaction } from '../sdk.mjs'

export const PREFIX = '/arc/v1/tx'
export const NAME = 'arc'
export const COUNT_BASE = '/arc'

const TITLES = {
  400: 'Bad request',
  401: 'Unauthorized',
  404: 'Not found',
  409: 'Generic error',
  413: 'Request too large',
  460: 'Not extended format',
  461: 'Malformed transaction',
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
  const mined = Boolean(rec && rec.height !== null)
  return {
    blockHash: mined ? rec.blockHash : '',
    blockHeight: mined ? rec.height : 0,
    extraInfo: '',
    merklePath: '',
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
  return parsed.rawTx.trim()
}

// Extended format (BIP-239) puts 0000000000EF after the version.
function isExtended (hex) {
  return /^[0-9a-fA-F]{8}0000000000[eE][fF]/.test(hex)
}

// Plain hex of an extended-format transaction; anything unreadable is left
// as it is for the validator to refuse. ARC checks the signatures against the
// previous outputs the transaction states, so a stated output that differs
// from the chain's is refused as ARC's script check would refuse it.
function plainHex (chain, hex) {
  if (!isExtended(hex)) return hex
  let tx
  try {
    tx = Transaction.fromHexEF(hex)
  } catch {
    return hex
  }
  tx.inputs.forEach((inp, i) => {
    const stated = inp.sourceTransaction?.outputs?.[inp.sourceOutputIndex]
    const known = chain.output(inp.sourceTXID, inp.sourceOutputIndex)
    if (!known || !stated) return
    if (BigInt(stated.satoshis) !== BigInt(known.satoshis) || stated.lockingScript.toHex() !== known.script.toString('hex')) {
      throw new HttpError(461, `arc error 461: input ${i} states a previous output the chain does not have`, { txStatus: 'REJECTED' })
    }
  })
  return tx.toHex()
}

// ARC enriches a plain transaction from its node; the devnet models an ARC
// that cannot, so every parent must already be in a block.
function needsExtended (chain, raw) {
  let walk
  try { walk = walkRawTx(raw) } catch { return false }
  return walk.inputs.some(inp => {
    const parent = chain.txs.get(inp.txid)
    return !parent || parent.height === null
  })
}

function authorise (req, key) {
  if (!key) return
  if (req.headers.authorization !== `Bearer ${key}`) throw new HttpError(401, 'Security requirements failed', { txStatus: '' })
}

function submit (ctx, hex) {
  const { res, devnet } = ctx
  const { chain, switches } = devnet
  const plain = plainHex(chain, hex)
  if (switches.arcRequireEf && !isExtended(hex)) {
    const raw = hexToBytes(plain)
    if (raw && !chain.txs.has(txidOf(raw)) && needsExtended(chain, raw)) {
      throw new HttpError(460, 'Missing input scripts: Transaction could not be transformed to extended format', { txid: txidOf(raw), extraInfo: 'parent transaction not found' })
    }
  }
  const r = chain.submit(plain)
  if (r.ok) {
    devnet.accepted(r.txid)
    return sendJson(res, 200, statusReply(chain, r.txid, switches.arcQueued ? 'QUEUED' : 'SEEN_ON_NETWORK'))
  }
  if (r.code === 'known') return sendJson(res, 200, statusReply(chain, r.txid, knownStatus(chain, r.txid), { extraInfo: 'Transaction already known' }))
  if (r.code === 'mempool-conflict') {
    return sendJson(res, 200, statusReply(chain, r.txid, 'DOUBLE_SPEND_ATTEMPTED', { competingTxs: r.competing, extraInfo: 'double spend attempted' }))
  }
  const status = STATUS_OF[r.code] ?? 463
  throw new HttpError(status, `arc error ${status}: ${r.text}`, { txid: r.txid ?? '', txStatus: 'REJECTED', extraInfo: r.text })
}

function status (ctx, id) {
  const { res, devnet } = ctx
  const chain = devnet.chain
  if (!isTxid(id)) throw new HttpError(400, 'invalid txid')
  const txid = id.toLowerCase()
  const known = knownStatus(chain, txid)
  if (known) return sendJson(res, 200, statusReply(chain, txid, known))
  const lost = chain.conflicts.get(txid)
  if (lost) return sendJson(res, 200, statusReply(chain, txid, 'DOUBLE_SPEND_ATTEMPTED', { competingTxs: lost.competing, extraInfo: 'double spend attempted' }))
  throw new HttpError(404, 'transaction not found', { txid, txStatus: 'UNKNOWN' })
}

export async function handle (ctx) {
  const { method, path, req, devnet } = ctx
  let m
  if (path === '' && method === 'POST') {
    authorise(req, devnet.switches.arcKey)
    return submit(ctx, await rawTxOf(req))
  }
  if ((m = /^\/([^/]+)$/.exec(path)) && method === 'GET') {
    authorise(req, devnet.switches.arcKey)
    return status(ctx, m[1])
  }
  throw new HttpError(404, 'Not Found', { txStatus: '' })
}
