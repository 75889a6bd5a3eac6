// Requests-per-second cap over a sliding one-second window: past `rps`
// answered requests in the last second, the next one is refused. Refused
// requests do not count, so a client that waits gets through again.
export class RateLimit {
  constructor (now = () => Date.now()) { this.now = now; this.hits = [] }

  // True when a request may go ahead (and is counted), false when it is over.
  allow (rps) {
    if (!(rps > 0)) return true
    const t = this.now()
    while (this.hits.length && this.hits[0] <= t - 1000) this.hits.shift()
    if (this.hits.length >= rps) return false
    this.hits.push(t)
    return true
  }

  clear () { this.hits = [] }
}
