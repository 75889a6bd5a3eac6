// Selecting frames and the frame panel: placing, the taken frame's sale line and button,
// removing, connecting, the host's answers (also malformed, late or busy ones) and Escape.

import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openRoom, UNIT } from '../support/web/harness.mjs';

let env;
before(async () => { env = await launch(); });
after(async () => { await env.close(); });

// Two metres in front of frame 5 (north wall of the hall), looking at it.
const BEFORE_FIVE = { x: 12 * UNIT, z: 2 * UNIT + 2, yaw: 0, pitch: 0 };

async function withRoom(fn) {
  const room = await openRoom(env, { viewport: { width: 560, height: 420 } });
  try {
    await room.deliver({ op: 'entered' });
    await fn(room);
    assert.deepEqual(room.errors, []);
  } finally {
    await room.close();
  }
}

async function selectFive(room) {
  await room.moveTo(BEFORE_FIVE);
  await room.step(0.15);
  await room.page.keyboard.press('Space');
  return room.state();
}

const ARTS = [
  { origin: 'b1946ac92492d2347c6235b4d2611184e5c3f1f0_0', name: 'Lantern Study' },
  { origin: '7d865e959b2466918c9863afca942d0fb89d7c9ac_1', name: '' },
];

describe('selecting', () => {
  test('Space near a frame highlights it, shows the working word and sends "select"; far away it does nothing', () => withRoom(async (room) => {
    await room.moveTo({ ...BEFORE_FIVE, z: 2 * UNIT + 2.6 });
    await room.step(0.15);
    await room.page.keyboard.press('Space');
    assert.deepEqual((await room.posted()).filter((m) => m.op === 'select'), [], 'too far');
    const s = await selectFive(room);
    assert.match(s.hud, /^Ground floor {2}· {2}AP5\n/);
    assert.deepEqual((await room.posted()).filter((m) => m.op === 'select'), [{ op: 'select', spot: 5 }]);
    assert.deepEqual(s.working, { visible: true, word: 'Loading AP5', late: false });
    assert.equal(s.frames[5].glow, 1.15);
    assert.equal(s.frames[1].glow, 0.35);
    await room.page.keyboard.press('Space');
    assert.equal((await room.posted()).filter((m) => m.op === 'select').length, 1, 'not again while working');
  }));
});

