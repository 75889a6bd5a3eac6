// Sculptures on plinths in the alcove cells, with their light baked in.

import * as THREE from 'three';
import { clone as cloneSkinned } from 'three/addons/utils/SkeletonUtils.js';
import { UNIT, alcoveCells, faceYaw, ALCOVE_MODELS } from './maps.js';
import { floorLights, linearColour } from './lighting.js';
import { bakeTree } from './bake.js';

const PLINTH_HEIGHT = 0.82;
const STONE = 0xd9d2c4;

/** Plinths go up at once; sculptures follow when their models arrive. env gives metals shine. */
export function createAlcoves(floors, env) {
  const spots = [];
  // Baked with the light like a model's material, so its colour is given in linear.
  const stone = new THREE.MeshLambertMaterial({ color: new THREE.Color(...linearColour(STONE)) });
  floors.forEach((group, level) => {
    const lights = floorLights(level);
    for (const cell of alcoveCells(level)) {
      const x = (cell.q + 0.5) * UNIT;
      const z = (cell.r + 0.5) * UNIT;
      const plinth = new THREE.Group();
      const base = new THREE.Mesh(new THREE.BoxGeometry(0.7, PLINTH_HEIGHT, 0.7), stone);
      base.position.set(x, PLINTH_HEIGHT / 2, z);
      const cap = new THREE.Mesh(new THREE.BoxGeometry(0.78, 0.05, 0.78), stone);
      cap.position.set(x, PLINTH_HEIGHT + 0.025, z);
      plinth.add(base, cap);
      group.add(plinth);
      bakeTree(plinth, lights, env);
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
      bakeTree(obj, floorLights(spot.level), env);
    }
  }
  return { dress, names: ALCOVE_MODELS };
}
