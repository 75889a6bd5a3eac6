// The room's rules without a browser: floor plans, frame hanging and plaques, texts and what
// the page accepts from the host, movement, the lift, the gate and the aim check.

import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  UNIT, cellAt, walkable, faceOf, frameCells, findFrame, hangPoint, shareWall, frameModel, frameWidth, alcoveCells, faceYaw,
  wallRoom, plaquePlace, plaqueHeight, PLAQUE, BENCH,
} from '../../web/src/maps.js';
import {
  leftWords, saleLine, saleButton, fitLines, facing, plaqueLabel, hostText, spotOf, lookScaleOf, pictureAddress, LIMITS,
} from '../../web/src/words.js';
import {
  frameRateOf, pixelRatioCap, createPacer, pace, turnView, dragView, probeBlocked, positionAllowed, walk, wrapYaw, PROBE, WALK_SPEED, RUN_SPEED,
} from '../../web/src/movement.js';
import { CABIN, createLift, updateLift, insideCabin, doorSlide, rideBanner, rideHoldsViewer } from '../../web/src/lift.js';
import { createGate, gateCrossed, gateOpacity, GATE_Z } from '../../web/src/gate.js';
import { aimedFrame } from '../../web/src/aim.js';
import { createSim, stepSim } from '../../web/src/sim.js';
import { freshUrl } from '../../web/src/pictures.js';

const close = (a, b, eps = 1e-9) => assert.ok(Math.abs(a - b) <= eps, `${a} is not ${b}`);

function hungFrames() {
  const out = [];
  for (const level of [0, 1]) {
    for (const c of frameCells(level)) {
      const hp = hangPoint(c.frame, level, c.q, c.r);
      out.push({ frame: c.frame, level, x: hp.x, z: hp.z, dc: hp.dc, dr: hp.dr, width: frameWidth(c.frame), bottom: 0.5464, height: 1.8 });
    }
  }
  return out;
}

describe('floor plans', () => {
  test('cells outside the plan are wall and the plan marks what can be walked', () => {
    assert.equal(cellAt(0, -1, 5), '#');
    assert.equal(cellAt(0, 24, 5), '#');
    assert.equal(cellAt(0, 5, 20), '#');
    assert.equal(cellAt(7, 0, 0), '#');
    assert.equal(walkable(0, 12, 15), true);
    assert.equal(walkable(0, 11, 14), true, 'doorway');
    assert.equal(walkable(0, 15, 8), true, 'lift floor');
    assert.equal(walkable(0, 8, 3), false, 'alcove');
    assert.equal(walkable(0, 8, 7), false, 'frame cell');
    assert.equal(walkable(['s#'], 0, 0), true, 's is walkable');
  });

  test('frames 1 to 5 hang on the ground floor and 6 to 10 on floor two, "0" being frame 10', () => {
    assert.deepEqual(frameCells(0).map((c) => c.frame).sort((a, b) => a - b), [1, 2, 3, 4, 5]);
    assert.deepEqual(frameCells(1).map((c) => c.frame).sort((a, b) => a - b), [6, 7, 8, 9, 10]);
    assert.deepEqual(findFrame(10), { frame: 10, level: 1, q: 14, r: 4 });
  });

  test('faceOf takes the first walkable neighbour in the order east, west, south, north', () => {
    const facings = Object.fromEntries([0, 1].flatMap((l) => frameCells(l).map((c) => [c.frame, faceOf(l, c.q, c.r)])));
    assert.deepEqual(facings, {
      1: [1, 0], 2: [-1, 0], 3: [1, 0], 4: [-1, 0], 5: [0, 1], 6: [0, -1], 7: [1, 0], 8: [-1, 0], 9: [1, 0], 10: [-1, 0],
    });
    assert.deepEqual(faceOf(['.#.', '#x#', '...'], 1, 1), [0, 1], 'south before north');
    assert.deepEqual(faceOf(['.#.', '.x.', '...'], 1, 1), [1, 0], 'east first');
    assert.deepEqual(faceOf(0, 0, 0), [0, -1], 'north when nothing is walkable');
  });

  test('frame models repeat every five frames and frames 3 and 4 are narrow', () => {
    assert.deepEqual([1, 5, 6, 10].map(frameModel), [1, 5, 1, 5]);
    assert.deepEqual([1, 2, 3, 4, 5, 8, 9].map(frameWidth), [1.8, 1.8, 1.44, 1.44, 1.8, 1.8, 1.8]);
  });

  test('alcoves take their sculpture by quarter of the map and face their open side', () => {
    const cells = alcoveCells(0).map((c) => [c.q, c.r, c.model, c.dc, c.dr]);
    assert.deepEqual(cells, [
      [8, 3, 'alcove-b', 1, 0], [15, 5, 'alcove-dragon', -1, 0], [8, 10, 'alcove-flower', 1, 0], [15, 12, 'alcove-tree', -1, 0],
    ]);
    close(faceYaw(1, 0), -Math.PI / 2);
  });
});

