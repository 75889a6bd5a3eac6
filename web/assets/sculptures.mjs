// The four alcove sculptures: a marble bust, a bronze dragon, a vase of tulips and a bonsai.
// Metres; each stands on y = 0 and faces -z.

import {
  lathe, ellipsoid, tube, spline, merge, translate, rotateX, rotateY, rotateZ, scale, emptyMesh, quad,
  computeNormals, addGrid,
} from './mesh.mjs';
import { seeded } from './raster.mjs';

const gauss = (x, s) => Math.exp(-(x * x) / (2 * s * s));
const wrap = (a) => Math.atan2(Math.sin(a), Math.cos(a));

export const SCULPTURE_MATERIALS = {
  Marble: { color: [0.93, 0.91, 0.86], roughness: 0.45 },
  Bronze: { color: [0.5, 0.34, 0.18], metallic: 0.6, roughness: 0.38 },
  Patina: { color: [0.26, 0.42, 0.36], metallic: 0.3, roughness: 0.6 },
  Rock: { color: [0.22, 0.2, 0.19], roughness: 0.9 },
  Glaze: { color: [0.1, 0.22, 0.52], roughness: 0.22 },
  Gilt: { color: [0.86, 0.64, 0.26], metallic: 0.6, roughness: 0.3 },
  Stem: { color: [0.2, 0.42, 0.14], roughness: 0.7 },
  Petal: { color: [0.8, 0.1, 0.14], roughness: 0.55, doubleSided: true },
  PetalPale: { color: [0.96, 0.9, 0.72], roughness: 0.55, doubleSided: true },
  Bark: { color: [0.3, 0.2, 0.13], roughness: 0.9 },
  Leaves: { color: [0.2, 0.4, 0.15], roughness: 0.85 },
  Clay: { color: [0.48, 0.22, 0.13], roughness: 0.7 },
  Wing: { color: [0.42, 0.26, 0.14], metallic: 0.5, roughness: 0.45, doubleSided: true },
};

function used(parts) {
  const names = new Set(parts.map((p) => p.material));
  return Object.fromEntries(Object.entries(SCULPTURE_MATERIALS).filter(([n]) => names.has(n)));
}

export function bust() {
  const socle = lathe([[0, 0], [0.15, 0], [0.15, 0.035], [0.12, 0.05], [0.075, 0.1], [0.062, 0.15], [0.1, 0.17], [0.1, 0.19], [0, 0.19]], 24);
  // Shoulders and chest: a wide ellipsoid cut flat below, narrowing into the socle.
  const chest = ellipsoid(0.22, 0.17, 0.12, {
    rows: 10,
    cols: 18,
    shape: (u, v, p) => {
      const lower = Math.max(0, 0.5 - v) * 2;
      const narrow = 1 - 0.62 * lower;
      const y = Math.max(p[1], -0.09);
      return [p[0] * narrow, y, p[2] * (1 - 0.3 * lower) + (p[1] > 0.05 ? 0.01 : 0)];
    },
  });
  const neck = lathe([[0.062, 0], [0.058, 0.06], [0.06, 0.12], [0, 0.12]], 24);
  const head = ellipsoid(0.088, 0.115, 0.102, {
    rows: 18,
    cols: 24,
    shape: (u, v, p) => {
      const a = wrap(u * Math.PI * 2);
      const th = v;
      let d = 0;
      d += 0.03 * gauss(a, 0.12) * gauss(th - 0.5, 0.07);
      d += 0.012 * gauss(a, 0.55) * gauss(th - 0.6, 0.035);
      d -= 0.014 * (gauss(a - 0.38, 0.14) + gauss(a + 0.38, 0.14)) * gauss(th - 0.56, 0.04);
      d += 0.006 * gauss(a, 0.2) * gauss(th - 0.38, 0.03);
      d += 0.016 * gauss(a, 0.3) * gauss(th - 0.24, 0.06);
      d -= 0.02 * (1 - gauss(a, 0.8)) * gauss(th - 0.25, 0.12);
      d += 0.018 * (gauss(Math.abs(a) - Math.PI / 2, 0.12)) * gauss(th - 0.52, 0.06);
      if (th > 0.62 || Math.abs(a) > 1.9) {
        const k = th > 0.62 ? 1 : 0.6;
        d += k * (0.012 + 0.008 * Math.sin(a * 14) * Math.sin(th * 40));
      }
      const len = Math.hypot(p[0], p[1], p[2]) || 1;
      return [p[0] + (p[0] / len) * d, p[1] + (p[1] / len) * d, p[2] + (p[2] / len) * d];
    },
  });
  // A fold of drapery over one shoulder.
  const drape = tube(spline([[-0.2, 0.32, 0.02], [-0.12, 0.31, -0.09], [0.02, 0.25, -0.125], [0.15, 0.2, -0.1], [0.21, 0.22, -0.02]], 10),
    (t) => 0.022 + 0.01 * Math.sin(t * Math.PI), { sides: 8, squash: 0.55 });
  const parts = [
    { name: 'socle', material: 'Marble', mesh: socle },
    { name: 'figure', material: 'Marble', mesh: merge(translate(chest, 0, 0.3, 0), translate(neck, 0, 0.4, -0.005), translate(head, 0, 0.6, -0.01), drape) },
  ];
  return { parts, materials: used(parts) };
}

