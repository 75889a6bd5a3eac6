// The server as a program: command line, printed address, profile file and a
// state file that survives a restart.
import { test, describe, after } from 'node:test'
import assert from 'node:assert/strict'
import { spawn } from 'node:child_process'
import { mkdtempSync, readFileSync, existsSync, rmSync, readdirSync } from 'node:fs'
import { tmpdir } from 'node:os'
import path from 'node:path'
import { fileURLToPath } from 'node:url'
import { sdk, DEVNET_MNEMONIC, newKey, buildTx } from '../support/devnet/harness.mjs'

const SERVER = fileURLToPath(new URL('../../tools/devnet/server.mjs', import.meta.url))
const WOC = '/woc/v1/bsv/main'
const dir = mkdtempSync(path.join(tmpdir(), 'devnet-cli-'))
after(() => rmSync(dir, { recursive: true, force: true }))

function start (args) {
  const child = spawn(process.execPath, [SERVER, ...args], { stdio: ['ignore', 'pipe', 'pipe'] })
  let out = ''
  let err = ''
  child.stderr.on('data', (d) => { err += d })
  const exited = new Promise(resolve => child.on('exit', (code, signal) => resolve({ code, signal, err, out })))
  const ready = new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => {
      out += d
      const m = /devnet listening on (http:\/\/127\.0\.0\.1:(\d+))\n/.exec(out)
      if (m) resolve({ url: m[1], port: Number(m[2]) })
    })
    exited.then((e) => reject(new Error(`server exited early: ${JSON.stringify(e)}`)))
  })
  return { child, ready, exited }
}

async function call (url, method, p, body) {
  const r = await fetch(url + p, body === undefined ? { method } : { method, body: JSON.stringify(body), headers: { 'content-type': 'application/json' } })
  const text = await r.text()
  let json
  try { json = JSON.parse(text) } catch { }
  return { status: r.status, text, json }
}

const PROFILE_KEYS = [
  'network', 'woc_api', 'ord_api', 'ord_host', 'arc_tx', 'service_root', 'service_host', 'service_pin_ip',
  'paymail_domain', 'platform_domain', 'update_site', 'frames', 'admission_address', 'placement_fee_address',
  'sale_fee_address', 'ocp_address', 'oao_address', 'credential_issuer_address', 'house', 'app_tag_label', 'woc_rps', 'devnet'
]