describe('placing', () => {
  test('a free frame lists the artworks; Place asks for weeks first, then an artwork', () => withRoom(async (room) => {
    await room.deliver({ op: 'walls', shows: [{ spot: 5, url: 'spots/ap5.png', title: 'Old piece' }] });
    await room.page.waitForFunction(() => window.__room.state().frames[5].url);
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: ARTS, status: 'Select an artwork, then 1 week or 2 weeks.' });
    let s = await room.state();
    assert.equal(s.working.visible, false);
    assert.equal(s.frames[5].url, '', 'the free frame is cleared');
    assert.equal(s.frames[5].plaque, 'AP5');
    assert.deepEqual(s.panel.arts, [{ value: ARTS[0].origin, text: 'Lantern Study' }, { value: ARTS[1].origin, text: '7d865e959b24' }]);
    assert.equal(s.panel.title, 'AP5');
    assert.equal(s.panel.note, 'Pick a piece. Empty price is view only.');
    assert.equal(s.panel.sale, '');
    assert.equal(s.panel.placing, true);
    assert.equal(s.panel.remove, false);
    assert.equal(s.panel.buy, null);
    assert.equal(await room.page.getAttribute('#place-price', 'placeholder'), 'Empty is view only.');
    await room.page.click('#place-go');
    assert.equal((await room.state()).panel.error, 'Choose 1 week or 2 weeks.');
    await room.page.click('#week2');
    await room.page.click('#place-go');
    assert.equal((await room.state()).panel.error, 'Pick an artwork.');
    assert.equal(await room.page.getAttribute('#week2', 'class'), 'chosen');
    await room.page.selectOption('#place-art', ARTS[1].origin);
    assert.equal((await room.state()).panel.error, '', 'picking an artwork clears the request for one');
  }));

  test('list entries that are not artworks are skipped; the panel opens and the room keeps working', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, status: 'Select an artwork, then 1 week or 2 weeks.',
      arts: [null, 7, 'text', [], { name: 'No origin' }, { origin: 42, name: 'Number' }, ARTS[0], { origin: ARTS[1].origin, name: { x: 1 } }] });
    const s = await room.step(0.1);
    assert.equal(s.panel.visible, true);
    assert.equal(s.working.visible, false);
    assert.deepEqual(s.panel.arts, [{ value: ARTS[0].origin, text: 'Lantern Study' }, { value: ARTS[1].origin, text: '7d865e959b24' }]);
    assert.match(s.hud, /Select an artwork, then 1 week or 2 weeks\.$/);
    // Shapes no host sends: none of them throws or opens anything.
    for (const msg of [{ op: 'place-list', spot: 5, arts: { length: 2 } }, { op: 'walls', shows: [null, 3, { spot: '4', url: 'spots/ap4.png' }] },
      { op: 'placed', spot: null }, { op: 'removed' }, { op: 'spot-pic', spot: 2, url: 7 }, { op: 'place-error', text: { a: 1 } }, { op: 'look', fps: {} }]) {
      await room.deliver(msg);
    }
    const after = await room.step(0.1);
    assert.equal(after.frames[4].url, '', 'a frame number given as text is not taken');
    assert.deepEqual(room.errors, []);
  }));

  test('Escape closes the panel', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: ARTS, status: '' });
    await room.page.click('#place-price');
    await room.page.keyboard.press('Escape');
    const s = await room.state();
    assert.equal(s.panel.visible, false);
    assert.equal(s.frames[5].glow, 0.35);
  }));

  test('typing in the price box and Space with the panel open leave the room alone', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: ARTS, status: '' });
    const before = await room.state();
    await room.page.click('#place-price');
    await room.page.keyboard.type('wasd 1500 ');
    await room.page.keyboard.down('KeyW');
    const typed = await room.step(0.5);
    await room.page.keyboard.up('KeyW');
    assert.equal(typed.z, before.z);
    assert.equal(typed.x, before.x);
    assert.equal(await room.page.inputValue('#place-price'), 'wasd 1500 w');
    await room.page.click('#place-title');
    await room.page.keyboard.press('Space');
    assert.equal((await room.posted()).filter((m) => m.op === 'select').length, 1, 'Space with the panel open');
    assert.equal((await room.state()).panel.visible, true);
  }));

  test('Place sends the choice; "placed" paints the frame and titles its plaque', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: ARTS, status: '' });
    await room.page.selectOption('#place-art', ARTS[0].origin);
    await room.page.fill('#place-price', ' 0.001 ');
    await room.page.selectOption('#place-unit', 'bsv');
    await room.page.click('#week1');
    await room.page.click('#place-go');
    let s = await room.state();
    assert.equal(s.panel.visible, false);
    assert.deepEqual(s.working, { visible: true, word: 'Placing AP5', late: false });
    assert.deepEqual((await room.posted()).filter((m) => m.op === 'place'), [
      { op: 'place', spot: 5, origin: ARTS[0].origin, price: ' 0.001 ', unit: 'bsv', weeks: 1 },
    ]);
    await room.deliver({ op: 'placed', spot: 5, status: 'Placed on AP5.', url: 'spots/ap5.png' });
    await room.page.waitForFunction(() => window.__room.state().frames[5].url === 'spots/ap5.png');
    s = await room.step(0.05);
    assert.equal(s.working.visible, false);
    assert.equal(s.frames[5].plaque, 'Lantern Study');
    assert.equal(s.frames[5].glow, 0.35);
    assert.match(s.hud, /Placed on AP5\.$/);
  }));

  test('"place-error" reopens the panel with the text, or a default', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: ARTS, status: '' });
    await room.page.click('#week1');
    await room.page.selectOption('#place-art', ARTS[1].origin);
    await room.page.click('#place-go');
    await room.deliver({ op: 'place-error', text: 'Enter a whole number of sats. Leave it empty for view only.', status: 'x' });
    let s = await room.state();
    assert.equal(s.panel.visible, true);
    assert.equal(s.working.visible, false);
    assert.equal(s.panel.error, 'Enter a whole number of sats. Leave it empty for view only.');
    assert.equal(await room.page.isEnabled('#place-go'), true);
    await room.deliver({ op: 'place-error', text: '' });
    s = await room.state();
    assert.equal(s.panel.error, 'Place did not finish.');
    await room.page.click('#place-close');
    s = await room.state();
    assert.equal(s.panel.visible, false);
    assert.equal(s.frames[5].glow, 0.35);
  }));

  test('an empty wallet says so and offers no placing', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: [], status: 'No artwork is free to place.', error: 'Wallet busy.' });
    const s = await room.state();
    assert.equal(s.panel.note, 'No artwork is free to place.');
    assert.equal(s.panel.error, 'Wallet busy.');
    assert.equal(s.panel.placing, false);
    assert.deepEqual(s.panel.arts, []);
  }));
});

