// A static file server for the built web folder on 127.0.0.1, used by the development server,
// the browser tests and the benchmark. Extra routes answer before the folder is consulted.

import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.glb': 'model/gltf-binary',
  '.png': 'image/png',
  '.jpg': 'image/jpeg',
  '.json': 'application/json',
};

/** Resolves a request path inside root, or null when it would leave it. */
export function resolveInside(root, urlPath) {
  let rel;
  try {
    rel = decodeURIComponent(urlPath.split('?')[0].split('#')[0]);
  } catch {
    return null;
  }
  if (rel.endsWith('/')) rel += 'index.html';
  const full = path.resolve(root, '.' + path.posix.normalize('/' + rel));
  return full === root || full.startsWith(root + path.sep) ? full : null;
}

/**
 * routes: { '/path': (req) => ({ type, body }) | null }.
 * Returns { url, port, close() } once listening.
 */
export function startStatic(root, routes = {}) {
  const base = path.resolve(root);
  const server = http.createServer((req, res) => {
    const urlPath = req.url.split('?')[0];
    const route = routes[urlPath];
    const answer = route ? route(req) : null;
    if (answer) {
      res.writeHead(200, { 'Content-Type': answer.type, 'Cache-Control': 'no-store' });
      res.end(answer.body);
      return;
    }
    const file = resolveInside(base, urlPath);
    if (!file || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      res.writeHead(404, { 'Content-Type': 'text/plain' });
      res.end('not found');
      return;
    }
    res.writeHead(200, {
      'Content-Type': TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream',
      'Cache-Control': 'no-store',
    });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      resolve({
        port,
        url: 'http://127.0.0.1:' + port + '/',
        close: () => new Promise((done) => { server.closeAllConnections?.(); server.close(() => done()); }),
      });
    });
  });
}

/** Routes that answer spots/ap1.png … spots/ap10.png with generated sample paintings. */
export async function samplePictureRoutes() {
  const { samplePainting } = await import('../assets/paintings.mjs');
  const cache = new Map();
  const routes = {};
  for (let n = 1; n <= 10; n++) {
    routes['/spots/ap' + n + '.png'] = () => {
      if (!cache.has(n)) cache.set(n, samplePainting(n));
      return { type: 'image/png', body: cache.get(n) };
    };
  }
  return routes;
}
