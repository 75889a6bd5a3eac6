// The help and status text, the working indicator, the lift banner and the unpaid notice.

import { floorName } from './words.js';

function el(doc, tag, text) {
  const e = doc.createElement(tag);
  if (text !== undefined) e.textContent = text;
  return e;
}

export function createHud(doc) {
  const box = doc.getElementById('hud');
  let last = null;
  let failed = false;

  /** Rewrites the text only when something in it changed; an error stays up. */
  function show({ level, aimed, status }) {
    if (failed) return false;
    const key = level + '|' + aimed + '|' + (status || '');
    if (key === last) return false;
    last = key;
    const head = el(doc, 'div', floorName(level));
    if (aimed) head.append('  ·  ', el(doc, 'b', 'AP' + aimed));
    const space = el(doc, 'div');
    space.append(el(doc, 'b', 'Space'), ' to select');
    const lines = [head, el(doc, 'div', 'Drag to look. WASD to walk.'), space];
    if (status) lines.push(el(doc, 'div', status));
    box.replaceChildren(...lines);
    return true;
  }

  function showError(text) {
    failed = true;
    box.textContent = text;
  }
  return { show, showError, get text() { return box.innerText; } };
}

export function createWorking(doc) {
  const box = doc.getElementById('loading');
  const word = doc.getElementById('loading-word');
  return {
    show(text) {
      word.textContent = text;
      box.hidden = false;
    },
    hide() {
      box.hidden = true;
    },
    get visible() { return !box.hidden; },
    get word() { return word.textContent; },
  };
}

export function createBanner(doc) {
  const box = doc.getElementById('ride');
  return {
    set(text) {
      if (box.textContent !== text) box.textContent = text;
      box.hidden = !text;
    },
    get text() { return box.hidden ? '' : box.textContent; },
  };
}

export function showUnpaid(doc) {
  doc.getElementById('unpaid').hidden = false;
}
