// Support for the setup program's tests: a temporary home per test, running the real
// build/bin/quenvale-setup, and reading or rewriting its payload (an independent reader
// of the format: u32 id, u64 offset, u64 size, u16 name length, name per entry; a 32-byte
// trailer of u64 start, u64 index offset, u32 count, u32 version, "QVPAYLD1").
import { spawnSync } from 'node:child_process'
import { mkdtempSync, mkdirSync, readFileSync, readdirSync, rmSync, writeFileSync, chmodSync, lstatSync } from 'node:fs'
import { tmpdir } from 'node:os'
import path from 'node:path'
import { fileURLToPath } from 'node:url'

export const ROOT = fileURLToPath(new URL('../../', import.meta.url))
export const BIN = path.join(ROOT, process.env.QUENVALE_BUILD_DIR || 'build', 'bin')
export const SETUP = path.join(BIN, 'quenvale-setup')

/** A home with a desktop folder; env() gives the environment pointing at it. */
export function tempHome () {
  const root = mkdtempSync(path.join(tmpdir(), 'setup-run-'))
  const home = path.join(root, 'home')
  for (const d of ['Desktop', '.local/share/applications', '.local/share/icons', '.config']) {
    mkdirSync(path.join(home, d), { recursive: true })
  }
  const env = { ...process.env, HOME: home }
  delete env.XDG_DATA_HOME
  delete env.XDG_CONFIG_HOME
  return { root, home, env, close: () => rmSync(root, { recursive: true, force: true }) }
}

/** Runs a setup executable to its end (bounded). */
export function runSetup (args, env, program = SETUP) {
  const r = spawnSync(program, args, { env, encoding: 'utf8', timeout: 60000 })
  return { code: r.status, stderr: r.stderr, error: r.error }
}

/** Every path below dir, relative, sorted; folders end in "/". */
export function treeOf (dir) {
  const out = []
  const walk = (rel) => {
    for (const name of readdirSync(path.join(dir, rel))) {
      const r = rel ? rel + '/' + name : name
      const st = lstatSync(path.join(dir, r))
      if (st.isDirectory()) { out.push(r + '/'); walk(r) } else out.push(r)
    }
  }
  walk('')
  return out.sort()
}

export function readPayload (file) {
  const buf = readFileSync(file)
  const t = buf.length - 32
  if (buf.subarray(t + 24).toString('latin1') !== 'QVPAYLD1') throw new Error('no payload in ' + file)
  const start = Number(buf.readBigUInt64LE(t))
  const indexOffset = Number(buf.readBigUInt64LE(t + 8))
  const count = buf.readUInt32LE(t + 16)
  const entries = []
  let p = indexOffset
  for (let i = 0; i < count; i++) {
    const id = buf.readUInt32LE(p)
    const offset = Number(buf.readBigUInt64LE(p + 4))
    const size = Number(buf.readBigUInt64LE(p + 12))
    const len = buf.readUInt16LE(p + 20)
    const name = buf.subarray(p + 22, p + 22 + len).toString('utf8')
    p += 22 + len
    entries.push({ id, name, bytes: buf.subarray(offset, offset + size) })
  }
  return { base: buf.subarray(0, start), entries }
}

/** Writes a setup executable with the same program and the given entries. */
export function writeSetup (file, base, entries) {
  const parts = [base]
  const index = []
  let pos = base.length
  for (const e of entries) {
    parts.push(e.bytes)
    const name = Buffer.from(e.name, 'utf8')
    const head = Buffer.alloc(22)
    head.writeUInt32LE(e.id, 0)
    head.writeBigUInt64LE(BigInt(pos), 4)
    head.writeBigUInt64LE(BigInt(e.bytes.length), 12)
    head.writeUInt16LE(name.length, 20)
    index.push(head, name)
    pos += e.bytes.length
  }
  const trailer = Buffer.alloc(32)
  trailer.writeBigUInt64LE(BigInt(base.length), 0)
  trailer.writeBigUInt64LE(BigInt(pos), 8)
  trailer.writeUInt32LE(entries.length, 16)
  trailer.writeUInt32LE(1, 20)
  trailer.write('QVPAYLD1', 24, 'latin1')
  writeFileSync(file, Buffer.concat([...parts, ...index, trailer]))
  chmodSync(file, 0o755)
}
