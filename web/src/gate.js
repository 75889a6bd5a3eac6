// Admission at the gate line south of the hall. Pure.

import { UNIT } from './maps.js';

export const GATE_Z = 14.7 * UNIT;
export const GATE_X = 12 * UNIT;
// The sign hangs just under the doorway's lintel, clear of the view into the hall.
export const GATE_HEIGHT = 2.02;

export function createGate() {
  return { paid: false, asked: false, locked: false };
}

/** Returns true exactly once per load: the first time the viewer is past the line unpaid. */
export function gateCrossed(gate, level, z) {
  if (level !== 0 || gate.paid || gate.asked || z >= GATE_Z) return false;
  gate.asked = true;
  return true;
}

/** Sign opacity at a time in milliseconds; dim is true on the rare dropout frames. */
export function gateOpacity(ms, dim) {
  const base = 0.42 + 0.58 * Math.abs(Math.sin(0.009 * ms));
  return dim ? base * 0.18 : base;
}

export const GATE_DROPOUT = 0.035;
