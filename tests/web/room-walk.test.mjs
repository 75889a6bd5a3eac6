// Moving through the room: the gate, walls and the bench, the lift ride, facing reports,
// turning, dragging and the look settings.

import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openRoom, UNIT } from '../support/web/harness.mjs';
import { BENCH } from '../../web/src/maps.js';

let env;
before(async () => { env = await launch(); });
after(async () => { await env.close(); });

async function withRoom(fn, options) {
  const room = await openRoom(env, options);
  try {
    await fn(room);
    assert.deepEqual(room.errors, []);
  } finally {
    await room.close();
  }
}

describe('the gate', () => {
  test('walking back and forth over the line asks "enter" once; "entered" opens it', () => withRoom(async (room) => {
    let s = await room.state();
    assert.ok(s.z > 14.7 * UNIT);
    assert.equal(s.gate.signVisible, true);
    s = await room.hold(['KeyW'], 0.8);
    assert.ok(s.z < 14.7 * UNIT, 'walked past the line, not stopped');
    assert.equal(s.gate.asked, true);
    await room.hold(['KeyS'], 0.6);
    await room.hold(['KeyW'], 0.6);
    await room.hold(['KeyS'], 0.6);
    s = await room.hold(['KeyW'], 0.6);
    assert.deepEqual((await room.postedOps()).filter((op) => op === 'enter'), ['enter']);
    await room.deliver({ op: 'entered' });
    s = await room.step(0.1);
    assert.deepEqual(s.gate, { paid: true, asked: true, locked: false, signVisible: false });
  }));

  test('"unpaid" stops walking, selecting and facing reports, hides the sign and shows the notice', () => withRoom(async (room) => {
    await room.hold(['KeyW'], 0.8);
    await room.deliver({ op: 'unpaid' });
    const said = (await room.posted()).length;
    const before = await room.step(0.05);
    const after = await room.hold(['KeyW'], 0.5);
    assert.equal(after.z, before.z);
    assert.equal(after.gate.locked, true);
    assert.equal(after.gate.signVisible, false);
    assert.equal(await room.page.isVisible('#unpaid'), true);
    assert.equal(await room.page.textContent('#unpaid'), 'You did not pay');
    const turned = await room.hold(['ArrowLeft'], 1.2);
    assert.ok(turned.yaw > 1, 'looking around still works');
    await room.moveTo({ x: 12 * UNIT, z: 2 * UNIT + 2, yaw: 0, pitch: 0 });
    await room.step(0.15);
    await room.page.keyboard.press('Space');
    assert.equal((await room.state()).working.visible, false);
    assert.deepEqual((await room.posted()).slice(said), [], 'nothing more is sent');
  }));
});

describe('collisions', () => {
  test('the bench stops the viewer at its end, the west wall at its face', () => withRoom(async (room) => {
    await room.moveTo({ x: BENCH.x, z: 13.2 * UNIT, yaw: 0 });
    let s = await room.hold(['KeyW'], 1.5);
    const benchEnd = BENCH.z + BENCH.halfZ + 0.22;
    assert.ok(s.z >= benchEnd - 1e-6 && s.z < benchEnd + 0.05, 'stopped at the bench: ' + s.z);
    await room.moveTo({ x: 11 * UNIT, z: 7.2 * UNIT, yaw: Math.PI / 2 });
    s = await room.hold(['KeyW'], 2);
    assert.ok(s.x >= 9 * UNIT + 0.22 - 1e-6 && s.x < 9 * UNIT + 0.3, 'stopped at the wall: ' + s.x);
    const slid = await room.hold(['KeyW', 'KeyD'], 0.3);
    assert.ok(slid.z < s.z - 0.3, 'slides north along the wall');
    await room.moveTo({ x: 12.2 * UNIT, z: 16.4 * UNIT, yaw: 0 });
    s = await room.hold(['KeyW'], 7);
    assert.ok(s.z < 2 * UNIT + 0.3, 'from the start straight to the far wall, past the bench: ' + s.z);
    assert.ok(slid.x >= 9 * UNIT + 0.22 - 1e-6 && slid.x <= s.x, 'still against the wall: ' + slid.x);
  }));

  test('a closed lift door blocks the way in', () => withRoom(async (room) => {
    // The door opens as the viewer comes near; on floor two it is the same cabin.
    await room.moveTo({ x: 14.2 * UNIT, z: 9 * UNIT, yaw: -Math.PI / 2 });
    let s = await room.hold(['KeyW'], 0.1);
    assert.ok(s.lift.open < 0.5);
    assert.ok(s.x < 15 * UNIT - 0.06 - 0.2, 'held at the door');
    s = await room.step(1.5);
    assert.ok(s.lift.open > 0.95);
    s = await room.hold(['KeyW'], 0.6);
    assert.ok(s.x > 15 * UNIT + 0.32, 'inside once open');
  }));
});

