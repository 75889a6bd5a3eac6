// Adaptive render quality: when frames come too slowly (a software renderer, a weak GPU), the
// page first gives up multisampling (drawing.js), then shrinks the drawing buffer in steps, and takes the steps back once there is time to spare. The order
// follows what frames cost on a software renderer: multisampling makes every triangle several
// times dearer whatever the size of the buffer, so it goes first; pixels go after. The pixel
// ratio never goes above the cap for the frame rate. Pure.

export const QUALITY_STEPS = Object.freeze([
  Object.freeze({ multisample: true, scale: 1 }),
  Object.freeze({ multisample: false, scale: 1 }),
  Object.freeze({ multisample: false, scale: 0.85 }),
  Object.freeze({ multisample: false, scale: 0.72 }),
  Object.freeze({ multisample: false, scale: 0.6 }),
]);
const WINDOW = 1.0;
const SLOW_FPS = 30;
const FAST_FPS = 50;

export function createScaler() {
  return { step: 0, frames: 0, seconds: 0, fastWindows: 0 };
}

/** Counts one drawn frame that took `seconds`; returns the new step when it changes, else null. */
export function noteFrame(scaler, seconds) {
  scaler.frames++;
  scaler.seconds += seconds;
  if (scaler.seconds < WINDOW) return null;
  const fps = scaler.frames / scaler.seconds;
  scaler.frames = 0;
  scaler.seconds = 0;
  if (fps < SLOW_FPS && scaler.step < QUALITY_STEPS.length - 1) {
    scaler.step++;
    scaler.fastWindows = 0;
    return QUALITY_STEPS[scaler.step];
  }
  // Growing back needs three fast windows in a row, so the quality does not flicker.
  scaler.fastWindows = fps > FAST_FPS ? scaler.fastWindows + 1 : 0;
  if (scaler.fastWindows >= 3 && scaler.step > 0) {
    scaler.step--;
    scaler.fastWindows = 0;
    return QUALITY_STEPS[scaler.step];
  }
  return null;
}

/** The quality in use: { multisample, scale }. */
export function currentQuality(scaler) {
  return QUALITY_STEPS[scaler.step];
}
