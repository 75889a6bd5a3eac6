// The lift between the floors: door, ride phases and banner texts. Pure.

import { UNIT } from './maps.js';

export const CABIN = Object.freeze({ west: 15 * UNIT, east: 17 * UNIT, north: 8 * UNIT, south: 10 * UNIT });
export const DOOR_MIDDLE = Object.freeze({ x: CABIN.west, z: (CABIN.north + CABIN.south) / 2 });
const DOOR_REACH = 2.4;
const STAND_TO_RIDE = 0.85;

/** How far the door leaves have slid for an opening amount 0..1. */
export function doorSlide(open) {
  return Math.max(0, (open - 0.18) / 0.82);
}

export function insideCabin(x, z) {
  return x > CABIN.west + 0.32 && x < CABIN.east - 0.18 && z > CABIN.north + 0.22 && z < CABIN.south - 0.22;
}

export function createLift() {
  return { open: 0, ride: null, standing: 0, mustLeave: false };
}

export function rideBanner(ride) {
  if (!ride) return '';
  return ride.from === 0 ? 'Going to floor two.' : 'Going to the ground floor.';
}

/** The viewer may not walk while the door closes or the cabin moves. */
export function rideHoldsViewer(lift) {
  return !!lift.ride && (lift.ride.phase === 'close' || lift.ride.phase === 'go');
}

function shortestTurn(from, to) {
  let d = (to - from) % (2 * Math.PI);
  if (d > Math.PI) d -= 2 * Math.PI;
  if (d < -Math.PI) d += 2 * Math.PI;
  return d;
}

/**
 * One tick of the lift. view carries x, z, yaw and level; pressedE says E was pressed since
 * the last tick. Changes view.level when the cabin arrives at the other floor and returns
 * true on that tick.
 */
export function updateLift(lift, view, pressedE, tick) {
  const inside = insideCabin(view.x, view.z);
  if (inside) {
    lift.standing += tick;
  } else {
    lift.standing = 0;
    lift.mustLeave = false;
  }
  if (!lift.ride && inside && (pressedE || (!lift.mustLeave && lift.standing > STAND_TO_RIDE))) {
    lift.ride = { phase: 'close', t: 0, from: view.level, turned: false };
  }
  const near = Math.hypot(view.x - DOOR_MIDDLE.x, view.z - DOOR_MIDDLE.z) <= DOOR_REACH;
  const target = rideHoldsViewer(lift) ? 0 : near || inside ? 1 : 0;
  lift.open += (target - lift.open) * Math.min(1, 3.2 * tick);

  const ride = lift.ride;
  if (!ride) return false;
  ride.t += tick;
  let arrived = false;
  if (ride.phase === 'close') {
    if (ride.t > 0.45 && lift.open < 0.08) {
      ride.phase = 'go';
      ride.t = 0;
    }
  } else if (ride.phase === 'go') {
    view.yaw += shortestTurn(view.yaw, -Math.PI / 2) * Math.min(1, 1.6 * tick);
    if (!ride.turned && ride.t > 1.35) {
      ride.turned = true;
      view.level = 1 - ride.from;
      arrived = true;
    }
    if (ride.t > 1.85) {
      ride.phase = 'open';
      ride.t = 0;
    }
  } else if (lift.open > 0.92) {
    lift.ride = null;
    lift.mustLeave = true;
  }
  return arrived;
}
