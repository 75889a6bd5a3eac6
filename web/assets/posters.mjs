// The two lift posters: a dragon over a moonlit sky (JPEG, with room at the bottom for the
// caption the page writes) and an open book on black (PNG; the page cuts the black away).

import { createImage, paint, fillPolygon, fillCircle, strokeCurve, curve, hex, mix, seeded } from './raster.mjs';

export const POSTER_SIZE = Object.freeze({ width: 600, height: 840 });

export function dragonPoster() {
  const { width: W, height: H } = POSTER_SIZE;
  const img = createImage(W, H);
  const top = hex(0x2a0c14);
  const bottom = hex(0x6e1a1a);
  paint(img, (x, y) => {
    const g = mix(top, bottom, y / H);
    const d = Math.hypot(x - W * 0.62, y - H * 0.3) / (W * 0.9);
    return mix(g, hex(0x0c0406), Math.min(1, d * 0.7));
  });
  const rand = seeded(9);
  for (let i = 0; i < 120; i++) fillCircle(img, rand() * W, rand() * H * 0.6, 0.6 + rand() * 1.3, hex(0xffe9c0, 0.3 + rand() * 0.6));
  // The moon behind the dragon.
  fillCircle(img, W * 0.62, H * 0.3, 150, (x, y) => mix(hex(0xf6dc8c), hex(0xd49a3a), Math.hypot(x - W * 0.55, y - H * 0.24) / 220), 2);
  fillCircle(img, W * 0.62, H * 0.3, 170, hex(0xf6dc8c, 0.12), 30);
  // Mountains.
  fillPolygon(img, [[0, H * 0.78], [80, H * 0.66], [150, H * 0.71], [240, H * 0.6], [330, H * 0.7], [420, H * 0.63], [520, H * 0.72], [W, H * 0.67], [W, H], [0, H]], hex(0x1c0a0c));
  fillPolygon(img, [[0, H * 0.86], [120, H * 0.78], [260, H * 0.84], [380, H * 0.77], [500, H * 0.83], [W, H * 0.8], [W, H], [0, H]], hex(0x120608));

  const body = hex(0x1a0a08);
  const edge = hex(0xe0a040);
  // Wings: a spread membrane with finger bones.
  const wing = (sx, mirror) => {
    const pts = [[0, 0], [-40, -120], [-10, -210], [60, -250], [50, -170], [110, -200], [100, -120], [170, -130], [130, -50], [190, -20], [90, 10]];
    return pts.map(([x, y]) => [sx + x * mirror, H * 0.42 + y]);
  };
  for (const [sx, m] of [[250, -1], [290, 1]]) {
    const w = wing(sx, m);
    fillPolygon(img, w, mix(body, hex(0x3a1210), 0.5));
    for (const i of [2, 3, 5, 7, 9]) strokeCurve(img, [[sx, H * 0.42], w[i]], () => 4, edge);
  }
  // The body: an S-curve from tail to raised neck.
  const spine = curve([[80, 640], [160, 600], [260, 620], [340, 560], [300, 470], [230, 420], [250, 330], [320, 270], [360, 250]], 20);
  const width = (t) => 8 + 46 * Math.sin(Math.PI * Math.min(1, t * 1.05)) * (t < 0.85 ? 1 : 0.7);
  strokeCurve(img, spine, (t) => width(t) + 6, edge);
  strokeCurve(img, spine, width, body);
  // Spikes along the back.
  for (let i = 10; i < spine.length - 12; i += 9) {
    const [x, y] = spine[i];
    const [nx, ny] = spine[i + 1];
    const a = Math.atan2(ny - y, nx - x) - Math.PI / 2;
    const r = width(i / spine.length) / 2;
    const bx = x + Math.cos(a) * r;
    const by = y + Math.sin(a) * r;
    fillPolygon(img, [[bx - 7, by], [bx + Math.cos(a) * 22, by + Math.sin(a) * 22], [bx + 7, by]], edge);
  }
  // Head with horns, jaw and a breath of fire.
  const head = [[345, 232], [372, 218], [405, 222], [440, 236], [452, 250], [430, 258], [405, 262], [372, 268], [348, 262]];
  fillPolygon(img, head, body);
  strokeCurve(img, [...head, head[0]], () => 3, edge);
  strokeCurve(img, curve([[372, 222], [360, 190], [338, 172]]), (t) => 7 - t * 5, edge);
  strokeCurve(img, curve([[388, 220], [384, 186], [368, 164]]), (t) => 7 - t * 5, edge);
  fillCircle(img, 412, 236, 5, hex(0xffe070));
  const flame = curve([[452, 252], [490, 262], [520, 250], [556, 268], [590, 256]], 12);
  strokeCurve(img, flame, (t) => 6 + 26 * t, hex(0xff8a1e, 0.75));
  strokeCurve(img, flame, (t) => 3 + 12 * t, hex(0xffe27a, 0.9));
  // Gilt border; the bottom band stays dark for the caption.
  const b = 14;
  for (const [x0, y0, x1, y1] of [[0, 0, W, b], [0, H - b, W, H], [0, 0, b, H], [W - b, 0, W, H]]) {
    fillPolygon(img, [[x0, y0], [x1, y0], [x1, y1], [x0, y1]], hex(0xc99a42));
  }
  fillPolygon(img, [[b, H - 86], [W - b, H - 86], [W - b, H - b], [b, H - b]], hex(0x0c0606, 0.8));
  return img;
}

