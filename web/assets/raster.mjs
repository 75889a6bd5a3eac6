// A small anti-aliased rasteriser for the generated pictures: gradients, polygons, discs,
// thick curves. Pixels are RGBA floats 0..1; encoders take bytes.

export function createImage(width, height, fill = [0, 0, 0, 1]) {
  const data = new Float32Array(width * height * 4);
  for (let i = 0; i < width * height; i++) data.set(fill, i * 4);
  return { width, height, data };
}

function blend(img, i, c, a) {
  if (a <= 0) return;
  const d = img.data;
  const k = i * 4;
  const alpha = Math.min(1, a * (c[3] ?? 1));
  d[k] += (c[0] - d[k]) * alpha;
  d[k + 1] += (c[1] - d[k + 1]) * alpha;
  d[k + 2] += (c[2] - d[k + 2]) * alpha;
  d[k + 3] = d[k + 3] + (1 - d[k + 3]) * alpha;
}

/** Paints colour(x, y) → [r, g, b, a] over every pixel (gradients, textures). */
export function paint(img, colour) {
  for (let y = 0; y < img.height; y++) {
    for (let x = 0; x < img.width; x++) {
      const c = colour(x + 0.5, y + 0.5);
      blend(img, y * img.width + x, c, 1);
    }
  }
}

/** Even-odd polygon fill with 4 × 4 supersampling; colour may be a function of (x, y). */
export function fillPolygon(img, points, colour) {
  const S = 4;
  let minY = Infinity;
  let maxY = -Infinity;
  for (const [, y] of points) {
    minY = Math.min(minY, y);
    maxY = Math.max(maxY, y);
  }
  const y0 = Math.max(0, Math.floor(minY));
  const y1 = Math.min(img.height - 1, Math.ceil(maxY));
  const cover = new Float32Array(img.width + 1);
  for (let y = y0; y <= y1; y++) {
    cover.fill(0);
    let lo = img.width;
    let hi = -1;
    for (let s = 0; s < S; s++) {
      const sy = y + (s + 0.5) / S;
      const xs = [];
      for (let i = 0; i < points.length; i++) {
        const [ax, ay] = points[i];
        const [bx, by] = points[(i + 1) % points.length];
        if ((ay <= sy && by > sy) || (by <= sy && ay > sy)) xs.push(ax + ((sy - ay) / (by - ay)) * (bx - ax));
      }
      xs.sort((a, b) => a - b);
      for (let k = 0; k + 1 < xs.length; k += 2) {
        const xa = Math.max(0, xs[k]);
        const xb = Math.min(img.width, xs[k + 1]);
        if (xb <= xa) continue;
        const ia = Math.floor(xa);
        const ib = Math.floor(xb);
        lo = Math.min(lo, ia);
        hi = Math.max(hi, ib);
        if (ia === ib) {
          cover[ia] += (xb - xa) / S;
        } else {
          cover[ia] += (ia + 1 - xa) / S;
          for (let x = ia + 1; x < ib; x++) cover[x] += 1 / S;
          if (ib < img.width) cover[ib] += (xb - ib) / S;
        }
      }
    }
    for (let x = lo; x <= Math.min(hi, img.width - 1); x++) {
      if (cover[x] > 0) {
        const c = typeof colour === 'function' ? colour(x + 0.5, y + 0.5) : colour;
        blend(img, y * img.width + x, c, Math.min(1, cover[x]));
      }
    }
  }
}

export function fillCircle(img, cx, cy, r, colour, soft = 1) {
  const x0 = Math.max(0, Math.floor(cx - r - soft));
  const x1 = Math.min(img.width - 1, Math.ceil(cx + r + soft));
  const y0 = Math.max(0, Math.floor(cy - r - soft));
  const y1 = Math.min(img.height - 1, Math.ceil(cy + r + soft));
  for (let y = y0; y <= y1; y++) {
    for (let x = x0; x <= x1; x++) {
      const d = Math.hypot(x + 0.5 - cx, y + 0.5 - cy);
      const a = Math.max(0, Math.min(1, (r - d) / soft + 0.5));
      if (a > 0) blend(img, y * img.width + x, typeof colour === 'function' ? colour(x + 0.5, y + 0.5) : colour, a);
    }
  }
}

/** A curve of [x, y] points drawn with width(t) by stamping discs along it. */
export function strokeCurve(img, points, width, colour) {
  const total = points.length - 1;
  for (let i = 0; i < total; i++) {
    const [ax, ay] = points[i];
    const [bx, by] = points[i + 1];
    const len = Math.hypot(bx - ax, by - ay);
    const steps = Math.max(1, Math.ceil(len / 1.5));
    for (let s = 0; s < steps; s++) {
      const t = (i + s / steps) / total;
      const r = width(t) / 2;
      fillCircle(img, ax + ((bx - ax) * s) / steps, ay + ((by - ay) * s) / steps, r, colour);
    }
  }
}

/** Catmull-Rom through 2-D control points. */
export function curve(points, perSegment = 16) {
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
      out.push([0, 1].map((k) => 0.5 * ((2 * p1[k]) + (-p0[k] + p2[k]) * t
        + (2 * p0[k] - 5 * p1[k] + 4 * p2[k] - p3[k]) * t2 + (-p0[k] + 3 * p1[k] - 3 * p2[k] + p3[k]) * t3)));
    }
  }
  out.push(points[points.length - 1]);
  return out;
}

export function toBytes(img) {
  const out = Buffer.alloc(img.width * img.height * 4);
  for (let i = 0; i < out.length; i++) out[i] = Math.max(0, Math.min(255, Math.round(img.data[i] * 255)));
  return out;
}

export function hex(h, a = 1) {
  return [((h >> 16) & 255) / 255, ((h >> 8) & 255) / 255, (h & 255) / 255, a];
}

export function mix(a, b, t) {
  return a.map((v, i) => v + (b[i] - v) * t);
}

export function seeded(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}
