// window.__room, present only when the page is opened with ?test: plain state to read and a
// fixed-step clock, so tests do not depend on the machine's frame rate.

import * as THREE from 'three';

export function installTestHook(win, room) {
  const { sim, frames, panel, working, banner, hud, renderer } = room;
  const hook = {
    state() {
      const v = sim.view;
      const frameInfo = {};
      for (const f of frames.rects()) {
        frameInfo[f.frame] = {
          level: f.level, x: f.x, z: f.z, dc: f.dc, dr: f.dr, width: f.width,
          plaque: f.plaque.text, plaqueLines: f.plaque.lines, url: f.url, glow: f.glow,
        };
      }
      return {
        x: v.x, y: v.y, z: v.z, yaw: v.yaw, pitch: v.pitch, level: v.level,
        lookScale: sim.lookScale, frameRate: sim.frameRate, pixelRatio: renderer.getPixelRatio(),
        lift: { phase: sim.lift.ride ? sim.lift.ride.phase : '', open: sim.lift.open, banner: banner.text },
        gate: { paid: sim.gate.paid, asked: sim.gate.asked, locked: sim.gate.locked, signVisible: room.gateSignVisible() },
        framesReady: frames.ready,
        aimed: sim.aimed,
        facing: sim.faceWord,
        panel: panel.snapshot(),
        working: { visible: working.visible, word: working.word, late: working.isLate },
        hud: hud.text,
        status: room.status(),
        shots: [...room.shots.keys()],
        frames: frameInfo,
        drawn: room.drawn(),
        // What the last drawn frame cost, for the benchmark's profile.
        drawing: {
          calls: renderer.info.render.calls,
          triangles: renderer.info.render.triangles,
          textures: renderer.info.memory.textures,
          programs: renderer.info.programs ? renderer.info.programs.length : 0,
          width: renderer.domElement.width,
          height: renderer.domElement.height,
          multisample: room.multisample(),
        },
      };
    },
    step(seconds) {
      room.step(seconds);
      return hook.state();
    },
    /** Puts the viewer somewhere directly (test set-up only). */
    moveTo({ x, z, yaw, pitch, level }) {
      const v = sim.view;
      if (typeof x === 'number') v.x = x;
      if (typeof z === 'number') v.z = z;
      if (typeof yaw === 'number') v.yaw = yaw;
      if (typeof pitch === 'number') v.pitch = pitch;
      if (typeof level === 'number' && level !== v.level) {
        v.level = level;
        room.applyFloor(level);
      }
      room.render();
      return hook.state();
    },
    render() {
      room.render();
    },
    /** Starts or stops the animation loop of a ?test&live page (the benchmark takes turns). */
    live(on) {
      room.live(!!on);
    },
    /** Where frame n's plaque is drawn on the page, in CSS pixels, as last rendered. */
    plaqueRect(frame) {
      const f = frames.get(frame);
      if (!f) return null;
      const mesh = f.plaque.mesh;
      mesh.geometry.computeBoundingBox();
      const { min, max } = mesh.geometry.boundingBox;
      const camera = room.camera;
      camera.updateMatrixWorld();
      const w = win.innerWidth;
      const h = win.innerHeight;
      const xs = [];
      const ys = [];
      for (const x of [min.x, max.x]) {
        for (const y of [min.y, max.y]) {
          const p = new THREE.Vector3(x, y, 0).applyMatrix4(mesh.matrixWorld).project(camera);
          xs.push(((p.x + 1) / 2) * w);
          ys.push(((1 - p.y) / 2) * h);
        }
      }
      return { left: Math.min(...xs), right: Math.max(...xs), top: Math.min(...ys), bottom: Math.max(...ys) };
    },
    whenReady() {
      return room.ready.then(() => true);
    },
  };
  win.__room = hook;
}
