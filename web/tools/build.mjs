// Builds the installed web folder: bundles src/ into room.js (and its boot script boot.js), copies three.js from the npm
// package, checks the page's security policy and generates the models and posters.
//   node tools/build.mjs               build into ../build/bin/QuenvaleWeb (or $QUENVALE_WEB_OUT)
//   node tools/build.mjs --if-needed   skip when the folder is complete and newer than its sources
//   node tools/build.mjs --update-csp  rewrite the hashes in index.html after editing it

import { build } from 'esbuild';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { checkPolicy, withCurrentHashes } from './csp.mjs';
import { generateAssets, ASSET_FILES } from '../assets/generate.mjs';

const WEB = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const THREE_DIR = path.join(WEB, 'node_modules', 'three');

export function outDir() {
  return process.env.QUENVALE_WEB_OUT
    ? path.resolve(process.env.QUENVALE_WEB_OUT)
    : path.resolve(WEB, '..', 'build', 'bin', 'QuenvaleWeb');
}

const COPIED = [
  ['build/three.module.js', 'three.module.js'],
  ['build/three.core.js', 'three.core.js'],
  ['examples/jsm/loaders/GLTFLoader.js', 'loaders/GLTFLoader.js'],
  ['examples/jsm/utils/BufferGeometryUtils.js', 'utils/BufferGeometryUtils.js'],
  ['examples/jsm/utils/SkeletonUtils.js', 'utils/SkeletonUtils.js'],
];

/** Every file of the installed folder, relative to it. */
export const WEB_FILES = Object.freeze([
  'index.html', 'boot.js', 'room.js', ...COPIED.map(([, to]) => to), ...ASSET_FILES,
].sort());

function newest(p) {
  const st = fs.statSync(p);
  if (!st.isDirectory()) return st.mtimeMs;
  return Math.max(st.mtimeMs, ...fs.readdirSync(p).map((n) => newest(path.join(p, n))));
}

function upToDate(out) {
  if (!WEB_FILES.every((f) => fs.existsSync(path.join(out, f)))) return false;
  const built = fs.statSync(path.join(out, 'room.js')).mtimeMs;
  const sources = ['src', 'assets', 'tools', 'index.html', 'package-lock.json'].map((p) => newest(path.join(WEB, p)));
  return built >= Math.max(...sources);
}

// Addon imports in the sources ("three/addons/x") load from the folder's own copies ("./x").
const addonsBesideRoom = {
  name: 'addons-beside-room',
  setup(b) {
    b.onResolve({ filter: /^three\/addons\// }, (args) => ({ path: './' + args.path.slice('three/addons/'.length), external: true }));
    b.onResolve({ filter: /^three$/ }, () => ({ path: 'three', external: true }));
  },
};

// Leaves out what the table does not name, but only in a folder this build made.
function prune(out) {
  if (!fs.existsSync(path.join(out, 'room.js'))) return;
  const keep = new Set(WEB_FILES.map((f) => f.split('/')[0]).concat(['spots']));
  for (const name of fs.readdirSync(out)) {
    if (!keep.has(name)) fs.rmSync(path.join(out, name), { recursive: true, force: true });
  }
  for (const dir of ['loaders', 'utils']) {
    const d = path.join(out, dir);
    if (!fs.existsSync(d)) continue;
    for (const name of fs.readdirSync(d)) {
      if (!WEB_FILES.includes(dir + '/' + name)) fs.rmSync(path.join(d, name), { recursive: true, force: true });
    }
  }
}

export async function buildWeb(out = outDir()) {
  const htmlPath = path.join(WEB, 'index.html');
  const html = fs.readFileSync(htmlPath, 'utf8');
  const problems = checkPolicy(html);
  if (problems.length) {
    throw new Error('index.html: ' + problems.join('; ') + ' (run node tools/build.mjs --update-csp)');
  }
  fs.mkdirSync(out, { recursive: true });
  prune(out);
  const bundle = (name, options) => build({
    entryPoints: [path.join(WEB, 'src', name)],
    outfile: path.join(out, name),
    bundle: true,
    target: 'es2020',
    legalComments: 'none',
    logLevel: 'warning',
    // Path comments in the bundle name files from the web folder whatever the caller's
    // folder, so every caller writes the same bytes.
    absWorkingDir: WEB,
    ...options,
  });
  // The boot script is a plain script, so it still runs when the module graph cannot load.
  await bundle('boot.js', { format: 'iife' });
  await bundle('room.js', { format: 'esm', plugins: [addonsBesideRoom] });
  for (const [from, to] of COPIED) {
    fs.mkdirSync(path.dirname(path.join(out, to)), { recursive: true });
    fs.copyFileSync(path.join(THREE_DIR, from), path.join(out, to));
  }
  await generateAssets(out);
  fs.writeFileSync(path.join(out, 'index.html'), html);
  // room.js marks the build as complete for --if-needed, so it is touched last.
  const now = new Date();
  fs.utimesSync(path.join(out, 'room.js'), now, now);
  return out;
}

async function main() {
  const args = process.argv.slice(2);
  if (args.includes('--update-csp')) {
    const p = path.join(WEB, 'index.html');
    fs.writeFileSync(p, withCurrentHashes(fs.readFileSync(p, 'utf8')));
    console.log('index.html: policy hashes updated');
    return;
  }
  const out = outDir();
  if (args.includes('--if-needed') && upToDate(out)) return;
  const t0 = Date.now();
  await buildWeb(out);
  console.log('built ' + out + ' in ' + ((Date.now() - t0) / 1000).toFixed(1) + ' s');
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  main().catch((e) => {
    console.error(e.message || e);
    process.exit(1);
  });
}
