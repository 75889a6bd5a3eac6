// The five carved frame designs. Each model is one unit wide and one high, stands on y = 0,
// backs onto z = 0 and faces -z; the page scales it to the wall.

import { emptyMesh, addGrid, computeNormals, ellipsoid, merge, translate, rotateZ, quad, flipped } from './mesh.mjs';

const X0 = -0.5;
const X1 = 0.5;
const Y0 = 0;
const Y1 = 1;

export const FRAME_MATERIALS = {
  Canvas: { color: [1, 1, 1], roughness: 0.85 },
  Gold: { color: [0.86, 0.64, 0.26], metallic: 0.55, roughness: 0.34 },
  Silver: { color: [0.82, 0.83, 0.86], metallic: 0.55, roughness: 0.3 },
  Wood: { color: [0.24, 0.13, 0.07], roughness: 0.55 },
  Lacquer: { color: [0.035, 0.03, 0.03], roughness: 0.28 },
  Liner: { color: [0.85, 0.81, 0.71], roughness: 1 },
};

const CORNERS = [[X0, Y0, 1, 1], [X1, Y0, -1, 1], [X1, Y1, -1, -1], [X0, Y1, 1, -1]];

/** A point on the ring at inset a from the outer edge, at parameter s (0..1) along side k. */
function ringPoint(k, a, s) {
  const [px, py, pdx, pdy] = CORNERS[k];
  const [qx, qy, qdx, qdy] = CORNERS[(k + 1) % 4];
  const x0 = px + pdx * a;
  const y0 = py + pdy * a;
  const x1 = qx + qdx * a;
  const y1 = qy + qdy * a;
  return [x0 + (x1 - x0) * s, y0 + (y1 - y0) * s];
}

// The moulding's projected area faces the viewer at -z; flip a side that came out backwards.
function facingFront(m) {
  let z = 0;
  const P = m.positions;
  for (let k = 0; k < m.indices.length; k += 3) {
    const [a, b, c] = [m.indices[k] * 3, m.indices[k + 1] * 3, m.indices[k + 2] * 3];
    const ux = P[b] - P[a];
    const uy = P[b + 1] - P[a + 1];
    const vx = P[c] - P[a];
    const vy = P[c + 1] - P[a + 1];
    z += ux * vy - uy * vx;
  }
  return z > 0 ? flipped(m) : m;
}

// The page bakes light into vertex colours, so long flat runs are cut into pieces for the
// light to vary along them.
const SIDE_PIECES = 8;
const CANVAS_PIECES = 8;

/**
 * Sweeps a moulding profile of [inset, depth] points (outer edge first) around the frame with
 * mitred corners. from and to pick part of the profile.
 */
export function sweep(profile) {
  const sides = [];
  for (let k = 0; k < 4; k++) {
    const m = emptyMesh();
    addGrid(m, profile.length, SIDE_PIECES + 1, (i, j) => {
      const [a, d] = profile[i];
      const [x, y] = ringPoint(k, a, j / SIDE_PIECES);
      return [x, y, -d];
    });
    sides.push(facingFront(computeNormals(m)));
  }
  return merge(sides);
}

/** Ornaments repeated along every side: count per unit length at inset a and depth d. */
function along(perUnit, a, d, make, { skipCorners = 0 } = {}) {
  const out = [];
  for (let k = 0; k < 4; k++) {
    const [x0, y0] = ringPoint(k, a, 0);
    const [x1, y1] = ringPoint(k, a, 1);
    const len = Math.hypot(x1 - x0, y1 - y0);
    const n = Math.max(1, Math.round(len * perUnit));
    const angle = Math.atan2(y1 - y0, x1 - x0);
    for (let i = 0; i < n; i++) {
      const s = (i + 0.5) / n;
      if (s * len < skipCorners || (1 - s) * len < skipCorners) continue;
      const x = x0 + (x1 - x0) * s;
      const y = y0 + (y1 - y0) * s;
      out.push(translate(rotateZ(make(i), angle), x, y, -d));
    }
  }
  return merge(out);
}

const bead = (r) => () => ellipsoid(r, r, r * 0.8, { rows: 2, cols: 4 });
const egg = (w, h) => (i) => (i % 2 === 0
  ? ellipsoid(w, h, w * 0.7, { rows: 3, cols: 6 })
  : ellipsoid(w * 0.25, h * 0.9, w * 0.25, { rows: 2, cols: 3 }));