describe('the lift', () => {
  test('a full ride to floor two and back, with banners and the turn towards the east; the status line stays behind', () => withRoom(async (room) => {
    await room.deliver({ op: 'walls', shows: [], status: 'Walls read.' });
    await room.moveTo({ x: 14 * UNIT, z: 9 * UNIT, yaw: -Math.PI / 2 });
    await room.step(1.5);
    let s = await room.hold(['KeyW'], 0.9);
    assert.ok(s.x > 15 * UNIT + 0.32 && s.x < 17 * UNIT - 0.18, 'inside');
    const phases = [];
    const banners = new Set();
    let floorAt = null;
    for (let i = 0; i < 60 && !(phases.length && s.lift.phase === ''); i++) {
      s = await room.step(0.1);
      if (s.lift.phase && phases[phases.length - 1] !== s.lift.phase) phases.push(s.lift.phase);
      if (s.lift.banner) banners.add(s.lift.banner);
      if (floorAt === null && s.level === 1) floorAt = phases[phases.length - 1];
      if (s.lift.phase === 'go' || s.lift.phase === 'close') {
        const moved = await room.hold(['KeyS'], 1 / 60);
        if (moved.lift.phase === s.lift.phase) assert.ok(Math.abs(moved.x - s.x) < 1e-9, 'no walking during ' + s.lift.phase);
        s = moved;
      }
    }
    assert.deepEqual(phases, ['close', 'go', 'open']);
    assert.equal(floorAt, 'go');
    assert.deepEqual([...banners], ['Going to floor two.']);
    assert.equal(s.level, 1);
    assert.match(s.hud, /^Floor 2/);
    assert.equal(s.status, '');
    assert.doesNotMatch(s.hud, /Walls read/);
    assert.ok(Math.abs(s.yaw + Math.PI / 2) < 0.2, 'turned towards the east');
    s = await room.step(2);
    assert.equal(s.lift.phase, '', 'standing on does not ride again');
    await room.page.keyboard.press('KeyE');
    s = await room.step(0.1);
    assert.equal(s.lift.banner, 'Going to the ground floor.');
    s = await room.step(4);
    assert.equal(s.level, 0);
    assert.equal(s.lift.phase, '');
    assert.match(s.hud, /^Ground floor/);
  }));
});

