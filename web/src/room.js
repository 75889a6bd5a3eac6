// The room page: builds the floors, hangs the frames, runs the loop and talks to the host.

import * as THREE from 'three';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
import { UNIT, ALCOVE_MODELS } from './maps.js';
import { createSim, stepSim } from './sim.js';
import { createPacer, pace, dragView, frameRateOf, pixelRatioCap } from './movement.js';
import { createScaler, noteFrame, currentScale } from './resolution.js';
import { rideBanner } from './lift.js';
import { aimedFrame } from './aim.js';
import { createMaterials, buildFloor, createLighting, applyLighting, driftClouds } from './world.js';
import { createFrames, createSharedFrameParts } from './frames.js';
import { createPictureLoader } from './pictures.js';
import { shadowTexture } from './textures.js';
import { createCabin, captionedPoster, cutOutPoster, loadImage } from './cabin.js';
import { createGateSign } from './gateSign.js';
import { createAlcoves } from './alcoves.js';
import { createHud, createWorking, createBanner, showUnpaid } from './hud.js';
import { createPanel } from './panel.js';
import { createBridge } from './bridge.js';
import { installTestHook } from './testhook.js';

const FIXED_STEP = 1 / 60;

function reportErrors(win, hud) {
  win.addEventListener('error', (e) => {
    hud.showError((e.message || 'Script error') + (e.filename ? ' (' + e.filename + ')' : ''));
  });
  win.addEventListener('unhandledrejection', (e) => {
    const r = e.reason;
    hud.showError(r && r.message ? r.message : String(r));
  });
}

function typing(doc) {
  const t = doc.activeElement;
  return !!t && (t.tagName === 'INPUT' || t.tagName === 'TEXTAREA' || t.tagName === 'SELECT');
}

