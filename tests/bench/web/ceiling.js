// The renderer's ceiling for the benchmark: one full-screen textured quad drawn by three.js at
// the page's size, so the room's frame rate can be read as a share of what the browser can draw
// at all. ?plain leaves multisampling off (as the room draws on a software renderer); without
// it the canvas is multisampled like the room's canvas was made before it chose per frame.

import * as THREE from 'three';

const plain = new URLSearchParams(location.search).has('plain');
const renderer = new THREE.WebGLRenderer({ antialias: !plain, powerPreference: 'high-performance' });
renderer.outputColorSpace = THREE.SRGBColorSpace;
renderer.setPixelRatio(Math.min(window.devicePixelRatio || 1, 1.25));
renderer.setSize(window.innerWidth, window.innerHeight);
document.body.append(renderer.domElement);

// A mipmapped 512 × 512 texture with detail, sampled the way the room samples its walls.
const c = document.createElement('canvas');
c.width = 512;
c.height = 512;
const ctx = c.getContext('2d');
for (let y = 0; y < 512; y += 32) {
  for (let x = 0; x < 512; x += 32) {
    ctx.fillStyle = 'hsl(' + ((x + y) % 360) + ', 40%, ' + (40 + ((x * 7 + y * 3) % 30)) + '%)';
    ctx.fillRect(x, y, 32, 32);
  }
}
const texture = new THREE.CanvasTexture(c);
texture.colorSpace = THREE.SRGBColorSpace;
texture.minFilter = THREE.LinearMipmapNearestFilter;

const scene = new THREE.Scene();
const camera = new THREE.OrthographicCamera(-1, 1, 1, -1, 0, 1);
scene.add(new THREE.Mesh(new THREE.PlaneGeometry(2, 2), new THREE.MeshBasicMaterial({ map: texture })));

let drawn = 0;
function frame() {
  // A slow drift keeps every frame a real redraw.
  texture.offset.x = (drawn % 600) / 600;
  renderer.render(scene, camera);
  drawn++;
}
renderer.setAnimationLoop(frame);
window.__ceiling = {
  drawn: () => drawn,
  /** Stops or restarts drawing, so the benchmark can take turns with the room. */
  run(on) {
    renderer.setAnimationLoop(on ? frame : null);
  },
};