export function dragon() {
  const rand = seeded(4);
  const rock = lathe([[0, 0.12], [0.24, 0.12], [0.3, 0.06], [0.3, 0], [0, 0]].reverse(), 28, {
    radiusAt: (r, y, a) => r * (1 + 0.08 * Math.sin(a * 5 + y * 30) + 0.05 * Math.sin(a * 11)),
  });
  const path = spline([
    [0.24, 0.14, 0.1], [0.12, 0.13, 0.22], [-0.1, 0.15, 0.2], [-0.22, 0.17, 0.02], [-0.12, 0.2, -0.15],
    [0.08, 0.24, -0.12], [0.14, 0.33, 0.02], [0.06, 0.46, 0.06], [0, 0.58, 0.0], [0, 0.66, -0.08],
  ], 6);
  const radius = (t) => 0.008 + 0.052 * Math.sin(Math.PI * Math.min(1, Math.pow(t, 0.75) * 1.02)) + (t > 0.85 ? 0.012 : 0);
  const body = tube(path, radius, { sides: 9 });
  const end = path[path.length - 1];
  const head = ellipsoid(0.05, 0.042, 0.09, {
    rows: 14,
    cols: 20,
    shape: (u, v, p) => {
      const front = Math.max(0, -p[2] / 0.09);
      const k = 1 - 0.45 * front;
      return [p[0] * k, p[1] * k + (p[1] > 0 ? 0.012 * gauss(p[2] + 0.01, 0.03) : 0), p[2]];
    },
  });
  const jaw = rotateX(ellipsoid(0.035, 0.014, 0.07, { rows: 5, cols: 8 }), -0.35);
  const horns = [-1, 1].map((s) => tube(spline([[s * 0.025, 0.03, 0.02], [s * 0.05, 0.07, 0.07], [s * 0.06, 0.09, 0.13]], 6), (t) => 0.012 * (1 - t) + 0.002, { sides: 8 }));
  const eyes = [-1, 1].map((s) => translate(ellipsoid(0.009, 0.009, 0.009, { rows: 6, cols: 8 }), s * 0.034, 0.016, -0.03));
  const headParts = merge(head, translate(jaw, 0, -0.03, -0.03), ...horns).positions.length ? merge(head, translate(jaw, 0, -0.03, -0.03), ...horns) : head;
  const spines = [];
  for (let i = 6; i < path.length - 6; i += 3) {
    const [x, y, z] = path[i];
    const t = i / (path.length - 1);
    const r = radius(t);
    const h = 0.02 + 0.02 * Math.sin(Math.PI * t);
    spines.push(translate(lathe([[r * 0.3, 0], [0.001, h], [0, h]], 8), x, y + r * 0.85, z));
  }
  // Wings: bones fanning from the shoulders with a membrane between them.
  const shoulder = path[Math.floor(path.length * 0.72)];
  const wings = [];
  const membranes = [];
  for (const s of [-1, 1]) {
    const tips = [[0.32, 0.32, 0.12], [0.36, 0.18, 0.2], [0.3, 0.04, 0.24], [0.2, -0.06, 0.2]].map(([x, y, z]) => [shoulder[0] + s * x, shoulder[1] + y, shoulder[2] + z]);
    const elbow = [shoulder[0] + s * 0.16, shoulder[1] + 0.2, shoulder[2] + 0.08];
    wings.push(tube([shoulder, elbow], () => 0.012, { sides: 8 }));
    for (const tip of tips) wings.push(tube([elbow, tip], (t) => 0.008 * (1 - t) + 0.002, { sides: 6 }));
    const m = emptyMesh();
    const ring = [shoulder, ...tips];
    for (let i = 1; i < ring.length - 1; i++) {
      const a = elbow;
      const b = ring[i];
      const c = ring[i + 1];
      const mid = [(b[0] + c[0]) / 2 - s * 0.04, (b[1] + c[1]) / 2 - 0.03, (b[2] + c[2]) / 2];
      quad(m, a, b, mid, c, [0, 0, -1]);
    }
    quad(m, shoulder, elbow, tips[3], [shoulder[0], shoulder[1] - 0.02, shoulder[2] + 0.05], [0, 0, -1]);
    membranes.push(computeNormals(m));
  }
  const legs = [];
  for (const [s, at] of [[-1, 0.66], [1, 0.66], [-1, 0.3], [1, 0.3]]) {
    const hip = path[Math.floor(path.length * at)];
    const foot = [hip[0] + s * 0.08, 0.125, hip[2] - 0.05];
    legs.push(tube(spline([hip, [hip[0] + s * 0.07, (hip[1] + 0.12) / 2 + 0.04, hip[2] - 0.02], foot], 4), (t) => 0.02 - t * 0.008, { sides: 6 }));
    for (const c of [-0.4, 0, 0.4]) legs.push(tube([foot, [foot[0] + Math.sin(c) * 0.03, 0.12, foot[2] - Math.cos(c) * 0.03]], (t) => 0.007 * (1 - t) + 0.001, { sides: 6 }));
  }
  void rand;
  const parts = [
    { name: 'rock', material: 'Rock', mesh: rock },
    { name: 'body', material: 'Bronze', mesh: merge(body, translate(headParts, end[0], end[1], end[2] - 0.04), ...spines, ...wings, ...legs) },
    { name: 'wings', material: 'Wing', mesh: merge(membranes) },
    { name: 'eyes', material: 'Gilt', mesh: translate(merge(eyes), end[0], end[1], end[2] - 0.04) },
  ];
  return { parts, materials: used(parts) };
}

