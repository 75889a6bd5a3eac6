// The page's first script, a plain one that index.html loads before the room module. It keeps
// the browser's context menu shut and puts script errors on the HUD, also when room.js or
// three.js cannot load at all and nothing else would say a word. Once the room runs it takes
// the errors over through window.__quenvaleBoot.attach.
// It also says "hello": the browser takes seconds to compile three.js and the room, and the
// host reads the walls meanwhile; the bridge holds its replies until the room takes them.

import { hostText, LIMITS } from './words.js';
import { greetHost } from './bridge.js';

function fileName(url) {
  const path = String(url || '').split(/[?#]/)[0];
  return path.slice(path.lastIndexOf('/') + 1);
}

export function installBoot(win) {
  const doc = win.document;
  let sink = null;
  let shown = '';

  function report(text) {
    const line = hostText(String(text), LIMITS.error);
    if (sink) {
      sink(line);
      return;
    }
    if (line === shown) return;
    shown = line;
    const put = () => {
      const hud = doc.getElementById('hud');
      if (hud) hud.textContent = line;
    };
    if (doc.readyState === 'loading') doc.addEventListener('DOMContentLoaded', put, { once: true });
    else put();
  }

  doc.addEventListener('contextmenu', (e) => e.preventDefault());
  // Capturing at the window also hears elements that failed to load, which do not bubble.
  win.addEventListener('error', (e) => {
    const el = e.target;
    if (el && el !== win && el.tagName) {
      if (el.tagName === 'SCRIPT') report('The room could not load ' + fileName(el.src) + ' or the three.js it needs. Reinstalling Quenvale puts them back.');
      return;
    }
    report((e.message || 'Script error') + (e.filename ? ' (' + fileName(e.filename) + ')' : ''));
  }, true);
  win.addEventListener('unhandledrejection', (e) => {
    const r = e.reason;
    report(r && r.message ? r.message : String(r));
  });
  win.addEventListener('load', () => {
    if (!sink && !shown) report('The room did not start.');
  });
  const boot = {
    report,
    bridge: greetHost(win),
    /** From now on errors go to fn (the running room's HUD). */
    attach(fn) {
      sink = fn;
    },
  };
  win.__quenvaleBoot = boot;
  return boot;
}

if (typeof window !== 'undefined') installBoot(window);
