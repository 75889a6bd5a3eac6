// The installed web folder: its file table, the page's security policy, and the generated
// models and posters.

import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { execFileSync } from 'node:child_process';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { NodeIO, PNG, jpeg } from '../../web/tools/deps.mjs';
import { buildWeb, WEB_FILES } from '../../web/tools/build.mjs';
import { checkPolicy, withCurrentHashes } from '../../web/tools/csp.mjs';
import { resolveInside } from '../../web/tools/static.mjs';

const WEB = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', 'web');
const INSTALLED = [
  'index.html', 'boot.js', 'room.js', 'three.module.js', 'three.core.js', 'frame.glb', 'frame-1.glb', 'frame-2.glb', 'frame-3.glb',
  'frame-4.glb', 'frame-5.glb', 'alcove-b.glb', 'alcove-dragon.glb', 'alcove-flower.glb', 'alcove-tree.glb',
  'poster-book.png', 'poster-dragon.jpg', 'loaders/GLTFLoader.js', 'utils/BufferGeometryUtils.js', 'utils/SkeletonUtils.js',
];

function listFiles(dir, prefix = '') {
  return fs.readdirSync(dir, { withFileTypes: true }).flatMap((e) => (e.isDirectory()
    ? listFiles(path.join(dir, e.name), prefix + e.name + '/')
    : [prefix + e.name]));
}

let out;
before(async () => {
  out = fs.mkdtempSync(path.join(os.tmpdir(), 'quenvale-build-'));
  fs.writeFileSync(path.join(out, 'stale.txt'), 'left by an older build');
  fs.writeFileSync(path.join(out, 'room.js'), '');
  fs.mkdirSync(path.join(out, 'spots'));
  fs.writeFileSync(path.join(out, 'spots', 'ap1.png'), 'host picture');
  await buildWeb(out);
});
after(() => fs.rmSync(out, { recursive: true, force: true }));

