// The two floors: walls with skirting and cornice, doorway lintels, floors, ceilings, the bench,
// the skylight of floor two, and the lighting of each floor.

import * as THREE from 'three';
import {
  UNIT, WALL_HEIGHT, ROWS, COLS, DIRECTIONS, BENCH, cellAt, isWallChar, isWalkableChar,
} from './maps.js';
import { createBuilder, addQuad, addBox, toGeometry, isEmpty, bakeLight, tint, append } from './geometry.js';
import { floorLights, linearColour } from './lighting.js';
import {
  plasterTexture, marbleTexture, woodTexture, cofferTexture, skyTexture, cloudTexture,
  glowTexture, shaftTexture, environmentTexture,
} from './textures.js';

const SKIRT_HEIGHT = 0.14;
const SKIRT_DEPTH = 0.018;
const CAP_HEIGHT = 0.012;
const CAP_DEPTH = 0.026;
const CORNICE_BASE = 3.56;
const LINTEL_CENTRE = 3.02;
const LINTEL_HEIGHT = 1.4;
const PLASTER_REPEAT = 1 / 2.6;
const MARBLE_REPEAT = 1 / (8 * 0.65);
const REGION = Object.freeze({ q: 4, r: 4 });
// The skylight opening of floor two, in cells.
const SKYLIGHT = Object.freeze({ q0: 10, q1: 14, r0: 6, r1: 11, height: 4.5 });
export const LIGHT_POOL = Object.freeze({ x: 12.2 * UNIT, z: 8.2 * UNIT });

/**
 * Shared textures and materials for both floors. Nothing in the room is lit live: the static
 * surfaces take their light from vertex colours (see lighting.js), metals add the shine of a
 * small environment map.
 */
export function createMaterials(doc) {
  const plaster = plasterTexture(doc);
  const marble = marbleTexture(doc);
  const wood = woodTexture(doc);
  const coffer = cofferTexture(doc);
  const glow = glowTexture(doc);
  const env = environmentTexture(doc);
  const baked = (params) => new THREE.MeshBasicMaterial({ vertexColors: true, ...params });
  return {
    textures: { plaster, marble, wood, coffer, glow, sky: skyTexture(doc), clouds: cloudTexture(doc), shaft: shaftTexture(doc) },
    env,
    // Plastered surfaces (walls, niches, lintels) and untextured ones (skirting, brass cap,
    // cornice, beams, the bench's stone) each share one material; their own colours are in
    // the vertex colours, so a region of the map draws in a few calls.
    plastered: baked({ map: plaster }),
    plain: baked({}),
    floor: baked({ map: marble }),
    ceiling: baked({ map: coffer }),
    benchWood: baked({ map: wood, color: 0xc09070 }),
    brassShine: new THREE.MeshBasicMaterial({
      color: 0x8a6a2c, envMap: env, combine: THREE.AddOperation, reflectivity: 0.45,
    }),
  };
}

function mesh(b, material) {
  return isEmpty(b) ? null : new THREE.Mesh(toGeometry(b), material);
}

// The face of cell (q, r) that looks towards (dc, dr), facing the room, in a grid fine enough
// for the baked spot light pools.
// Faces away from every spot need only a few rows for the soft ambient gradient.
const FINE_GRID = Object.freeze({ across: 5, up: 12 });
const COARSE_GRID = Object.freeze({ across: 1, up: 3 });
const SPOT_REACH = 4.2;

function nearSpot(spots, x, z) {
  return spots.some((s) => Math.hypot(s.position[0] - x, s.position[2] - z) < SPOT_REACH);
}

function addWallFace(b, q, r, dc, dr, y0, y1, uvScale, spots) {
  const cx = (q + 0.5 + dc * 0.5) * UNIT;
  const cz = (r + 0.5 + dr * 0.5) * UNIT;
  const h = UNIT / 2;
  // For a viewer looking at the face, (dr, -dc) runs to the right.
  const lx = cx - dr * h;
  const lz = cz + dc * h;
  const { across, up } = nearSpot(spots, cx, cz) ? FINE_GRID : COARSE_GRID;
  for (let j = 0; j < up; j++) {
    const ya = y0 + ((y1 - y0) * j) / up;
    const yb = y0 + ((y1 - y0) * (j + 1)) / up;
    for (let i = 0; i < across; i++) {
      const sa = (UNIT * i) / across;
      const sb = (UNIT * (i + 1)) / across;
      const pa = [lx + dr * sa, lz - dc * sa];
      const pb = [lx + dr * sb, lz - dc * sb];
      const along = (p) => (p[0] * dr - p[1] * dc) * uvScale;
      addQuad(b, [[pa[0], ya, pa[1]], [pb[0], ya, pb[1]], [pb[0], yb, pb[1]], [pa[0], yb, pa[1]]], [dc, 0, dr],
        [[along(pa), ya * uvScale], [along(pb), ya * uvScale], [along(pb), yb * uvScale], [along(pa), yb * uvScale]]);
    }
  }
}

