// The lift cabin's look: side walls, sliding door leaves, call button, sign, lamp, posters.

import * as THREE from 'three';
import { CABIN, doorSlide } from './lift.js';
import { WALL_HEIGHT } from './maps.js';

const DOOR_HEIGHT = 2.3;
const CABIN_HEIGHT = 2.62;
export const POSTER_CAPTION = 'Where the dragons of Quenvale sleep';

function box(w, h, d, material) {
  return new THREE.Mesh(new THREE.BoxGeometry(w, h, d), material);
}

function textCanvas(doc, text, w, h, font, colour, bg) {
  const c = doc.createElement('canvas');
  c.width = w;
  c.height = h;
  const ctx = c.getContext('2d');
  ctx.fillStyle = bg;
  ctx.fillRect(0, 0, w, h);
  ctx.font = font;
  ctx.fillStyle = colour;
  ctx.textAlign = 'center';
  ctx.textBaseline = 'middle';
  ctx.fillText(text, w / 2, h / 2);
  return new THREE.CanvasTexture(c);
}

/** Builds the cabin; returns the group and an update(open) for the door leaves. */
export function createCabin(doc, mats) {
  const group = new THREE.Group();
  group.name = 'lift';
  const { west, east, north, south } = CABIN;
  const width = east - west;
  const depth = south - north;
  const cx = (west + east) / 2;
  const cz = (north + south) / 2;
  // The cabin is lit by its own lamp: its surfaces are drawn in their lit colours, unlit, and
  // steel takes its shine from the room's environment map.
  const shine = (params, reflectivity) => new THREE.MeshBasicMaterial({
    ...params, envMap: mats.env, combine: THREE.AddOperation, reflectivity,
  });
  const steel = shine({ color: 0x70747a }, 0.3);
  const panel = new THREE.MeshBasicMaterial({ color: 0x86654a });
  const dark = new THREE.MeshBasicMaterial({ color: 0x2c2620 });
  const doorSteel = shine({ map: doorTexture(doc) }, 0.28);

  for (const z of [north + 0.05, south - 0.05]) {
    const wall = box(width, CABIN_HEIGHT, 0.1, panel);
    wall.position.set(cx, CABIN_HEIGHT / 2, z);
    group.add(wall);
  }
  const back = box(0.04, CABIN_HEIGHT, depth - 0.2, panel);
  back.position.set(east - 0.02, CABIN_HEIGHT / 2, cz);
  const roof = box(width, 0.06, depth, dark);
  roof.position.set(cx, CABIN_HEIGHT + 0.03, cz);
  const plate = box(width - 0.1, 0.01, depth - 0.2, steel);
  plate.position.set(cx, 0.005, cz);
  const header = box(0.12, WALL_HEIGHT - DOOR_HEIGHT, depth, steel);
  header.position.set(west, (WALL_HEIGHT + DOOR_HEIGHT) / 2, cz);
  group.add(back, roof, plate, header);

  const lampMat = new THREE.MeshBasicMaterial({ color: 0xfff2cc });
  const lamp = new THREE.Mesh(new THREE.CylinderGeometry(0.28, 0.28, 0.03, 24), lampMat);
  lamp.position.set(cx, CABIN_HEIGHT - 0.015, cz);
  group.add(lamp);

  // A brass surround and a lit sign over the door make it read as a lift from across the hall.
  const brass = mats.brassShine;
  for (const z of [north + 0.02, south - 0.02]) {
    const jamb = box(0.04, DOOR_HEIGHT + 0.1, 0.09, brass);
    jamb.position.set(west - 0.02, (DOOR_HEIGHT + 0.1) / 2, z);
    group.add(jamb);
  }
  const head = box(0.04, 0.09, depth + 0.13, brass);
  head.position.set(west - 0.02, DOOR_HEIGHT + 0.055, cz);
  const liftSign = new THREE.Mesh(
    new THREE.PlaneGeometry(0.9, 0.22),
    new THREE.MeshBasicMaterial({ map: textCanvas(doc, '\u25b2  LIFT  \u25bc', 512, 125, 'bold 64px Georgia, serif', '#ffcf70', '#15110c') }),
  );
  liftSign.position.set(west - 0.065, DOOR_HEIGHT + 0.32, cz);
  liftSign.rotation.y = -Math.PI / 2;
  group.add(head, liftSign);

  const leafWidth = (depth - 0.12) / 2;
  const leaves = [-1, 1].map((side) => {
    const leaf = box(0.05, DOOR_HEIGHT, leafWidth, doorSteel);
    leaf.userData.side = side;
    leaf.position.set(west + 0.03, DOOR_HEIGHT / 2, cz + side * leafWidth / 2);
    group.add(leaf);
    return leaf;
  });

  const button = new THREE.Mesh(
    new THREE.CircleGeometry(0.035, 20),
    new THREE.MeshBasicMaterial({ color: 0xffb347 }),
  );
  const buttonPlate = box(0.02, 0.22, 0.12, steel);
  buttonPlate.position.set(west - 0.01, 1.1, south + 0.22);
  button.position.set(west - 0.022, 1.1, south + 0.22);
  button.rotation.y = -Math.PI / 2;
  group.add(buttonPlate, button);

  const sign = new THREE.Mesh(
    new THREE.PlaneGeometry(1.1, 0.18),
    new THREE.MeshBasicMaterial({ map: textCanvas(doc, 'Press E to change floor.', 640, 104, '44px Georgia, serif', '#f0d078', '#1a1612') }),
  );
  sign.position.set(east - 0.045, 1.95, cz);
  sign.rotation.y = -Math.PI / 2;
  group.add(sign);

  const posters = {};
  for (const [name, z, turn] of [['dragon', north + 0.105, 0], ['book', south - 0.105, Math.PI]]) {
    const frame = box(0.86, 1.16, 0.03, mats.brassShine);
    frame.position.set(cx + 0.1, 1.5, z + (turn ? -0.015 : 0.015));
    const backing = new THREE.Mesh(new THREE.PlaneGeometry(0.8, 1.1), new THREE.MeshBasicMaterial({ color: 0x141a2c }));
    backing.position.set(cx + 0.1, 1.5, z + (turn ? -0.031 : 0.031));
    backing.rotation.y = turn;
    // Prints under the cabin lamp: unlit, shown as printed.
    const face = new THREE.Mesh(
      new THREE.PlaneGeometry(0.78, 1.08),
      new THREE.MeshBasicMaterial({ color: 0x222222, transparent: name === 'book' }),
    );
    face.position.set(cx + 0.1, 1.5, z + (turn ? -0.033 : 0.033));
    face.rotation.y = turn;
    group.add(frame, backing, face);
    posters[name] = face;
  }

  function update(open) {
    const slide = doorSlide(open);
    for (const leaf of leaves) {
      leaf.position.z = cz + leaf.userData.side * (leafWidth / 2 + slide * leafWidth);
    }
  }
  update(0);
  return { group, update, posters };
}

