// Drawing a frame of the room. The canvas has no multisampling of its own, so that the page
// can choose per frame: multisampled, the room is drawn into a 4× multisampled target that
// is then copied onto the canvas (the best edges, nearly free on a graphics card); plain, it is
// drawn straight onto the canvas. A software renderer pays several times over for every
// triangle of a multisampled frame, and any extra full-screen pass costs it about what the
// whole room costs at the smaller buffer sizes, so the plain frame has no filter of its own:
// the browser's scaling of a reduced buffer softens its edges.

import * as THREE from 'three';

export function createDrawer(renderer) {
  let target = null;
  const copy = new THREE.Mesh(
    new THREE.PlaneGeometry(2, 2),
    new THREE.MeshBasicMaterial({ depthTest: false, depthWrite: false, toneMapped: false }),
  );
  copy.frustumCulled = false;
  const copyScene = new THREE.Scene();
  copyScene.add(copy);
  const copyCamera = new THREE.OrthographicCamera(-1, 1, 1, -1, 0, 1);
  const size = new THREE.Vector2();

  function targetFor(width, height) {
    if (target && target.width === width && target.height === height) return target;
    if (target) target.dispose();
    // The room shades in display space, so eight bits a channel go where the eye needs them.
    target = new THREE.WebGLRenderTarget(width, height, { samples: 4 });
    copy.material.map = target.texture;
    copy.material.needsUpdate = true;
    return target;
  }

  /** Draws scene through camera; the counts in renderer.info are the room's, not the copy's. */
  function draw(scene, camera, multisample) {
    renderer.info.reset();
    if (!multisample) {
      renderer.render(scene, camera);
      return;
    }
    renderer.getDrawingBufferSize(size);
    renderer.setRenderTarget(targetFor(size.x, size.y));
    renderer.render(scene, camera);
    renderer.setRenderTarget(null);
    const { calls, triangles } = renderer.info.render;
    renderer.render(copyScene, copyCamera);
    renderer.info.render.calls = calls;
    renderer.info.render.triangles = triangles;
  }

  return { draw };
}