describe('hanging frames', () => {
  test('frame 1 hangs on its cell face, shifted along the wall by a third of 0.97 × 1.8', () => {
    const p = hangPoint(1, 0, 8, 7);
    close(p.x, 9 * UNIT + 0.006);
    close(p.z, 7.5 * UNIT + (0.97 * 1.8) / 3);
  });

  test('a lone frame sits in the middle of its wall run, 6 mm off the face', () => {
    const five = hangPoint(5, 0, 11, 1);
    close(five.x, 12 * UNIT);
    close(five.z, 2 * UNIT + 0.006);
    const two = hangPoint(2, 0, 15, 7);
    close(two.x, 15 * UNIT - 0.006);
    close(two.z, 7 * UNIT, 1e-9);
    const six = hangPoint(6, 1, 12, 17);
    close(six.x, 12 * UNIT);
    close(six.z, 17 * UNIT - 0.006);
  });

  test('the wall run stops at the lift floor and at cells that are not wall', () => {
    // Frame 2's run: row 6 above it; the lift cell below ends it.
    assert.deepEqual(shareWall(0, 15, 7, -1, 0), { lo: 0, hi: 1, i: 0, n: 1, along: 0.5 });
  });

  test('frames sharing one run divide it evenly in the order of their offsets', () => {
    const plan = ['#1##2#', '......'];
    const a = hangPoint(7, plan, 1, 0);
    const b = hangPoint(8, plan, 4, 0);
    // Run of six cells from x = 0 to 6 units; two frames at 1.5 and 4.5 units.
    close(a.x, 1.5 * UNIT);
    close(b.x, 4.5 * UNIT);
    assert.equal(shareWall(plan, 4, 0, 0, 1).n, 2);
  });
});

describe('plaques', () => {
  test('every plaque hangs beside its frame on the same wall, clear of the frame and of the wall\'s end', () => {
    for (const level of [0, 1]) {
      for (const c of frameCells(level)) {
        const room = wallRoom(c.frame, level, c.q, c.r);
        const place = plaquePlace(c.frame, level, c.q, c.r);
        const free = place.side < 0 ? room.right : room.left;
        const inner = Math.abs(place.along) - place.width / 2 - frameWidth(c.frame) / 2;
        assert.ok(inner >= PLAQUE.gap - 1e-9, `AP${c.frame} clear of its frame`);
        assert.ok(inner + place.width <= free - PLAQUE.margin + 1e-9, `AP${c.frame} on its wall: ${place.width} m in ${free} m`);
        assert.ok(place.width >= PLAQUE.minWidth, `AP${c.frame} wide enough`);
        assert.ok(plaqueHeight(place.width) > 0.25, `AP${c.frame} tall enough for its lines`);
      }
    }
    // The hall's frames have room on the viewer's right; AP2 on its short wall gets a narrow plaque.
    assert.deepEqual([5, 2].map((n) => { const c = findFrame(n); return plaquePlace(n, c.level, c.q, c.r).side; }), [-1, -1]);
    const two = findFrame(2);
    assert.ok(plaquePlace(2, 0, two.q, two.r).width < plaquePlace(5, 0, 11, 1).width);
  });
});