export function startRoom(win) {
  const doc = win.document;
  const params = new URLSearchParams(win.location.search);
  const testMode = params.has('test');
  const live = !testMode || params.has('live');
  const hud = createHud(doc);
  reportErrors(win, hud);
  doc.addEventListener('contextmenu', (e) => e.preventDefault());

  const sim = createSim();
  const view = sim.view;
  const shots = new Map();
  let status = '';

  const renderer = new THREE.WebGLRenderer({ antialias: true, powerPreference: 'high-performance' });
  renderer.outputColorSpace = THREE.SRGBColorSpace;
  // Tests and the benchmark can hold the full resolution with ?fullres.
  const scaler = testMode && params.has('fullres') ? null : createScaler();
  const applyPixelRatio = () => {
    const scale = live && scaler ? currentScale(scaler) : 1;
    renderer.setPixelRatio(pixelRatioCap(sim.frameRate, win.devicePixelRatio) * scale);
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
  const rig = createLighting(scene);
  const cabin = createCabin(doc, mats);
  scene.add(cabin.group);
  const gateSign = createGateSign(doc);
  floors[0].add(gateSign.mesh);
  const alcoves = createAlcoves(floors, mats);

  const frames = createFrames({
    doc, floors, shared: createSharedFrameParts(doc, shadowTexture(doc)),
    loadPicture: createPictureLoader(), nowMs: () => Date.now(),
  });
  const working = createWorking(doc);
  const banner = createBanner(doc);
  const bridge = createBridge(win, onHost);
  const tell = bridge.tell;
  // Clearing a frame also forgets the show that "walls" left for it.
  const clearSpot = (spot) => {
    shots.delete(spot);
    frames.clearSpot(spot);
  };
  const panel = createPanel({
    doc, frames: { markSelected: frames.markSelected, clearSpot }, working, tell, nowSeconds: () => Date.now() / 1000,
  });

  function applyFloor(level) {
    floors.forEach((g, i) => { g.visible = i === level; });
    applyLighting(rig, level, frames.rects().filter((f) => f.level === level));
  }
  applyFloor(0);

  function updateHud() {
    hud.show({ level: view.level, aimed: sim.aimed, status });
  }

  function applyShow(show) {
    if (show.url) frames.paintSpot(show.spot, String(show.url));
    frames.setTitle(show.spot, typeof show.title === 'string' ? show.title : '');
  }

  function onHost(msg) {
    if (typeof msg.status === 'string') status = msg.status;
    const spot = msg.spot | 0;
    switch (msg.op) {
      case 'look':
        sim.lookScale = typeof msg.scale === 'number' && msg.scale ? msg.scale : 1;
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
      case 'spot-pic':
        if (msg.url) frames.paintSpot(spot, String(msg.url));
        break;
      case 'placed':
        working.hide();
        panel.hide();
        if (msg.url) frames.paintSpot(spot, String(msg.url));
        frames.setTitle(spot, panel.chosenName());
        frames.markSelected(0);
        break;
      case 'removed':
        working.hide();
        panel.hide();
        clearSpot(spot);
        frames.markSelected(0);
        break;
      case 'place-error':
        panel.showError(msg);
        break;
      case 'walls':
        for (const show of Array.isArray(msg.shows) ? msg.shows : []) {
          if (!show || !(show.spot >= 1 && show.spot <= 10)) continue;
          shots.set(show.spot, show);
          if (frames.ready) applyShow(show);
        }
        break;
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
    if (panel.open || working.visible) return;
    const n = aimedFrame(view, frames.rects());
    if (!n) return;
    frames.markSelected(n);
    working.show('Loading AP' + n);
    tell({ op: 'select', spot: n });
  }

  win.addEventListener('keydown', (e) => {
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
    if (out.floorChanged) applyFloor(view.level);
    cabin.update(sim.lift.open);
    banner.set(rideBanner(sim.lift.ride));
    updateHud();
  }

  let drawn = 0;
  function render(ms) {
    camera.position.set(view.x, view.y, view.z);
    camera.rotation.set(view.pitch, view.yaw, 0);
    frames.updateDetail(view.x, view.z);
    if (gateSign.mesh.visible) gateSign.update(camera, ms, Math.random);
    if (view.level === 1) driftClouds(floors[1], sim.time);
    renderer.render(scene, camera);
    drawn++;
  }

  const pacer = createPacer();
  let last = -1;
  let lastDrawn = -1;
  if (live) {
    renderer.setAnimationLoop((now) => {
      const elapsed = last < 0 ? 0 : (now - last) / 1000;
      last = now;
      const tick = pace(pacer, elapsed, sim.frameRate);
      if (!tick) return;
      simulate(tick);
      render(now);
      if (scaler && lastDrawn >= 0 && noteFrame(scaler, (now - lastDrawn) / 1000)) applyPixelRatio();
      lastDrawn = now;
    });
  }

  loadPosters(doc, cabin.posters);
  const loader = new GLTFLoader();
  const frameModels = [1, 2, 3, 4, 5].map((k) => loader.loadAsync('./frame-' + k + '.glb?v=3'));
  const ready = Promise.all(frameModels).then((gltfs) => {
    frames.place(gltfs.map((g) => g.scene));
    applyFloor(view.level);
    for (const show of shots.values()) applyShow(show);
    tell({ op: 'hello' });
    return Promise.all(ALCOVE_MODELS.map((name) => loader.loadAsync('./' + name + '.glb?v=6')));
  }).then((gltfs) => {
    const byName = {};
    ALCOVE_MODELS.forEach((name, i) => { byName[name] = gltfs[i].scene; });
    alcoves.dress(byName);
  });

  updateHud();
  if (testMode) {
    installTestHook(win, {
      sim, frames, panel, working, banner, hud, renderer, shots, ready, applyFloor,
      step(seconds) {
        const n = Math.max(1, Math.round(seconds / FIXED_STEP));
        for (let i = 0; i < n; i++) simulate(FIXED_STEP);
        render(win.performance.now());
      },
      render: () => render(win.performance.now()),
      drawn: () => drawn,
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