describe('server.mjs', () => {
  test('prints its address and writes a profile whose roots point at itself', async () => {
    const profileFile = path.join(dir, 'profile.json')
    const s = start(['--port', '0', '--profile-out', profileFile])
    try {
      const { url, port } = await s.ready
      const p = JSON.parse(readFileSync(profileFile, 'utf8'))
      assert.deepEqual(Object.keys(p), PROFILE_KEYS)
      assert.equal(p.network, 'devnet')
      assert.equal(p.woc_api, `${url}/woc/v1/bsv/main`)
      assert.equal(p.ord_api, `${url}/ord/api`)
      assert.equal(p.ord_host, `${url}/ord`)
      assert.equal(p.arc_tx, `${url}/arc/v1/tx`)
      assert.equal(p.service_root, `${url}/svc`)
      assert.equal(p.service_host, `127.0.0.1:${port}`)
      assert.equal(p.update_site, `127.0.0.1:${port}`)
      assert.equal(p.service_pin_ip, '')
      assert.equal(p.woc_rps, 0) // no rate unless the devnet enforces one
      assert.equal(p.frames.length, 10)
      assert.equal(p.house.length, 3)
      for (const h of p.house) assert.deepEqual(Object.keys(h), ['id', 'name', 'category', 'addresses'])
      assert.equal((await call(p.woc_api, 'GET', '/chain/info')).json.blocks, 1)
      // Every fixed address is the documented derivation from the devnet mnemonic.
      assert.equal(p.devnet.mnemonic, DEVNET_MNEMONIC)
      const root = sdk.HD.fromSeed(sdk.Mnemonic.fromString(p.devnet.mnemonic).toSeed(''))
      const at = (role) => root.derive(p.devnet.paths[role]).privKey.toAddress()
      assert.equal(at('faucet'), p.devnet.faucet_address)
      p.frames.forEach((a, i) => { assert.equal(at(`as${i + 1}`), a); assert.equal(p.devnet.paths[`as${i + 1}`], `m/44'/236'/900'/0/${i + 1}`) })
      for (const [role, key] of [['admission', 'admission_address'], ['placement_fee', 'placement_fee_address'], ['sale_fee', 'sale_fee_address'], ['ocp', 'ocp_address'], ['oao', 'oao_address'], ['credential_issuer', 'credential_issuer_address']]) {
        assert.equal(at(role), p[key], role)
      }
      const all = [p.devnet.faucet_address, ...p.frames, p.admission_address, p.placement_fee_address, p.sale_fee_address, p.ocp_address, p.oao_address, p.credential_issuer_address, ...p.house.flatMap(h => h.addresses)]
      assert.equal(new Set(all).size, 26)
    } finally {
      s.child.kill('SIGTERM')
      assert.equal((await s.exited).code, 0)
    }
  })

  test('a frame address can be spent from with the key derived from the mnemonic', async () => {
    const profileFile = path.join(dir, 'profile2.json')
    const s = start(['--port', '0', '--profile-out', profileFile])
    try {
      const { url } = await s.ready
      const p = JSON.parse(readFileSync(profileFile, 'utf8'))
      const key = sdk.HD.fromSeed(sdk.Mnemonic.fromString(p.devnet.mnemonic).toSeed('')).derive(p.devnet.paths.as5).privKey
      const funded = await call(url, 'POST', '/devnet/fund', { address: p.frames[4], sats: 3000 })
      const hex = (await call(p.woc_api, 'GET', `/tx/${funded.json.txid}/hex`)).text
      const tx = await buildTx({ inputs: [{ hex, vout: 0, key }], outputs: [{ address: newKey().toAddress(), sats: 2900 }] })
      assert.equal((await call(p.woc_api, 'POST', '/tx/raw', { txhex: tx.toHex() })).status, 200)
    } finally {
      s.child.kill('SIGTERM')
      await s.exited
    }
  })

  test('state is saved on SIGTERM and reloaded by the next start', async () => {
    const stateFile = path.join(dir, 'state.json')
    const first = start(['--port', '0', '--state', stateFile])
    const who = newKey()
    let url
    let txid, origin, num, loser
    try {
      ({ url } = await first.ready)
      txid = (await call(url, 'POST', '/devnet/fund', { address: who.toAddress(), sats: 8000, confirmed: true })).json.txid
      const ins = await call(url, 'POST', '/devnet/inscribe', { address: who.toAddress(), contentType: 'text/plain', contentBase64: Buffer.from('kept').toString('base64') })
      origin = ins.json.origin
      num = (await call(url, 'GET', `/ord/api/txos/${origin}`)).json.origin.num
      await call(url, 'POST', '/devnet/identity', { pubkey: who.toPublicKey().toString(), alias: 'keeper', role: 'dev' })
      const hex = (await call(url + WOC, 'GET', `/tx/${txid}/hex`)).text
      const a = await buildTx({ inputs: [{ hex, vout: 0, key: who }], outputs: [{ address: newKey().toAddress(), sats: 7000 }] })
      const b = await buildTx({ inputs: [{ hex, vout: 0, key: who }], outputs: [{ address: newKey().toAddress(), sats: 6000 }] })
      assert.equal((await call(url + WOC, 'POST', '/tx/raw', { txhex: a.toHex() })).status, 200)
      assert.equal((await call(url, 'POST', '/arc/v1/tx', { rawTx: b.toHex() })).json.txStatus, 'DOUBLE_SPEND_ATTEMPTED')
      loser = b.id('hex')
    } finally {
      first.child.kill('SIGTERM')
    }
    assert.equal((await first.exited).code, 0)
    assert.ok(existsSync(stateFile))
    assert.deepEqual(readdirSync(dir).filter(f => f.endsWith('.tmp')), [])
    const saved = JSON.parse(readFileSync(stateFile, 'utf8'))
    assert.equal(saved.format, 'quenvale-devnet-state')

    const second = start(['--port', '0', '--state', stateFile])
    try {
      const { url: url2 } = await second.ready
      const tx = (await call(url2 + WOC, 'GET', `/tx/${txid}`)).json
      assert.equal(tx.txid, txid)
      assert.ok(tx.confirmations >= 1)
      const mined = (await call(url2 + WOC, 'GET', `/address/${who.toAddress()}/confirmed/history`)).json.result
      const pending = (await call(url2 + WOC, 'GET', `/address/${who.toAddress()}/unconfirmed/history`)).json.result
      assert.deepEqual([mined.length, pending.length], [1, 2]) // funding; inscription and the spend
      assert.equal((await call(url2, 'GET', `/ord/content/${origin}`)).text, 'kept')
      assert.equal((await call(url2, 'GET', `/ord/api/txos/${origin}`)).json.origin.num, num)
      assert.equal((await call(url2, 'GET', `/svc/api/bsvalias/id/keeper@devnet.quenvale.test`)).json.pubkey, who.toPublicKey().toString())
      assert.equal((await call(url2, 'GET', `/svc/api/paymail/quota/${who.toPublicKey().toString()}`)).json.role, 'dev')
      assert.equal((await call(url2, 'GET', `/arc/v1/tx/${loser}`)).json.txStatus, 'DOUBLE_SPEND_ATTEMPTED')
      // The reloaded chain keeps working: the faucet can still pay.
      assert.equal((await call(url2, 'POST', '/devnet/fund', { address: who.toAddress(), sats: 1 })).status, 200)
    } finally {
      second.child.kill('SIGINT')
    }
    assert.equal((await second.exited).code, 0)
  })

  test('service switches given on the command line are in force', async () => {
    const profileFile = path.join(dir, 'strict-profile.json')
    const s = start(['--port', '0', '--woc-rps', '2', '--propagation-ms', '100', '--arc-key', 'k9', '--woc-key', 'w7', '--arc-require-ef', '--arc-queued', '--profile-out', profileFile])
    try {
      const { url } = await s.ready
      assert.deepEqual((await call(url, 'GET', '/devnet/switches')).json, { wocRps: 2, propagationMs: 100, arcKey: 'k9', wocKey: 'w7', arcRequireEf: true, arcQueued: true })
      // WhatsOnChain with a key: nothing is answered without it, everything with it.
      assert.equal((await call(url, 'GET', '/woc/v1/bsv/main/chain/info')).status, 401)
      assert.equal((await fetch(url + '/woc/v1/bsv/main/chain/info', { headers: { 'woc-api-key': 'w7' } })).status, 200)
      // The program reads the rate it must keep to from the profile.
      assert.equal(JSON.parse(readFileSync(profileFile, 'utf8')).woc_rps, 2)
      assert.equal((await call(url, 'POST', '/arc/v1/tx', { rawTx: '00' })).status, 401)
    } finally {
      s.child.kill('SIGTERM')
      assert.equal((await s.exited).code, 0)
    }
  })

  test('a bad argument exits with status 2 and the usage', async () => {
    for (const args of [['--port', 'x'], ['--bogus'], ['--state'], ['--woc-rps', '-1'], ['--propagation-ms', '600001'], ['--arc-key']]) {
      const s = start(args)
      s.ready.catch(() => {})
      const e = await s.exited
      assert.equal(e.code, 2, args.join(' '))
      assert.match(e.err, /usage:/)
    }
  })
})
