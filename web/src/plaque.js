// The brass name plaque under each frame, drawn on its own canvas.

import * as THREE from 'three';
import { fitPlaque, plaqueLabel } from './words.js';

export const PLAQUE_SIZE = Object.freeze({ width: 0.46, height: 0.092, px: 640, py: 128 });
const FONT = '40px Georgia, "Times New Roman", serif';

export function drawPlaque(ctx, text) {
  const { px, py } = PLAQUE_SIZE;
  const g = ctx.createLinearGradient(0, 0, 0, py);
  g.addColorStop(0, '#f0d7a2');
  g.addColorStop(0.45, '#c4964a');
  g.addColorStop(1, '#8d6428');
  ctx.fillStyle = g;
  ctx.fillRect(0, 0, px, py);
  ctx.strokeStyle = '#6a4a1c';
  ctx.lineWidth = 8;
  ctx.strokeRect(4, 4, px - 8, py - 8);
  ctx.font = FONT;
  ctx.fillStyle = '#3a2814';
  ctx.textAlign = 'center';
  ctx.textBaseline = 'middle';
  const shown = fitPlaque(text, (t) => ctx.measureText(t).width);
  ctx.fillText(shown, px / 2, py / 2 + 2);
  return shown;
}

export function createPlaque(doc, frame) {
  const c = doc.createElement('canvas');
  c.width = PLAQUE_SIZE.px;
  c.height = PLAQUE_SIZE.py;
  const texture = new THREE.CanvasTexture(c);
  texture.colorSpace = THREE.SRGBColorSpace;
  const plate = new THREE.Mesh(
    new THREE.PlaneGeometry(PLAQUE_SIZE.width, PLAQUE_SIZE.height),
    new THREE.MeshLambertMaterial({ map: texture }),
  );
  const plaque = { frame, canvas: c, texture, mesh: plate, text: '' };
  setPlaque(plaque, '');
  return plaque;
}

/** Writes a title (or "AP" + number when empty); returns the text as shown. */
export function setPlaque(plaque, title) {
  plaque.text = drawPlaque(plaque.canvas.getContext('2d'), plaqueLabel(plaque.frame, title));
  plaque.texture.needsUpdate = true;
  return plaque.text;
}