// A strip along a wall face (skirting, cap, cornice), lengthened at open ends so corners close.
function addStrip(b, level, q, r, dc, dr, y0, y1, depth, uvScale) {
  const tq = -dr;
  const tr = dc;
  const runs = (k) => {
    const nq = q + tq * k;
    const nr = r + tr * k;
    return isWallChar(cellAt(level, nq, nr)) && exposed(cellAt(level, nq + dc, nr + dr));
  };
  const extLo = runs(-1) ? 0 : depth;
  const extHi = runs(1) ? 0 : depth;
  const fx = (q + 0.5 + dc * 0.5) * UNIT;
  const fz = (r + 0.5 + dr * 0.5) * UNIT;
  const lo = -UNIT / 2 - extLo;
  const hi = UNIT / 2 + extHi;
  const p0 = [fx + tq * lo, fz + tr * lo];
  const p1 = [fx + tq * hi + dc * depth, fz + tr * hi + dr * depth];
  const min = [Math.min(p0[0], p1[0]), y0, Math.min(p0[1], p1[1])];
  const max = [Math.max(p0[0], p1[0]), y1, Math.max(p0[1], p1[1])];
  // Leave out the faces nobody sees: the underside, the back against the wall, and ends that
  // butt onto the next strip of the same run.
  const skip = ['ny', faceName(-dc, -dr)];
  if (!extLo) skip.push(faceName(-tq, -tr));
  if (!extHi) skip.push(faceName(tq, tr));
  addBox(b, min, max, uvScale, skip);
}

function faceName(dx, dz) {
  if (dx) return dx > 0 ? 'px' : 'nx';
  return dz > 0 ? 'pz' : 'nz';
}

function exposed(ch) {
  return isWalkableChar(ch) || ch === 'a';
}

/** Builds one floor's static geometry as a group of merged meshes. */
export function buildFloor(level, mats) {
  const lights = floorLights(level);
  // The walls, trims and floor are cut into regions of the map so that the parts behind the
  // viewer are culled instead of processed every frame.
  const regions = new Map();
  const at = (kind, q, r) => {
    const key = kind + ':' + Math.floor(q / REGION.q) + ':' + Math.floor(r / REGION.r);
    if (!regions.has(key)) regions.set(key, { kind, builder: createBuilder({ colors: true }) });
    return regions.get(key).builder;
  };
  const ceilings = createBuilder({ colors: true });
  const beams = createBuilder({ colors: true });
  const benchWood = createBuilder({ colors: true });
  const benchStone = createBuilder({ colors: true });

  for (let r = -1; r <= ROWS; r++) {
    for (let q = -1; q <= COLS; q++) {
      const ch = cellAt(level, q, r);
      if (isWallChar(ch)) {
        for (const [dc, dr] of DIRECTIONS) {
          const next = cellAt(level, q + dc, r + dr);
          if (!exposed(next)) continue;
          addWallFace(at(next === 'a' ? 'niche' : 'wall', q, r), q, r, dc, dr, 0, WALL_HEIGHT, PLASTER_REPEAT, lights.spots);
          addStrip(at('skirting', q, r), level, q, r, dc, dr, 0, SKIRT_HEIGHT, SKIRT_DEPTH, 1 / 0.5);
          addStrip(at('brass', q, r), level, q, r, dc, dr, SKIRT_HEIGHT, SKIRT_HEIGHT + CAP_HEIGHT, CAP_DEPTH, 1);
          addStrip(at('cornice', q, r), level, q, r, dc, dr, CORNICE_BASE, CORNICE_BASE + 0.07, 0.05, 1);
          addStrip(at('cornice', q, r), level, q, r, dc, dr, CORNICE_BASE + 0.07, WALL_HEIGHT, 0.1, 1);
        }
      }
      if (exposed(ch)) addFloorCell(at('floor', q, r), q, r, nearSpot(lights.spots, (q + 0.5) * UNIT, (r + 0.5) * UNIT) ? 4 : 2);
      if (ch === 'D') {
        const x0 = q * UNIT;
        const z0 = r * UNIT;
        const y0 = LINTEL_CENTRE - LINTEL_HEIGHT / 2;
        addBox(at('wall', q, r), [x0, y0, z0], [x0 + UNIT, LINTEL_CENTRE + LINTEL_HEIGHT / 2, z0 + UNIT], PLASTER_REPEAT, ['px', 'nx', 'py']);
      }
    }
  }

  const group = new THREE.Group();
  group.name = 'floor-' + level;
  if (level === 0) addCofferedCeiling(ceilings, beams);
  else addSkylitCeiling(ceilings, beams, level);
  addBench(benchWood, benchStone);

  // Each region's pieces go into one builder per material, in their own colours.
  const merged = new Map();
  const into = (material, region) => {
    const key = material + ':' + region;
    if (!merged.has(key)) merged.set(key, { material, builder: createBuilder({ colors: true }) });
    return merged.get(key).builder;
  };
  for (const [key, { kind, builder }] of regions) {
    const { material, colour } = SURFACES[kind];
    tint(builder, linearColour(colour));
    append(into(material, key.slice(kind.length + 1)), builder);
  }
  tint(beams, linearColour(BEAM_COLOUR));
  tint(benchStone, linearColour(STONE_COLOUR));

  // Walls draw first so that what they hide (most of the ceiling plane) fails the depth test
  // before it is shaded.
  const order = { plastered: -4, plain: -3, floor: -2 };
  const parts = [
    ...[...merged.values()].map(({ material, builder }) => [builder, mats[material], order[material]]),
    [ceilings, mats.ceiling, -1], [beams, mats.plain, -2], [benchWood, mats.benchWood, -3], [benchStone, mats.plain, -3],
  ];
  for (const [b, material, order] of parts) {
    bakeLight(b, lights);
    const m = mesh(b, material);
    if (!m) continue;
    m.renderOrder = order;
    group.add(m);
  }
  if (level === 1) group.add(...skylightParts(mats));
  return group;
}

