// The room's simulation state and one fixed step of it: turning, walking, the gate, the lift,
// the facing report and the aim check. Pure; rendering reads the state afterwards.

import { UNIT } from './maps.js';
import { turnView, walk } from './movement.js';
import { createLift, updateLift, rideHoldsViewer } from './lift.js';
import { createGate, gateCrossed } from './gate.js';
import { facing } from './words.js';
import { aimedFrame } from './aim.js';

export const EYE_HEIGHT = 1.62;
// The visitor starts at the back of the entrance room, a couple of metres from the gate sign.
export const START = Object.freeze({ x: 12.2 * UNIT, z: 16.4 * UNIT });
export const AIM_INTERVAL = 0.12;

export function createSim() {
  return {
    view: { x: START.x, y: EYE_HEIGHT, z: START.z, yaw: 0, pitch: 0, level: 0 },
    lookScale: 1,
    frameRate: 60,
    keys: new Set(),
    pressedE: false,
    lift: createLift(),
    gate: createGate(),
    faceWord: '',
    aimClock: AIM_INTERVAL,
    aimed: 0,
    time: 0,
  };
}

/**
 * Advances the simulation by tick seconds. frames are the hung frame rectangles for the aim
 * check. Returns the messages for the host and whether the floor changed.
 */
export function stepSim(sim, tick, frames) {
  const out = { messages: [], floorChanged: false, aimChecked: false };
  const view = sim.view;
  sim.time += tick;
  turnView(view, sim.keys, sim.lookScale, tick);
  if (!sim.gate.locked && !rideHoldsViewer(sim.lift)) {
    walk(view, sim.keys, view.level, sim.lift.open, tick);
  }
  if (gateCrossed(sim.gate, view.level, view.z)) out.messages.push({ op: 'enter' });
  out.floorChanged = updateLift(sim.lift, view, sim.pressedE, tick);
  sim.pressedE = false;
  const face = facing(view.yaw);
  // After "unpaid" the host only closes the program; the page stops reporting.
  if (face.word !== sim.faceWord && !sim.gate.locked) {
    sim.faceWord = face.word;
    out.messages.push({ op: 'face', word: face.word, deg: face.deg });
  }
  sim.aimClock += tick;
  if (sim.aimClock >= AIM_INTERVAL) {
    sim.aimClock = 0;
    sim.aimed = aimedFrame(view, frames);
    out.aimChecked = true;
  }
  return out;
}
