// Fault injection: rules that answer, delay or drop matching requests a given
// number of times. Admin paths are never affected, so a test can always undo.
import { HttpError, isPlainObject } from './http.mjs'

// Large bodies are generated piece by piece while they are sent, so a rule costs the
// same memory whatever size it asks for.
export const MAX_BODY_BYTES = 32 * 1024 * 1024
const PIECE_BYTES = 64 * 1024

export class Faults {
  constructor () { this.rules = []; this.nextId = 1 }

  clear () { const n = this.rules.length; this.rules = []; return n }

  list () {
    return this.rules.map(r => ({ id: r.id, method: r.method, pathRegex: r.pathRegex, status: r.status, delayMs: r.delayMs, drop: r.drop, truncate: r.truncate, bodyBytes: r.bodyBytes, remaining: r.remaining, fired: r.fired }))
  }

  add (request) {
    if (!isPlainObject(request)) throw new HttpError(400, 'fault must be a JSON object')
    const method = request.method === undefined ? '*' : request.method
    if (typeof method !== 'string' || !/^(?:\*|[A-Za-z]{1,10})$/.test(method)) throw new HttpError(400, 'method must be an HTTP method or "*"')
    if (typeof request.pathRegex !== 'string' || request.pathRegex.length === 0 || request.pathRegex.length > 500) throw new HttpError(400, 'pathRegex must be a non-empty string')
    let re
    try { re = new RegExp(request.pathRegex) } catch { throw new HttpError(400, 'pathRegex does not compile') }
    const int = (name, min, max, def) => {
      const v = request[name]
      if (v === undefined || v === null) return def
      if (!Number.isInteger(v) || v < min || v > max) throw new HttpError(400, `${name} must be an integer from ${min} to ${max}`)
      return v
    }
    const status = int('status', 100, 599, null)
    const delayMs = int('delayMs', 0, 600000, 0)
    const count = int('count', 1, 1e9, 1)
    if (request.drop !== undefined && typeof request.drop !== 'boolean') throw new HttpError(400, 'drop must be a boolean')
    const drop = request.drop === true
    if (status === null && !drop && delayMs === 0) throw new HttpError(400, 'a fault needs status, drop or delayMs')
    if (request.truncate !== undefined && typeof request.truncate !== 'boolean') throw new HttpError(400, 'truncate must be a boolean')
    const truncate = request.truncate === true
    const bodyBytes = int('bodyBytes', 0, MAX_BODY_BYTES, null)
    if ((truncate || bodyBytes !== null) && status === null) throw new HttpError(400, 'truncate and bodyBytes need a status')
    let body = request.body ?? ''
    let contentType = typeof request.contentType === 'string' ? request.contentType : null
    if (typeof body !== 'string') {
      body = JSON.stringify(body)
      contentType = contentType ?? 'application/json'
    }
    contentType = contentType ?? 'text/plain; charset=utf-8'
    if (!/^[\x20-\x7e]{1,200}$/.test(contentType)) throw new HttpError(400, 'bad contentType')
    if (bodyBytes !== null && body.length > PIECE_BYTES) throw new HttpError(400, `with bodyBytes the body is a pattern of at most ${PIECE_BYTES} bytes`)
    if (truncate && (bodyBytes ?? Buffer.byteLength(body, 'utf8')) < 2) throw new HttpError(400, 'truncate needs a body of at least 2 bytes')
    const rule = { id: this.nextId++, method: method.toUpperCase(), pathRegex: request.pathRegex, re, status, body, contentType, delayMs, drop, truncate, bodyBytes, remaining: count, fired: 0 }
    this.rules.push(rule)
    return rule
  }

  // The first live rule matching the request; consumes one of its firings.
  take (method, url) {
    for (const r of this.rules) {
      if (r.method !== '*' && r.method !== method) continue
      r.re.lastIndex = 0
      if (!r.re.test(url)) continue
      r.remaining--
      r.fired++
      if (r.remaining <= 0) this.rules = this.rules.filter(x => x !== r)
      return r
    }
    return null
  }
}

// The answer of a rule with a status: its body, or bodyBytes of the body repeated (an
// "x" when it is empty). With truncate the announced length is the whole body but only
// its first half is sent before the connection is closed.
export async function sendFaultReply (res, rule) {
  const pattern = Buffer.from(rule.bodyBytes !== null && rule.body === '' ? 'x' : rule.body, 'utf8')
  const total = rule.bodyBytes ?? pattern.length
  const sent = rule.truncate ? Math.floor(total / 2) : total
  res.writeHead(rule.status, { 'Content-Type': rule.contentType, 'Content-Length': total })
  // A piece of whole patterns, so the filler repeats evenly across pieces.
  const piece = rule.bodyBytes === null
    ? pattern
    : Buffer.concat(Array(Math.max(1, Math.floor(PIECE_BYTES / Math.max(1, pattern.length)))).fill(pattern))
  let closed = false
  res.on('close', () => { closed = true })
  for (let at = 0; at < sent && !closed;) {
    const n = Math.min(piece.length, sent - at)
    const ok = res.write(piece.subarray(0, n))
    at += n
    if (!ok && !closed) await new Promise(resolve => { res.once('drain', resolve); res.once('close', resolve) })
  }
  if (closed) return
  if (rule.truncate) {
    // Let what was written reach the client, then cut the connection mid-body.
    await new Promise(resolve => res.socket ? res.socket.write('', resolve) : resolve())
    res.destroy()
    return
  }
  res.end()
}