export function bookPoster() {
  const { width: W, height: H } = POSTER_SIZE;
  const img = createImage(W, H, [0, 0, 0, 1]);
  const cx = W / 2;
  const spineY = 560;
  // Rays of light rising from the pages.
  for (let i = 0; i < 13; i++) {
    const a = -Math.PI / 2 + (i - 6) * 0.16;
    const len = 380 + (i % 3) * 40;
    const spread = 0.035;
    fillPolygon(img, [[cx, spineY - 60], [cx + Math.cos(a - spread) * len, spineY - 60 + Math.sin(a - spread) * len],
      [cx + Math.cos(a + spread) * len, spineY - 60 + Math.sin(a + spread) * len]], hex(0xf8e6a8, 0.35));
  }
  const rand = seeded(31);
  for (let i = 0; i < 70; i++) {
    const a = -Math.PI / 2 + (rand() - 0.5) * 2.2;
    const d = 120 + rand() * 360;
    fillCircle(img, cx + Math.cos(a) * d, spineY - 60 + Math.sin(a) * d, 1 + rand() * 3, hex(0xfff2c0, 0.5 + rand() * 0.5));
  }
  // Cover, then fanned pages on each side.
  fillPolygon(img, [[cx - 250, spineY - 40], [cx, spineY + 10], [cx + 250, spineY - 40], [cx + 262, spineY + 40], [cx, spineY + 92], [cx - 262, spineY + 40]], hex(0x6a1c22));
  for (const side of [-1, 1]) {
    for (let k = 6; k >= 0; k--) {
      const lift = k * 6;
      const shade = mix(hex(0xf4ead2), hex(0xc9b88f), k / 7);
      fillPolygon(img, [
        [cx, spineY + 40 - lift * 0.3],
        [cx + side * 40, spineY - 30 - lift],
        [cx + side * 150, spineY - 60 - lift],
        [cx + side * 240, spineY - 40 - lift * 0.5],
        [cx + side * 244, spineY + 28 - lift * 0.4],
        [cx + side * 150, spineY + 4 - lift * 0.6],
        [cx + side * 50, spineY + 26 - lift * 0.5],
      ], shade);
    }
    // Lines of writing.
    for (let l = 0; l < 8; l++) {
      const y = spineY - 62 + l * 9;
      const pts = curve([[cx + side * 46, y + 16], [cx + side * 120, y - 2], [cx + side * 210, y + 8]], 8);
      strokeCurve(img, pts, () => 1.6, hex(0x5a4630, 0.7));
    }
  }
  fillPolygon(img, [[cx - 3, spineY - 40], [cx + 3, spineY - 40], [cx + 3, spineY + 44], [cx - 3, spineY + 44]], hex(0x8a7a5a));
  // A ribbon marker.
  fillPolygon(img, [[cx + 8, spineY + 30], [cx + 22, spineY + 30], [cx + 30, spineY + 150], [cx + 16, spineY + 138], [cx + 4, spineY + 152]], hex(0xb8242c));
  // Title lettering suggested by gilt bars above.
  for (let i = 0; i < 3; i++) {
    const w = [300, 220, 160][i];
    const y = 110 + i * 42;
    fillPolygon(img, [[cx - w / 2, y], [cx + w / 2, y], [cx + w / 2, y + 16 - i * 3], [cx - w / 2, y + 16 - i * 3]], hex(0xd4af37, 0.9));
  }
  return img;
}