describe('texts', () => {
  const now = 1_700_000_000;
  test('leftWords rounds up and counts days, hours and minutes', () => {
    const cases = [
      [0, 'This showing has ended.'], [-5, 'This showing has ended.'],
      [86400, '1 day left.'], [86401, '2 days left.'], [3 * 86400, '3 days left.'],
      [3600, '1 hour left.'], [3601, '2 hours left.'], [86399, '24 hours left.'],
      [30, '1 minute left.'], [1, '1 minute left.'], [60, '1 minute left.'], [61, '2 minutes left.'], [3599, '60 minutes left.'],
    ];
    for (const [left, words] of cases) assert.equal(leftWords(now + left, now), words, `left ${left}`);
  });

  test('saleLine joins price, length and time left', () => {
    assert.equal(saleLine({}, now), 'View only.');
    // Numbers that are not whole sats or seconds count as absent, the same in every message.
    assert.equal(saleLine({ price: 1500, weeks: 1, exp: 'soon' }, now), '1500 sats. Up for 1 week.');
    assert.equal(saleLine({ price: '1500', exp: now + 1.5 }, now), 'View only.');
    assert.equal(saleLine({ price: 1e300, exp: Infinity }, now), 'View only.');
    assert.equal(saleLine({ price: 2_100_000_000_000_000, exp: now + 60 }, now), '2100000000000000 sats. 1 minute left.');
    assert.equal(saleLine({ price: -1, weeks: 1 }, now), 'View only. Up for 1 week.');
    assert.equal(saleLine({ price: 0, weeks: 0, exp: 0 }, now), '0 sats.');
    assert.equal(saleLine({ price: 1500, weeks: 2, exp: now + 2 * 86400 + 9 }, now), '1500 sats. Up for 2 weeks. 3 days left.');
    assert.equal(saleLine({ price: 20, weeks: 3, exp: now - 1 }, now), '20 sats. This showing has ended.');
  });

  test('the sale button table', () => {
    const table = Object.fromEntries(['ask', 'asked', 'pay', 'paid', 'accept', 'accepted', 'complete'].map((a) => [a, saleButton(a)]));
    assert.deepEqual(JSON.parse(JSON.stringify(table)), {
      ask: { text: 'Ask to buy', enabled: true, working: 'Asking the owner' },
      asked: { text: 'Asked', enabled: false, working: '' },
      pay: { text: 'Pay now', enabled: true, working: 'Paying' },
      paid: { text: 'Paid', enabled: false, working: '' },
      accept: { text: 'Accept', enabled: true, working: 'Accepting' },
      accepted: { text: 'Accepted', enabled: false, working: '' },
      complete: { text: 'Complete', enabled: true, working: 'Completing the sale' },
    });
    for (const other of ['', 'buy', 'toString', 'constructor', undefined]) assert.equal(saleButton(other), null, String(other));
  });

  test('plaques show the title or AP and the number, wrapped at spaces and cut with "..." on the last line', () => {
    assert.equal(plaqueLabel(4, ''), 'AP4');
    assert.equal(plaqueLabel(4, '   '), 'AP4');
    assert.equal(plaqueLabel(4, 'Dawn'), 'Dawn');
    assert.equal(plaqueLabel(4, 17), 'AP4', 'a title that is not text');
    const measure = (t) => t.length * 20;
    assert.deepEqual(fitLines('A short one', measure, 300, 3), ['A short one']);
    assert.deepEqual(fitLines('The Harbour of Saint Nazaire at Dusk, 1888', measure, 300, 3), ['The Harbour of', 'Saint Nazaire', 'at Dusk, 1888']);
    assert.deepEqual(fitLines('The Harbour of Saint Nazaire at Dusk, 1888', measure, 300, 2), ['The Harbour of', 'Saint Nazair...']);
    // A word wider than the line is broken inside; a space left at the cut is trimmed before the dots.
    assert.deepEqual(fitLines('abcdefghijklmnopqrstuvwxyz', measure, 200, 2), ['abcdefghij', 'klmnopq...']);
    assert.deepEqual(fitLines('abcdefg hijklmnop', measure, 200, 1), ['abcdefg...']);
    for (const lines of [fitLines('x'.repeat(500), measure, 300, 3), fitLines('Sun '.repeat(90), measure, 300, 3)]) {
      assert.equal(lines.length, 3);
      for (const l of lines) assert.ok(measure(l) <= 300, l);
    }
  });

  test('a plaque of any title costs a few measurements, bounded by the kept length, not the title', () => {
    for (const title of ['x'.repeat(40000), 'word '.repeat(8000), '\u{1F600}'.repeat(20000)]) {
      let calls = 0;
      const measure = (t) => { calls++; return Array.from(t).length * 20; };
      const label = plaqueLabel(2, title);
      assert.ok(Array.from(label).length <= LIMITS.title, 'kept length');
      const lines = fitLines(label, measure, 300, 4);
      assert.ok(lines[lines.length - 1].endsWith('...'), lines.join('|'));
      assert.ok(calls <= 40, calls + ' measurements');
    }
  });

  test('host text is kept to its limit and loses control and direction characters', () => {
    assert.equal(hostText('Dawn', 10), 'Dawn');
    assert.equal(hostText(null, 10), '');
    assert.equal(hostText({ toString: () => 'x' }, 10), '');
    assert.equal(hostText('a\nb\u202ec\u0000', 10), 'a b c ');
    assert.equal(hostText('abcdefghijkl', 10), 'abcdefghi\u2026');
    // Cut between code points, never inside a surrogate pair.
    assert.equal(hostText('\u{1F600}'.repeat(12), 10), '\u{1F600}'.repeat(9) + '\u2026');
    assert.equal(hostText('y'.repeat(1e6), 5), 'yyyy\u2026');
  });

  test('frame numbers, look scales and picture addresses from the host', () => {
    assert.deepEqual([5, 1, 10, 0, 11, -3, 2.5, '5', null, undefined, NaN, true].map(spotOf), [5, 1, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0]);
    assert.deepEqual([1, 1.7, 1.3, 0, -2, 1e308, 0.2, Infinity, NaN, '1.7', undefined].map(lookScaleOf), [1, 1.7, 1.3, 1, 1, 1.7, 1, 1, 1, 1, 1]);
    assert.equal(pictureAddress('spots/ap3.png'), 'spots/ap3.png');
    assert.equal(pictureAddress('spots/ap3.jpg?x=1'), 'spots/ap3.jpg?x=1');
    for (const bad of ['', 'http://example.com/a.png', '//example.com/a.png', '/etc/passwd', 'spots/../../x.png', 'spots\\a.png',
      'javascript:alert(1)', 'data:image/png;base64,AA', 'spots/a\u0000.png', 'spots/' + 'a'.repeat(600), 42, null]) {
      assert.equal(pictureAddress(bad), '', String(bad));
    }
  });

  test('facing words and degrees, halves rounding upwards', () => {
    const deg = (d) => (-d * Math.PI) / 180;
    assert.deepEqual(facing(0), { word: 'North', deg: 0 });
    assert.deepEqual(facing(deg(90)), { word: 'East', deg: 90 });
    assert.deepEqual(facing(-Math.PI), { word: 'South', deg: 180 });
    assert.deepEqual(facing(Math.PI / 2), { word: 'West', deg: 270 });
    assert.deepEqual(facing(deg(22.5)), { word: 'North-east', deg: 45 });
    assert.deepEqual(facing(deg(22.4)), { word: 'North', deg: 0 });
    assert.deepEqual(facing(deg(337.5)), { word: 'North', deg: 0 });
    assert.deepEqual(facing(deg(-45 + 720)), { word: 'North-west', deg: 315 });
    assert.deepEqual(facing(8e307), { word: facing(8e307 % (2 * Math.PI)).word, deg: facing(8e307 % (2 * Math.PI)).deg });
    for (const yaw of [8e307, -1e300, Infinity, NaN]) assert.ok(Number.isInteger(facing(yaw).deg), String(yaw));
  });

  test('picture addresses get a fresh v member', () => {
    assert.equal(freshUrl('spots/ap3.png', 1234), 'spots/ap3.png?v=1234');
    assert.equal(freshUrl('spots/ap3.png?x=1', 5), 'spots/ap3.png?x=1&v=5');
  });
});

