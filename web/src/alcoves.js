// Sculptures on plinths in the alcove cells.

import * as THREE from 'three';
import { clone as cloneSkinned } from 'three/addons/utils/SkeletonUtils.js';
import { UNIT, alcoveCells, faceYaw, ALCOVE_MODELS } from './maps.js';
import { floorLights, diffuseAt } from './lighting.js';

const PLINTH_HEIGHT = 0.82;

/** Plinths go up at once; sculptures follow when their models arrive. */
export function createAlcoves(floors, mats) {
  const spots = [];
  floors.forEach((group, level) => {
    for (const cell of alcoveCells(level)) {
      const x = (cell.q + 0.5) * UNIT;
      const z = (cell.r + 0.5) * UNIT;
      const plinth = new THREE.Mesh(new THREE.BoxGeometry(0.7, PLINTH_HEIGHT, 0.7), mats.stone);
      plinth.position.set(x, PLINTH_HEIGHT / 2, z);
      const cap = new THREE.Mesh(new THREE.BoxGeometry(0.78, 0.05, 0.78), mats.stone);
      cap.position.set(x, PLINTH_HEIGHT + 0.025, z);
      group.add(plinth, cap);
      spots.push({ group, level, x, z, yaw: faceYaw(cell.dc, cell.dr), model: cell.model });
    }
  });

  /** models maps each alcove model name to its loaded scene. */
  function dress(models) {
    for (const spot of spots) {
      const source = models[spot.model];
      if (!source) continue;
      const obj = cloneSkinned(source);
      obj.position.set(spot.x, PLINTH_HEIGHT + 0.05, spot.z);
      obj.rotation.y = spot.yaw;
      obj.name = spot.model;
      spot.group.add(obj);
      bakeSculpture(obj, floorLights(spot.level));
    }
  }
  return { dress, names: ALCOVE_MODELS };
}

/**
 * Sculptures stand still under fixed lights, so their light goes into vertex colours and they
 * draw with an unlit material: the vertex work of a lit one is what software renderers feel.
 */
export function bakeSculpture(root, lights) {
  const p = new THREE.Vector3();
  const n = new THREE.Vector3();
  const normalMatrix = new THREE.Matrix3();
  root.updateMatrixWorld(true);
  root.traverse((obj) => {
    if (!obj.isMesh || Array.isArray(obj.material)) return;
    const src = obj.material;
    const geometry = obj.geometry.clone();
    const pos = geometry.attributes.position;
    const nor = geometry.attributes.normal;
    normalMatrix.getNormalMatrix(obj.matrixWorld);
    const base = src.color || new THREE.Color(1, 1, 1);
    // Metals get no diffuse light in a physical model; a share of it keeps their colour.
    const gain = 1 + 0.4 * (src.metalness || 0);
    const colours = new Float32Array(pos.count * 3);
    for (let i = 0; i < pos.count; i++) {
      p.fromBufferAttribute(pos, i).applyMatrix4(obj.matrixWorld);
      n.fromBufferAttribute(nor, i).applyMatrix3(normalMatrix).normalize();
      const light = diffuseAt(lights, [p.x, p.y, p.z], [n.x, n.y, n.z]);
      colours[i * 3] = base.r * light[0] * gain;
      colours[i * 3 + 1] = base.g * light[1] * gain;
      colours[i * 3 + 2] = base.b * light[2] * gain;
    }
    geometry.setAttribute('color', new THREE.BufferAttribute(colours, 3));
    obj.geometry = geometry;
    obj.material = new THREE.MeshBasicMaterial({ vertexColors: true, side: src.side });
  });
}
