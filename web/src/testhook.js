// window.__room, present only when the page is opened with ?test: plain state to read and a
// fixed-step clock, so tests do not depend on the machine's frame rate.

export function installTestHook(win, room) {
  const { sim, frames, panel, working, banner, hud, renderer } = room;
  const hook = {
    state() {
      const v = sim.view;
      const frameInfo = {};
      for (const f of frames.rects()) {
        frameInfo[f.frame] = {
          level: f.level, x: f.x, z: f.z, dc: f.dc, dr: f.dr, width: f.width,
          plaque: f.plaque.text, url: f.url,
          glow: f.highlights.length ? f.highlights[0].emissiveIntensity : null,
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
        working: { visible: working.visible, word: working.word },
        hud: hud.text,
        status: room.status(),
        shots: [...room.shots.keys()],
        frames: frameInfo,
        drawn: room.drawn(),
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
    whenReady() {
      return room.ready.then(() => true);
    },
  };
  win.__room = hook;
}
