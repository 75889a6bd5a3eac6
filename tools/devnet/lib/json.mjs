// JSON text with exact decimal amounts: JSON.stringify writes 1e-8 for one
// satoshi in BSV, the services write 0.00000001.
export class Decimal {
  constructor (text) { this.text = text }
}

export function bsv (sats) {
  const neg = sats < 0
  const s = BigInt(Math.abs(sats)).toString().padStart(9, '0')
  let whole = s.slice(0, -8)
  let frac = s.slice(-8).replace(/0+$/, '')
  if (whole === '') whole = '0'
  return new Decimal((neg ? '-' : '') + whole + (frac ? '.' + frac : ''))
}

export function stringify (v) {
  if (v instanceof Decimal) return v.text
  if (v === null) return 'null'
  switch (typeof v) {
    case 'string': return JSON.stringify(v)
    case 'number': return Number.isFinite(v) ? String(v) : 'null'
    case 'boolean': return v ? 'true' : 'false'
    case 'bigint': return v.toString()
    case 'object': {
      if (Array.isArray(v)) return '[' + v.map(x => (x === undefined ? 'null' : stringify(x))).join(',') + ']'
      const parts = []
      for (const [k, x] of Object.entries(v)) {
        if (x === undefined || typeof x === 'function') continue
        parts.push(JSON.stringify(k) + ':' + stringify(x))
      }
      return '{' + parts.join(',') + '}'
    }
    default: return 'null'
  }
}
