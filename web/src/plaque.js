// The brass name plaque beside each frame, drawn on its own canvas. Its size and place come
// from maps.js (PLAQUE, plaquePlace); the text is wrapped and cut by words.js.

import * as THREE from 'three';
import { PLAQUE, plaqueLines, plaqueHeight } from './maps.js';
import { fitLines, plaqueLabel } from './words.js';

// Canvas pixels per metre of plate: the text stays sharp at reading distance.
const PX_PER_METRE = 900;
const FONT_FAMILY = 'Georgia, "DejaVu Serif", "Times New Roman", serif';
const BORDER = 0.01;

/** Draws the plate and the text on ctx (its canvas sized for the plate); returns the lines shown. */
export function drawPlaque(ctx, text, lineCount) {
  const w = ctx.canvas.width;
  const h = ctx.canvas.height;
  const px = (m) => m * PX_PER_METRE;
  const g = ctx.createLinearGradient(0, 0, 0, h);
  g.addColorStop(0, '#f0d7a2');
  g.addColorStop(0.45, '#c4964a');
  g.addColorStop(1, '#8d6428');
  ctx.fillStyle = g;
  ctx.fillRect(0, 0, w, h);
  ctx.strokeStyle = '#6a4a1c';
  ctx.lineWidth = px(BORDER);
  ctx.strokeRect(px(BORDER) / 2, px(BORDER) / 2, w - px(BORDER), h - px(BORDER));
  const size = px(PLAQUE.em);
  ctx.font = Math.round(size) + 'px ' + FONT_FAMILY;
  ctx.fillStyle = '#2e1f0f';
  ctx.textAlign = 'center';
  ctx.textBaseline = 'middle';
  const lines = fitLines(text, (t) => ctx.measureText(t).width, w - 2 * px(PLAQUE.pad), lineCount);
  const step = size * PLAQUE.lineHeight;
  const top = h / 2 - (step * (lines.length - 1)) / 2;
  lines.forEach((line, i) => ctx.fillText(line, w / 2, top + i * step + size * 0.04));
  return lines;
}

/** A plaque of the given plate width in metres, facing +z; setPlaque writes its text. */
export function createPlaque(doc, frame, width) {
  const height = plaqueHeight(width);
  const c = doc.createElement('canvas');
  c.width = Math.round(width * PX_PER_METRE);
  c.height = Math.round(height * PX_PER_METRE);
  const texture = new THREE.CanvasTexture(c);
  const plate = new THREE.Mesh(new THREE.PlaneGeometry(width, height), new THREE.MeshBasicMaterial({ map: texture }));
  plate.name = 'plaque-' + frame;
  const plaque = { frame, canvas: c, texture, mesh: plate, lineCount: plaqueLines(width), lines: [], text: '' };
  setPlaque(plaque, '');
  return plaque;
}

/** Writes a title (or "AP" + number when empty); returns the text as shown, its lines joined by spaces. */
export function setPlaque(plaque, title) {
  plaque.lines = drawPlaque(plaque.canvas.getContext('2d'), plaqueLabel(plaque.frame, title), plaque.lineCount);
  plaque.text = plaque.lines.join(' ');
  plaque.texture.needsUpdate = true;
  return plaque.text;
}
