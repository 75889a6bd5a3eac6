// WhatsOnChain stand-in under /woc/v1/bsv/main. Only the routes the public
// documentation still lists are served; anything else is 404 "Not Found", so
// a client cannot come to rely on a route the real service no longer has.
// Errors are plain text, as the real service writes them. Reads go through
// devnet.wocSees, which hides transactions that have not propagated yet.
import { HttpError, sendJson, sendText, readJson, isPlainObject, page, slicePage, readPageToken, intParam } from '../http.mjs'
import { isTxid, isAddress, p2pkhScript, sha256 } from '../codec.mjs'
import { txJson } from '../txjson.mjs'

export const PREFIX = '/woc/v1/bsv/main'
export const NAME = 'woc'

const MAX_BATCH = 20 // addresses, txids or outputs per bulk request
const BULK_CONFIRMED_ITEMS = 20 // history items per address in the bulk confirmed reply
const BULK_UNCONFIRMED_ITEMS = 100
const UNCONFIRMED_MAX = 100000 // unconfirmed items in one single-address reply
const UNSPENT_ALL_PAGE = 1000 // confirmed items per /unspent/all page

export function errorReply (res, err) {
  sendText(res, err.status, err.message)
}

function txidParam (s) {
  if (!isTxid(s)) throw new HttpError(400, 'Invalid txid')
  return s.toLowerCase()
}

function addressParam (s) {
  if (!isAddress(s)) throw new HttpError(400, 'Invalid address')
  return s
}

// The script hash WhatsOnChain names an address by: SHA-256 of the locking
// script, in reversed byte order.
function scriptHash (address) {
  return Buffer.from(sha256(p2pkhScript(address))).reverse().toString('hex')
}

// A transaction record as this service sees it, or undefined.
function visible (view, txid) {
  const rec = view.chain.txs.get(txid)
  return rec && view.seen(rec) ? rec : undefined
}

function record (view, txid) {
  const rec = visible(view, txid)
  if (!rec) throw new HttpError(404, 'Not Found')
  return rec
}

async function listBody (req, field) {
  const body = await readJson(req)
  const list = isPlainObject(body) ? body[field] : null
  if (!Array.isArray(list) || list.length > MAX_BATCH) throw new HttpError(400, `${field} must be an array of at most ${MAX_BATCH} items`)
  return list
}

// ---- unspent outputs --------------------------------------------------------

function unspent (view, address) {
  return view.chain.addressUnspent(address, view.seen)
}

function confirmedEntry ({ out, rec, spentInMempool }) {
  return { height: rec.height, tx_pos: out.vout, tx_hash: out.txid, value: out.satoshis, isSpentInMempoolTx: spentInMempool }
}

function unconfirmedEntry ({ out, spentInMempool }) {
  return { tx_pos: out.vout, tx_hash: out.txid, value: out.satoshis, isSpentInMempoolTx: spentInMempool, hex: out.script.toString('hex') }
}

const isConfirmed = (u) => u.rec.height !== null

function wrap (address, p) {
  const reply = { address, script: scriptHash(address), result: p.items, error: '' }
  if (p.next) reply.nextPageToken = p.next
  return reply
}

// Unconfirmed outputs come whole on the first page; confirmed ones are paged.
function unspentAll (view, address, query) {
  const scope = `unspent/all:${address}`
  const offset = readPageToken(query, scope)
  const list = unspent(view, address)
  const confirmed = list.filter(isConfirmed).map(u => ({ ...confirmedEntry(u), status: 'confirmed' }))
  const p = slicePage(confirmed, offset, UNSPENT_ALL_PAGE, scope)
  const pending = offset === 0 ? list.filter(u => !isConfirmed(u)).map(u => ({ ...unconfirmedEntry(u), status: 'unconfirmed' })) : []
  return wrap(address, { items: [...pending, ...p.items], next: p.next })
}

// ---- history and balances ---------------------------------------------------

function confirmedHistory (view, address) {
  return view.chain.addressTxids(address, view.seen)
    .map(t => view.chain.txs.get(t))
    .filter(r => r.height !== null)
    .map(r => ({ tx_hash: r.txid, height: r.height }))
}