export function flowers() {
  const rand = seeded(12);
  const vase = lathe([[0, 0], [0.09, 0], [0.1, 0.02], [0.15, 0.12], [0.16, 0.2], [0.13, 0.3], [0.075, 0.37], [0.065, 0.42], [0.085, 0.45], [0.078, 0.46], [0.058, 0.44], [0.05, 0.4]], 28);
  const rim = translate(lathe([[0.086, 0], [0.09, 0.008], [0.086, 0.016]], 28), 0, 0.443, 0);
  const band = translate(lathe([[0.158, 0], [0.162, 0.012], [0.158, 0.024]], 28), 0, 0.19, 0);
  const stems = [];
  const red = [];
  const pale = [];
  const hearts = [];
  const leaves = [];
  const count = 7;
  for (let i = 0; i < count; i++) {
    const a = (i / count) * Math.PI * 2 + rand() * 0.4;
    const lean = 0.08 + rand() * 0.14;
    const h = 0.72 + rand() * 0.26;
    const top = [Math.sin(a) * lean * 1.4, h, Math.cos(a) * lean * 1.4];
    stems.push(tube(spline([[Math.sin(a) * 0.02, 0.4, Math.cos(a) * 0.02], [Math.sin(a) * lean * 0.6, 0.58, Math.cos(a) * lean * 0.6], top], 5), () => 0.0055, { sides: 4 }));
    // A tulip: six cupped petals around the stem's tip.
    const bloom = [];
    for (let k = 0; k < 6; k++) {
      const pa = (k / 6) * Math.PI * 2 + (k % 2) * 0.25;
      const petal = ellipsoid(0.026, 0.05, 0.009, {
        rows: 4,
        cols: 4,
        shape: (u, v, p) => [p[0] * (0.6 + 0.6 * Math.sin(v * Math.PI * 0.9)), p[1], p[2] + 0.02 * Math.pow(v, 2)],
      });
      bloom.push(rotateY(translate(rotateX(petal, -0.28 - (k % 2) * 0.1), 0, 0.045, -0.018), pa));
    }
    (i % 3 === 0 ? pale : red).push(translate(merge(bloom), top[0], top[1] - 0.01, top[2]));
    hearts.push(translate(ellipsoid(0.012, 0.016, 0.012, { rows: 4, cols: 5 }), top[0], top[1] + 0.02, top[2]));
  }
  for (let i = 0; i < 6; i++) {
    const a = (i / 6) * Math.PI * 2 + 0.3;
    const leaf = ellipsoid(0.022, 0.16, 0.006, {
      rows: 8,
      cols: 4,
      shape: (u, v, p) => [p[0], p[1], p[2] + 0.05 * Math.pow(v, 2)],
    });
    leaves.push(rotateY(translate(rotateX(leaf, -0.5), 0, 0.55, -0.07), a));
  }
  const parts = [
    { name: 'vase', material: 'Glaze', mesh: vase },
    { name: 'gilding', material: 'Gilt', mesh: merge(rim, band, ...hearts) },
    { name: 'stems', material: 'Stem', mesh: merge(...stems, ...leaves) },
    { name: 'tulips-red', material: 'Petal', mesh: merge(red) },
    { name: 'tulips-pale', material: 'PetalPale', mesh: merge(pale) },
  ];
  return { parts, materials: used(parts) };
}