const SURFACES = Object.freeze({
  wall: { material: 'plastered', colour: 0xfff4e2 },
  niche: { material: 'plastered', colour: 0x9a5a4a },
  skirting: { material: 'plain', colour: 0x3a2416 },
  brass: { material: 'plain', colour: 0xc8a04a },
  cornice: { material: 'plain', colour: 0xf2e8d4 },
  floor: { material: 'floor', colour: 0xffffff },
});
const BEAM_COLOUR = 0xe2d6bc;
const STONE_COLOUR = 0xd9d2c4;


// Floors get a worn walking path: slabs darken and warm along the hall's main line.
function wear(x, z) {
  const d = Math.abs(x - 12.2 * UNIT);
  const path = Math.max(0, 1 - d / 1.6) * (z > 2 * UNIT && z < 17 * UNIT ? 1 : 0.4);
  return [1 - 0.13 * path, 1 - 0.15 * path, 1 - 0.19 * path];
}

function addFloorCell(b, q, r, n) {
  // n × n sub-squares so the wear and the light pools can vary inside a cell.
  const half = UNIT / n;
  for (let j = 0; j < n; j++) {
    for (let i = 0; i < n; i++) {
      const x0 = q * UNIT + i * half;
      const z0 = r * UNIT + j * half;
      const x1 = x0 + half;
      const z1 = z0 + half;
      const s = MARBLE_REPEAT;
      const corners = [[x0, 0, z1], [x1, 0, z1], [x1, 0, z0], [x0, 0, z0]];
      addQuad(b, corners, [0, 1, 0], corners.map((p) => [p[0] * s, -p[2] * s]), corners.map((p) => wear(p[0], p[2])));
    }
  }
}

const CEILING_BAY = 2 * UNIT;

function addCofferedCeiling(ceil, beams) {
  // 11 × 9 bays of two cells from the map's inner corner.
  const x0 = UNIT;
  const z0 = UNIT;
  const x1 = x0 + 11 * CEILING_BAY;
  const z1 = z0 + 9 * CEILING_BAY;
  const y = WALL_HEIGHT;
  const corners = [[x0, y, z0], [x1, y, z0], [x1, y, z1], [x0, y, z1]];
  const uv = corners.map((p) => [(p[0] - x0) / CEILING_BAY, (p[2] - z0) / CEILING_BAY]);
  addQuad(ceil, corners, [0, -1, 0], uv);
  const depth = 0.16;
  const width = 0.12;
  for (let k = 0; k <= 11; k++) {
    const x = x0 + k * CEILING_BAY;
    addBox(beams, [x - width, y - depth, z0], [x + width, y, z1], 1, ['py']);
  }
  for (let k = 0; k <= 9; k++) {
    const z = z0 + k * CEILING_BAY;
    addBox(beams, [x0, y - depth, z - width], [x1, y, z + width], 1, ['py']);
  }
}

function inSkylight(q, r) {
  return q >= SKYLIGHT.q0 && q < SKYLIGHT.q1 && r >= SKYLIGHT.r0 && r < SKYLIGHT.r1;
}