function unconfirmedHistory (view, address) {
  return view.chain.addressTxids(address, view.seen)
    .filter(t => view.chain.txs.get(t).height === null)
    .map(t => ({ tx_hash: t }))
}

// Newest first unless asked otherwise; a page token is bound to the order and
// starting height it was made for.
function confirmedHistoryOf (view, address, { order = 'desc', height = 0 } = {}) {
  let list = confirmedHistory(view, address).filter(h => h.height >= height)
  if (order === 'desc') list = list.reverse()
  return { list, scope: `confirmed/history/${order}/${height}:${address}` }
}

function balanceOf (view, address, which) {
  return view.chain.balance(address, view.seen)[which]
}

function bulkBalance (view, address, which) {
  if (!isAddress(address)) return { address: String(address), script: '', [which]: 0, error: 'Invalid address' }
  return { address, script: scriptHash(address), [which]: balanceOf(view, address, which), error: '' }
}

function bulkHistory (view, address, which) {
  if (!isAddress(address)) return { address: String(address), script: '', result: [], error: 'Invalid address' }
  if (which === 'confirmed') {
    const { list, scope } = confirmedHistoryOf(view, address)
    return wrap(address, slicePage(list, 0, BULK_CONFIRMED_ITEMS, scope))
  }
  return wrap(address, slicePage(unconfirmedHistory(view, address), 0, BULK_UNCONFIRMED_ITEMS, `unconfirmed/history:${address}`))
}

// ---- spent outputs ------------------------------------------------------------

function spentIn (spend) {
  return { txid: spend.txid, vin: spend.vin, status: spend.confirmed ? 'confirmed' : 'unconfirmed' }
}

function knownOutput (view, txid, vout) {
  return visible(view, txid) && view.chain.output(txid, vout) !== null
}

function bulkSpent (view, u) {
  const ok = isPlainObject(u) && isTxid(u.txid) && Number.isInteger(u.vout) && u.vout >= 0 && u.vout <= 0xffffffff
  const utxo = isPlainObject(u) ? { txid: u.txid, vout: u.vout } : { txid: '', vout: 0 }
  if (!ok) return { utxo, error: 'invalid utxo' }
  const txid = u.txid.toLowerCase()
  if (!knownOutput(view, txid, u.vout)) return { utxo, error: 'unknown utxo' }
  const spend = view.chain.spendOf(txid, u.vout, view.seen)
  return spend ? { utxo, spentIn: spentIn(spend), error: '' } : { utxo, error: '' }
}

function rawEntry (view, id) {
  if (!isTxid(id)) return { txid: String(id), error: 'Invalid txid' }
  const rec = visible(view, id.toLowerCase())
  if (!rec) return { txid: id.toLowerCase(), error: 'unknown' }
  const mined = rec.height !== null
  return {
    txid: rec.txid,
    hex: rec.raw.toString('hex'),
    blockhash: mined ? rec.blockHash : '',
    blockheight: mined ? rec.height : 0,
    blocktime: mined ? rec.blockTime : 0,
    confirmations: view.chain.confirmations(rec)
  }
}

// ---- routes -------------------------------------------------------------------

async function post (ctx, view) {
  const { path, res, req } = ctx
  const chain = view.chain
  let m
  if (path === '/tx/raw') {
    const body = await readJson(req)
    if (!isPlainObject(body) || typeof body.txhex !== 'string') throw new HttpError(400, 'txhex is required')
    const r = chain.submit(body.txhex)
    if (!r.ok) throw new HttpError(400, r.text)
    return sendJson(res, 200, r.txid)
  }
  if (path === '/txs') {
    const ids = await listBody(req, 'txids')
    return sendJson(res, 200, ids.map((id) => {
      if (!isTxid(id)) return { txid: String(id), error: 'Invalid txid' }
      const rec = visible(view, id.toLowerCase())
      return rec ? txJson(chain, rec) : { txid: id.toLowerCase(), error: 'unknown' }
    }))
  }
  if (path === '/txs/hex') {
    const ids = await listBody(req, 'txids')
    return sendJson(res, 200, ids.map(id => rawEntry(view, id)))
  }
  if (path === '/utxos/spent') {
    const utxos = await listBody(req, 'utxos')
    return sendJson(res, 200, utxos.map(u => bulkSpent(view, u)))
  }
  if ((m = /^\/addresses\/(confirmed|unconfirmed)\/(balance|history)$/.exec(path))) {
    const list = await listBody(req, 'addresses')
    const one = m[2] === 'balance' ? bulkBalance : bulkHistory
    return sendJson(res, 200, list.map(a => one(view, a, m[1])))
  }
  return notFound()
}

