// The devnet server: one loopback port, one path prefix per service.
//   startDevnet({port, profileOut, statePath, latencyMs, autoMineMs,
//                wocRps, propagationMs, arcKey, wocKey, arcRequireEf, arcQueued}) -> handle
import http from 'node:http'
import fs from 'node:fs'
import path from 'node:path'
import { devnetKeys, DEVNET_MNEMONIC, ROLE_INDEX, HOUSE_ROWS } from './keys.mjs'
import { Chain } from './chain.mjs'
import { Platform } from './platform.mjs'
import { Faults, sendFaultReply } from './faults.mjs'
import { Faucet } from './faucet.mjs'
import { HttpError, sendText } from './http.mjs'
import { RequestCounter } from './requests.mjs'
import { RateLimit } from './ratelimit.mjs'
import { SWITCH_DEFAULTS, withSwitches } from './switches.mjs'
import * as woc from './services/woc.mjs'
import * as arc from './services/arc.mjs'
import * as ord from './services/ord.mjs'
import * as svc from './services/svc.mjs'
import * as admin from './services/admin.mjs'
import * as update from './services/update.mjs'

export { devnetKeys, DEVNET_MNEMONIC, ROLE_INDEX, HOUSE_ROWS } from './keys.mjs'

export const HOST = '127.0.0.1'
export const PAYMAIL_DOMAIN = 'devnet.quenvale.test'
const STATE_FORMAT = 'quenvale-devnet-state'
const SERVICES = [woc, arc, ord, svc, update, admin]

// wocRps: the WhatsOnChain rate the devnet enforces, which the program keeps to.
export function buildProfile (port, keys = devnetKeys(), wocRps = 0) {
  const root = `http://${HOST}:${port}`
  const paths = {}
  for (const role of Object.keys(ROLE_INDEX)) paths[role] = keys[role].path
  return {
    network: 'devnet',
    woc_api: `${root}/woc/v1/bsv/main`,
    ord_api: `${root}/ord/api`,
    ord_host: `${root}/ord`,
    arc_tx: `${root}/arc/v1/tx`,
    service_root: `${root}/svc`,
    service_host: `${HOST}:${port}`,
    service_pin_ip: '',
    paymail_domain: PAYMAIL_DOMAIN,
    platform_domain: PAYMAIL_DOMAIN,
    update_site: `${HOST}:${port}`,
    frames: Array.from({ length: 10 }, (_, i) => keys[`as${i + 1}`].address),
    admission_address: keys.admission.address,
    placement_fee_address: keys.placement_fee.address,
    sale_fee_address: keys.sale_fee.address,
    ocp_address: keys.ocp.address,
    oao_address: keys.oao.address,
    credential_issuer_address: keys.credential_issuer.address,
    house: HOUSE_ROWS.map(h => ({ id: h.id, name: h.name, category: h.category, addresses: h.roles.map(r => keys[r].address) })),
    app_tag_label: '',
    woc_rps: wocRps,
    devnet: { mnemonic: DEVNET_MNEMONIC, faucet_address: keys.faucet.address, paths }
  }
}

// Write via a temporary file in the same folder and rename, so a reader never
// sees half a file.
export function writeFileAtomic (file, text) {
  const tmp = path.join(path.dirname(file), `.${path.basename(file)}.${process.pid}.tmp`)
  fs.writeFileSync(tmp, text)
  fs.renameSync(tmp, file)
}

function splitUrl (url) {
  const q = url.indexOf('?')
  return q < 0 ? { pathname: url, search: '' } : { pathname: url.slice(0, q), search: url.slice(q + 1) }
}

const sleep = (ms) => new Promise(resolve => setTimeout(resolve, ms))

