// Procedural canvas textures: plaster, marble, wood, coffers, sky, clouds and soft glows.
// Each call draws a fresh canvas; the caller shares the result between materials.

import * as THREE from 'three';

/** Small seeded generator so the room looks the same on every load. */
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

function canvas(doc, w, h) {
  const c = doc.createElement('canvas');
  c.width = w;
  c.height = h;
  return c;
}

function noiseTile(doc, size, rand, lo, hi) {
  const c = canvas(doc, size, size);
  const ctx = c.getContext('2d');
  const img = ctx.createImageData(size, size);
  for (let i = 0; i < size * size; i++) {
    const v = lo + (hi - lo) * rand();
    img.data[i * 4] = v;
    img.data[i * 4 + 1] = v;
    img.data[i * 4 + 2] = v;
    img.data[i * 4 + 3] = 255;
  }
  ctx.putImageData(img, 0, 0);
  return c;
}

// Layers of stretched noise give a soft mottling without per-pixel work at full size.
function mottle(doc, ctx, w, h, rand, layers) {
  for (const [cells, alpha, mode] of layers) {
    const tile = noiseTile(doc, cells, rand, 0, 255);
    ctx.save();
    ctx.globalAlpha = alpha;
    ctx.globalCompositeOperation = mode;
    ctx.imageSmoothingEnabled = true;
    ctx.drawImage(tile, 0, 0, cells, cells, 0, 0, w, h);
    ctx.restore();
  }
}

// No anisotropic filtering and one mip level per sample: on software renderers texture
// sampling is most of the cost of a frame, and these surfaces are soft enough without. Texels
// are sampled as stored, without an sRGB decode (the room shades in display space, room.js).
function finish(c, { repeat = true } = {}) {
  const tex = new THREE.CanvasTexture(c);
  if (repeat) tex.wrapS = tex.wrapT = THREE.RepeatWrapping;
  tex.minFilter = THREE.LinearMipmapNearestFilter;
  return tex;
}

export function plasterTexture(doc) {
  const size = 512;
  const c = canvas(doc, size, size);
  const ctx = c.getContext('2d');
  ctx.fillStyle = '#e6d8bc';
  ctx.fillRect(0, 0, size, size);
  const rand = seeded(11);
  mottle(doc, ctx, size, size, rand, [[8, 0.10, 'multiply'], [24, 0.08, 'multiply'], [96, 0.05, 'overlay'], [256, 0.06, 'overlay']]);
  // Faint trowel strokes.
  ctx.globalAlpha = 0.05;
  for (let i = 0; i < 70; i++) {
    const x = rand() * size;
    const y = rand() * size;
    const r = 20 + rand() * 60;
    ctx.fillStyle = rand() < 0.5 ? '#fff7e4' : '#b8a27a';
    ctx.beginPath();
    ctx.ellipse(x, y, r, r * 0.35, rand() * Math.PI, 0, Math.PI * 2);
    ctx.fill();
  }
  ctx.globalAlpha = 1;
  return finish(c);
}

/** Marble in 8 × 8 slabs with grout lines and veins; one texture spans eight slabs each way. */
export function marbleTexture(doc) {
  const size = 1024;
  const slab = size / 8;
  const c = canvas(doc, size, size);
  const ctx = c.getContext('2d');
  const rand = seeded(23);
  const tones = ['#ece6da', '#e4dccd', '#f1ece2', '#ddd4c3'];
  for (let j = 0; j < 8; j++) {
    for (let i = 0; i < 8; i++) {
      const dark = (i + j) % 2 === 1;
      ctx.fillStyle = dark ? '#bfb3a0' : tones[Math.floor(rand() * tones.length)];
      ctx.fillRect(i * slab, j * slab, slab, slab);
    }
  }
  mottle(doc, ctx, size, size, rand, [[16, 0.10, 'multiply'], [64, 0.06, 'overlay']]);
  ctx.lineCap = 'round';
  for (let v = 0; v < 46; v++) {
    let x = rand() * size;
    let y = rand() * size;
    ctx.strokeStyle = rand() < 0.7 ? 'rgba(120,110,100,0.22)' : 'rgba(170,140,95,0.25)';
    ctx.lineWidth = 0.6 + rand() * 1.6;
    ctx.beginPath();
    ctx.moveTo(x, y);
    let angle = rand() * Math.PI * 2;
    for (let s = 0; s < 14; s++) {
      angle += (rand() - 0.5) * 0.9;
      x += Math.cos(angle) * 22;
      y += Math.sin(angle) * 22;
      ctx.lineTo(x, y);
    }
    ctx.stroke();
  }
  ctx.strokeStyle = 'rgba(70,60,48,0.55)';
  ctx.lineWidth = 2;
  for (let k = 0; k <= 8; k++) {
    ctx.beginPath();
    ctx.moveTo(k * slab, 0);
    ctx.lineTo(k * slab, size);
    ctx.moveTo(0, k * slab);
    ctx.lineTo(size, k * slab);
    ctx.stroke();
  }
  return finish(c);
}

