// Sample pictures for the development server and the tests: small generated paintings.

import { createImage, paint, fillPolygon, fillCircle, strokeCurve, curve, hex, mix, seeded } from './raster.mjs';
import { encodePng } from './encode.mjs';

const SIZE = 384;

function landscape(img, rand) {
  const S = img.width;
  paint(img, (x, y) => mix(hex(0xf2b36a), hex(0x6d8fc4), 1 - y / (S * 0.6)));
  fillCircle(img, S * (0.3 + rand() * 0.4), S * 0.34, S * 0.08, hex(0xfff0c4), 3);
  const ridge = (base, amp, colour) => {
    const pts = [[0, S]];
    for (let x = 0; x <= S; x += S / 12) pts.push([x, base - rand() * amp]);
    pts.push([S, S]);
    fillPolygon(img, pts, colour);
  };
  ridge(S * 0.55, S * 0.18, hex(0x5a6a8a));
  ridge(S * 0.68, S * 0.12, hex(0x3e5a46));
  ridge(S * 0.82, S * 0.08, hex(0x2c3e24));
  fillPolygon(img, [[0, S * 0.86], [S, S * 0.84], [S, S], [0, S]], hex(0x34506c));
}

function blocks(img, rand) {
  const S = img.width;
  paint(img, () => hex(0xf4efe2));
  const colours = [0xc8302a, 0x20509a, 0xf0c02c, 0xf4efe2, 0x111111];
  const cuts = [0, S * (0.2 + rand() * 0.2), S * (0.55 + rand() * 0.2), S];
  for (let i = 0; i < 3; i++) {
    for (let j = 0; j < 3; j++) {
      const c = colours[Math.floor(rand() * colours.length)];
      fillPolygon(img, [[cuts[i], cuts[j]], [cuts[i + 1], cuts[j]], [cuts[i + 1], cuts[j + 1]], [cuts[i], cuts[j + 1]]], hex(c));
    }
  }
  for (const c of cuts) {
    fillPolygon(img, [[c - 5, 0], [c + 5, 0], [c + 5, S], [c - 5, S]], hex(0x111111));
    fillPolygon(img, [[0, c - 5], [S, c - 5], [S, c + 5], [0, c + 5]], hex(0x111111));
  }
}

function circles(img, rand) {
  const S = img.width;
  paint(img, (x, y) => mix(hex(0x1c2440), hex(0x3a2c4a), (x + y) / (2 * S)));
  for (let i = 0; i < 14; i++) {
    const r = S * (0.03 + rand() * 0.14);
    const x = rand() * S;
    const y = rand() * S;
    const c = hex([0xf2c14e, 0xe4572e, 0x17bebb, 0xf5f0e1, 0x76b041][i % 5], 0.85);
    fillCircle(img, x, y, r, c, 2);
    fillCircle(img, x, y, r * 0.5, hex(0x1c2440, 0.5), 2);
  }
  for (let i = 0; i < 5; i++) {
    strokeCurve(img, curve([[rand() * S, rand() * S], [rand() * S, rand() * S], [rand() * S, rand() * S]]), () => 3, hex(0xf5f0e1, 0.8));
  }
}

function stillLife(img, rand) {
  const S = img.width;
  paint(img, (x, y) => (y < S * 0.62 ? mix(hex(0x3a2a1c), hex(0x5c4630), x / S) : mix(hex(0x6a4a2a), hex(0x2e1e12), (y - S * 0.62) / (S * 0.38))));
  fillPolygon(img, [[S * 0.2, S * 0.62], [S * 0.28, S * 0.3], [S * 0.38, S * 0.26], [S * 0.46, S * 0.3], [S * 0.5, S * 0.62]], hex(0x5a7a8a));
  for (let i = 0; i < 5; i++) {
    const x = S * (0.52 + rand() * 0.3);
    const y = S * (0.56 + rand() * 0.06);
    fillCircle(img, x, y, S * 0.05, hex([0xc8402a, 0xe0a030, 0x8aa040][i % 3]), 2);
    fillCircle(img, x - S * 0.015, y - S * 0.015, S * 0.012, hex(0xffffff, 0.5), 2);
  }
}

function waves(img, rand) {
  const S = img.width;
  paint(img, (x, y) => mix(hex(0xe8f0f4), hex(0x9cc0d8), y / S));
  for (let k = 0; k < 7; k++) {
    const y0 = S * (0.35 + k * 0.1);
    const pts = [];
    for (let x = -10; x <= S + 10; x += 12) pts.push([x, y0 + Math.sin(x * 0.03 + k + rand()) * 14]);
    fillPolygon(img, [...pts, [S + 10, S], [-10, S]], hex([0x1e4a7a, 0x2a6a9a, 0x3a86b4][k % 3], 0.75));
  }
  fillCircle(img, S * 0.75, S * 0.2, S * 0.07, hex(0xf0a050), 3);
}

const STYLES = [landscape, blocks, circles, stillLife, waves];

/** PNG bytes of sample picture n (any integer). */
export function samplePainting(n) {
  const img = createImage(SIZE, SIZE);
  STYLES[(n - 1 + STYLES.length * 10) % STYLES.length](img, seeded(100 + n));
  return encodePng(img);
}
