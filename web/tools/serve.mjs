// Serves the built room on 127.0.0.1 with a stand-in host, so a person can walk it in a browser.
//   npm run serve            (PORT=8080 npm run serve for a fixed port)

import fs from 'node:fs';
import path from 'node:path';
import http from 'node:http';
import { fileURLToPath } from 'node:url';
import { outDir } from './build.mjs';
import { resolveInside, samplePictureRoutes } from './static.mjs';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const root = outDir();
const pictures = await samplePictureRoutes();
const fakeHost = fs.readFileSync(path.join(HERE, 'fakehost.js'));

function pageWithHost() {
  const html = fs.readFileSync(path.join(root, 'index.html'), 'utf8');
  return html.replace('<script type="module"', '<script src="./__fakehost.js"></script>\n<script type="module"');
}

const TYPES = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.glb': 'model/gltf-binary', '.png': 'image/png', '.jpg': 'image/jpeg' };

const server = http.createServer((req, res) => {
  const p = req.url.split('?')[0];
  const send = (type, body) => { res.writeHead(200, { 'Content-Type': type, 'Cache-Control': 'no-store' }); res.end(body); };
  if (p === '/' || p === '/index.html') return send(TYPES['.html'], pageWithHost());
  if (p === '/__fakehost.js') return send(TYPES['.js'], fakeHost);
  if (pictures[p]) { const a = pictures[p](); return send(a.type, a.body); }
  const file = resolveInside(root, p);
  if (!file || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
    res.writeHead(404);
    return res.end('not found');
  }
  send(TYPES[path.extname(file)] || 'application/octet-stream', fs.readFileSync(file));
});
server.listen(Number(process.env.PORT || 8080), '127.0.0.1', () => {
  console.log('Room at http://127.0.0.1:' + server.address().port + '/index.html?v=40 (Ctrl+C stops)');
});