describe('frame rate and pacing', () => {
  test('only 30, 90 and 120 change the frame rate; anything else is 60', () => {
    assert.deepEqual([30, 60, 75, 90, 120, 0, undefined, '30', 144].map(frameRateOf), [30, 60, 60, 90, 120, 60, 60, 60, 60]);
  });

  test('pixel ratio caps per frame rate, never above the device', () => {
    assert.equal(pixelRatioCap(120, 2), 1);
    assert.equal(pixelRatioCap(90, 2), 1);
    assert.equal(pixelRatioCap(60, 2), 1.25);
    assert.equal(pixelRatioCap(30, 2), 1.5);
    assert.equal(pixelRatioCap(30, 1), 1);
  });

  test('frames come when a whole frame interval is banked, each tick at most 0.05 s', () => {
    const p = createPacer();
    assert.equal(pace(p, 0.01, 60), 0);
    close(pace(p, 0.01, 60), 0.02);
    assert.equal(pace(p, 0.2, 60), 0.05, 'a long pause counts as 0.05 s');
    assert.equal(pace(p, 0.02, 30), 0);
    close(pace(p, 0.02, 30), 0.04);
  });
});

describe('looking and walking', () => {
  test('arrow keys turn at 1.45 × scale per second and pitch stops at ±1.15', () => {
    const v = { yaw: 0, pitch: 0 };
    turnView(v, new Set(['ArrowLeft']), 2, 0.5);
    close(v.yaw, 1.45);
    turnView(v, new Set(['ArrowRight', 'ArrowUp']), 1, 1);
    close(v.yaw, 0);
    close(v.pitch, 0.72 * 1.45);
    turnView(v, new Set(['ArrowUp']), 1, 5);
    close(v.pitch, 1.15);
    dragView(v, 100, 1000, 1);
    close(v.yaw, -0.4);
    close(v.pitch, -1.15);
  });

  test('walking moves at 2.3 cells a second, 4.2 with Shift, and diagonals are no faster', () => {
    const start = () => ({ x: 12.2 * UNIT, z: 13.5 * UNIT, yaw: 0 });
    const v = start();
    walk(v, new Set(['KeyW']), 0, 0, 0.1);
    close(v.z, 13.5 * UNIT - WALK_SPEED * 0.1);
    const r = start();
    walk(r, new Set(['KeyW', 'ShiftLeft']), 0, 0, 0.1);
    close(r.z, 13.5 * UNIT - RUN_SPEED * 0.1);
    const d = start();
    walk(d, new Set(['KeyW', 'KeyD']), 0, 0, 0.1);
    close(Math.hypot(d.x - 12.2 * UNIT, d.z - 13.5 * UNIT), WALK_SPEED * 0.1);
    const turned = { x: 12.2 * UNIT, z: 13.5 * UNIT, yaw: Math.PI / 2 };
    walk(turned, new Set(['KeyW']), 0, 0, 0.1);
    close(turned.x, 12.2 * UNIT - WALK_SPEED * 0.1, 1e-9);
  });

  test('walking straight in from the start reaches the far wall: the bench stands beside the line', async () => {
    const { createSim: make } = await import('../../web/src/sim.js');
    const v = make().view;
    for (let i = 0; i < 60 * 12; i++) walk(v, new Set(['KeyW']), 0, 0, 1 / 60);
    assert.ok(v.z - (2 * UNIT + PROBE) < WALK_SPEED / 60, 'reached the north wall: ' + v.z);
  });

  test('turning and dragging keep the view angle within a half turn either way', () => {
    const v = { yaw: 3, pitch: 0 };
    turnView(v, new Set(['ArrowLeft']), 1, 0.2);
    close(v.yaw, 3 + 1.45 * 0.2 - 2 * Math.PI);
    dragView(v, -1e6, 0, 1.7);
    assert.ok(v.yaw > -Math.PI && v.yaw <= Math.PI, 'yaw ' + v.yaw);
    close(wrapYaw(-Math.PI), Math.PI);
    close(wrapYaw(7 * Math.PI), Math.PI);
    assert.equal(wrapYaw(Infinity), 0);
  });

  test('walls stop one axis and the viewer slides along the other', () => {
    // West wall of the hall at x = 9 units beside row 12; walk north-west into it.
    const v = { x: 9 * UNIT + PROBE + 0.01, z: 12 * UNIT, yaw: 0 };
    walk(v, new Set(['KeyW', 'KeyA']), 0, 0, 0.1);
    close(v.x, 9 * UNIT + PROBE + 0.01);
    assert.ok(v.z < 12 * UNIT, 'slid north');
    assert.equal(positionAllowed(0, 9 * UNIT + PROBE - 0.01, 12 * UNIT, 0), false);
  });

  test('the bench and the lift cabin block probes', () => {
    assert.equal(probeBlocked(0, BENCH.x, BENCH.z, 0), true);
    assert.equal(probeBlocked(0, BENCH.x + 0.39, BENCH.z + 1.84, 0), true);
    assert.equal(probeBlocked(0, BENCH.x + 0.41, BENCH.z, 0), false);
    assert.equal(probeBlocked(0, BENCH.x, BENCH.z + 1.86, 0), false);
    const doorZ = 9 * UNIT;
    assert.equal(probeBlocked(0, CABIN.west + 0.05, doorZ, 0), true, 'closed door');
    assert.equal(probeBlocked(0, CABIN.west + 0.05, doorZ, 1), false, 'open door');
    assert.equal(probeBlocked(0, CABIN.west + 0.05, doorZ, 0.18 + 0.82 * 0.71), true, 'door not yet open enough');
    assert.equal(doorSlide(0.1), 0);
    assert.equal(probeBlocked(0, CABIN.west + 0.05, doorZ, 0.18 + 0.82 * 0.73), false, 'just past 0.72 slide');
    assert.equal(probeBlocked(0, CABIN.west + 1, CABIN.north + 0.05, 1), true, 'north cabin wall');
    assert.equal(probeBlocked(0, CABIN.west + 1, CABIN.south - 0.09, 1), true, 'south cabin wall');
    assert.equal(probeBlocked(0, CABIN.west + 1, CABIN.north + 0.11, 1), false);
  });
});

