// Per-route request counts, so a test can see how many calls a client made
// and to which routes; "429 /" counts the requests refused for the rate. Ids in a path become placeholders: the counts of one
// route for many transactions or addresses add up under one key.
const SEGMENTS = [
  [/^[0-9a-fA-F]{64}$/, ':txid'],
  [/^[0-9a-fA-F]{64}[_.]\d+$/, ':outpoint'],
  [/^(?:[0-9a-fA-F]{66}|[0-9a-fA-F]{130})$/, ':pubkey'],
  [/^\d+$/, ':n'],
  [/^[1-9A-HJ-NP-Za-km-z]{25,35}$/, ':address'],
  [/@/, ':handle']
]

export function routeKey (method, path) {
  const parts = path.split('/').map(seg => {
    const hit = SEGMENTS.find(([re]) => re.test(seg))
    return hit ? hit[1] : seg
  })
  return `${method} ${parts.join('/') || '/'}`
}

export class RequestCounter {
  constructor () { this.counts = {} }

  count (service, method, path) {
    const byRoute = this.counts[service] ?? (this.counts[service] = {})
    const key = routeKey(method, path)
    byRoute[key] = (byRoute[key] ?? 0) + 1
  }

  snapshot () { return structuredClone(this.counts) }

  clear () { this.counts = {} }
}
