// The ten frames: hanging the models, glass, wall shadow, plaque, pictures and highlight.

import * as THREE from 'three';
import { clone as cloneSkinned } from 'three/addons/utils/SkeletonUtils.js';
import {
  frameCells, hangPoint, frameWidth, frameModel, faceYaw, FRAME_HEIGHT, FRAME_BASE,
} from './maps.js';
import { createPlaque, setPlaque } from './plaque.js';
import { freshUrl } from './pictures.js';

const GLOW = Object.freeze({ Gold: 0x3a2808, Silver: 0x242428 });
const EMPTY_CANVAS = 0xd8c8a4;
const PLAQUE_DROP = 0.22;
// Carved ornament is drawn only for frames this close to the eye; it is most of a frame's
// triangles, which software renderers pay for dearly.
export const DETAIL_REACH = 3.4;

/**
 * Refits the texture coordinates of every "Canvas" mesh to its x/y extent, so any picture
 * fills it. Models face -z: seen from the front, +x runs to the viewer's left, so u runs
 * from max x to min x.
 */
export function refitCanvasUvs(root) {
  root.traverse((obj) => {
    if (!obj.isMesh || !isNamed(obj.material, 'Canvas')) return;
    const pos = obj.geometry.attributes.position;
    obj.geometry.computeBoundingBox();
    const { min, max } = obj.geometry.boundingBox;
    const w = max.x - min.x || 1;
    const h = max.y - min.y || 1;
    const uv = new Float32Array(pos.count * 2);
    for (let i = 0; i < pos.count; i++) {
      uv[i * 2] = (max.x - pos.getX(i)) / w;
      uv[i * 2 + 1] = (pos.getY(i) - min.y) / h;
    }
    obj.geometry.setAttribute('uv', new THREE.BufferAttribute(uv, 2));
  });
}

function isNamed(material, name) {
  return !Array.isArray(material) && material && material.name === name;
}

function canvasBox(root) {
  const box = new THREE.Box3();
  root.updateMatrixWorld(true);
  root.traverse((obj) => {
    if (obj.isMesh && isNamed(obj.material, 'Canvas')) box.expandByObject(obj);
  });
  return box;
}

/** State of every frame; nothing is hung until place() runs. */
export function createFrames({ doc, floors, shared, loadPicture, nowMs }) {
  const frames = new Map();
  let ready = false;

  function place(models) {
    models.forEach((m) => refitCanvasUvs(m));
    for (let level = 0; level < floors.length; level++) {
      for (const cell of frameCells(level)) {
        const hp = hangPoint(cell.frame, level, cell.q, cell.r);
        const width = frameWidth(cell.frame);
        const holder = new THREE.Group();
        holder.name = 'frame-' + cell.frame;
        holder.position.set(hp.x, FRAME_BASE, hp.z);
        holder.rotation.y = faceYaw(hp.dc, hp.dr);
        const model = cloneSkinned(models[frameModel(cell.frame) - 1]);
        model.scale.set(width, FRAME_HEIGHT, FRAME_HEIGHT);
        const canvases = [];
        const highlights = [];
        const detail = [];
        model.traverse((obj) => {
          if (!obj.isMesh || Array.isArray(obj.material)) return;
          if (obj.name.startsWith('ornament') || (obj.parent && obj.parent.name.startsWith('ornament'))) detail.push(obj);
          const name = obj.material.name;
          if (name === 'Canvas') {
            obj.material = obj.material.clone();
            obj.material.color.setHex(EMPTY_CANVAS);
            canvases.push(obj.material);
          } else if (name === 'Gold' || name === 'Silver') {
            obj.material = obj.material.clone();
            obj.material.emissive = new THREE.Color(GLOW[name]);
            obj.material.emissiveIntensity = 0.35;
            highlights.push(obj.material);
          }
        });
        holder.add(model);
        const box = canvasBox(model);
        const size = box.getSize(new THREE.Vector3());
        const centre = box.getCenter(new THREE.Vector3());
        const glass = new THREE.Mesh(new THREE.PlaneGeometry(size.x, size.y), shared.glass);
        glass.position.set(centre.x, centre.y, box.min.z - 0.004);
        glass.rotation.y = Math.PI;
        glass.renderOrder = 3;
        const shadow = new THREE.Mesh(new THREE.PlaneGeometry(width * 1.08 + 0.3, FRAME_HEIGHT * 1.04 + 0.3), shared.shadow);
        shadow.position.set(0, FRAME_HEIGHT / 2 - 0.07, 0.003);
        shadow.rotation.y = Math.PI;
        const plaque = createPlaque(doc, cell.frame);
        plaque.mesh.position.set(0, -PLAQUE_DROP, 0.001);
        plaque.mesh.rotation.y = Math.PI;
        holder.add(glass, shadow, plaque.mesh);
        floors[level].add(holder);
        frames.set(cell.frame, {
          frame: cell.frame, level, x: hp.x, z: hp.z, dc: hp.dc, dr: hp.dr, width,
          bottom: FRAME_BASE, height: FRAME_HEIGHT, holder, canvases, highlights, detail, plaque,
          picture: null, url: '', token: 0,
        });
      }
    }
    ready = true;
  }

  function setPicture(f, texture, url) {
    if (f.picture) f.picture.dispose();
    f.picture = texture;
    f.url = url;
    for (const m of f.canvases) {
      m.map = texture;
      m.color.setHex(texture ? 0xffffff : EMPTY_CANVAS);
      m.needsUpdate = true;
    }
  }

  /** Loads url (made fresh) onto the frame's canvas; a later paint or clear wins. */
  function paintSpot(frame, url) {
    const f = frames.get(frame);
    if (!f) return Promise.resolve(false);
    const token = ++f.token;
    return loadPicture(freshUrl(url, nowMs())).then((tex) => {
      if (token !== f.token) {
        tex.dispose();
        return false;
      }
      setPicture(f, tex, url);
      return true;
    }, () => false);
  }

  function clearSpot(frame) {
    const f = frames.get(frame);
    if (!f) return;
    f.token++;
    setPlaque(f.plaque, '');
    setPicture(f, null, '');
  }

  function markSelected(frame) {
    for (const f of frames.values()) {
      for (const m of f.highlights) m.emissiveIntensity = f.frame === frame ? 1.15 : 0.35;
    }
  }

  function setTitle(frame, title) {
    const f = frames.get(frame);
    if (f) setPlaque(f.plaque, title);
  }

  /** Shows the carved detail of the frames near the eye only. */
  function updateDetail(x, z) {
    for (const f of frames.values()) {
      const near = Math.hypot(f.x - x, f.z - z) < DETAIL_REACH;
      for (const m of f.detail) m.visible = near;
    }
  }

  /** Rectangles for the aim check and spot positions for the lights. */
  function rects() {
    return [...frames.values()];
  }

  return {
    place, paintSpot, clearSpot, markSelected, setTitle, rects, updateDetail,
    get ready() { return ready; },
    get(frame) { return frames.get(frame); },
  };
}

export function createSharedFrameParts(doc, shadowTex) {
  return {
    glass: new THREE.MeshPhongMaterial({
      color: 0xffffff, transparent: true, opacity: 0.07, shininess: 120, specular: 0xffffff, depthWrite: false,
    }),
    shadow: new THREE.MeshBasicMaterial({ map: shadowTex, transparent: true, depthWrite: false, opacity: 0.75 }),
  };
}
