// Admin paths under /devnet/: funding, mining, inscribing, identities,
// faults, runtime switches, request counts, the announced program version,
// reset and state.
import { HttpError, sendJson, readJson, readBody, isPlainObject } from '../http.mjs'
import { isAddress, MAX_MONEY } from '../codec.mjs'
import { normaliseKey, aliasKey, ROLES } from '../platform.mjs'
import { VERSION_PATTERN } from './update.mjs'

export const PREFIX = '/devnet'

export function errorReply (res, err) {
  sendJson(res, err.status, { error: err.message })
}

async function objectBody (req) {
  const raw = await readBody(req)
  if (raw.length === 0) return {}
  let v
  try { v = JSON.parse(raw.toString('utf8')) } catch { throw new HttpError(400, 'body is not valid JSON') }
  if (!isPlainObject(v)) throw new HttpError(400, 'body must be a JSON object')
  return v
}

function optionalBool (body, name) {
  if (body[name] === undefined) return undefined
  if (typeof body[name] !== 'boolean') throw new HttpError(400, `${name} must be a boolean`)
  return body[name]
}

function faucetError (err) {
  return new HttpError(500, err.message)
}

export async function handle (ctx) {
  const { method, path, res, devnet } = ctx
  const { chain, platform, faults } = devnet
  const route = `${method} ${path}`

  switch (route) {
    case 'POST /fund': {
      const body = await objectBody(ctx.req)
      if (!isAddress(body.address)) throw new HttpError(400, 'address must be a P2PKH address')
      if (!Number.isSafeInteger(body.sats) || body.sats < 1 || BigInt(body.sats) > MAX_MONEY / 100n) throw new HttpError(400, 'sats must be a positive integer')
      const confirmed = optionalBool(body, 'confirmed') === true
      const txid = await devnet.faucet.fund(body.address, body.sats).catch(e => { throw faucetError(e) })
      if (confirmed) chain.mine(1)
      return sendJson(res, 200, { txid, vout: 0, address: body.address, sats: body.sats, confirmed })
    }
    case 'POST /mine': {
      const body = await objectBody(ctx.req)
      const n = body.blocks ?? 1
      if (!Number.isInteger(n) || n < 1 || n > 1000) throw new HttpError(400, 'blocks must be an integer from 1 to 1000')
      const blocks = chain.mine(n)
      return sendJson(res, 200, { height: chain.height, hashes: blocks.map(b => b.hash), txids: blocks.flatMap(b => b.txids) })
    }
    case 'POST /inscribe': {
      const body = await objectBody(ctx.req)
      if (!isAddress(body.address)) throw new HttpError(400, 'address must be a P2PKH address')
      if (typeof body.contentType !== 'string' || !/^[\x20-\x7e]{1,200}$/.test(body.contentType)) throw new HttpError(400, 'contentType must be a printable string')
      if (typeof body.contentBase64 !== 'string' || !/^[A-Za-z0-9+/]*={0,2}$/.test(body.contentBase64)) throw new HttpError(400, 'contentBase64 must be Base64')
      const content = Buffer.from(body.contentBase64, 'base64')
      let map
      if (body.map !== undefined) {
        if (!isPlainObject(body.map) || !Object.values(body.map).every(v => typeof v === 'string')) throw new HttpError(400, 'map must be an object of strings')
        map = body.map
      }
      const confirmed = optionalBool(body, 'confirmed') === true
      // Inscriptions usually hold 1 sat; a wallet must keep any value of one out of payments.
      const satoshis = body.satoshis ?? 1
      if (!Number.isInteger(satoshis) || satoshis < 1 || satoshis > 100000000) throw new HttpError(400, 'satoshis must be an integer from 1 to 100000000')
      const txid = await devnet.faucet.inscribe({ address: body.address, type: body.contentType, content, map, satoshis }).catch(e => { throw faucetError(e) })
      if (confirmed) chain.mine(1)
      return sendJson(res, 200, { origin: `${txid}_0`, txid, vout: 0, address: body.address, confirmed })
    }
    case 'POST /identity': {
      const body = await objectBody(ctx.req)
      const key = normaliseKey(body.pubkey)
      if (!key) throw new HttpError(400, 'pubkey must be a hex public key')
      const frozen = optionalBool(body, 'frozen')
      if (body.role !== undefined && (typeof body.role !== 'string' || !(body.role === '' || ROLES.includes(body.role.toLowerCase())))) {
        throw new HttpError(400, `role must be one of ${ROLES.join(', ')}`)
      }
      let alias = null
      if (body.alias !== undefined) {
        alias = aliasKey(body.alias)
        if (!alias) throw new HttpError(400, 'alias is empty')
      }
      const holder = alias ? platform.aliases.get(alias) : undefined
      if (holder && holder !== key) throw new HttpError(409, `${platform.handle(alias)} is already taken`)
      const id = platform.identity(key, true)
      if (body.role !== undefined) id.role = body.role === '' ? 'default' : body.role.toLowerCase()
      if (frozen !== undefined) id.frozen = frozen
      if (alias) platform.register(alias, key, { enforceQuota: false })
      devnet.changed()
      return sendJson(res, 200, { pubkey: id.pubkey, alias: id.alias, labels: id.labels, role: id.role, frozen: id.frozen })
    }
    case 'POST /faults': {
      const rule = faults.add(await readJson(ctx.req))
      return sendJson(res, 200, { id: rule.id, remaining: rule.remaining })
    }
    case 'GET /faults':
      return sendJson(res, 200, { faults: faults.list() })
    case 'DELETE /faults':
      return sendJson(res, 200, { cleared: faults.clear() })
    case 'GET /switches':
      return sendJson(res, 200, devnet.switches)
    case 'POST /switches':
      return sendJson(res, 200, devnet.setSwitches(await objectBody(ctx.req)))
    case 'GET /requests':
      return sendJson(res, 200, devnet.requests.snapshot())
    case 'POST /requests/reset':
      devnet.requests.clear()
      return sendJson(res, 200, {})
    case 'POST /update': {
      const body = await objectBody(ctx.req)
      if (typeof body.version !== 'string' || !VERSION_PATTERN.test(body.version)) throw new HttpError(400, 'version must be a number such as 0.002')
      devnet.updateVersion = body.version
      return sendJson(res, 200, { version: devnet.updateVersion })
    }
    case 'POST /reset':
      devnet.reset()
      return sendJson(res, 200, { ok: true, height: chain.height })
    case 'GET /state':
      return sendJson(res, 200, devnet.state())
    case 'GET /profile':
      return sendJson(res, 200, devnet.profile)
  }
  throw new HttpError(404, `no admin path ${route}`)
}
