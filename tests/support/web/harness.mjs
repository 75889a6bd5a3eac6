// Browser test support: the built room served on 127.0.0.1, headless Chromium with its home in
// a temporary folder, and a fake window.chrome.webview that records posts and delivers replies.

import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from '../../../web/tools/deps.mjs';
import { startStatic, samplePictureRoutes } from '../../../web/tools/static.mjs';

const REPO = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', '..');
export const WEB_OUT = process.env.QUENVALE_WEB_OUT
  ? path.resolve(process.env.QUENVALE_WEB_OUT)
  : path.join(REPO, 'build', 'bin', 'QuenvaleWeb');
export const UNIT = 1.3;

const CHROMIUM_ARGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'];

/**
 * Launches headless Chromium with HOME and the XDG folders in a fresh temporary folder, and
 * serves the built room (plus any extra routes, { '/path': () => ({ type, body }) }).
 */
export async function launch({ routes = {} } = {}) {
  if (!fs.existsSync(path.join(WEB_OUT, 'room.js'))) {
    throw new Error('The room is not built: run npm run build in web/ (looked in ' + WEB_OUT + ')');
  }
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'quenvale-web-'));
  for (const d of ['.config', '.cache', '.local/share']) fs.mkdirSync(path.join(home, d), { recursive: true });
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: CHROMIUM_ARGS,
    env: {
      ...process.env,
      HOME: home,
      XDG_CONFIG_HOME: path.join(home, '.config'),
      XDG_CACHE_HOME: path.join(home, '.cache'),
      XDG_DATA_HOME: path.join(home, '.local/share'),
    },
  });
  const server = await startStatic(WEB_OUT, { ...(await samplePictureRoutes()), ...routes });
  return {
    browser,
    server,
    async close() {
      await browser.close();
      await server.close();
      fs.rmSync(home, { recursive: true, force: true });
    },
  };
}

// Runs in the page before any page script: the host side of the bridge.
function fakeWebView() {
  const target = new EventTarget();
  const posted = [];
  window.__posted = posted;
  window.__deliver = (data) => target.dispatchEvent(new MessageEvent('message', { data }));
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    postMessage(msg) {
      // What the page had built when it posted, for ordering checks (no test hook yet: nothing).
      const framesReady = window.__room ? window.__room.state().framesReady : false;
      posted.push({ msg: JSON.parse(JSON.stringify(msg)), at: performance.now(), framesReady });
    },
    addEventListener: (type, fn) => target.addEventListener(type, fn),
    removeEventListener: (type, fn) => target.removeEventListener(type, fn),
  };
}

/**
 * Opens the room in a fresh browser context. options: viewport, query (default "test"),
 * bridge (false leaves window.chrome.webview out), wait ('hello' waits for hello and for the
 * frames to hang; 'commit' returns as soon as the page starts loading; anything else once the
 * document is parsed), before (page set-up).
 */
export async function openRoom(env, { viewport = { width: 480, height: 300 }, query = 'test', bridge = true, wait = 'hello', before } = {}) {
  const context = await env.browser.newContext({ viewport, deviceScaleFactor: 1 });
  context.setDefaultTimeout(8000);
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  if (bridge) await page.addInitScript(fakeWebView);
  if (before) await before(page);
  // The room's scripts have run once the document is parsed; a busy machine can hold the load
  // event back for seconds while the first frames draw.
  await page.goto(env.server.url + 'index.html?v=40' + (query ? '&' + query : ''),
    { waitUntil: wait === 'commit' ? 'commit' : 'domcontentloaded', timeout: 30000 });
  const room = {
    page,
    context,
    errors,
    state: () => page.evaluate(() => window.__room.state()),
    step: (seconds) => page.evaluate((s) => window.__room.step(s), seconds),
    moveTo: (where) => page.evaluate((w) => window.__room.moveTo(w), where),
    deliver: (msg) => page.evaluate((m) => window.__deliver(m), msg),
    posted: () => page.evaluate(() => window.__posted.map((p) => p.msg)),
    postedRecords: () => page.evaluate(() => window.__posted),
    postedOps: async () => (await room.posted()).map((m) => m.op),
    /** Steps the simulation while holding keys (codes), then releases them. */
    async hold(codes, seconds) {
      for (const c of codes) await page.keyboard.down(c);
      const s = await room.step(seconds);
      for (const c of codes) await page.keyboard.up(c);
      return s;
    },
    close: () => context.close(),
  };
  if (wait === 'hello') {
    await page.waitForFunction(() => window.__posted && window.__posted.some((p) => p.msg.op === 'hello')
      && window.__room && window.__room.state().framesReady, null, { timeout: 30000 });
  }
  return room;
}

/**
 * A room at 560×420, admitted, two metres before frame 5 with its panel open, and the two
 * host messages that put a 40 000-character text into every place text shows (plaques of
 * frames 2 and 5, the status line, the panel). Their pictures are spots/ap<n>.png + suffix.
 */
export async function openLongTextRoom(env) {
  const room = await openRoom(env, { viewport: { width: 560, height: 420 } });
  await room.deliver({ op: 'entered' });
  await room.moveTo({ x: 12 * UNIT, z: 2 * UNIT + 2, yaw: 0, pitch: 0 });
  await room.step(0.15);
  await room.page.keyboard.press('Space');
  return room;
}
const LONG_TEXT = 'The endless inscription '.repeat(1700).slice(0, 40000);
export function longTextMessages(suffix = '') {
  const title = LONG_TEXT;
  const url = (n) => 'spots/ap' + n + '.png' + suffix;
  return {
    urls: { 2: url(2), 5: url(5) },
    messages: [
      { op: 'walls', shows: [{ spot: 5, url: url(5), title }, { spot: 2, url: url(2), title }], status: title },
      { op: 'place-list', spot: 5, taken: true, arts: [], status: title, title, price: 5, exp: 0, weeks: 1, mine: false, action: 'ask', buyer: title },
    ],
  };
}

export function near(actual, expected, tolerance = 1e-6) {
  return Math.abs(actual - expected) <= tolerance;
}