describe('the lift', () => {
  function ride(view, lift, seconds, pressedE = false) {
    let arrived = 0;
    const n = Math.round(seconds * 60);
    for (let i = 0; i < n; i++) if (updateLift(lift, view, pressedE && i === 0, 1 / 60)) arrived++;
    return arrived;
  }
  const inside = () => ({ x: 16 * UNIT, z: 9 * UNIT, yaw: 0, level: 0 });

  test('the door opens near it and stays shut far away', () => {
    const lift = createLift();
    ride({ x: 12 * UNIT, z: 4 * UNIT, yaw: 0, level: 0 }, lift, 1);
    assert.equal(lift.open, 0);
    ride({ x: CABIN.west - 2, z: 9 * UNIT, yaw: 0, level: 0 }, lift, 2);
    assert.ok(lift.open > 0.99);
    assert.equal(insideCabin(16 * UNIT, 9 * UNIT), true);
    assert.equal(insideCabin(CABIN.west + 0.3, 9 * UNIT), false);
  });

  test('standing inside for 0.85 s rides to floor two and back needs leaving first', () => {
    const lift = createLift();
    const v = inside();
    ride(v, lift, 0.8);
    assert.equal(lift.ride, null);
    ride(v, lift, 0.1);
    assert.equal(lift.ride.phase, 'close');
    assert.equal(rideBanner(lift.ride), 'Going to floor two.');
    assert.equal(rideHoldsViewer(lift), true);
    let arrived = 0;
    const phases = new Set();
    for (let i = 0; i < 60 * 6 && lift.ride; i++) {
      phases.add(lift.ride.phase);
      if (updateLift(lift, v, false, 1 / 60)) arrived++;
    }
    assert.deepEqual([...phases], ['close', 'go', 'open']);
    assert.equal(arrived, 1);
    assert.equal(v.level, 1);
    close(v.yaw, -Math.PI / 2, 0.1);
    assert.ok(lift.open > 0.92);
    ride(v, lift, 3);
    assert.equal(lift.ride, null, 'standing on does not ride again');
    ride(v, lift, 0.1, true);
    assert.equal(rideBanner(lift.ride), 'Going to the ground floor.', 'E rides again');
  });

  test('the floor changes 1.35 s into the move, not before', () => {
    const lift = createLift();
    const v = inside();
    ride(v, lift, 0.1, true);
    while (lift.ride.phase === 'close') updateLift(lift, v, false, 1 / 60);
    ride(v, lift, 1.3);
    assert.equal(v.level, 0);
    ride(v, lift, 0.1);
    assert.equal(v.level, 1);
  });
});

