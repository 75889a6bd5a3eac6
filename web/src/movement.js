// Frame pacing, turning, dragging and walking with collision probes. Pure.

import { UNIT, BENCH, walkableAt } from './maps.js';
import { CABIN, doorSlide } from './lift.js';

export const PITCH_LIMIT = 1.15;
export const MAX_TICK = 0.05;
export const WALK_SPEED = 2.3 * UNIT;
export const RUN_SPEED = 4.2 * UNIT;
export const PROBE = 0.22;

/** Frame rates the page runs at; anything else counts as 60. */
export function frameRateOf(fps) {
  return fps === 30 || fps === 90 || fps === 120 ? fps : 60;
}

/** Highest renderer pixel ratio for a frame rate, never above the device's. */
export function pixelRatioCap(frameRate, deviceRatio) {
  const cap = frameRate >= 90 ? 1 : frameRate === 30 ? 1.5 : 1.25;
  return Math.min(deviceRatio || 1, cap);
}

export function createPacer() {
  return { bank: 0 };
}

/** Banks elapsed time; returns the tick to simulate, or 0 when this frame is skipped. */
export function pace(pacer, elapsed, frameRate) {
  pacer.bank += Math.min(Math.max(elapsed, 0), MAX_TICK);
  if (pacer.bank < 1 / frameRate) return 0;
  const tick = Math.min(pacer.bank, MAX_TICK);
  pacer.bank = 0;
  return tick;
}

export function clampPitch(pitch) {
  return Math.max(-PITCH_LIMIT, Math.min(PITCH_LIMIT, pitch));
}

/** A view angle brought into -π … π, so turning for ever keeps it a small number. */
export function wrapYaw(yaw) {
  if (!Number.isFinite(yaw)) return 0;
  const turn = 2 * Math.PI;
  const y = yaw % turn;
  return y > Math.PI ? y - turn : y <= -Math.PI ? y + turn : y;
}

/** Arrow keys turn the view. */
export function turnView(view, keys, lookScale, tick) {
  const turn = 1.45 * lookScale * tick;
  if (keys.has('ArrowLeft')) view.yaw += turn;
  if (keys.has('ArrowRight')) view.yaw -= turn;
  if (keys.has('ArrowUp')) view.pitch += 0.72 * turn;
  if (keys.has('ArrowDown')) view.pitch -= 0.72 * turn;
  view.yaw = wrapYaw(view.yaw);
  view.pitch = clampPitch(view.pitch);
}

/** A drag of (dx, dy) pixels with the left button. */
export function dragView(view, dx, dy, lookScale) {
  view.yaw = wrapYaw(view.yaw - 0.004 * lookScale * dx);
  view.pitch = clampPitch(view.pitch - 0.004 * lookScale * dy);
}

/** Whether one probe point is blocked by the map, the lift door and cabin walls, or the bench. */
export function probeBlocked(level, x, z, doorOpen) {
  if (!walkableAt(level, x, z)) return true;
  const { west, east, north, south } = CABIN;
  if (x > west - 0.06 && x < west + 0.16 && z > north + 0.06 && z < south - 0.06 && doorSlide(doorOpen) <= 0.72) {
    return true;
  }
  if (x > west + 0.08 && x < east - 0.02 && (Math.abs(z - north) < 0.1 || Math.abs(z - south) < 0.1)) return true;
  if (Math.abs(x - BENCH.x) < BENCH.halfX && Math.abs(z - BENCH.z) < BENCH.halfZ) return true;
  return false;
}

/** A viewer may stand where all four probes are free. */
export function positionAllowed(level, x, z, doorOpen) {
  return !probeBlocked(level, x + PROBE, z, doorOpen)
    && !probeBlocked(level, x - PROBE, z, doorOpen)
    && !probeBlocked(level, x, z + PROBE, doorOpen)
    && !probeBlocked(level, x, z - PROBE, doorOpen);
}

/**
 * WASD walking relative to yaw; x is tried before z so the viewer slides along walls.
 * Returns true when the viewer moved.
 */
export function walk(view, keys, level, doorOpen, tick) {
  const mx = (keys.has('KeyD') ? 1 : 0) - (keys.has('KeyA') ? 1 : 0);
  const mz = (keys.has('KeyS') ? 1 : 0) - (keys.has('KeyW') ? 1 : 0);
  if (mx === 0 && mz === 0) return false;
  const len = Math.hypot(mx, mz);
  const speed = keys.has('ShiftLeft') ? RUN_SPEED : WALK_SPEED;
  const c = Math.cos(view.yaw);
  const s = Math.sin(view.yaw);
  const stepX = ((mx * c + mz * s) / len) * speed * tick;
  const stepZ = ((mz * c - mx * s) / len) * speed * tick;
  let moved = false;
  if (positionAllowed(level, view.x + stepX, view.z, doorOpen)) {
    view.x += stepX;
    moved = true;
  }
  if (positionAllowed(level, view.x, view.z + stepZ, doorOpen)) {
    view.z += stepZ;
    moved = true;
  }
  return moved;
}
