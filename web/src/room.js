// The room page: builds the floors, hangs the frames, runs the loop and talks to the host.
// Everything the host sends is checked here or in the module it goes to: numbers, frame
// numbers, addresses and texts (words.js), list entries (panel.js).

import * as THREE from 'three';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
import { UNIT, ALCOVE_MODELS } from './maps.js';
import { createSim, stepSim } from './sim.js';
import { createPacer, pace, dragView, frameRateOf, pixelRatioCap } from './movement.js';
import { createScaler, noteFrame, currentQuality, QUALITY_STEPS } from './resolution.js';
import { createDrawer } from './drawing.js';
import { rideBanner } from './lift.js';
import { aimedFrame } from './aim.js';
import { createMaterials, buildFloor, driftClouds } from './world.js';
import { createFrames, createSharedFrameParts } from './frames.js';
import { createPictureLoader } from './pictures.js';
import { shadowTexture } from './textures.js';
import { createCabin, captionedPoster, cutOutPoster, loadImage } from './cabin.js';
import { createGateSign } from './gateSign.js';
import { createAlcoves } from './alcoves.js';
import { createHud, createWorking, createBanner, showUnpaid } from './hud.js';
import { createPanel } from './panel.js';
import { greetHost } from './bridge.js';
import { hostText, spotOf, lookScaleOf, pictureAddress, LIMITS } from './words.js';
import { installTestHook } from './testhook.js';

const FIXED_STEP = 1 / 60;

function typing(doc) {
  const t = doc.activeElement;
  return !!t && (t.tagName === 'INPUT' || t.tagName === 'TEXTAREA' || t.tagName === 'SELECT');
}

function heldQuality(params) {
  if (params.has('fullres')) return 0;
  const n = Number(params.get('quality'));
  return params.has('quality') && Number.isInteger(n) && n >= 0 && n < QUALITY_STEPS.length ? n : -1;
}

/** One show of "walls" made safe, or null when it names no frame or no usable picture. */
function showOf(raw) {
  if (!raw || typeof raw !== 'object') return null;
  const spot = spotOf(raw.spot);
  const url = pictureAddress(raw.url);
  if (!spot || !url) return null;
  return { spot, url, title: hostText(raw.title, LIMITS.title) };
}

