// The glowing admission sign across the gate line.

import * as THREE from 'three';
import { GATE_X, GATE_Z, GATE_HEIGHT, gateOpacity, GATE_DROPOUT } from './gate.js';

export function createGateSign(doc) {
  const c = doc.createElement('canvas');
  c.width = 1024;
  c.height = 192;
  const ctx = c.getContext('2d');
  ctx.font = 'bold 72px Consolas, "DejaVu Sans Mono", monospace';
  ctx.textAlign = 'center';
  ctx.textBaseline = 'middle';
  ctx.shadowColor = '#32ff7a';
  for (const blur of [36, 18]) {
    ctx.shadowBlur = blur;
    ctx.fillStyle = '#3ee67e';
    ctx.fillText('200 sats to enter', c.width / 2, c.height / 2);
  }
  // The glow is soft; the letters on top of it are drawn sharp.
  ctx.shadowBlur = 0;
  ctx.fillStyle = '#d4ffe2';
  ctx.fillText('200 sats to enter', c.width / 2, c.height / 2);
  const tex = new THREE.CanvasTexture(c);
  const material = new THREE.MeshBasicMaterial({
    map: tex, transparent: true, blending: THREE.AdditiveBlending, depthWrite: false, fog: false,
  });
  const mesh = new THREE.Mesh(new THREE.PlaneGeometry(2.4, 0.45), material);
  mesh.position.set(GATE_X, GATE_HEIGHT, GATE_Z);
  mesh.renderOrder = 5;
  mesh.name = 'gate-sign';

  /** Turns to the camera and flickers; random() picks the dim frames. */
  function update(camera, ms, random) {
    mesh.rotation.y = Math.atan2(camera.position.x - mesh.position.x, camera.position.z - mesh.position.z);
    material.opacity = gateOpacity(ms, random() < GATE_DROPOUT);
  }
  return { mesh, update };
}