export function bonsai() {
  const rand = seeded(21);
  // A square pot: a lathe with four sides, turned to sit square.
  const pot = rotateY(lathe([[0, 0.02], [0.2, 0.02], [0.23, 0.05], [0.26, 0.16], [0.28, 0.17], [0.28, 0.19], [0, 0.19]], 4), Math.PI / 4);
  const feet = [0, 1, 2, 3].map((k) => translate(lathe([[0, 0], [0.03, 0], [0.03, 0.02], [0, 0.02]], 8), Math.sin(k * Math.PI / 2 + Math.PI / 4) * 0.2, 0, Math.cos(k * Math.PI / 2 + Math.PI / 4) * 0.2));
  const soil = translate(lathe([[0, 0], [0.25, 0], [0, 0.005]], 24), 0, 0.175, 0);
  const bark = [];
  const foliage = [];
  function branch(from, dir, len, r, depth) {
    const bend = [(rand() - 0.5) * 0.5, 0.15, (rand() - 0.5) * 0.5];
    const mid = from.map((v, k) => v + dir[k] * len * 0.5 + bend[k] * len * 0.3);
    const to = from.map((v, k) => v + dir[k] * len + bend[k] * len * 0.2);
    bark.push(tube(spline([from, mid, to], 3), (t) => r * (1 - 0.45 * t), { sides: 5 }));
    if (depth === 0) {
      const pad = ellipsoid(0.12 + rand() * 0.05, 0.055, 0.1 + rand() * 0.04, {
        rows: 5,
        cols: 8,
        shape: (u, v, p) => {
          const n = 1 + 0.18 * Math.sin(u * 40 + depth) * Math.sin(v * 18);
          return [p[0] * n, p[1] * n + (v > 0.5 ? 0.01 : 0), p[2] * n];
        },
      });
      foliage.push(translate(pad, to[0], to[1] + 0.02, to[2]));
      return;
    }
    const kids = depth === 2 ? 3 : 2;
    for (let k = 0; k < kids; k++) {
      const a = (k / kids) * Math.PI * 2 + rand() * 1.2;
      const out = [Math.sin(a) * 0.8, 0.45 + rand() * 0.3, Math.cos(a) * 0.8];
      const l = Math.hypot(...out);
      branch(to, out.map((v) => v / l), len * 0.62, r * 0.55, depth - 1);
    }
  }
  const trunkTop = [0.06, 0.52, -0.02];
  bark.push(tube(spline([[0, 0.17, 0], [0.08, 0.27, 0.03], [-0.03, 0.38, 0.01], trunkTop], 6), (t) => 0.055 * (1 - 0.55 * t), { sides: 9 }));
  for (let k = 0; k < 3; k++) {
    const a = (k / 3) * Math.PI * 2 + 0.4;
    branch(trunkTop, [Math.sin(a) * 0.75, 0.55, Math.cos(a) * 0.75], 0.28, 0.026, 2);
  }
  foliage.push(translate(ellipsoid(0.14, 0.08, 0.12, { rows: 6, cols: 10 }), trunkTop[0], trunkTop[1] + 0.22, trunkTop[2]));
  const parts = [
    { name: 'pot', material: 'Clay', mesh: merge(pot, ...feet) },
    { name: 'soil', material: 'Rock', mesh: soil },
    { name: 'trunk', material: 'Bark', mesh: merge(bark) },
    { name: 'foliage', material: 'Leaves', mesh: merge(foliage) },
  ];
  return { parts, materials: used(parts) };
}

export { scale, rotateZ, addGrid };
