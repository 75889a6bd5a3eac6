// The lights of each floor as plain data, and the diffuse light they give a surface point.
// Every surface has this light baked into its vertex colours when it is built or hung, which
// keeps the per-pixel cost low on software renderers.
// Pure: the formulas follow three.js's physically based Lambert shading.

import { UNIT, frameCells, hangPoint } from './maps.js';

const INV_PI = 1 / Math.PI;

export function srgbToLinear(c) {
  return c < 0.04045 ? c * 0.0773993808 : Math.pow(c * 0.9478672986 + 0.0521327014, 2.4);
}

/**
 * A linear light value as the screen shows it (the sRGB curve, continued above 1 so that a
 * bright value stays bright). The room shades in display space: see room.js.
 */
export function linearToDisplay(c) {
  return c <= 0.0031308 ? c * 12.92 : 1.055 * Math.pow(c, 1 / 2.4) - 0.055;
}

export function linearColour(hex) {
  return [(hex >> 16) & 255, (hex >> 8) & 255, hex & 255].map((v) => srgbToLinear(v / 255));
}

export const SPOT = Object.freeze({ colour: 0xfff3d4, intensity: 46, distance: 11, angle: 0.95, penumbra: 0.45, decay: 2, out: 1.25, height: 3.3, tilt: 0.3 });

export const FLOOR_LIGHTING = Object.freeze([
  Object.freeze({ ambient: 0.34, hemisphere: 0.42, skyFill: 0.06, sun: 0.32, spots: SPOT.intensity }),
  Object.freeze({ ambient: 0.62, hemisphere: 0.85, skyFill: 0.4, sun: 1.2, spots: 0 }),
]);

export const LIGHT_COLOURS = Object.freeze({
  ambient: 0xfff4e6, sky: 0xe8f0ff, ground: 0x8a7458, skyFill: 0xcfe2ff, sun: 0xfff0d8,
});

export const SKY_FILL = Object.freeze({ position: [12 * UNIT, 12, 8 * UNIT], target: [12 * UNIT, 0, 9 * UNIT] });
export const SUN = Object.freeze({ position: [18 * UNIT, 14, 2 * UNIT], target: [12 * UNIT, 0, 10 * UNIT] });

/** Where a frame's spot hangs and what it aims at: 1.25 m out, tilted 0.3 rad towards the wall. */
export function spotFor(frame) {
  const x = frame.x + frame.dc * SPOT.out;
  const z = frame.z + frame.dr * SPOT.out;
  const toward = Math.tan(SPOT.tilt);
  return { position: [x, SPOT.height, z], target: [x - frame.dc * toward, SPOT.height - 1, z - frame.dr * toward] };
}

/** The frames of a floor as { frame, x, z, dc, dr }. */
export function floorFrames(level) {
  return frameCells(level).map((c) => ({ frame: c.frame, ...hangPoint(c.frame, level, c.q, c.r) }));
}

function unit(v) {
  const l = Math.hypot(v[0], v[1], v[2]) || 1;
  return [v[0] / l, v[1] / l, v[2] / l];
}

const scaled = (rgb, k) => rgb.map((v) => v * k);

/** Everything needed to light a point on a floor, in linear colour. */
export function floorLights(level, frames = floorFrames(level)) {
  const v = FLOOR_LIGHTING[level];
  const dir = (l) => unit([l.position[0] - l.target[0], l.position[1] - l.target[1], l.position[2] - l.target[2]]);
  return {
    ambient: scaled(linearColour(LIGHT_COLOURS.ambient), v.ambient),
    sky: scaled(linearColour(LIGHT_COLOURS.sky), v.hemisphere),
    ground: scaled(linearColour(LIGHT_COLOURS.ground), v.hemisphere),
    directionals: [
      { direction: dir(SKY_FILL), colour: scaled(linearColour(LIGHT_COLOURS.skyFill), v.skyFill) },
      { direction: dir(SUN), colour: scaled(linearColour(LIGHT_COLOURS.sun), v.sun) },
    ],
    spots: v.spots > 0 ? frames.map((f) => {
      const s = spotFor(f);
      return {
        position: s.position,
        direction: dir(s),
        colour: scaled(linearColour(SPOT.colour), v.spots),
        coneCos: Math.cos(SPOT.angle),
        penumbraCos: Math.cos(SPOT.angle * (1 - SPOT.penumbra)),
      };
    }) : [],
  };
}

function smoothstep(a, b, x) {
  const t = Math.max(0, Math.min(1, (x - a) / (b - a)));
  return t * t * (3 - 2 * t);
}

/** Diffuse light at point p with unit normal n; multiply by the surface colour. */
export function diffuseAt(lights, p, n) {
  const w = 0.5 * n[1] + 0.5;
  const out = lights.ambient.map((a, k) => a + lights.ground[k] + (lights.sky[k] - lights.ground[k]) * w);
  for (const d of lights.directionals) {
    const dot = Math.max(0, n[0] * d.direction[0] + n[1] * d.direction[1] + n[2] * d.direction[2]);
    for (let k = 0; k < 3; k++) out[k] += d.colour[k] * dot;
  }
  for (const s of lights.spots) {
    const l = [s.position[0] - p[0], s.position[1] - p[1], s.position[2] - p[2]];
    const dist = Math.hypot(l[0], l[1], l[2]) || 1e-6;
    const u = [l[0] / dist, l[1] / dist, l[2] / dist];
    const cone = smoothstep(s.coneCos, s.penumbraCos, u[0] * s.direction[0] + u[1] * s.direction[1] + u[2] * s.direction[2]);
    const dot = Math.max(0, n[0] * u[0] + n[1] * u[1] + n[2] * u[2]);
    if (cone <= 0 || dot <= 0) continue;
    let fall = 1 / Math.max(dist ** SPOT.decay, 0.01);
    const r = Math.min(1, Math.max(0, 1 - (dist / SPOT.distance) ** 4));
    fall *= r * r;
    for (let k = 0; k < 3; k++) out[k] += s.colour[k] * cone * fall * dot;
  }
  return out.map((c) => c * INV_PI);
}