function addSkylitCeiling(ceil, beams, level) {
  const y = WALL_HEIGHT;
  for (let r = 0; r < ROWS; r++) {
    for (let q = 0; q < COLS; q++) {
      if (!exposed(cellAt(level, q, r)) || inSkylight(q, r)) continue;
      const x0 = q * UNIT;
      const z0 = r * UNIT;
      const corners = [[x0, y, z0], [x0 + UNIT, y, z0], [x0 + UNIT, y, z0 + UNIT], [x0, y, z0 + UNIT]];
      addQuad(ceil, corners, [0, -1, 0], corners.map((p) => [p[0] / CEILING_BAY, p[2] / CEILING_BAY]));
    }
  }
  // The light well up to the glass, and the glazing bars.
  const { q0, q1, r0, r1, height } = SKYLIGHT;
  const x0 = q0 * UNIT;
  const x1 = q1 * UNIT;
  const z0 = r0 * UNIT;
  const z1 = r1 * UNIT;
  addBox(beams, [x0 - 0.02, y, z0 - 0.02], [x1 + 0.02, height, z0], 1, ['nz', 'py', 'ny']);
  addBox(beams, [x0 - 0.02, y, z1], [x1 + 0.02, height, z1 + 0.02], 1, ['pz', 'py', 'ny']);
  addBox(beams, [x0 - 0.02, y, z0], [x0, height, z1], 1, ['nx', 'py', 'ny']);
  addBox(beams, [x1, y, z0], [x1 + 0.02, height, z1], 1, ['px', 'py', 'ny']);
  for (let k = 1; k < q1 - q0; k++) {
    const x = x0 + k * UNIT;
    addBox(beams, [x - 0.03, height - 0.12, z0], [x + 0.03, height - 0.04, z1], 1, ['py']);
  }
  for (let k = 1; k < r1 - r0; k++) {
    const z = z0 + k * UNIT;
    addBox(beams, [x0, height - 0.12, z - 0.03], [x1, height - 0.04, z + 0.03], 1, ['py']);
  }
}

function skylightParts(mats) {
  const { q0, q1, r0, r1, height } = SKYLIGHT;
  const w = (q1 - q0) * UNIT;
  const d = (r1 - r0) * UNIT;
  const cx = ((q0 + q1) / 2) * UNIT;
  const cz = ((r0 + r1) / 2) * UNIT;
  const sky = new THREE.Mesh(new THREE.PlaneGeometry(w, d), new THREE.MeshBasicMaterial({ map: mats.textures.sky, fog: false }));
  sky.rotation.x = Math.PI / 2;
  sky.position.set(cx, height, cz);
  const clouds = new THREE.Mesh(
    new THREE.PlaneGeometry(w, d),
    new THREE.MeshBasicMaterial({ map: mats.textures.clouds, transparent: true, depthWrite: false, fog: false }),
  );
  clouds.rotation.x = Math.PI / 2;
  clouds.position.set(cx, height - 0.02, cz);
  clouds.name = 'clouds';
  clouds.renderOrder = 1;

  const shaftMat = new THREE.MeshBasicMaterial({
    map: mats.textures.shaft, transparent: true, depthWrite: false, blending: THREE.AdditiveBlending,
    side: THREE.DoubleSide, opacity: 0.5, fog: false,
  });
  const shafts = [];
  for (const turn of [0.5, -0.5]) {
    const shaft = new THREE.Mesh(new THREE.PlaneGeometry(2.6, height), shaftMat);
    shaft.position.set(LIGHT_POOL.x, height / 2, LIGHT_POOL.z);
    shaft.rotation.set(0, Math.PI / 4 + turn * Math.PI / 2, 0.12 * Math.sign(turn));
    shaft.renderOrder = 2;
    shafts.push(shaft);
  }
  const pool = new THREE.Mesh(
    new THREE.PlaneGeometry(3.4, 3.0),
    new THREE.MeshBasicMaterial({
      map: mats.textures.glow, color: 0xfff0c8, transparent: true, depthWrite: false,
      blending: THREE.AdditiveBlending, opacity: 0.35,
    }),
  );
  pool.rotation.x = -Math.PI / 2;
  pool.position.set(LIGHT_POOL.x, 0.004, LIGHT_POOL.z);
  pool.renderOrder = 1;
  return [sky, clouds, ...shafts, pool];
}

function addBench(seat, stone) {
  const { x, z } = BENCH;
  const len = 1.8;
  addBox(seat, [x - 0.3, 0.42, z - len], [x + 0.3, 0.48, z + len], 2);
  addBox(seat, [x - 0.27, 0.38, z - len + 0.05], [x + 0.27, 0.42, z + len - 0.05], 2);
  for (const s of [-1, 1]) {
    addBox(stone, [x - 0.26, 0, z + s * (len - 0.35) - 0.14], [x + 0.26, 0.38, z + s * (len - 0.35) + 0.14], 2, ['ny']);
  }
}

/** Moves the drifting cloud layer; seconds is the running time. */
export function driftClouds(group, seconds) {
  const clouds = group.getObjectByName('clouds');
  if (clouds) clouds.material.map.offset.x = (seconds * 0.0016) % 1;
}