describe('installed folder', () => {
  test('holds exactly the installed files, leaving the host picture cache alone', () => {
    assert.deepEqual([...WEB_FILES].sort(), [...INSTALLED].sort());
    assert.deepEqual(listFiles(out).filter((f) => !f.startsWith('spots/')).sort(), [...INSTALLED].sort());
    assert.equal(fs.readFileSync(path.join(out, 'spots', 'ap1.png'), 'utf8'), 'host picture');
  });

  test('room.js imports only three and the add-ons that sit beside it', () => {
    const room = fs.readFileSync(path.join(out, 'room.js'), 'utf8');
    const specifiers = [...room.matchAll(/^import\s[^;]*?from\s*["']([^"']+)["']/gm)].map((m) => m[1]);
    assert.ok(specifiers.includes('three'));
    for (const s of specifiers.filter((x) => x !== 'three')) {
      assert.ok(fs.existsSync(path.join(out, s)), 'missing ' + s);
    }
    for (const addon of ['loaders/GLTFLoader.js', 'utils/SkeletonUtils.js']) {
      const text = fs.readFileSync(path.join(out, addon), 'utf8');
      for (const m of text.matchAll(/from\s*'(\.[^']+)'/g)) assert.ok(fs.existsSync(path.join(out, path.dirname(addon), m[1])), m[1]);
    }
  });

  test('the page maps three, loads its boot script and then room.js?v=40 as a module, and allows only hashed inline parts', () => {
    const html = fs.readFileSync(path.join(out, 'index.html'), 'utf8');
    assert.match(html, /<script type="importmap">\{"imports":\{"three":"\.\/three\.module\.js"\}\}<\/script>/);
    assert.match(html, /<script src="\.\/boot\.js"><\/script>\n<script type="module" src="\.\/room\.js\?v=40"><\/script>/);
    assert.deepEqual(checkPolicy(html), []);
    assert.equal((html.match(/<script/g) || []).length, 3, 'no other scripts');
    const boot = fs.readFileSync(path.join(out, 'boot.js'), 'utf8');
    assert.doesNotMatch(boot, /^\s*(import|export)\s/m, 'a plain script, not a module');
    assert.doesNotMatch(html, /\son[a-z]+="/, 'no inline handlers');
    const edited = html.replace('#06080e', '#000000');
    assert.equal(checkPolicy(edited).length, 1, 'a changed style sheet is caught');
    assert.deepEqual(checkPolicy(withCurrentHashes(edited)), []);
  });

  test('the source page is what gets installed', () => {
    assert.equal(fs.readFileSync(path.join(out, 'index.html'), 'utf8'), fs.readFileSync(path.join(WEB, 'index.html'), 'utf8'));
  });
});

describe('generated assets', () => {
  const io = new NodeIO();
  const read = (name) => io.readBinary(new Uint8Array(fs.readFileSync(path.join(out, name))));

  test('every frame model has a Canvas facing -z and Gold or Silver highlights', async () => {
    for (const name of ['frame.glb', 'frame-1.glb', 'frame-2.glb', 'frame-3.glb', 'frame-4.glb', 'frame-5.glb']) {
      const doc = await read(name);
      const mats = doc.getRoot().listMaterials().map((m) => m.getName());
      assert.ok(mats.includes('Canvas'), name);
      assert.ok(mats.includes('Gold') || mats.includes('Silver'), name);
      const prims = doc.getRoot().listMeshes().flatMap((m) => m.listPrimitives());
      const canvas = prims.find((p) => p.getMaterial().getName() === 'Canvas');
      const normals = canvas.getAttribute('NORMAL').getArray();
      for (let i = 2; i < normals.length; i += 3) assert.ok(normals[i] < -0.99, name + ' canvas normal');
      const pos = prims.flatMap((p) => [...p.getAttribute('POSITION').getArray()]);
      const xs = pos.filter((_, i) => i % 3 === 0);
      const ys = pos.filter((_, i) => i % 3 === 1);
      const zs = pos.filter((_, i) => i % 3 === 2);
      assert.ok(Math.abs(Math.min(...xs) + 0.5) < 0.02 && Math.abs(Math.max(...xs) - 0.5) < 0.02, name + ' one unit wide');
      assert.ok(Math.min(...ys) > -0.02 && Math.abs(Math.max(...ys) - 1) < 0.02, name + ' stands on y = 0');
      assert.ok(Math.max(...zs) < 0.001, name + ' nothing behind the wall');
    }
  });

  test('sculptures stand on the plinth and fit their alcove', async () => {
    for (const name of ['alcove-b.glb', 'alcove-dragon.glb', 'alcove-flower.glb', 'alcove-tree.glb']) {
      const doc = await read(name);
      const pos = doc.getRoot().listMeshes().flatMap((m) => m.listPrimitives()).flatMap((p) => [...p.getAttribute('POSITION').getArray()]);
      const ys = pos.filter((_, i) => i % 3 === 1);
      const xz = pos.filter((_, i) => i % 3 !== 1);
      assert.ok(Math.abs(Math.min(...ys)) < 0.01, name + ' on the ground');
      assert.ok(Math.max(...ys) > 0.5 && Math.max(...ys) < 1.4, name + ' height');
      assert.ok(Math.max(...xz.map(Math.abs)) < 0.62, name + ' inside its cell');
    }
  });

  test('the book poster is drawn on near-black, the dragon poster is a JPEG', () => {
    const book = PNG.sync.read(fs.readFileSync(path.join(out, 'poster-book.png')));
    const px = (x, y) => book.data.subarray((y * book.width + x) * 4, (y * book.width + x) * 4 + 3);
    assert.ok([...px(2, 2)].every((v) => v < 16), 'corner is background');
    let drawn = 0;
    for (let i = 0; i < book.data.length; i += 4) if (book.data[i] >= 16 || book.data[i + 1] >= 16 || book.data[i + 2] >= 16) drawn++;
    assert.ok(drawn > book.width * book.height * 0.1, 'the book covers part of the poster');
    const dragon = jpeg.decode(fs.readFileSync(path.join(out, 'poster-dragon.jpg')));
    assert.ok(dragon.width >= 400 && dragon.height > dragon.width);
  });

  test('a second build, started from another folder (as the build system does), writes the same bytes', () => {
    const again = fs.mkdtempSync(path.join(os.tmpdir(), 'quenvale-build-'));
    try {
      execFileSync(process.execPath, [path.join(WEB, 'tools', 'build.mjs')],
        { cwd: again, env: { ...process.env, QUENVALE_WEB_OUT: again }, stdio: 'ignore' });
      for (const f of INSTALLED) assert.ok(fs.readFileSync(path.join(out, f)).equals(fs.readFileSync(path.join(again, f))), f);
    } finally {
      fs.rmSync(again, { recursive: true, force: true });
    }
  });
});

test('the file server keeps requests inside its folder', () => {
  const root = path.resolve('/srv/web');
  assert.equal(resolveInside(root, '/index.html'), path.join(root, 'index.html'));
  assert.equal(resolveInside(root, '/spots/ap1.png?v=9'), path.join(root, 'spots', 'ap1.png'));
  assert.equal(resolveInside(root, '/../etc/passwd'), path.join(root, 'etc', 'passwd'));
  assert.equal(resolveInside(root, '/%2e%2e/%2e%2e/etc/passwd'), path.join(root, 'etc', 'passwd'));
  assert.equal(resolveInside(root, '/%E0%A4%A'), null);
});