export function woodTexture(doc) {
  const w = 256;
  const h = 64;
  const c = canvas(doc, w, h);
  const ctx = c.getContext('2d');
  ctx.fillStyle = '#3b2416';
  ctx.fillRect(0, 0, w, h);
  const rand = seeded(5);
  for (let i = 0; i < 60; i++) {
    const y = rand() * h;
    ctx.strokeStyle = rand() < 0.5 ? 'rgba(20,10,5,0.35)' : 'rgba(110,70,40,0.25)';
    ctx.lineWidth = 0.5 + rand() * 1.5;
    ctx.beginPath();
    ctx.moveTo(0, y);
    for (let x = 0; x <= w; x += 16) ctx.lineTo(x, y + Math.sin(x * 0.05 + i) * 1.5);
    ctx.stroke();
  }
  return finish(c);
}

/** One coffer bay: a sunken panel framed by stepped mouldings and a small gilt rosette. */
export function cofferTexture(doc) {
  const size = 256;
  const c = canvas(doc, size, size);
  const ctx = c.getContext('2d');
  ctx.fillStyle = '#d8ccb2';
  ctx.fillRect(0, 0, size, size);
  const steps = [[0, '#cbbd9f'], [14, '#e8dec8'], [26, '#b9a88a'], [34, '#efe6d2']];
  for (const [inset, colour] of steps) {
    ctx.fillStyle = colour;
    ctx.fillRect(inset, inset, size - inset * 2, size - inset * 2);
  }
  const g = ctx.createRadialGradient(size / 2, size / 2, 10, size / 2, size / 2, size * 0.45);
  g.addColorStop(0, '#f6efe0');
  g.addColorStop(1, '#e3d7bf');
  ctx.fillStyle = g;
  ctx.fillRect(44, 44, size - 88, size - 88);
  ctx.fillStyle = '#c9a456';
  for (let k = 0; k < 8; k++) {
    const a = (k / 8) * Math.PI * 2;
    ctx.beginPath();
    ctx.ellipse(size / 2 + Math.cos(a) * 11, size / 2 + Math.sin(a) * 11, 9, 4, a, 0, Math.PI * 2);
    ctx.fill();
  }
  ctx.fillStyle = '#8d6a2e';
  ctx.beginPath();
  ctx.arc(size / 2, size / 2, 5, 0, Math.PI * 2);
  ctx.fill();
  return finish(c);
}

export function skyTexture(doc) {
  const w = 512;
  const h = 512;
  const c = canvas(doc, w, h);
  const ctx = c.getContext('2d');
  const g = ctx.createLinearGradient(0, 0, 0, h);
  g.addColorStop(0, '#5f8fc4');
  g.addColorStop(0.6, '#8fb4dc');
  g.addColorStop(1, '#c4dbef');
  ctx.fillStyle = g;
  ctx.fillRect(0, 0, w, h);
  return finish(c);
}

/** Soft white clouds on transparency; tiles sideways so it can drift. */
export function cloudTexture(doc) {
  const w = 512;
  const h = 512;
  const c = canvas(doc, w, h);
  const ctx = c.getContext('2d');
  const rand = seeded(77);
  for (let i = 0; i < 26; i++) {
    const cx = rand() * w;
    const cy = rand() * h;
    const puffs = 5 + Math.floor(rand() * 6);
    for (let p = 0; p < puffs; p++) {
      const r = 18 + rand() * 40;
      const x = cx + (rand() - 0.5) * 120;
      const y = cy + (rand() - 0.5) * 40;
      for (const dx of [-w, 0, w]) {
        for (const dy of [-h, 0, h]) {
          const g = ctx.createRadialGradient(x + dx, y + dy, 0, x + dx, y + dy, r);
          g.addColorStop(0, 'rgba(255,255,255,0.55)');
          g.addColorStop(1, 'rgba(255,255,255,0)');
          ctx.fillStyle = g;
          ctx.fillRect(x + dx - r, y + dy - r, r * 2, r * 2);
        }
      }
    }
  }
  return finish(c);
}

