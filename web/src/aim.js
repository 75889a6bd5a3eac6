// What the viewer is looking at: a ray from the eye against the frame rectangles. Pure.

export const AIM_REACH = 2.4;

export function viewDirection(yaw, pitch) {
  const c = Math.cos(pitch);
  return { x: -Math.sin(yaw) * c, y: Math.sin(pitch), z: -Math.cos(yaw) * c };
}

/**
 * The nearest frame (of the given floor) that the view ray hits within reach, or 0.
 * Each frame: { frame, level, x, z, dc, dr, width, bottom, height }.
 */
export function aimedFrame(view, frames, reach = AIM_REACH) {
  const d = viewDirection(view.yaw, view.pitch);
  let best = 0;
  let bestT = reach;
  for (const f of frames) {
    if (f.level !== view.level) continue;
    const facingDot = d.x * f.dc + d.z * f.dr;
    if (facingDot >= -1e-6) continue;
    const t = ((f.x - view.x) * f.dc + (f.z - view.z) * f.dr) / facingDot;
    if (t <= 0 || t >= bestT) continue;
    const hx = view.x + d.x * t;
    const hy = view.y + d.y * t;
    const hz = view.z + d.z * t;
    const along = (hx - f.x) * -f.dr + (hz - f.z) * f.dc;
    if (Math.abs(along) > f.width / 2) continue;
    if (hy < f.bottom || hy > f.bottom + f.height) continue;
    best = f.frame;
    bestT = t;
  }
  return best;
}
