// Writes the room's models and posters into a web folder. Deterministic: the same sources
// always give the same bytes.

import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { writeGlb } from './glb.mjs';
import { FRAME_DESIGNS, FRAME_MATERIALS, plainFrame } from './frames.mjs';
import { bust, dragon, flowers, bonsai } from './sculptures.mjs';
import { dragonPoster, bookPoster } from './posters.mjs';
import { encodePng, encodeJpeg } from './encode.mjs';

function materialsOf(parts) {
  const names = new Set(parts.map((p) => p.material));
  return Object.fromEntries(Object.entries(FRAME_MATERIALS).filter(([n]) => names.has(n)));
}

const JOBS = {
  'frame.glb': () => { const p = plainFrame(); return writeGlb('frame.glb', p, materialsOf(p)); },
  ...Object.fromEntries([1, 2, 3, 4, 5].map((k) => ['frame-' + k + '.glb', () => {
    const p = FRAME_DESIGNS[k]();
    return writeGlb('frame-' + k + '.glb', p, materialsOf(p));
  }])),
  'alcove-b.glb': () => { const s = bust(); return writeGlb('alcove-b.glb', s.parts, s.materials); },
  'alcove-dragon.glb': () => { const s = dragon(); return writeGlb('alcove-dragon.glb', s.parts, s.materials); },
  'alcove-flower.glb': () => { const s = flowers(); return writeGlb('alcove-flower.glb', s.parts, s.materials); },
  'alcove-tree.glb': () => { const s = bonsai(); return writeGlb('alcove-tree.glb', s.parts, s.materials); },
  'poster-book.png': async () => ({ bytes: encodePng(bookPoster()) }),
  'poster-dragon.jpg': async () => ({ bytes: encodeJpeg(dragonPoster()) }),
};

export const ASSET_FILES = Object.freeze(Object.keys(JOBS));

export async function generateAssets(out) {
  fs.mkdirSync(out, { recursive: true });
  for (const [name, job] of Object.entries(JOBS)) {
    const { bytes } = await job();
    fs.writeFileSync(path.join(out, name), bytes);
  }
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const out = process.argv[2] || '.';
  generateAssets(out).then(() => console.log('assets written to ' + out));
}