/** Brushed steel door leaf: fine vertical grain, a recessed panel and a darker meeting edge. */
function doorTexture(doc) {
  const w = 128;
  const h = 256;
  const c = doc.createElement('canvas');
  c.width = w;
  c.height = h;
  const ctx = c.getContext('2d');
  ctx.fillStyle = '#9aa0a8';
  ctx.fillRect(0, 0, w, h);
  let seed = 7;
  const rand = () => {
    seed = (seed * 16807) % 2147483647;
    return seed / 2147483647;
  };
  for (let x = 0; x < w; x++) {
    ctx.fillStyle = 'rgba(' + (rand() < 0.5 ? '40,44,50' : '235,238,242') + ',' + (0.05 + rand() * 0.08) + ')';
    ctx.fillRect(x, 0, 1, h);
  }
  ctx.strokeStyle = 'rgba(30,32,36,0.55)';
  ctx.lineWidth = 3;
  ctx.strokeRect(14, 16, w - 28, h - 32);
  ctx.strokeStyle = 'rgba(255,255,255,0.35)';
  ctx.lineWidth = 1;
  ctx.strokeRect(17, 19, w - 34, h - 38);
  ctx.fillStyle = 'rgba(20,22,26,0.7)';
  ctx.fillRect(0, 0, 4, h);
  ctx.fillRect(w - 4, 0, 4, h);
  const tex = new THREE.CanvasTexture(c);
  tex.minFilter = THREE.LinearMipmapNearestFilter;
  return tex;
}

function imageCanvas(doc, img) {
  const c = doc.createElement('canvas');
  c.width = img.naturalWidth || img.width;
  c.height = img.naturalHeight || img.height;
  const ctx = c.getContext('2d');
  ctx.drawImage(img, 0, 0);
  return { c, ctx };
}

/** The dragon poster with its caption line drawn across the bottom. */
export function captionedPoster(doc, img, caption = POSTER_CAPTION) {
  const { c, ctx } = imageCanvas(doc, img);
  const band = 72;
  ctx.fillStyle = 'rgba(12,8,6,0.72)';
  ctx.fillRect(0, c.height - band, c.width, band);
  ctx.font = '42px Georgia, "Times New Roman", serif';
  ctx.fillStyle = '#f0d078';
  ctx.textAlign = 'center';
  ctx.textBaseline = 'middle';
  ctx.fillText(caption, c.width / 2, c.height - band / 2, c.width - 40);
  return new THREE.CanvasTexture(c);
}

/** The book poster with its near-black background made transparent. */
export function cutOutPoster(doc, img) {
  const { c, ctx } = imageCanvas(doc, img);
  const data = ctx.getImageData(0, 0, c.width, c.height);
  const px = data.data;
  for (let i = 0; i < px.length; i += 4) {
    if (px[i] < 16 && px[i + 1] < 16 && px[i + 2] < 16) px[i + 3] = 0;
  }
  ctx.putImageData(data, 0, 0);
  return new THREE.CanvasTexture(c);
}

export function loadImage(doc, url) {
  return new Promise((resolve, reject) => {
    const img = doc.createElement('img');
    img.onload = () => resolve(img);
    img.onerror = () => reject(new Error('Could not load ' + url));
    img.src = url;
  });
}
