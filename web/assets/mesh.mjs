// Mesh building for the generated models: lathes, sweeps, tubes, ellipsoids and boxes as
// plain arrays, transformed and merged before they are written as glTF.

export function emptyMesh() {
  return { positions: [], normals: [], uvs: [], indices: [] };
}

function sub(a, b) { return [a[0] - b[0], a[1] - b[1], a[2] - b[2]]; }
function cross(a, b) { return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]; }
function norm(a) {
  const l = Math.hypot(a[0], a[1], a[2]) || 1;
  return [a[0] / l, a[1] / l, a[2] / l];
}

/** Adds a grid of rows × cols vertices from point(i, j); quads between them. */
export function addGrid(m, rows, cols, point, { uv = (i, j) => [j / (cols - 1), i / (rows - 1)], flip = false } = {}) {
  const base = m.positions.length / 3;
  for (let i = 0; i < rows; i++) {
    for (let j = 0; j < cols; j++) {
      const p = point(i, j);
      m.positions.push(p[0], p[1], p[2]);
      m.normals.push(0, 0, 0);
      const t = uv(i, j);
      m.uvs.push(t[0], t[1]);
    }
  }
  for (let i = 0; i < rows - 1; i++) {
    for (let j = 0; j < cols - 1; j++) {
      const a = base + i * cols + j;
      const b = a + 1;
      const c = a + cols;
      const d = c + 1;
      if (flip) m.indices.push(a, b, c, b, d, c);
      else m.indices.push(a, c, b, b, c, d);
    }
  }
  return m;
}

/** Smooth normals from the faces; call once after building a part. */
export function computeNormals(m) {
  const n = new Float64Array(m.positions.length);
  const P = m.positions;
  for (let k = 0; k < m.indices.length; k += 3) {
    const [a, b, c] = [m.indices[k], m.indices[k + 1], m.indices[k + 2]];
    const pa = [P[a * 3], P[a * 3 + 1], P[a * 3 + 2]];
    const pb = [P[b * 3], P[b * 3 + 1], P[b * 3 + 2]];
    const pc = [P[c * 3], P[c * 3 + 1], P[c * 3 + 2]];
    const f = cross(sub(pb, pa), sub(pc, pa));
    for (const v of [a, b, c]) {
      n[v * 3] += f[0];
      n[v * 3 + 1] += f[1];
      n[v * 3 + 2] += f[2];
    }
  }
  for (let v = 0; v < n.length; v += 3) {
    const u = norm([n[v], n[v + 1], n[v + 2]]);
    m.normals[v] = u[0];
    m.normals[v + 1] = u[1];
    m.normals[v + 2] = u[2];
  }
  return m;
}

/** Surface of revolution about y from a profile of [radius, y] points. */
export function lathe(profile, segments = 32, { radiusAt } = {}) {
  const m = emptyMesh();
  addGrid(m, profile.length, segments + 1, (i, j) => {
    const a = (j / segments) * Math.PI * 2;
    const [r0, y] = profile[i];
    const r = radiusAt ? radiusAt(r0, y, a) : r0;
    return [Math.sin(a) * r, y, Math.cos(a) * r];
  }, { flip: true });
  return computeNormals(m);
}

/** Ellipsoid of radii (rx, ry, rz); shape(u, v, p) may move each point (u around, v from the bottom). */
export function ellipsoid(rx, ry, rz, { rows = 16, cols = 24, shape } = {}) {
  const m = emptyMesh();
  addGrid(m, rows + 1, cols + 1, (i, j) => {
    const v = i / rows;
    const u = j / cols;
    const th = v * Math.PI;
    const ph = u * Math.PI * 2;
    const p = [-Math.sin(th) * Math.sin(ph) * rx, -Math.cos(th) * ry, -Math.sin(th) * Math.cos(ph) * rz];
    return shape ? shape(u, v, p) : p;
  }, { flip: true });
  return computeNormals(m);
}

/** Tube along a path of points with radius(t) for t from 0 to 1; ends closed by shrinking. */
export function tube(path, radius, { sides = 12, squash = 1 } = {}) {
  const m = emptyMesh();
  const frames = parallelFrames(path);
  addGrid(m, path.length, sides + 1, (i, j) => {
    const t = i / (path.length - 1);
    const r = radius(t);
    const a = (j / sides) * Math.PI * 2;
    const { n, b } = frames[i];
    const c = Math.cos(a) * r;
    const s = Math.sin(a) * r * squash;
    return [path[i][0] + n[0] * c + b[0] * s, path[i][1] + n[1] * c + b[1] * s, path[i][2] + n[2] * c + b[2] * s];
  }, { flip: true });
  return computeNormals(m);
}

function parallelFrames(path) {
  const out = [];
  let prevN = null;
  for (let i = 0; i < path.length; i++) {
    const a = path[Math.max(0, i - 1)];
    const b = path[Math.min(path.length - 1, i + 1)];
    const t = norm(sub(b, a));
    let n;
    if (!prevN) {
      const up = Math.abs(t[1]) < 0.9 ? [0, 1, 0] : [1, 0, 0];
      n = norm(cross(cross(t, up), t));
    } else {
      const d = prevN[0] * t[0] + prevN[1] * t[1] + prevN[2] * t[2];
      n = norm([prevN[0] - t[0] * d, prevN[1] - t[1] * d, prevN[2] - t[2] * d]);
    }
    prevN = n;
    out.push({ t, n, b: cross(t, n) });
  }
  return out;
}