describe('the gate', () => {
  test('"enter" is asked once, only on the ground floor and only unpaid', () => {
    const g = createGate();
    assert.equal(gateCrossed(g, 0, GATE_Z + 0.1), false);
    assert.equal(gateCrossed(g, 1, GATE_Z - 1), false);
    assert.equal(gateCrossed(g, 0, GATE_Z - 0.01), true);
    assert.equal(gateCrossed(g, 0, GATE_Z + 1), false);
    assert.equal(gateCrossed(g, 0, GATE_Z - 1), false);
    const paid = createGate();
    paid.paid = true;
    assert.equal(gateCrossed(paid, 0, GATE_Z - 1), false);
  });

  test('the sign flickers between 0.42 and 1, a fifth and less on dim frames', () => {
    close(gateOpacity(0, false), 0.42);
    close(gateOpacity(Math.PI / 2 / 0.009, false), 1);
    close(gateOpacity(Math.PI / 2 / 0.009, true), 0.18);
  });
});

describe('aim and simulation', () => {
  const frames = hungFrames();
  test('a frame is aimed at from under 2.4 m, on its own floor, from the front', () => {
    const f5 = frames.find((f) => f.frame === 5);
    const at = (dist, extra = {}) => ({ x: f5.x, y: 1.62, z: f5.z + dist, yaw: 0, pitch: 0, level: 0, ...extra });
    assert.equal(aimedFrame(at(2.3), frames), 5);
    assert.equal(aimedFrame(at(2.5), frames), 0);
    assert.equal(aimedFrame(at(2, { level: 1 }), frames), 0);
    assert.equal(aimedFrame(at(2, { yaw: Math.PI }), frames), 0);
    assert.equal(aimedFrame(at(2, { x: f5.x + 1.0 }), frames), 0, 'beside the frame');
    assert.equal(aimedFrame(at(1, { pitch: 1.1 }), frames), 0, 'looking over it');
  });

  test('a step reports a changed facing once and the gate once', () => {
    const sim = createSim();
    const first = stepSim(sim, 1 / 60, frames);
    assert.deepEqual(first.messages, [{ op: 'face', word: 'North', deg: 0 }]);
    assert.deepEqual(stepSim(sim, 1 / 60, frames).messages, []);
    sim.keys.add('KeyW');
    const ops = [];
    for (let i = 0; i < 120; i++) ops.push(...stepSim(sim, 1 / 60, frames).messages.map((m) => m.op));
    assert.deepEqual(ops, ['enter']);
    sim.gate.locked = true;
    const z = sim.view.z;
    stepSim(sim, 0.5, frames);
    assert.equal(sim.view.z, z, 'no walking after "unpaid"');
    sim.keys.clear();
    sim.keys.add('ArrowLeft');
    const turned = [];
    for (let i = 0; i < 120; i++) turned.push(...stepSim(sim, 1 / 60, frames).messages);
    assert.deepEqual(turned, [], 'and no facing reports');
  });
});

