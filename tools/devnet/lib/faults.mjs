// Fault injection: rules that answer, delay or drop matching requests a given
// number of times. Admin paths are never affected, so a test can always undo.
import { HttpError, isPlainObject } from './http.mjs'

export class Faults {
  constructor () { this.rules = []; this.nextId = 1 }

  clear () { const n = this.rules.length; this.rules = []; return n }

  list () {
    return this.rules.map(r => ({ id: r.id, method: r.method, pathRegex: r.pathRegex, status: r.status, delayMs: r.delayMs, drop: r.drop, remaining: r.remaining, fired: r.fired }))
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
    let body = request.body ?? ''
    let contentType = typeof request.contentType === 'string' ? request.contentType : null
    if (typeof body !== 'string') {
      body = JSON.stringify(body)
      contentType = contentType ?? 'application/json'
    }
    contentType = contentType ?? 'text/plain; charset=utf-8'
    if (!/^[\x20-\x7e]{1,200}$/.test(contentType)) throw new HttpError(400, 'bad contentType')
    const rule = { id: this.nextId++, method: method.toUpperCase(), pathRegex: request.pathRegex, re, status, body, contentType, delayMs, drop, remaining: count, fired: 0 }
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