export function box(min, max) {
  const m = emptyMesh();
  const [x0, y0, z0] = min;
  const [x1, y1, z1] = max;
  const faces = [
    [[x1, y0, z1], [x1, y0, z0], [x1, y1, z0], [x1, y1, z1], [1, 0, 0]],
    [[x0, y0, z0], [x0, y0, z1], [x0, y1, z1], [x0, y1, z0], [-1, 0, 0]],
    [[x0, y1, z1], [x1, y1, z1], [x1, y1, z0], [x0, y1, z0], [0, 1, 0]],
    [[x0, y0, z0], [x1, y0, z0], [x1, y0, z1], [x0, y0, z1], [0, -1, 0]],
    [[x0, y0, z1], [x1, y0, z1], [x1, y1, z1], [x0, y1, z1], [0, 0, 1]],
    [[x1, y0, z0], [x0, y0, z0], [x0, y1, z0], [x1, y1, z0], [0, 0, -1]],
  ];
  for (const [a, b, c, d, n] of faces) quad(m, a, b, c, d, n);
  return m;
}

/** One flat quad, corners counter-clockwise seen from the front. */
export function quad(m, a, b, c, d, n, uv = [[0, 0], [1, 0], [1, 1], [0, 1]]) {
  const base = m.positions.length / 3;
  [a, b, c, d].forEach((p, i) => {
    m.positions.push(p[0], p[1], p[2]);
    m.normals.push(n[0], n[1], n[2]);
    m.uvs.push(uv[i][0], uv[i][1]);
  });
  m.indices.push(base, base + 1, base + 2, base, base + 2, base + 3);
  return m;
}

/** Applies f([x,y,z]) to every point; normals follow through a small finite difference. */
export function transform(m, f) {
  const out = { positions: [], normals: [], uvs: m.uvs.slice(), indices: m.indices.slice() };
  for (let v = 0; v < m.positions.length; v += 3) {
    const p = [m.positions[v], m.positions[v + 1], m.positions[v + 2]];
    const q = f(p);
    const e = 1e-4;
    const nn = [m.normals[v], m.normals[v + 1], m.normals[v + 2]];
    const tip = f([p[0] + nn[0] * e, p[1] + nn[1] * e, p[2] + nn[2] * e]);
    const d = norm(sub(tip, q));
    out.positions.push(q[0], q[1], q[2]);
    out.normals.push(d[0], d[1], d[2]);
  }
  return out;
}

export function translate(m, dx, dy, dz) {
  return transform(m, (p) => [p[0] + dx, p[1] + dy, p[2] + dz]);
}

export function rotateY(m, a) {
  const c = Math.cos(a);
  const s = Math.sin(a);
  return transform(m, (p) => [p[0] * c + p[2] * s, p[1], -p[0] * s + p[2] * c]);
}

export function rotateX(m, a) {
  const c = Math.cos(a);
  const s = Math.sin(a);
  return transform(m, (p) => [p[0], p[1] * c - p[2] * s, p[1] * s + p[2] * c]);
}

export function rotateZ(m, a) {
  const c = Math.cos(a);
  const s = Math.sin(a);
  return transform(m, (p) => [p[0] * c - p[1] * s, p[0] * s + p[1] * c, p[2]]);
}

export function scale(m, sx, sy = sx, sz = sx) {
  return transform(m, (p) => [p[0] * sx, p[1] * sy, p[2] * sz]);
}

export function merge(...meshes) {
  const out = emptyMesh();
  for (const m of meshes.flat()) {
    const base = out.positions.length / 3;
    out.positions.push(...m.positions);
    out.normals.push(...m.normals);
    out.uvs.push(...m.uvs);
    for (const i of m.indices) out.indices.push(i + base);
  }
  return out;
}

/** Reversed winding and normals, for a surface seen from its other side. */
export function flipped(m) {
  const idx = [];
  for (let k = 0; k < m.indices.length; k += 3) idx.push(m.indices[k], m.indices[k + 2], m.indices[k + 1]);
  return { positions: m.positions.slice(), normals: m.normals.map((v) => -v), uvs: m.uvs.slice(), indices: idx };
}

/** Catmull-Rom points through the given control points. */
export function spline(points, perSegment = 8) {
  const out = [];
  for (let i = 0; i < points.length - 1; i++) {
    const p0 = points[Math.max(0, i - 1)];
    const p1 = points[i];
    const p2 = points[i + 1];
    const p3 = points[Math.min(points.length - 1, i + 2)];
    for (let s = 0; s < perSegment; s++) {
      const t = s / perSegment;
      const t2 = t * t;
      const t3 = t2 * t;
      out.push([0, 1, 2].map((k) => 0.5 * ((2 * p1[k]) + (-p0[k] + p2[k]) * t
        + (2 * p0[k] - 5 * p1[k] + 4 * p2[k] - p3[k]) * t2 + (-p0[k] + 3 * p1[k] - 3 * p2[k] + p3[k]) * t3)));
    }
  }
  out.push(points[points.length - 1].slice());
  return out;
}

export function bounds(m) {
  const min = [Infinity, Infinity, Infinity];
  const max = [-Infinity, -Infinity, -Infinity];
  for (let v = 0; v < m.positions.length; v += 3) {
    for (let k = 0; k < 3; k++) {
      min[k] = Math.min(min[k], m.positions[v + k]);
      max[k] = Math.max(max[k], m.positions[v + k]);
    }
  }
  return { min, max };
}