export async function startDevnet (opts = {}) {
  const { port = 0, profileOut = null, statePath = null, latencyMs = 0, autoMineMs = 0, clock, log = () => {} } = opts
  const given = Object.fromEntries(Object.keys(SWITCH_DEFAULTS).filter(k => opts[k] !== undefined).map(k => [k, opts[k]]))
  const startSwitches = withSwitches(SWITCH_DEFAULTS, given)
  const keys = devnetKeys()
  const chain = new Chain({ faucetAddress: keys.faucet.address, clock })
  const platform = new Platform({ domain: PAYMAIL_DOMAIN })
  const faults = new Faults()
  const faucet = new Faucet(chain, keys.faucet)
  const requests = new RequestCounter()
  const wocLimit = new RateLimit()
  const oracles = { ocp: keys.ocp.address, oao: keys.oao.address, ident: keys.credential_issuer.address }
  for (let i = 1; i <= 10; i++) oracles[`as${i}`] = keys[`as${i}`].address

  if (statePath && fs.existsSync(statePath)) {
    const saved = JSON.parse(fs.readFileSync(statePath, 'utf8'))
    if (saved.format !== STATE_FORMAT || saved.version !== 1) throw new Error(`${statePath} is not a devnet state file`)
    chain.restore(saved.chain)
    platform.restore(saved.platform ?? {})
  }

  let saveTimer = null
  const saveNow = () => {
    if (saveTimer) { clearTimeout(saveTimer); saveTimer = null }
    if (!statePath) return
    const text = JSON.stringify({ format: STATE_FORMAT, version: 1, chain: chain.snapshot(), platform: platform.snapshot() })
    writeFileAtomic(statePath, text)
  }
  const changed = () => {
    if (statePath && !saveTimer) saveTimer = setTimeout(() => { saveTimer = null; try { saveNow() } catch (e) { log(`state save failed: ${e.message}`) } }, 20)
  }
  chain.onChange(changed)

  const devnet = {
    chain,
    platform,
    faults,
    faucet,
    oracles,
    keys,
    profile: null,
    updateVersion: update.DEFAULT_VERSION,
    switches: startSwitches,
    requests,
    changed,
    // A transaction ARC or the platform accepted reaches WhatsOnChain only
    // propagationMs later; other services see it at once.
    accepted (txid) {
      const rec = chain.txs.get(txid)
      if (rec && devnet.switches.propagationMs > 0) rec.wocAt = chain.clock() + devnet.switches.propagationMs
    },
    wocSees: (rec) => rec.height !== null || !(rec.wocAt > chain.clock()),
    reset () {
      chain.reset(); platform.reset(); faults.clear(); requests.clear(); wocLimit.clear()
      devnet.switches = startSwitches
      devnet.updateVersion = update.DEFAULT_VERSION
      changed()
    },
    setSwitches (changes) { devnet.switches = withSwitches(devnet.switches, changes); return devnet.switches },
    state () {
      return {
        network: 'devnet',
        height: chain.height,
        tip: chain.tip.hash,
        mempool: [...chain.mempool.keys()],
        transactions: chain.txs.size,
        conflicts: chain.conflicts.size,
        inscriptions: chain.inscriptions.size,
        faucet: { address: keys.faucet.address, balance: chain.balance(keys.faucet.address) },
        identities: platform.identities.size,
        faults: faults.list(),
        switches: { ...devnet.switches, arcKey: devnet.switches.arcKey ? '(set)' : '', wocKey: devnet.switches.wocKey ? '(set)' : '' }
      }
    }
  }

  async function dispatch (req, res) {
    const method = req.method
    const url = req.url ?? '/'
    const { pathname, search } = splitUrl(url)
    const service = SERVICES.find(s => pathname === s.PREFIX || pathname.startsWith(s.PREFIX + '/'))
    if (latencyMs > 0) await sleep(latencyMs)
    if (!service) {
      res.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' })
      res.end('Not Found')
      return
    }
    if (service !== admin) {
      requests.count(service.NAME, method, pathname.slice((service.COUNT_BASE ?? service.PREFIX).length))
      // A keyed account: a request without the key is refused before it counts
      // against the rate.
      if (service === woc && devnet.switches.wocKey && req.headers['woc-api-key'] !== devnet.switches.wocKey) {
        requests.count(service.NAME, '401', '')
        sendText(res, 401, 'Unauthorized')
        return
      }
      if (service === woc && !wocLimit.allow(devnet.switches.wocRps)) {
        requests.count(service.NAME, '429', '')
        sendText(res, 429, 'Too Many Requests')
        return
      }
      const fault = faults.take(method, url)
      if (fault) {
        if (fault.delayMs > 0) await sleep(fault.delayMs)
        if (fault.drop) { req.socket.destroy(); return }
        if (fault.status !== null) {
          await sendFaultReply(res, fault)
          return
        }
      }
    }
    const ctx = { req, res, method, path: pathname.slice(service.PREFIX.length), query: new URLSearchParams(search), devnet }
    try {
      await service.handle(ctx)
    } catch (err) {
      if (res.headersSent) { res.destroy(); return }
      if (err instanceof HttpError) {
        service.errorReply(res, err)
      } else {
        log(`internal error on ${method} ${pathname}: ${err.stack ?? err}`)
        service.errorReply(res, new HttpError(500, 'internal error'))
      }
    }
  }

  const server = http.createServer((req, res) => {
    dispatch(req, res).catch(err => { log(`request failed: ${err.stack ?? err}`); res.destroy() })
  })
  await new Promise((resolve, reject) => {
    server.once('error', reject)
    server.listen(port, HOST, () => { server.off('error', reject); resolve() })
  })
  const actualPort = server.address().port
  devnet.profile = buildProfile(actualPort, keys, devnet.switches.wocRps)
  if (profileOut) writeFileAtomic(profileOut, JSON.stringify(devnet.profile, null, 2) + '\n')

  const miner = autoMineMs > 0
    ? setInterval(() => { if (chain.mempool.size > 0) chain.mine(1) }, autoMineMs)
    : null

  let closed = null
  return Object.assign(devnet, {
    port: actualPort,
    url: `http://${HOST}:${actualPort}`,
    server,
    saveNow,
    close () {
      if (!closed) {
        if (miner) clearInterval(miner)
        closed = new Promise(resolve => server.close(() => resolve()))
        server.closeAllConnections()
        saveNow()
      }
      return closed
    }
  })
}