describe('taken frames and sales', () => {
  const now = () => Math.floor(Date.now() / 1000);
  const taken = (extra) => ({ op: 'place-list', spot: 5, taken: true, arts: [], status: 'AP5 is taken.', title: 'Dawn', price: 1500, exp: now() + 86400 + 60, weeks: 2, mine: false, ended: false, action: 'ask', buyer: '', ...extra });

  test('the note, sale line and Remove follow the show', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver(taken({ mine: true, action: '' }));
    let s = await room.state();
    assert.equal(s.panel.note, 'Dawn is on this frame.');
    assert.equal(s.panel.sale, '1500 sats. Up for 2 weeks. 2 days left.');
    assert.equal(s.panel.placing, false);
    assert.equal(s.panel.remove, true);
    assert.equal(s.panel.buy, null);
    await room.deliver(taken({ title: '', price: -1, weeks: 0, exp: 0, mine: true, action: 'complete' }));
    s = await room.state();
    assert.equal(s.panel.note, 'This frame is taken.');
    assert.equal(s.panel.sale, 'View only.');
    assert.equal(s.panel.remove, false, 'no Remove while a sale waits to complete');
  }));

  test('the sale button follows the action table and sends the action with the buyer', () => withRoom(async (room) => {
    await selectFive(room);
    const seen = {};
    for (const action of ['ask', 'asked', 'pay', 'paid', 'accept', 'accepted', 'complete', 'other', '']) {
      await room.deliver(taken({ action }));
      seen[action] = (await room.state()).panel.buy;
    }
    assert.deepEqual(seen, {
      ask: { text: 'Ask to buy', enabled: true }, asked: { text: 'Asked', enabled: false },
      pay: { text: 'Pay now', enabled: true }, paid: { text: 'Paid', enabled: false },
      accept: { text: 'Accept', enabled: true }, accepted: { text: 'Accepted', enabled: false },
      complete: { text: 'Complete', enabled: true }, other: null, '': null,
    });
    await room.deliver(taken({ action: 'accept', buyer: '02abc' }));
    await room.page.click('#place-buy');
    let s = await room.state();
    assert.equal(s.panel.visible, false);
    assert.deepEqual(s.working, { visible: true, word: 'Accepting', late: false });
    await room.deliver(taken({ action: 'ask', status: 'Accepted. The buyer pays next.' }));
    await room.page.click('#place-buy');
    s = await room.state();
    assert.deepEqual(s.working, { visible: true, word: 'Asking the owner', late: false });
    const steps = (await room.posted()).filter((m) => m.op === 'accept' || m.op === 'ask');
    assert.deepEqual(steps, [{ op: 'accept', spot: 5, buyer: '02abc' }, { op: 'ask', spot: 5, buyer: '' }]);
  }));

  test('Remove sends "remove"; "removed" clears the frame', () => withRoom(async (room) => {
    await room.deliver({ op: 'walls', shows: [{ spot: 5, url: 'spots/ap5.png', title: 'Dawn' }] });
    await room.page.waitForFunction(() => window.__room.state().frames[5].url);
    await selectFive(room);
    await room.deliver(taken({ mine: true, action: 'ask' }));
    await room.page.click('#place-remove');
    let s = await room.state();
    assert.deepEqual(s.working, { visible: true, word: 'Removing AP5', late: false });
    assert.deepEqual((await room.posted()).filter((m) => m.op === 'remove'), [{ op: 'remove', spot: 5 }]);
    await room.deliver({ op: 'removed', spot: 5, status: 'Removed from AP5.' });
    s = await room.state();
    assert.equal(s.working.visible, false);
    assert.equal(s.panel.visible, false);
    assert.equal(s.frames[5].url, '');
    assert.equal(s.frames[5].plaque, 'AP5');
    assert.equal(s.frames[5].glow, 0.35);
  }));

  test('a time left that is not a whole number of seconds is left out, not shown as NaN', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver(taken({ exp: 'soon' }));
    let s = await room.state();
    assert.equal(s.panel.sale, '1500 sats. Up for 2 weeks.');
    await room.deliver(taken({ exp: 1e400, price: '1500' }));
    s = await room.state();
    assert.equal(s.panel.sale, 'View only. Up for 2 weeks.');
    // A frame number given as text is no frame, in this message as in every other.
    await room.deliver(taken({ spot: '5', title: 'Other' }));
    assert.equal((await room.state()).panel.note, 'Dawn is on this frame.');
  }));

  test('"need-connect" shows only the connect note', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'need-connect', status: 'Connect Wendrel first.', spot: 5 });
    let s = await room.state();
    assert.equal(s.working.visible, false);
    assert.equal(s.panel.title, 'AP5');
    assert.equal(s.panel.note, 'Use Connect on the header.');
    assert.equal(s.panel.error, '');
    assert.deepEqual([s.panel.placing, s.panel.remove, s.panel.buy, s.panel.sale], [false, false, null, '']);
    assert.match(s.hud, /Connect Wendrel first\.$/);
    await room.deliver({ op: 'need-connect', status: 'Connect did not finish.' });
    s = await room.state();
    assert.equal(s.panel.title, 'Frame');
  }));
});