function addressRoute (ctx, view, address, what) {
  const { query, res } = ctx
  switch (what) {
    case 'confirmed/balance':
      return sendJson(res, 200, { ...bulkBalance(view, address, 'confirmed'), associatedScripts: [{ script: scriptHash(address), type: 'pubkeyhash' }] })
    case 'unconfirmed/balance':
      return sendJson(res, 200, bulkBalance(view, address, 'unconfirmed'))
    case 'confirmed/history': {
      const order = query.get('order') ?? 'desc'
      if (order !== 'asc' && order !== 'desc') throw new HttpError(400, 'bad order')
      const height = intParam(query, 'height', { def: 0, min: 0, max: 1e9 })
      const { list, scope } = confirmedHistoryOf(view, address, { order, height })
      return sendJson(res, 200, wrap(address, page(list, query, scope, { def: 100, max: 1000 })))
    }
    case 'unconfirmed/history': {
      const scope = `unconfirmed/history:${address}`
      return sendJson(res, 200, wrap(address, slicePage(unconfirmedHistory(view, address), readPageToken(query, scope), UNCONFIRMED_MAX, scope)))
    }
    case 'unspent/all':
      return sendJson(res, 200, unspentAll(view, address, query))
    case 'confirmed/unspent': {
      const list = unspent(view, address).filter(isConfirmed).map(confirmedEntry)
      return sendJson(res, 200, wrap(address, page(list, query, `confirmed/unspent:${address}`, { def: 10000, max: 10000 })))
    }
    case 'unconfirmed/unspent': {
      const list = unspent(view, address).filter(u => !isConfirmed(u)).map(unconfirmedEntry)
      return sendJson(res, 200, wrap(address, { items: list.slice(0, UNCONFIRMED_MAX) }))
    }
  }
  return notFound()
}

function get (ctx, view) {
  const { path, res } = ctx
  const chain = view.chain
  let m
  if (path === '/chain/info') {
    const tip = chain.tip
    return sendJson(res, 200, { chain: 'main', blocks: tip.height, headers: tip.height, bestblockhash: tip.hash, mediantime: tip.time })
  }
  if ((m = /^\/tx\/hash\/([^/]+)$/.exec(path)) || (m = /^\/tx\/([^/]+)$/.exec(path))) {
    return sendJson(res, 200, txJson(chain, record(view, txidParam(m[1]))))
  }
  if ((m = /^\/tx\/([^/]+)\/hex$/.exec(path))) {
    return sendText(res, 200, record(view, txidParam(m[1])).raw.toString('hex'))
  }
  if ((m = /^\/tx\/([^/]+)\/(\d{1,10})\/spent$/.exec(path))) {
    const txid = txidParam(m[1])
    const vout = Number(m[2])
    // Unknown output 400, known but unspent 404, as documented.
    if (!knownOutput(view, txid, vout)) throw new HttpError(400, 'Unknown UTXO')
    const spend = chain.spendOf(txid, vout, view.seen)
    if (!spend) throw new HttpError(404, 'Not Found')
    return sendJson(res, 200, spentIn(spend))
  }
  if ((m = /^\/address\/([^/]+)\/((?:confirmed|unconfirmed)\/(?:balance|history|unspent)|unspent\/all)$/.exec(path))) {
    return addressRoute(ctx, view, addressParam(m[1]), m[2])
  }
  return notFound()
}

function notFound () {
  throw new HttpError(404, 'Not Found')
}

export async function handle (ctx) {
  const view = { chain: ctx.devnet.chain, seen: ctx.devnet.wocSees }
  if (ctx.method === 'POST') return post(ctx, view)
  if (ctx.method === 'GET') return get(ctx, view)
  return notFound()
}
