// A small builder for static meshes: quads and boxes straight into one buffer, so each floor's
// walls, trims and floors draw in a handful of calls.

import * as THREE from 'three';
import { diffuseAt, linearToDisplay } from './lighting.js';

export function createBuilder({ colors = false } = {}) {
  return { positions: [], normals: [], uvs: [], colors: colors ? [] : null, indices: [] };
}

/**
 * Adds a quad from four corners in counter-clockwise order seen from the front.
 * uv gives [u, v] for each corner; colour is one [r, g, b] or one per corner.
 */
export function addQuad(b, corners, normal, uv, colour) {
  const base = b.positions.length / 3;
  corners.forEach((p, i) => {
    b.positions.push(p[0], p[1], p[2]);
    b.normals.push(normal[0], normal[1], normal[2]);
    b.uvs.push(uv[i][0], uv[i][1]);
    if (b.colors) {
      const c = Array.isArray(colour && colour[0]) ? colour[i] : colour || [1, 1, 1];
      b.colors.push(c[0], c[1], c[2]);
    }
  });
  b.indices.push(base, base + 1, base + 2, base, base + 2, base + 3);
}

/**
 * Axis-aligned box from min to max; uvScale maps metres to texture repeats.
 * skip lists faces to leave out ('px','nx','py','ny','pz','nz').
 */
export function addBox(b, min, max, uvScale = 1, skip = [], colour) {
  const [x0, y0, z0] = min;
  const [x1, y1, z1] = max;
  const s = uvScale;
  const faces = {
    px: [[[x1, y0, z1], [x1, y0, z0], [x1, y1, z0], [x1, y1, z1]], [1, 0, 0], [[z1 * -s, y0 * s], [z0 * -s, y0 * s], [z0 * -s, y1 * s], [z1 * -s, y1 * s]]],
    nx: [[[x0, y0, z0], [x0, y0, z1], [x0, y1, z1], [x0, y1, z0]], [-1, 0, 0], [[z0 * s, y0 * s], [z1 * s, y0 * s], [z1 * s, y1 * s], [z0 * s, y1 * s]]],
    py: [[[x0, y1, z1], [x1, y1, z1], [x1, y1, z0], [x0, y1, z0]], [0, 1, 0], [[x0 * s, -z1 * s], [x1 * s, -z1 * s], [x1 * s, -z0 * s], [x0 * s, -z0 * s]]],
    ny: [[[x0, y0, z0], [x1, y0, z0], [x1, y0, z1], [x0, y0, z1]], [0, -1, 0], [[x0 * s, z0 * s], [x1 * s, z0 * s], [x1 * s, z1 * s], [x0 * s, z1 * s]]],
    pz: [[[x0, y0, z1], [x1, y0, z1], [x1, y1, z1], [x0, y1, z1]], [0, 0, 1], [[x0 * s, y0 * s], [x1 * s, y0 * s], [x1 * s, y1 * s], [x0 * s, y1 * s]]],
    nz: [[[x1, y0, z0], [x0, y0, z0], [x0, y1, z0], [x1, y1, z0]], [0, 0, -1], [[-x1 * s, y0 * s], [-x0 * s, y0 * s], [-x0 * s, y1 * s], [-x1 * s, y1 * s]]],
  };
  for (const [name, [corners, normal, uv]] of Object.entries(faces)) {
    if (!skip.includes(name)) addQuad(b, corners, normal, uv, colour);
  }
}

export function toGeometry(b) {
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.Float32BufferAttribute(b.positions, 3));
  g.setAttribute('normal', new THREE.Float32BufferAttribute(b.normals, 3));
  g.setAttribute('uv', new THREE.Float32BufferAttribute(b.uvs, 2));
  if (b.colors) g.setAttribute('color', new THREE.Float32BufferAttribute(b.colors, 3));
  g.setIndex(b.indices);
  g.computeBoundingSphere();
  return g;
}

export function isEmpty(b) {
  return b.indices.length === 0;
}

/**
 * Fills a builder's vertex colours with the light at each vertex times any (linear) colour
 * already set, stored as the screen shows it.
 */
export function bakeLight(b, lights) {
  if (!b.colors) return;
  const count = b.positions.length / 3;
  for (let v = 0; v < count; v++) {
    const p = [b.positions[v * 3], b.positions[v * 3 + 1], b.positions[v * 3 + 2]];
    const n = [b.normals[v * 3], b.normals[v * 3 + 1], b.normals[v * 3 + 2]];
    const light = diffuseAt(lights, p, n);
    for (let k = 0; k < 3; k++) b.colors[v * 3 + k] = linearToDisplay(b.colors[v * 3 + k] * light[k]);
  }
}

/** Multiplies a builder's vertex colours by a colour given as linear [r, g, b]. */
export function tint(b, rgb) {
  if (!b.colors) return;
  for (let i = 0; i < b.colors.length; i++) b.colors[i] *= rgb[i % 3];
}

/** Appends the quads of source to target (both with or both without colours). */
export function append(target, source) {
  const base = target.positions.length / 3;
  target.positions.push(...source.positions);
  target.normals.push(...source.normals);
  target.uvs.push(...source.uvs);
  if (target.colors) target.colors.push(...source.colors);
  for (const i of source.indices) target.indices.push(i + base);
}