export function startRoom(win) {
  const doc = win.document;
  const params = new URLSearchParams(win.location.search);
  const testMode = params.has('test');
  const live = !testMode || params.has('live');
  // The boot script has said "hello" already; the bridge holds the host's replies until the
  // room takes them at the end of this function. Without it (a page that loads the room
  // alone) the room says hello itself.
  const bridge = win.__quenvaleBoot ? win.__quenvaleBoot.bridge : greetHost(win);
  const tell = bridge.tell;
  const hud = createHud(doc);
  // index.html's boot script reported errors until now; from here on the HUD shows them.
  if (win.__quenvaleBoot) win.__quenvaleBoot.attach((text) => hud.showError(text));

  const sim = createSim();
  const view = sim.view;
  // What the host said about each frame before the frames hung, applied once they do.
  const shots = new Map();
  let status = '';

  // The room shades in display space: colours, textures and the baked light hold values as
  // the screen shows them, so no texel is decoded and no pixel encoded. A software renderer
  // spends a third of a frame on those conversions; multiplying display values gives nearly
  // what multiplying linear ones would (the light is added up in linear when it is baked).
  THREE.ColorManagement.enabled = false;
  // No multisampling on the canvas itself: the drawer adds it while frames come fast enough.
  const renderer = new THREE.WebGLRenderer({ antialias: false, powerPreference: 'high-performance' });
  renderer.outputColorSpace = THREE.LinearSRGBColorSpace;
  renderer.info.autoReset = false;
  const drawer = createDrawer(renderer);
  // Tests and the benchmark can hold a quality step: ?fullres is the first, ?quality=n any.
  const held = testMode ? heldQuality(params) : -1;
  const scaler = held < 0 ? createScaler() : null;
  const quality = () => (held >= 0 ? QUALITY_STEPS[held] : live ? currentQuality(scaler) : QUALITY_STEPS[0]);
  const applyPixelRatio = () => {
    renderer.setPixelRatio(pixelRatioCap(sim.frameRate, win.devicePixelRatio) * quality().scale);
    renderer.setSize(win.innerWidth, win.innerHeight);
  };
  applyPixelRatio();
  renderer.domElement.id = 'view';
  doc.body.prepend(renderer.domElement);

  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0x8fb4cc);
  scene.fog = new THREE.Fog(0xc5c9c6, 18 * UNIT, 40 * UNIT);
  const camera = new THREE.PerspectiveCamera(68, win.innerWidth / win.innerHeight, 0.05, 80);
  camera.rotation.order = 'YXZ';

  const mats = createMaterials(doc);
  const floors = [buildFloor(0, mats), buildFloor(1, mats)];
  scene.add(...floors);
  const cabin = createCabin(doc, mats);
  scene.add(cabin.group);
  const gateSign = createGateSign(doc);
  floors[0].add(gateSign.mesh);
  const alcoves = createAlcoves(floors, mats.env);

  const frames = createFrames({
    doc, floors, shared: createSharedFrameParts(shadowTexture(doc)), env: mats.env,
    loadPicture: createPictureLoader(), nowMs: () => Date.now(),
  });
  const working = createWorking(doc);
  const banner = createBanner(doc);
  const panel = createPanel({
    doc, frames: { markSelected: frames.markSelected, clearSpot: (spot) => describe(spot, null) }, working, tell,
    nowSeconds: () => Date.now() / 1000,
    setStatus: (text) => { status = text; updateHud(); },
  });

  function applyFloor(level) {
    floors.forEach((g, i) => { g.visible = i === level; });
  }
  applyFloor(0);

  function updateHud() {
    hud.show({ level: view.level, aimed: sim.aimed, status });
  }

  // A frame's show: a picture (url, '' for none) and a plaque title (undefined leaves the
  // plaque as it is), or null for an empty frame.
  function applyShow(spot, show) {
    if (!show) frames.clearSpot(spot);
    else if (show.url) frames.paintSpot(spot, show.url, show.title);
    else if (show.title !== undefined) frames.setTitle(spot, show.title);
  }

  /**
   * Everything the host says about a frame comes here. Before the frames hang it is kept in
   * shots, one entry a frame with the later message winning, so it is applied once, and in
   * full, when they do.
   */
  function describe(spot, show) {
    if (frames.ready) {
      applyShow(spot, show);
      return;
    }
    if (!show) {
      shots.delete(spot);
      return;
    }
    const earlier = shots.get(spot);
    shots.set(spot, {
      url: show.url || (earlier ? earlier.url : ''),
      title: show.title !== undefined || !earlier ? show.title : earlier.title,
    });
  }

  function onHost(msg) {
    if (typeof msg.status === 'string') status = hostText(msg.status, LIMITS.status);
    const spot = spotOf(msg.spot);
    switch (msg.op) {
      case 'look':
        sim.lookScale = lookScaleOf(msg.scale);
        if ('fps' in msg) {
          sim.frameRate = frameRateOf(msg.fps);
          applyPixelRatio();
        }
        break;
      case 'need-connect':
        panel.showNeedConnect(msg);
        break;
      case 'place-list':
        panel.showPlace(msg);
        break;
      case 'spot-pic': {
        const url = pictureAddress(msg.url);
        if (spot && url) describe(spot, { url });
        break;
      }
      case 'placed': {
        if (!spot) break;
        const name = panel.placedName(spot);
        panel.settle(spot);
        describe(spot, { url: pictureAddress(msg.url), title: name });
        frames.markSelected(0);
        break;
      }
      case 'removed':
        if (!spot) break;
        panel.settle(spot);
        describe(spot, null);
        frames.markSelected(0);
        break;
      case 'place-error':
        panel.showError(msg);
        break;
      case 'walls': {
        const list = Array.isArray(msg.shows) ? msg.shows : [];
        for (let i = 0; i < list.length && i < LIMITS.shows; i++) {
          const show = showOf(list[i]);
          if (show) describe(show.spot, { url: show.url, title: show.title });
        }
        break;
      }
      case 'entered':
        sim.gate.paid = true;
        gateSign.mesh.visible = false;
        break;
      case 'unpaid':
        sim.gate.locked = true;
        gateSign.mesh.visible = false;
        showUnpaid(doc);
        break;
      default:
        break;
    }
    updateHud();
  }

  function select() {
    // After "unpaid" the room only waits for the program to close.
    if (panel.open || working.visible || sim.gate.locked) return;
    const n = aimedFrame(view, frames.rects());
    if (n) panel.select(n);
  }

  win.addEventListener('keydown', (e) => {
    if (e.code === 'Escape') {
      if (panel.escape()) e.preventDefault();
      return;
    }
    if (typing(doc)) return;
    if (e.code.startsWith('Arrow') || e.code === 'Space') e.preventDefault();
    if (e.code === 'Space') {
      if (!e.repeat) select();
      return;
    }
    if (e.code === 'KeyE' && !e.repeat) sim.pressedE = true;
    sim.keys.add(e.code);
  });
  win.addEventListener('keyup', (e) => sim.keys.delete(e.code));
  win.addEventListener('blur', () => sim.keys.clear());

  const canvas = renderer.domElement;
  let drag = null;
  canvas.addEventListener('pointerdown', (e) => {
    if (e.button !== 0) return;
    canvas.setPointerCapture(e.pointerId);
    drag = { id: e.pointerId, x: e.clientX, y: e.clientY };
  });
  canvas.addEventListener('pointermove', (e) => {
    if (!drag || e.pointerId !== drag.id) return;
    dragView(view, e.clientX - drag.x, e.clientY - drag.y, sim.lookScale);
    drag.x = e.clientX;
    drag.y = e.clientY;
  });
  const endDrag = (e) => {
    if (drag && e.pointerId === drag.id) drag = null;
  };
  canvas.addEventListener('pointerup', endDrag);
  canvas.addEventListener('pointercancel', endDrag);
  canvas.addEventListener('lostpointercapture', endDrag);

  win.addEventListener('resize', () => {
    camera.aspect = win.innerWidth / win.innerHeight;
    camera.updateProjectionMatrix();
    renderer.setSize(win.innerWidth, win.innerHeight);
  });

  function simulate(tick) {
    const out = stepSim(sim, tick, frames.rects());
    for (const m of out.messages) tell(m);
    if (out.floorChanged) {
      applyFloor(view.level);
      // A status line is about the floor it was given on.
      status = '';
    }
    cabin.update(sim.lift.open);
    banner.set(rideBanner(sim.lift.ride));
    hud.tick(tick);
    panel.tick(tick);
    updateHud();
  }

  let drawn = 0;
  function render(ms, random = Math.random) {
    camera.position.set(view.x, view.y, view.z);
    camera.rotation.set(view.pitch, view.yaw, 0);
    frames.updateDetail(view.x, view.z);
    if (gateSign.mesh.visible) gateSign.update(camera, ms, random);
    if (view.level === 1) driftClouds(floors[1], sim.time);
    drawer.draw(scene, camera, quality().multisample);
    drawn++;
  }

  const pacer = createPacer();
  let last = -1;
  let lastDrawn = -1;
  // The loop as a function, so the benchmark can stop and restart it (live in the test hook).
  const loop = (now) => {
    const elapsed = last < 0 ? 0 : (now - last) / 1000;
    last = now;
    const tick = pace(pacer, elapsed, sim.frameRate);
    if (!tick) return;
    simulate(tick);
    render(now);
    if (scaler && lastDrawn >= 0 && noteFrame(scaler, (now - lastDrawn) / 1000)) applyPixelRatio();
    lastDrawn = now;
  };
  function runLoop(on) {
    last = -1;
    lastDrawn = -1;
    renderer.setAnimationLoop(on ? loop : null);
  }
  if (live) runLoop(true);

  loadPosters(doc, cabin.posters);
  const loader = new GLTFLoader();
  const frameModels = [1, 2, 3, 4, 5].map((k) => loader.loadAsync('./frame-' + k + '.glb?v=3'));
  const ready = Promise.all(frameModels).then((gltfs) => {
    frames.place(gltfs.map((g) => g.scene));
    for (const [spot, show] of shots) applyShow(spot, show);
    shots.clear();
    return Promise.all(ALCOVE_MODELS.map((name) => loader.loadAsync('./' + name + '.glb?v=6')));
  }).then((gltfs) => {
    const byName = {};
    ALCOVE_MODELS.forEach((name, i) => { byName[name] = gltfs[i].scene; });
    alcoves.dress(byName);
  });

  updateHud();
  bridge.listen(onHost);
  if (testMode) {
    // A test's picture must not depend on when it was taken: the sign is drawn at its
    // full glow (the flicker's peak, never a dropout frame).
    const steady = () => render(Math.PI / 2 / 0.009, () => 1);
    installTestHook(win, {
      sim, frames, panel, working, banner, hud, renderer, shots, ready, applyFloor, camera,
      step(seconds) {
        const n = Math.max(1, Math.round(seconds / FIXED_STEP));
        for (let i = 0; i < n; i++) simulate(FIXED_STEP);
        steady();
      },
      render: steady,
      drawn: () => drawn,
      live: runLoop,
      multisample: () => quality().multisample,
      status: () => status,
      gateSignVisible: () => gateSign.mesh.visible,
    });
  }
}

function loadPosters(doc, posters) {
  loadImage(doc, './poster-dragon.jpg').then((img) => {
    posters.dragon.material.map = captionedPoster(doc, img);
    posters.dragon.material.color.setHex(0xffffff);
    posters.dragon.material.needsUpdate = true;
  });
  loadImage(doc, './poster-book.png').then((img) => {
    posters.book.material.map = cutOutPoster(doc, img);
    posters.book.material.color.setHex(0xffffff);
    posters.book.material.needsUpdate = true;
  });
}

startRoom(window);