describe('waiting for the host', () => {
  // Two metres in front of frame 3, on the west side of the hall, looking at it.
  const BEFORE_THREE = { x: 10 * UNIT + 2, z: 5 * UNIT, yaw: Math.PI / 2, pitch: 0 };

  test('a select without an answer says so after the host\'s time; Escape stops waiting and a late answer stays away', () => withRoom(async (room) => {
    await selectFive(room);
    let s = await room.step(30);
    assert.deepEqual(s.working, { visible: true, word: 'Loading AP5', late: false });
    s = await room.step(31);
    assert.deepEqual(s.working, { visible: true, word: 'Loading AP5', late: true });
    assert.equal(await room.page.textContent('#loading-hint'), 'No answer yet. Escape stops waiting.');
    await room.page.keyboard.press('Escape');
    s = await room.state();
    assert.equal(s.working.visible, false);
    assert.equal(s.frames[5].glow, 0.35);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: ARTS, status: '' });
    assert.equal((await room.state()).panel.visible, false, 'the answer nobody waits for');
    await room.page.keyboard.press('Space');
    assert.equal((await room.posted()).filter((m) => m.op === 'select').length, 2, 'selecting works again');
  }));

  test('a busy reply does not reopen another frame\'s panel', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: ARTS, status: '' });
    await room.page.click('#place-close');
    await room.moveTo(BEFORE_THREE);
    await room.step(0.15);
    await room.page.keyboard.press('Space');
    assert.deepEqual((await room.posted()).filter((m) => m.op === 'select').map((m) => m.spot), [5, 3]);
    await room.deliver({ op: 'place-error', text: 'Still working on the last one.' });
    const s = await room.state();
    assert.equal(s.working.visible, false);
    assert.equal(s.panel.visible, true);
    assert.equal(s.panel.title, 'AP3');
    assert.equal(s.panel.error, 'Still working on the last one.');
    assert.deepEqual([s.panel.arts, s.panel.placing, s.panel.remove, s.panel.buy, s.panel.note], [[], false, false, null, '']);
    assert.equal(s.frames[3].glow, 1.15);
  }));

  test('a busy reply to a step from the panel reopens that panel with the text', () => withRoom(async (room) => {
    await selectFive(room);
    await room.deliver({ op: 'place-list', spot: 5, taken: false, arts: ARTS, status: '' });
    await room.page.selectOption('#place-art', ARTS[0].origin);
    await room.page.click('#week1');
    await room.page.click('#place-go');
    await room.deliver({ op: 'place-error', text: 'Still working on the last one.' });
    const s = await room.state();
    assert.equal(s.panel.title, 'AP5');
    assert.equal(s.panel.placing, true);
    assert.equal(s.panel.arts.length, 2);
    assert.equal(s.panel.error, 'Still working on the last one.');
  }));
});
