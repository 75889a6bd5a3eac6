// Frames per second of the room in headless Chromium's software renderer, at 1280×720 and
// 960×540, and the time from navigation to "hello". Not a test: it prints figures.
//   cd web && npm run bench            (BENCH_SECONDS=8 for longer samples)

import { launch, openRoom, UNIT } from '../../support/web/harness.mjs';

const SECONDS = Number(process.env.BENCH_SECONDS || 5);
const VIEWS = [
  { name: 'gate', x: 12.2 * UNIT, z: 15.6 * UNIT, yaw: 0, pitch: 0 },
  { name: 'hall', x: 12.2 * UNIT, z: 12.6 * UNIT, yaw: 0.35, pitch: 0.05 },
  { name: 'floor two', x: 12.2 * UNIT, z: 13.6 * UNIT, yaw: -0.2, pitch: 0.1, level: 1 },
];

async function sample(room, seconds) {
  const before = (await room.state()).drawn;
  const t0 = Date.now();
  await room.page.waitForTimeout(seconds * 1000);
  const after = (await room.state()).drawn;
  return (after - before) / ((Date.now() - t0) / 1000);
}

const env = await launch();
const rows = [];
try {
  for (const [width, height] of [[1280, 720], [960, 540]]) {
    const room = await openRoom(env, { viewport: { width, height }, query: process.env.BENCH_QUERY || 'test&live' });
    const hello = (await room.postedRecords()).find((p) => p.msg.op === 'hello').at;
    await room.deliver({ op: 'look', scale: 1, fps: 60 });
    await room.deliver({ op: 'walls', shows: [1, 2, 3, 4, 5, 6, 7, 8, 9, 10].map((n) => ({ spot: n, url: 'spots/ap' + n + '.png', title: 'Sample ' + n })) });
    await room.page.waitForFunction(() => Object.values(window.__room.state().frames).every((f) => f.url));
    const fps = {};
    for (const view of VIEWS) {
      await room.moveTo(view);
      await room.page.waitForTimeout(1500);
      fps[view.name] = await sample(room, SECONDS);
    }
    rows.push({ size: width + '×' + height, hello, fps });
    await room.close();
  }
} finally {
  await env.close();
}

for (const r of rows) {
  const parts = Object.entries(r.fps).map(([k, v]) => k + ' ' + v.toFixed(1) + ' fps');
  console.log(r.size.padEnd(10) + ' ' + parts.join(', ') + '; hello ' + Math.round(r.hello) + ' ms after navigation');
}
