// Request and reply helpers shared by the services.
import { stringify } from './json.mjs'

export const BODY_LIMIT = 10 * 1024 * 1024

export class HttpError extends Error {
  constructor (status, message, extra = {}) {
    super(message)
    this.status = status
    this.extra = extra
  }
}

export function send (res, status, body, contentType, headers = {}) {
  const buf = Buffer.isBuffer(body) ? body : Buffer.from(String(body), 'utf8')
  res.writeHead(status, { 'Content-Type': contentType, 'Content-Length': buf.length, ...headers })
  res.end(buf)
}

export function sendJson (res, status, value, headers) {
  send(res, status, stringify(value), 'application/json; charset=utf-8', headers)
}

export function sendText (res, status, text, headers) {
  send(res, status, text, 'text/plain; charset=utf-8', headers)
}

// Refusing an oversized body early but reading on (and discarding) lets the
// client finish sending and see the 413; past DRAIN_LIMIT the socket is cut.
const DRAIN_LIMIT = 4 * BODY_LIMIT

export function readBody (req, limit = BODY_LIMIT) {
  return new Promise((resolve, reject) => {
    const parts = []
    let size = 0
    let failed = false
    const fail = (err) => { if (!failed) { failed = true; parts.length = 0; reject(err) } }
    const declared = Number(req.headers['content-length'])
    if (Number.isFinite(declared) && declared > limit) fail(new HttpError(413, 'request body too large'))
    req.on('data', (chunk) => {
      size += chunk.length
      if (size > DRAIN_LIMIT) { req.socket.destroy(); return }
      if (failed) return
      if (size > limit) { fail(new HttpError(413, 'request body too large')); return }
      parts.push(chunk)
    })
    req.on('end', () => { if (!failed) resolve(Buffer.concat(parts)) })
    req.on('error', fail)
  })
}

export async function readJson (req) {
  const body = await readBody(req)
  try {
    return JSON.parse(body.toString('utf8'))
  } catch {
    throw new HttpError(400, 'body is not valid JSON')
  }
}

export function isPlainObject (v) {
  return v !== null && typeof v === 'object' && !Array.isArray(v)
}

// Integer query parameter within bounds; absent gives the default.
export function intParam (query, name, { def, min, max }) {
  const raw = query.get(name)
  if (raw === null || raw === '') return def
  if (!/^\d{1,10}$/.test(raw)) throw new HttpError(400, `bad ${name}`)
  const n = Number(raw)
  if (n < min || n > max) throw new HttpError(400, `bad ${name}`)
  return n
}

// Opaque page tokens: the offset of the next page, bound to the list they page.
export function pageToken (scope, offset) {
  return Buffer.from(`${scope}|${offset}`, 'utf8').toString('base64url')
}

export function readPageToken (query, scope) {
  const raw = query.get('token')
  if (raw === null || raw === '') return 0
  if (!/^[A-Za-z0-9_-]{1,200}$/.test(raw)) throw new HttpError(400, 'bad token')
  const text = Buffer.from(raw, 'base64url').toString('utf8')
  const sep = text.lastIndexOf('|')
  if (sep < 0 || text.slice(0, sep) !== scope || !/^\d{1,9}$/.test(text.slice(sep + 1))) throw new HttpError(400, 'bad token')
  return Number(text.slice(sep + 1))
}

// One page of `list` from `offset`, with nextPageToken only when more remain.
export function slicePage (list, offset, limit, scope) {
  const items = list.slice(offset, offset + limit)
  const next = offset + limit < list.length ? pageToken(scope, offset + limit) : undefined
  return { items, next }
}

// One page of `list` by the query's limit and token.
export function page (list, query, scope, { def = 1000, max = 10000 } = {}) {
  const limit = intParam(query, 'limit', { def, min: 1, max })
  return slicePage(list, readPageToken(query, scope), limit, scope)
}

export function decodeSegment (s) {
  try {
    return decodeURIComponent(s)
  } catch {
    throw new HttpError(400, 'bad percent-encoding in path')
  }
}