describe('looking', () => {
  test('facing is reported when the eight-way word changes, with its degrees', () => withRoom(async (room) => {
    await room.step(0.05);
    await room.hold(['ArrowRight'], 1.1);
    await room.hold(['ArrowRight'], 0.5);
    await room.hold(['ArrowLeft'], 2.2);
    const faces = (await room.posted()).filter((m) => m.op === 'face');
    assert.deepEqual(faces, [
      { op: 'face', word: 'North', deg: 0 },
      { op: 'face', word: 'North-east', deg: 45 },
      { op: 'face', word: 'East', deg: 90 },
      { op: 'face', word: 'South-east', deg: 135 },
      { op: 'face', word: 'East', deg: 90 },
      { op: 'face', word: 'North-east', deg: 45 },
      { op: 'face', word: 'North', deg: 0 },
      { op: 'face', word: 'North-west', deg: 315 },
    ]);
  }));

  test('dragging turns by 0.004 × scale per pixel while the pointer is captured', () => withRoom(async (room) => {
    await room.deliver({ op: 'look', scale: 1.7, fps: 60 });
    const { page } = room;
    await page.mouse.move(240, 150);
    await page.mouse.down();
    await page.mouse.move(340, 170);
    await page.mouse.move(600, 170);
    let s = await room.state();
    assert.ok(Math.abs(s.yaw - -0.004 * 1.7 * 360) < 1e-9, 'yaw ' + s.yaw);
    assert.ok(Math.abs(s.pitch - -0.004 * 1.7 * 20) < 1e-9, 'pitch ' + s.pitch);
    await page.mouse.up();
    await page.mouse.move(100, 100);
    s = await room.state();
    assert.ok(Math.abs(s.yaw - -0.004 * 1.7 * 360) < 1e-9, 'no turning after release');
    await page.mouse.move(240, 150);
    await page.mouse.down({ button: 'right' });
    await page.mouse.move(400, 150);
    await page.mouse.up({ button: 'right' });
    assert.equal((await room.state()).yaw, s.yaw, 'only the left button drags');
  }));

  test('look sets the turn speed and frame rate; 75 counts as 60 and the pixel ratio follows', () => withRoom(async (room) => {
    await room.deliver({ op: 'look', scale: 1.7, fps: 75 });
    let s = await room.state();
    assert.equal(s.lookScale, 1.7);
    assert.equal(s.frameRate, 60);
    assert.equal(s.pixelRatio, 1);
    await room.deliver({ op: 'look', scale: 0, fps: 30 });
    s = await room.state();
    assert.equal(s.lookScale, 1);
    assert.equal(s.frameRate, 30);
    await room.deliver({ op: 'look', scale: 1.0 });
    s = await room.state();
    assert.equal(s.frameRate, 30, 'fps left alone when absent');
    await room.deliver({ op: 'look', scale: 1.7 });
    const turned = await room.hold(['ArrowLeft'], 1);
    assert.ok(Math.abs(turned.yaw - 1.45 * 1.7) < 0.03, 'turned ' + turned.yaw);
  }, {}));

  test('numbers in "look" are held to sane values: the turn speed within the two settings, the angle wrapped', () => withRoom(async (room) => {
    await room.deliver({ op: 'look', scale: 1e308, fps: 'fast' });
    let s = await room.state();
    assert.equal(s.lookScale, 1.7);
    assert.equal(s.frameRate, 60);
    const { page } = room;
    await page.mouse.move(240, 150);
    await page.mouse.down();
    await page.mouse.move(340, 150);
    await page.mouse.up();
    s = await room.state();
    assert.ok(Math.abs(s.yaw - -0.004 * 1.7 * 100) < 1e-9, 'yaw ' + s.yaw);
    s = await room.hold(['ArrowLeft'], 6);
    assert.ok(s.yaw > -Math.PI && s.yaw <= Math.PI, 'yaw ' + s.yaw);
    for (const scale of [-1, 'quick', 0.01, null]) {
      await room.deliver({ op: 'look', scale });
      assert.equal((await room.state()).lookScale, 1, String(scale));
    }
    const faces = (await room.posted()).filter((m) => m.op === 'face');
    assert.ok(faces.length > 4);
    for (const f of faces) assert.ok(Number.isInteger(f.deg) && f.deg >= 0 && f.deg < 360, JSON.stringify(f));
  }));

  test('on a screen with device ratio 2 the cap follows the frame rate', async () => {
    const context = await env.browser.newContext({ viewport: { width: 320, height: 200 }, deviceScaleFactor: 2 });
    const page = await context.newPage();
    try {
      await page.goto(env.server.url + 'index.html?v=40&test');
      await page.waitForFunction(() => window.__room && window.__room.state().framesReady);
      assert.equal(await page.evaluate(() => window.__room.state().pixelRatio), 1.25);
      await page.evaluate(() => window.chrome.webview === undefined);
    } finally {
      await context.close();
    }
  });
});