/** An acanthus-like cluster of leaves fanning out of a boss, for the corners and side middles. */
function leafCluster(size, leaves, spread, lift) {
  const parts = [ellipsoid(size * 0.32, size * 0.32, size * 0.26, { rows: 4, cols: 6 })];
  for (let i = 0; i < leaves; i++) {
    const a = -spread / 2 + (spread * i) / Math.max(1, leaves - 1);
    const leaf = ellipsoid(size * 0.16, size * 0.55, size * 0.12, {
      rows: 4,
      cols: 4,
      shape: (u, v, p) => [p[0] * (1 + 0.35 * Math.sin(v * Math.PI * 3)), p[1], p[2] - Math.sin(v * Math.PI) * size * lift],
    });
    parts.push(rotateZ(translate(leaf, 0, size * 0.55, 0), a));
  }
  return merge(parts);
}

function corners(make, a, d) {
  const out = [];
  for (let k = 0; k < 4; k++) {
    const [cx, cy] = ringPoint(k, a, 0);
    // Point the cluster along the corner's inward diagonal.
    const angle = (k * Math.PI) / 2 - Math.PI / 4;
    out.push(translate(rotateZ(make(), angle), cx, cy, -d));
  }
  return merge(out);
}

function sideMiddles(make, a, d) {
  const out = [];
  for (let k = 0; k < 4; k++) {
    const [x, y] = ringPoint(k, a, 0.5);
    const angle = (k * Math.PI) / 2;
    out.push(translate(rotateZ(make(), angle), x, y, -d));
  }
  return merge(out);
}

function flatBand(a0, a1, d) {
  return sweep([[a0, d], [a1, d]]);
}

function canvasAt(inset, d) {
  const m = emptyMesh();
  const x0 = X0 + inset;
  const x1 = X1 - inset;
  const y0 = Y0 + inset;
  const y1 = Y1 - inset;
  const n = CANVAS_PIECES;
  for (let i = 0; i < n; i++) {
    for (let j = 0; j < n; j++) {
      const xa = x0 + ((x1 - x0) * j) / n;
      const xb = x0 + ((x1 - x0) * (j + 1)) / n;
      const ya = y0 + ((y1 - y0) * i) / n;
      const yb = y0 + ((y1 - y0) * (i + 1)) / n;
      quad(m, [xb, ya, -d], [xa, ya, -d], [xa, yb, -d], [xb, yb, -d], [0, 0, -1]);
    }
  }
  return m;
}

// A band behind the moulding closes the gaps around the canvas; the canvas covers the middle,
// so the band leaves it out rather than drawing a hidden sheet under every picture.
function backing(d) {
  return flatBand(0.0, 0.25, d);
}

/**
 * Frame designs; each returns parts { name, material, mesh }. Parts named "ornament" are
 * carved detail that the page leaves out when the frame is far away.
 */
