// Light baked into vertex colours for everything that never moves. Every surface of the room
// then draws with an unlit material: per-pixel lighting is what a software renderer pays for
// most. Metals keep a view-dependent shine from a small environment map instead.

import * as THREE from 'three';
import { diffuseAt, linearToDisplay } from './lighting.js';

const p = new THREE.Vector3();
const n = new THREE.Vector3();
const normalMatrix = new THREE.Matrix3();

/**
 * Gives mesh (already placed: its world matrix is current) vertex colours of the light at
 * each vertex times base (linear [r, g, b]) times gain, on a copy of its geometry, stored as
 * the screen shows them.
 */
export function bakeMesh(mesh, lights, base = [1, 1, 1], gain = 1) {
  const geometry = mesh.geometry.clone();
  const pos = geometry.attributes.position;
  if (!geometry.attributes.normal) geometry.computeVertexNormals();
  const nor = geometry.attributes.normal;
  normalMatrix.getNormalMatrix(mesh.matrixWorld);
  const colours = new Float32Array(pos.count * 3);
  for (let i = 0; i < pos.count; i++) {
    p.fromBufferAttribute(pos, i).applyMatrix4(mesh.matrixWorld);
    n.fromBufferAttribute(nor, i).applyMatrix3(normalMatrix).normalize();
    const light = diffuseAt(lights, [p.x, p.y, p.z], [n.x, n.y, n.z]);
    for (let k = 0; k < 3; k++) colours[i * 3 + k] = linearToDisplay(base[k] * light[k] * gain);
  }
  geometry.setAttribute('color', new THREE.BufferAttribute(colours, 3));
  mesh.geometry = geometry;
}

/** How strongly a material reflects the room: metals and lacquer shine, the rest not at all. */
export function shineOf(material) {
  const metal = material.metalness || 0;
  if (metal > 0.2) return 0.22 + 0.3 * metal;
  const rough = material.roughness === undefined ? 1 : material.roughness;
  return rough < 0.35 ? 0.12 : 0;
}

/**
 * An unlit material for a baked mesh. env (a cube texture) gives shine when shine > 0; the
 * colour stays white so that callers can tint or brighten the baked light afterwards.
 */
export function bakedMaterial({ env = null, shine = 0, map = null, side = THREE.FrontSide } = {}) {
  const m = new THREE.MeshBasicMaterial({ vertexColors: true, map, side });
  if (env && shine > 0) {
    m.envMap = env;
    m.combine = THREE.AddOperation;
    m.reflectivity = shine;
  }
  return m;
}

/**
 * Bakes every mesh under root (placed in the world) with its own material's colour (linear,
 * as the glTF loader gives it), and gives it an unlit material. metalGain scales a metal's
 * baked light by 1 + metalGain × metalness: metals get no diffuse light in a physical model,
 * so a share of it stands in for their colour, more on a dim sculpture than on a frame under
 * its spot. Returns the meshes.
 */
export function bakeTree(root, lights, env, metalGain = 0.4) {
  const out = [];
  root.updateMatrixWorld(true);
  root.traverse((obj) => {
    if (!obj.isMesh || Array.isArray(obj.material)) return;
    const src = obj.material;
    const c = src.color || new THREE.Color(1, 1, 1);
    const gain = 1 + metalGain * (src.metalness || 0);
    bakeMesh(obj, lights, [c.r, c.g, c.b], gain);
    // A model's own picture is sampled as stored, like every texture of the room.
    if (src.map) src.map.colorSpace = THREE.NoColorSpace;
    obj.material = bakedMaterial({ env, shine: shineOf(src), map: src.map || null, side: src.side });
    obj.material.name = src.name;
    out.push(obj);
  });
  return out;
}
