// The help and status text, the working indicator, the lift banner and the unpaid notice.

import { floorName } from './words.js';

function el(doc, tag, text) {
  const e = doc.createElement(tag);
  if (text !== undefined) e.textContent = text;
  return e;
}

// An error stays on the HUD for this long (seconds of the room's clock), under the usual lines.
export const ERROR_SECONDS = 8;

export function createHud(doc) {
  const box = doc.getElementById('hud');
  let last = null;
  let error = '';
  let errorLeft = 0;
  let current = { level: 0, aimed: 0, status: '' };

  function render() {
    const { level, aimed, status } = current;
    const key = level + '|' + aimed + '|' + (status || '') + '|' + error;
    if (key === last) return false;
    last = key;
    const head = el(doc, 'div', floorName(level));
    if (aimed) head.append('  ·  ', el(doc, 'b', 'AP' + aimed));
    const space = el(doc, 'div');
    space.append(el(doc, 'b', 'Space'), ' to select');
    const lines = [head, el(doc, 'div', 'Drag to look. WASD to walk.'), space];
    if (status) lines.push(el(doc, 'div', status));
    if (error) {
      const line = el(doc, 'div', error);
      line.className = 'error';
      lines.push(line);
    }
    box.replaceChildren(...lines);
    return true;
  }

  /** Rewrites the text only when something in it changed. */
  function show(state) {
    current = state;
    return render();
  }

  /** Shows an error under the usual lines for a while; the HUD keeps working meanwhile. */
  function showError(text) {
    error = text;
    errorLeft = ERROR_SECONDS;
    render();
  }

  /** Advances the HUD's clock; an error line goes once its time is up. */
  function tick(seconds) {
    if (!error) return;
    errorLeft -= seconds;
    if (errorLeft <= 0) {
      error = '';
      render();
    }
  }
  return { show, showError, tick, get text() { return box.innerText; }, get error() { return error; } };
}

export function createWorking(doc) {
  const box = doc.getElementById('loading');
  const word = doc.getElementById('loading-word');
  const hint = doc.getElementById('loading-hint');
  return {
    show(text) {
      word.textContent = text;
      hint.hidden = true;
      box.hidden = false;
    },
    hide() {
      box.hidden = true;
      hint.hidden = true;
    },
    /** Says that the answer is late and how to stop waiting for it. */
    late() {
      hint.hidden = false;
    },
    get visible() { return !box.hidden; },
    get word() { return word.textContent; },
    get isLate() { return !box.hidden && !hint.hidden; },
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