describe('artworks offered in the panel', () => {
  test('only objects with a usable origin, names made safe, the list bounded', async () => {
    const { placeableArts } = await import('../../web/src/panel.js');
    const origin = 'b1946ac92492d2347c6235b4d2611184e5c3f1f0b1946ac92492d2347c6235b4_0';
    assert.deepEqual(placeableArts([null, 7, 'x', [], { name: 'No origin' }, { origin: 12 }, { origin: '' }, { origin: 'x'.repeat(101) },
      { origin: 'a\u0000b' }, { origin, name: 'Dawn\nbreak' }, { origin: 'abc_1', name: null }]), [
      { origin, name: 'Dawn break' }, { origin: 'abc_1', name: 'abc_1' },
    ]);
    assert.deepEqual(placeableArts(null), []);
    assert.deepEqual(placeableArts({ length: 3 }), []);
    assert.equal(placeableArts(Array.from({ length: 5000 }, (_, i) => ({ origin: 'o' + i }))).length, LIMITS.arts);
  });
});

describe('baked light and adaptive resolution', () => {
  test('baked light follows the floor: spots pool on the wall under each ground-floor frame only', async () => {
    const { floorLights, diffuseAt, floorFrames, spotFor } = await import('../../web/src/lighting.js');
    const ground = floorLights(0);
    const upper = floorLights(1);
    assert.equal(ground.spots.length, 5);
    assert.equal(upper.spots.length, 0);
    const five = floorFrames(0).find((f) => f.frame === 5);
    const onWall = [five.x, 1.6, five.z];
    const wallNormal = [five.dc, 0, five.dr];
    const lit = diffuseAt(ground, onWall, wallNormal)[0];
    const beside = diffuseAt(ground, [five.x + 2.6, 1.6, five.z], wallNormal)[0];
    const unlitGround = diffuseAt({ ...ground, spots: [] }, onWall, wallNormal)[0];
    assert.ok(lit > unlitGround * 3, `spot adds light: ${lit} vs ${unlitGround}`);
    assert.ok(beside < lit / 2, 'the pool falls off along the wall');
    // A floor facing up gets the sky side of the hemisphere; a ceiling the ground side.
    const up = diffuseAt(upper, [10, 0, 10], [0, 1, 0]);
    const down = diffuseAt(upper, [10, 3.7, 10], [0, -1, 0]);
    assert.ok(up[2] > down[2]);
    const s = spotFor(five);
    close(s.position[1], 3.3);
    close(Math.atan2(Math.hypot(s.target[0] - s.position[0], s.target[2] - s.position[2]), s.position[1] - s.target[1]), 0.3);
  });

  test('slow frames first give up multisampling, then shrink the buffer step by step; fast ones take the steps back slowly', async () => {
    const { createScaler, noteFrame, currentQuality, QUALITY_STEPS } = await import('../../web/src/resolution.js');
    const sc = createScaler();
    const run = (fps, seconds) => {
      const changes = [];
      for (let i = 0; i < fps * seconds; i++) {
        const c = noteFrame(sc, 1 / fps);
        if (c) changes.push((c.multisample ? 'aa ' : '') + c.scale);
      }
      return changes;
    };
    assert.deepEqual(currentQuality(sc), { multisample: true, scale: 1 });
    assert.deepEqual(run(40, 3), []);
    assert.deepEqual(run(10, 2.5), ['1', '0.85']);
    assert.deepEqual(run(10, 30), ['0.72', '0.6'], 'stops at the smallest step');
    assert.deepEqual(currentQuality(sc), QUALITY_STEPS[QUALITY_STEPS.length - 1]);
    assert.deepEqual(run(60, 2.5), [], 'one or two fast seconds are not enough');
    assert.deepEqual(run(60, 1), ['0.72']);
    assert.deepEqual(run(60, 9), ['0.85', '1', 'aa 1']);
  });
});
