// Adaptive render resolution: when frames come too slowly (a software renderer, a weak GPU),
// the drawing buffer shrinks in steps and grows back once there is time to spare. The pixel
// ratio never goes above the cap for the frame rate. Pure.

export const SCALE_STEPS = Object.freeze([1, 0.85, 0.72, 0.6, 0.5]);
const WINDOW = 1.0;
const SLOW_FPS = 30;
const FAST_FPS = 50;

export function createScaler() {
  return { step: 0, frames: 0, seconds: 0, fastWindows: 0 };
}

/** Counts one drawn frame that took `seconds`; returns the new scale when it changes, else 0. */
export function noteFrame(scaler, seconds) {
  scaler.frames++;
  scaler.seconds += seconds;
  if (scaler.seconds < WINDOW) return 0;
  const fps = scaler.frames / scaler.seconds;
  scaler.frames = 0;
  scaler.seconds = 0;
  if (fps < SLOW_FPS && scaler.step < SCALE_STEPS.length - 1) {
    scaler.step++;
    scaler.fastWindows = 0;
    return SCALE_STEPS[scaler.step];
  }
  // Growing back needs three fast windows in a row, so the size does not flicker.
  scaler.fastWindows = fps > FAST_FPS ? scaler.fastWindows + 1 : 0;
  if (scaler.fastWindows >= 3 && scaler.step > 0) {
    scaler.step--;
    scaler.fastWindows = 0;
    return SCALE_STEPS[scaler.step];
  }
  return 0;
}

export function currentScale(scaler) {
  return SCALE_STEPS[scaler.step];
}
