// Silent runs of the real setup executable: install, fail, remove.
import { test } from 'node:test'
import assert from 'node:assert/strict'
import { existsSync, readFileSync, readdirSync, readlinkSync, writeFileSync } from 'node:fs'
import { execFileSync } from 'node:child_process'
import path from 'node:path'
import { BIN, SETUP, tempHome, runSetup, treeOf, readPayload, writeSetup } from './support.mjs'

const record = (home) => JSON.parse(readFileSync(path.join(home, '.config/quenvale-uninstall.json'), 'utf8'))

// Processes whose program is inside folder (a started program would show here).
function programsIn (folder) {
  const found = []
  for (const pid of readdirSync('/proc').filter((n) => /^\d+$/.test(n))) {
    try {
      const exe = readlinkSync(`/proc/${pid}/exe`)
      if (exe.startsWith(folder + '/')) found.push(exe)
    } catch {}
  }
  return found
}

test('the payload carries exactly the web files the room build produces', () => {
  const { entries } = readPayload(SETUP)
  const carried = entries.map((e) => e.name).filter((n) => n.startsWith('QuenvaleWeb/')).map((n) => n.slice(12)).sort()
  const web = path.join(BIN, 'QuenvaleWeb')
  const built = []
  const walk = (rel) => {
    for (const d of readdirSync(path.join(web, rel), { withFileTypes: true })) {
      const r = rel ? rel + '/' + d.name : d.name
      if (d.isDirectory()) { if (r !== 'spots') walk(r) } else built.push(r)
    }
  }
  walk('')
  assert.deepEqual(carried, built.sort())
  for (const e of entries.filter((e) => e.name.startsWith('QuenvaleWeb/'))) {
    assert.ok(readFileSync(path.join(BIN, e.name)).equals(e.bytes), e.name + ' differs from the build')
  }
  assert.deepEqual(entries.filter((e) => !e.name.startsWith('QuenvaleWeb/')).map((e) => e.name),
    ['quenvale', 'wendrel', 'quenvale.png', 'quenvale.desktop'])
})

test('a silent install into a quoted folder with a trailing slash, then a silent removal', () => {
  const h = tempHome()
  try {
    const before = treeOf(h.home)
    const folder = path.join(h.root, 'Apps dir', 'Quenvale')
    const r = runSetup(['/S', `/D="${folder}/"`], h.env)
    assert.equal(r.code, 0, r.stderr)
    assert.equal(record(h.home).InstallLocation, folder)
    for (const name of ['quenvale', 'wendrel', 'quenvale-setup', 'QuenvaleWeb/index.html', 'QuenvaleWeb/room.js']) {
      assert.ok(existsSync(path.join(folder, name)), name)
    }
    assert.ok(readFileSync(path.join(folder, 'quenvale')).equals(readFileSync(path.join(BIN, '..', 'setup', 'stripped', 'quenvale'))))
    assert.ok(readFileSync(path.join(folder, 'quenvale-setup')).equals(readFileSync(SETUP)))
    assert.deepEqual(programsIn(folder), [], 'a silent install starts nothing')
    const menu = path.join(h.home, '.local/share/applications/quenvale.desktop')
    execFileSync('desktop-file-validate', [menu, path.join(h.home, 'Desktop/quenvale.desktop'),
      path.join(h.home, '.local/share/applications/quenvale-uninstall.desktop')])
    assert.match(readFileSync(menu, 'utf8'), new RegExp(`\nExec="${folder}/quenvale"\n`))

    // The copy in the install folder removes everything, itself included.
    const u = runSetup(['/uninstall', '/S'], h.env, path.join(folder, 'quenvale-setup'))
    assert.equal(u.code, 0, u.stderr)
    assert.ok(!existsSync(folder))
    assert.deepEqual(treeOf(h.home), before)
  } finally { h.close() }
})

test('a silent install to the default folder and a removal with nothing recorded', () => {
  const h = tempHome()
  try {
    assert.equal(runSetup(['--silent'], h.env).code, 0)
    assert.equal(record(h.home).InstallLocation, path.join(h.home, '.local/share/Quenvale'))
    assert.equal(runSetup(['--uninstall', '--silent'], h.env).code, 0)
    assert.ok(!existsSync(path.join(h.home, '.local/share/Quenvale')))
    assert.equal(runSetup(['/uninstall', '/S'], h.env).code, 1, 'nothing left to remove')
  } finally { h.close() }
})

test('failing silent runs exit 1', () => {
  const h = tempHome()
  try {
    writeFileSync(path.join(h.root, 'plain-file'), 'x')
    assert.equal(runSetup(['/S', `/D=${h.root}/plain-file/sub`], h.env).code, 1)

    // A setup whose payload lacks its 21st entry writes the first 20 files and stops.
    const { base, entries } = readPayload(SETUP)
    const broken = path.join(h.root, 'broken-setup')
    writeSetup(broken, base, entries.filter((e) => e.id !== 20))
    const folder = path.join(h.root, 'partial')
    assert.equal(runSetup(['/S', `/D=${folder}`], h.env, broken).code, 1)
    const names = entries.sort((a, b) => a.id - b.id).map((e) => e.name)
    names.forEach((n, i) => assert.equal(existsSync(path.join(folder, n)), i < 20, n))
    assert.ok(!existsSync(path.join(h.home, '.config/quenvale-uninstall.json')))

    // A setup cut short anywhere is incomplete, never a crash.
    const whole = readFileSync(SETUP)
    const cut = path.join(h.root, 'cut-setup')
    writeFileSync(cut, whole.subarray(0, whole.length - 100), { mode: 0o755 })
    const r = runSetup(['/S', `/D=${h.root}/cut`], h.env, cut)
    assert.equal(r.code, 1, r.stderr)
  } finally { h.close() }
})
