#!/usr/bin/env node
// node tools/devnet/server.mjs --port 0 --profile-out FILE [--state FILE]
//   [--latency-ms N] [--auto-mine-ms N] [--woc-rps N] [--propagation-ms N]
//   [--arc-key K] [--woc-key K] [--arc-require-ef] [--arc-queued]
import { startDevnet } from './lib/devnet.mjs'

const USAGE = 'usage: node server.mjs [--port N] [--profile-out FILE] [--state FILE] [--latency-ms N] [--auto-mine-ms N]' +
  ' [--woc-rps N] [--propagation-ms N] [--arc-key K] [--woc-key K] [--arc-require-ef] [--arc-queued]'

function parseArgs (argv) {
  const opts = { port: 0, profileOut: null, statePath: null, latencyMs: 0, autoMineMs: 0 }
  const numeric = {
    '--port': ['port', 65535],
    '--latency-ms': ['latencyMs', 600000],
    '--auto-mine-ms': ['autoMineMs', 86400000],
    '--woc-rps': ['wocRps', 100000],
    '--propagation-ms': ['propagationMs', 600000]
  }
  const files = { '--profile-out': 'profileOut', '--state': 'statePath', '--arc-key': 'arcKey', '--woc-key': 'wocKey' }
  const flags = { '--arc-require-ef': 'arcRequireEf', '--arc-queued': 'arcQueued' }
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i]
    if (arg === '--help' || arg === '-h') { console.log(USAGE); process.exit(0) }
    const value = argv[i + 1]
    if (flags[arg]) {
      opts[flags[arg]] = true
    } else if (numeric[arg]) {
      const [key, max] = numeric[arg]
      if (value === undefined || !/^\d+$/.test(value) || Number(value) > max) throw new Error(`${arg} needs a number from 0 to ${max}`)
      opts[key] = Number(value)
      i++
    } else if (files[arg]) {
      if (!value) throw new Error(`${arg} needs a value`)
      opts[files[arg]] = value
      i++
    } else {
      throw new Error(`unknown argument ${arg}`)
    }
  }
  return opts
}

let opts
try {
  opts = parseArgs(process.argv.slice(2))
} catch (err) {
  console.error(`devnet: ${err.message}\n${USAGE}`)
  process.exit(2)
}

let devnet
try {
  devnet = await startDevnet({ ...opts, log: (m) => console.error(`devnet: ${m}`) })
} catch (err) {
  console.error(`devnet: cannot start: ${err.message}`)
  process.exit(1)
}
console.log(`devnet listening on ${devnet.url}`)

let stopping = false
for (const sig of ['SIGTERM', 'SIGINT']) {
  process.on(sig, () => {
    if (stopping) return
    stopping = true
    devnet.close().then(() => process.exit(0), (err) => { console.error(`devnet: ${err.message}`); process.exit(1) })
  })
}