/** Radial glow, white in the middle fading to nothing. */
export function glowTexture(doc) {
  const size = 128;
  const c = canvas(doc, size, size);
  const ctx = c.getContext('2d');
  const g = ctx.createRadialGradient(size / 2, size / 2, 0, size / 2, size / 2, size / 2);
  g.addColorStop(0, 'rgba(255,255,255,1)');
  g.addColorStop(0.4, 'rgba(255,255,255,0.45)');
  g.addColorStop(1, 'rgba(255,255,255,0)');
  ctx.fillStyle = g;
  ctx.fillRect(0, 0, size, size);
  return finish(c, { repeat: false });
}

/** A light shaft: bright towards the top, soft at the sides. */
export function shaftTexture(doc) {
  const w = 64;
  const h = 256;
  const c = canvas(doc, w, h);
  const ctx = c.getContext('2d');
  const g = ctx.createLinearGradient(0, 0, 0, h);
  g.addColorStop(0, 'rgba(255,248,225,0.55)');
  g.addColorStop(1, 'rgba(255,248,225,0)');
  ctx.fillStyle = g;
  ctx.fillRect(0, 0, w, h);
  ctx.globalCompositeOperation = 'destination-in';
  const side = ctx.createLinearGradient(0, 0, w, 0);
  side.addColorStop(0, 'rgba(0,0,0,0)');
  side.addColorStop(0.5, 'rgba(0,0,0,1)');
  side.addColorStop(1, 'rgba(0,0,0,0)');
  ctx.fillStyle = side;
  ctx.fillRect(0, 0, w, h);
  return finish(c, { repeat: false });
}

/** The soft shadow a frame casts on its wall. */
export function shadowTexture(doc) {
  const size = 128;
  const c = canvas(doc, size, size);
  const ctx = c.getContext('2d');
  // shadowBlur rather than ctx.filter: the filter is missing in some web views.
  ctx.shadowColor = 'rgba(0,0,0,0.6)';
  ctx.shadowBlur = 14;
  ctx.shadowOffsetX = size;
  ctx.fillStyle = '#000';
  ctx.fillRect(18 - size, 18, size - 36, size - 36);
  return finish(c, { repeat: false });
}

/**
 * A small cube map of the room for the shine of metal and glass: dark warm surroundings with
 * bright patches where the lamps and the skylight are. Added onto unlit materials, it moves
 * over gilt and steel as the viewer walks, for the price of one texture read.
 */
export function environmentTexture(doc) {
  const size = 32;
  const rand = seeded(91);
  const face = (top, bottom, blobs) => {
    const c = canvas(doc, size, size);
    const ctx = c.getContext('2d');
    const g = ctx.createLinearGradient(0, 0, 0, size);
    g.addColorStop(0, top);
    g.addColorStop(1, bottom);
    ctx.fillStyle = g;
    ctx.fillRect(0, 0, size, size);
    for (let i = 0; i < blobs; i++) {
      const x = 4 + rand() * (size - 8);
      const y = 3 + rand() * (size - 6);
      const r = 2 + rand() * 5;
      const b = ctx.createRadialGradient(x, y, 0, x, y, r);
      b.addColorStop(0, 'rgba(255,246,222,1)');
      b.addColorStop(1, 'rgba(255,246,222,0)');
      ctx.fillStyle = b;
      ctx.fillRect(x - r, y - r, r * 2, r * 2);
    }
    return c;
  };
  const side = () => face('#4a3e30', '#17120d', 2);
  // Order: +x, -x, +y, -y, +z, -z.
  const faces = [side(), side(), face('#6a5c48', '#6a5c48', 5), face('#201a14', '#120e0a', 0), side(), side()];
  const tex = new THREE.CubeTexture(faces);
  // The one texture still decoded: its shine is added to the colour, not multiplied, and the
  // linear value of these dark faces gives about the shine the metals had when the room
  // shaded in linear light. It is small and read only on metal.
  tex.colorSpace = THREE.SRGBColorSpace;
  tex.needsUpdate = true;
  return tex;
}
