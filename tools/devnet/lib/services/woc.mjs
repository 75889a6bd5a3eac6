// WhatsOnChain stand-in under /woc/v1/bsv/main. Errors are plain text, as the
// real service writes them.
import { HttpError, sendJson, sendText, readJson, isPlainObject, page } from '../http.mjs'
import { isTxid, isAddress } from '../codec.mjs'
import { txJson, outputJson } from '../txjson.mjs'

export const PREFIX = '/woc/v1/bsv/main'

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

function record (chain, txid) {
  const rec = chain.txs.get(txid)
  if (!rec) throw new HttpError(404, 'Not Found')
  return rec
}

function utxoEntry ({ out, rec, spentInMempool }) {
  return { height: rec.height ?? 0, tx_pos: out.vout, tx_hash: out.txid, value: out.satoshis, isSpentInMempoolTx: spentInMempool }
}

function historyEntry (chain, txid) {
  const rec = chain.txs.get(txid)
  return { tx_hash: txid, height: rec.height ?? 0 }
}

const MAX_BATCH = 20

export async function handle (ctx) {
  const { method, path, query, res, devnet } = ctx
  const chain = devnet.chain
  let m

  if (method === 'POST' && path === '/tx/raw') {
    const body = await readJson(ctx.req)
    if (!isPlainObject(body) || typeof body.txhex !== 'string') throw new HttpError(400, 'txhex is required')
    const r = chain.submit(body.txhex)
    if (!r.ok) throw new HttpError(400, r.text)
    return sendJson(res, 200, r.txid)
  }
  if (method === 'POST' && path === '/txs') {
    const body = await readJson(ctx.req)
    const ids = isPlainObject(body) ? body.txids : null
    if (!Array.isArray(ids) || ids.length > MAX_BATCH) throw new HttpError(400, `txids must be an array of at most ${MAX_BATCH} ids`)
    return sendJson(res, 200, ids.map((id) => {
      if (!isTxid(id)) return { txid: String(id), error: 'Invalid txid' }
      const rec = chain.txs.get(id.toLowerCase())
      return rec ? txJson(chain, rec) : { txid: id.toLowerCase(), error: 'unknown' }
    }))
  }
  if (method === 'POST' && path === '/addresses/balance') {
    const body = await readJson(ctx.req)
    const list = isPlainObject(body) ? body.addresses : null
    if (!Array.isArray(list) || list.length > MAX_BATCH) throw new HttpError(400, `addresses must be an array of at most ${MAX_BATCH} addresses`)
    return sendJson(res, 200, list.map((a) => isAddress(a)
      ? { address: a, balance: chain.balance(a), error: '' }
      : { address: String(a), balance: { confirmed: 0, unconfirmed: 0 }, error: 'Invalid address' }))
  }
  if (method !== 'GET') throw new HttpError(405, 'Method Not Allowed')

  if (path === '/chain/info') {
    const tip = chain.tip
    return sendJson(res, 200, { chain: 'main', blocks: tip.height, headers: tip.height, bestblockhash: tip.hash, mediantime: tip.time })
  }
  if ((m = /^\/tx\/(?:hash\/)?([^/]+)$/.exec(path))) {
    return sendJson(res, 200, txJson(chain, record(chain, txidParam(m[1]))))
  }
  if ((m = /^\/tx\/([^/]+)\/(hex|raw|decoded)$/.exec(path))) {
    const rec = record(chain, txidParam(m[1]))
    if (m[2] === 'decoded') return sendJson(res, 200, txJson(chain, rec, { decoded: true }))
    return sendText(res, 200, rec.raw.toString('hex'))
  }
  if ((m = /^\/tx\/([^/]+)\/out\/(\d{1,10})$/.exec(path))) {
    const txid = txidParam(m[1])
    record(chain, txid)
    const out = chain.output(txid, Number(m[2]))
    if (!out) throw new HttpError(404, 'Not Found')
    const spend = chain.spendOf(txid, out.vout)
    return sendJson(res, 200, {
      txid,
      ...outputJson(out),
      spent: Boolean(spend),
      spentIn: spend ? { txid: spend.txid, vin: spend.vin, status: spend.confirmed ? 'confirmed' : 'unconfirmed' } : null
    })
  }
  if ((m = /^\/tx\/([^/]+)\/(\d{1,10})\/spent$/.exec(path))) {
    const txid = txidParam(m[1])
    record(chain, txid)
    if (!chain.output(txid, Number(m[2]))) throw new HttpError(404, 'Not Found')
    const spend = chain.spendOf(txid, Number(m[2]))
    if (!spend) throw new HttpError(404, 'Not Found')
    return sendJson(res, 200, { txid: spend.txid, vin: spend.vin, status: spend.confirmed ? 'confirmed' : 'unconfirmed' })
  }
  if ((m = /^\/address\/([^/]+)\/(.+)$/.exec(path))) {
    const address = addressParam(m[1])
    const what = m[2]
    const unspent = () => chain.addressUnspent(address)
    const wrap = (scope, list, opts) => {
      const p = page(list, query, `${scope}:${address}`, opts)
      return { address, result: p.items, error: '', nextPageToken: p.next }
    }
    switch (what) {
      case 'unspent':
        return sendJson(res, 200, unspent().map(utxoEntry))
      case 'unspent/all':
        return sendJson(res, 200, wrap('unspent/all', unspent().map(utxoEntry)))
      case 'confirmed/unspent':
        return sendJson(res, 200, wrap('confirmed/unspent', unspent().filter(u => u.rec.height !== null).map(utxoEntry)))
      case 'unconfirmed/unspent':
        return sendJson(res, 200, wrap('unconfirmed/unspent', unspent().filter(u => u.rec.height === null).map(utxoEntry)))
      case 'balance':
        return sendJson(res, 200, chain.balance(address))
      case 'history':
        return sendJson(res, 200, chain.addressTxids(address).map(t => historyEntry(chain, t)))
      case 'confirmed/history': {
        let list = chain.addressTxids(address).filter(t => chain.txs.get(t).height !== null).map(t => historyEntry(chain, t))
        const order = query.get('order') ?? 'asc'
        if (order !== 'asc' && order !== 'desc') throw new HttpError(400, 'bad order')
        if (order === 'desc') list = list.reverse()
        return sendJson(res, 200, wrap(`confirmed/history/${order}`, list))
      }
      case 'unconfirmed/history':
        return sendJson(res, 200, wrap('unconfirmed/history',
          chain.addressTxids(address).filter(t => chain.txs.get(t).height === null).map(t => ({ tx_hash: t }))))
    }
  }
  throw new HttpError(404, 'Not Found')
}
