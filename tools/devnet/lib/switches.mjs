// Runtime switches: set at start (server options) and changed through
// POST /devnet/switches. A reset goes back to the values given at start.
import { HttpError, isPlainObject } from './http.mjs'

export const SWITCH_DEFAULTS = Object.freeze({
  wocRps: 0, // WhatsOnChain requests per second before 429; 0 = no limit
  propagationMs: 0, // how long WhatsOnChain lags behind ARC and the platform submit
  arcKey: '', // bearer key ARC requires; '' = none
  wocKey: '', // API key WhatsOnChain requires (header woc-api-key); '' = none
  arcRequireEf: false, // ARC refuses plain transactions with unconfirmed parents (460)
  arcQueued: false // ARC answers an accepted transaction with QUEUED
})

const RULES = {
  wocRps: (v) => Number.isInteger(v) && v >= 0 && v <= 100000,
  propagationMs: (v) => Number.isInteger(v) && v >= 0 && v <= 600000,
  arcKey: (v) => typeof v === 'string' && /^[\x21-\x7e]{0,200}$/.test(v),
  wocKey: (v) => typeof v === 'string' && /^[\x21-\x7e]{0,200}$/.test(v),
  arcRequireEf: (v) => typeof v === 'boolean',
  arcQueued: (v) => typeof v === 'boolean'
}

// The switches after `changes`; unknown names and bad values are refused.
export function withSwitches (current, changes) {
  if (!isPlainObject(changes)) throw new HttpError(400, 'switches must be a JSON object')
  const next = { ...current }
  for (const [name, value] of Object.entries(changes)) {
    if (!Object.hasOwn(RULES, name)) throw new HttpError(400, `unknown switch ${name}`)
    if (!RULES[name](value)) throw new HttpError(400, `bad value for ${name}`)
    next[name] = value
  }
  return next
}
