// The ten frames: hanging the models, wall shadow, plaque, pictures and highlight. Their light
// is baked in when they are hung (bake.js); a faint reflection on the picture stands in for
// the glass.

import * as THREE from 'three';
import { clone as cloneSkinned } from 'three/addons/utils/SkeletonUtils.js';
import {
  frameCells, hangPoint, frameWidth, frameModel, faceYaw, plaquePlace, FRAME_HEIGHT, FRAME_BASE, PLAQUE,
} from './maps.js';
import { floorLights } from './lighting.js';
import { bakeTree, bakeMesh } from './bake.js';
import { createPlaque, setPlaque } from './plaque.js';
import { freshUrl } from './pictures.js';

const EMPTY_CANVAS = 0xd8c8a4;
const GLASS_SHINE = 0.05;
// Gilt right under a spot would wash out at full diffuse light; its shine comes from env.
const METAL_GAIN = -0.6;
// The highlight brightens the gilt (or silver) of the chosen frame: the light times these,
// as a factor on display values (the room shades in display space).
export const GLOW = Object.freeze({ off: 0.35, on: 1.15 });
const LIT = Object.freeze([1.45, 1.32, 1.1].map((f) => f ** (1 / 2.2)));
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

/** State of every frame; nothing is hung until place() runs. env gives the gilt its shine. */
export function createFrames({ doc, floors, shared, env, loadPicture, nowMs }) {
  const frames = new Map();
  let ready = false;

  function place(models) {
    models.forEach((m) => refitCanvasUvs(m));
    for (let level = 0; level < floors.length; level++) {
      const lights = floorLights(level);
      for (const cell of frameCells(level)) {
        const hp = hangPoint(cell.frame, level, cell.q, cell.r);
        const width = frameWidth(cell.frame);
        const holder = new THREE.Group();
        holder.name = 'frame-' + cell.frame;
        holder.position.set(hp.x, FRAME_BASE, hp.z);
        holder.rotation.y = faceYaw(hp.dc, hp.dr);
        const model = cloneSkinned(models[frameModel(cell.frame) - 1]);
        model.scale.set(width, FRAME_HEIGHT, FRAME_HEIGHT);
        holder.add(model);
        const shadow = new THREE.Mesh(new THREE.PlaneGeometry(width * 1.08 + 0.3, FRAME_HEIGHT * 1.04 + 0.3), shared.shadow);
        shadow.position.set(0, FRAME_HEIGHT / 2 - 0.07, 0.003);
        shadow.rotation.y = Math.PI;
        const spot = plaquePlace(cell.frame, level, cell.q, cell.r);
        const plaque = createPlaque(doc, cell.frame, spot.width);
        plaque.mesh.position.set(spot.along, PLAQUE.centre - FRAME_BASE, -0.008);
        plaque.mesh.rotation.y = Math.PI;
        holder.add(shadow, plaque.mesh);
        floors[level].add(holder);
        holder.updateMatrixWorld(true);
        bakeMesh(plaque.mesh, lights);
        plaque.mesh.material.vertexColors = true;
        const canvases = [];
        const highlights = [];
        const detail = [];
        for (const obj of bakeTree(model, lights, env, METAL_GAIN)) {
          if (obj.name.startsWith('ornament') || (obj.parent && obj.parent.name.startsWith('ornament'))) detail.push(obj);
          const name = obj.material.name;
          if (name === 'Canvas') {
            obj.material.color.setHex(EMPTY_CANVAS);
            obj.material.envMap = env;
            obj.material.combine = THREE.AddOperation;
            obj.material.reflectivity = GLASS_SHINE;
            canvases.push(obj.material);
          } else if (name === 'Gold' || name === 'Silver') {
            highlights.push(obj.material);
          }
        }
        frames.set(cell.frame, {
          frame: cell.frame, level, x: hp.x, z: hp.z, dc: hp.dc, dr: hp.dr, width,
          bottom: FRAME_BASE, height: FRAME_HEIGHT, holder, canvases, highlights, detail, plaque,
          picture: null, url: '', token: 0, glow: GLOW.off,
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

  /**
   * Loads url (made fresh) onto the frame's canvas; a later paint or clear wins. With a title,
   * the plaque changes together with the picture: a picture that fails to load leaves both as
   * they were, so plaque and picture always belong together.
   */
  function paintSpot(frame, url, title) {
    const f = frames.get(frame);
    if (!f) return Promise.resolve(false);
    const token = ++f.token;
    return loadPicture(freshUrl(url, nowMs())).then((tex) => {
      if (token !== f.token) {
        tex.dispose();
        return false;
      }
      setPicture(f, tex, url);
      if (title !== undefined) setPlaque(f.plaque, title);
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
      f.glow = f.frame === frame ? GLOW.on : GLOW.off;
      for (const m of f.highlights) {
        if (f.glow === GLOW.on) m.color.setRGB(LIT[0], LIT[1], LIT[2]);
        else m.color.setRGB(1, 1, 1);
      }
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

export function createSharedFrameParts(shadowTex) {
  return {
    shadow: new THREE.MeshBasicMaterial({ map: shadowTex, transparent: true, depthWrite: false, opacity: 0.75 }),
  };
}