export const FRAME_DESIGNS = {
  // Baroque gilt: deep cove, egg-and-dart band, leaf clusters at the corners, shells mid-side.
  1: () => {
    const W = 0.13;
    const profile = [[0, 0], [0, 0.03], [0.006, 0.045], [0.016, 0.055], [0.028, 0.05], [0.04, 0.036], [0.06, 0.032],
      [0.078, 0.042], [0.092, 0.056], [0.104, 0.05], [0.116, 0.034], [0.124, 0.022], [W, 0.016], [W, 0.012]];
    return [
      { name: 'moulding', material: 'Gold', mesh: sweep(profile) },
      { name: 'ornament', material: 'Gold', mesh: merge(
        along(18, 0.016, 0.055, egg(0.01, 0.013), { skipCorners: 0.08 }),
        along(30, 0.104, 0.05, bead(0.006), { skipCorners: 0.03 }),
        corners(() => leafCluster(0.085, 5, 1.9, 0.4), 0.05, 0.05),
        sideMiddles(() => leafCluster(0.06, 5, 2.6, 0.35), 0.05, 0.045)) },
      { name: 'liner', material: 'Liner', mesh: flatBand(W - 0.002, W + 0.05, 0.014) },
      { name: 'canvas', material: 'Canvas', mesh: canvasAt(W + 0.048, 0.012) },
      { name: 'back', material: 'Wood', mesh: backing(0.002) },
    ];
  },
  // Walnut with a gilt sight slip and an outer gilt bead.
  2: () => {
    const W = 0.1;
    const wood = [[0.012, 0.04], [0.03, 0.05], [0.055, 0.046], [0.075, 0.036], [0.088, 0.03]];
    const slip = [[0.088, 0.03], [0.094, 0.034], [W, 0.024], [W, 0.014]];
    return [
      { name: 'walnut', material: 'Wood', mesh: merge(sweep([[0, 0], [0, 0.034], ...wood])) },
      { name: 'gilt', material: 'Gold', mesh: merge(sweep([[0, 0.034], [0.004, 0.042], [0.012, 0.04]]), sweep(slip)) },
      { name: 'ornament', material: 'Gold', mesh: merge(along(32, 0.006, 0.042, bead(0.006), { skipCorners: 0.02 }), corners(() => leafCluster(0.05, 3, 1.4, 0.3), 0.03, 0.05)) },
      { name: 'canvas', material: 'Canvas', mesh: canvasAt(W - 0.002, 0.012) },
      { name: 'back', material: 'Wood', mesh: backing(0.002) },
    ];
  },
  // Silver leaf in the Louis XVI manner: fluted rail, ribbon of beads, rosettes at the corners.
  3: () => {
    const W = 0.09;
    const profile = [[0, 0], [0, 0.028], [0.01, 0.04], [0.022, 0.044], [0.034, 0.04], [0.05, 0.03], [0.064, 0.036],
      [0.076, 0.034], [0.084, 0.024], [W, 0.016], [W, 0.012]];
    return [
      { name: 'rail', material: 'Silver', mesh: sweep(profile) },
      { name: 'ornament', material: 'Silver', mesh: merge(along(34, 0.064, 0.036, bead(0.006), { skipCorners: 0.04 }),
        corners(() => leafCluster(0.04, 8, Math.PI * 1.75, 0.25), 0.045, 0.044)) },
      { name: 'liner', material: 'Liner', mesh: flatBand(W - 0.002, W + 0.035, 0.014) },
      { name: 'canvas', material: 'Canvas', mesh: canvasAt(W + 0.033, 0.012) },
      { name: 'back', material: 'Wood', mesh: backing(0.002) },
    ];
  },
  // Ebonised cassetta with a gilt outer lip and a gilt sight edge.
  4: () => {
    const W = 0.11;
    const flat = [[0.014, 0.036], [0.02, 0.034], [0.09, 0.034], [0.096, 0.036]];
    return [
      { name: 'ebony', material: 'Lacquer', mesh: sweep([[0, 0], [0, 0.03], [0.004, 0.036], ...flat]) },
      { name: 'lips', material: 'Gold', mesh: merge(sweep([[0.004, 0.036], [0.008, 0.044], [0.014, 0.036]]),
        sweep([[0.096, 0.036], [0.102, 0.042], [W, 0.028], [W, 0.014]])) },
      { name: 'ornament', material: 'Gold', mesh: merge(sideMiddles(() => leafCluster(0.045, 5, 2.4, 0.3), 0.055, 0.036)) },
      { name: 'canvas', material: 'Canvas', mesh: canvasAt(W - 0.002, 0.012) },
      { name: 'back', material: 'Wood', mesh: backing(0.002) },
    ];
  },
  // Wide gilt with a sanded frieze between two beaded ridges and rosettes around it.
  5: () => {
    const W = 0.14;
    const profile = [[0, 0], [0, 0.032], [0.01, 0.05], [0.022, 0.058], [0.032, 0.05], [0.04, 0.04], [0.1, 0.04],
      [0.108, 0.05], [0.118, 0.056], [0.128, 0.044], [0.136, 0.026], [W, 0.016], [W, 0.012]];
    const rosette = () => leafCluster(0.03, 5, Math.PI * 1.6, 0.2);
    return [
      { name: 'moulding', material: 'Gold', mesh: sweep(profile) },
      { name: 'ornament', material: 'Gold', mesh: merge(
        along(34, 0.022, 0.058, bead(0.0062), { skipCorners: 0.03 }),
        along(34, 0.118, 0.056, bead(0.0058), { skipCorners: 0.03 }),
        along(6, 0.07, 0.04, rosette, { skipCorners: 0.1 }),
        corners(() => leafCluster(0.08, 7, 2.2, 0.35), 0.07, 0.042)) },
      { name: 'canvas', material: 'Canvas', mesh: canvasAt(W - 0.002, 0.012) },
      { name: 'back', material: 'Wood', mesh: backing(0.002) },
    ];
  },
};

/** The plain frame.glb: a simple gilt moulding. */
export function plainFrame() {
  const W = 0.08;
  return [
    { name: 'moulding', material: 'Gold', mesh: sweep([[0, 0], [0, 0.03], [0.02, 0.045], [0.05, 0.038], [W, 0.02], [W, 0.012]]) },
    { name: 'canvas', material: 'Canvas', mesh: canvasAt(W - 0.002, 0.012) },
    { name: 'back', material: 'Wood', mesh: backing(0.002) },
  ];
}
