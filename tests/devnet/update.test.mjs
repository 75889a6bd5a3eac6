// The program's page on the update site: the version it announces and the admin path
// that changes it.
import { test, before, after } from 'node:test'
import assert from 'node:assert/strict'
import { openDevnet } from '../support/devnet/harness.mjs'

let net
before(async () => { net = await openDevnet() })
after(async () => { await net.close() })

const lastVersion = (text) => [...text.matchAll(/Version ([0-9.]+)/g)].map(m => m[1]).at(-1)

test('the page sits on the profile update site and names version 0.001 at first', async () => {
  const profile = (await net.get('/devnet/profile')).json
  assert.equal(profile.update_site, `127.0.0.1:${net.devnet.port}`)
  const r = await net.get('/quenvale/')
  assert.equal(r.status, 200)
  assert.match(r.type, /^text\/html/)
  assert.equal(lastVersion(r.text), '0.001')
  assert.equal((await net.get('/quenvale/other')).status, 404)
})

test('POST /devnet/update sets the announced version; reset puts 0.001 back', async () => {
  const set = await net.post('/devnet/update', { version: '0.002' })
  assert.equal(set.status, 200)
  assert.deepEqual(set.json, { version: '0.002' })
  assert.equal(lastVersion((await net.get('/quenvale/')).text), '0.002')
  for (const bad of ['', 'abc', '1.2.3', 2, '<b>1</b>']) {
    assert.equal((await net.post('/devnet/update', { version: bad })).status, 400, String(bad))
  }
  assert.equal(lastVersion((await net.get('/quenvale/')).text), '0.002')
  await net.post('/devnet/reset', {})
  assert.equal(lastVersion((await net.get('/quenvale/')).text), '0.001')
})

test('the page can be faulted like the other services', async () => {
  await net.post('/devnet/faults', { method: 'GET', pathRegex: '^/quenvale/', status: 503, body: 'down' })
  assert.equal((await net.get('/quenvale/')).status, 503)
  assert.equal((await net.get('/quenvale/')).status, 200)
})
