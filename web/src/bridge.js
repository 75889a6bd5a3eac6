// The host bridge: the web view's postMessage one way and its 'message' events the other.

// Messages the bridge holds until the room takes them; a host answers "hello" with a few.
export const HELD_LIMIT = 64;

/**
 * Listens to the host from the moment it is created, so the page can say "hello" before the
 * room is built; what arrives before listen(fn) is held (up to HELD_LIMIT) and handed over
 * in order when it is called.
 */
export function createBridge(win) {
  const view = () => (win.chrome && win.chrome.webview) || null;
  const host = view();
  let handler = null;
  const held = [];
  const marked = new Set();
  if (host && typeof host.addEventListener === 'function') {
    host.addEventListener('message', (event) => {
      const data = event && event.data;
      if (!data || typeof data !== 'object') return;
      markFirst(win, marked, data.op);
      if (handler) handler(data);
      else if (held.length < HELD_LIMIT) held.push(data);
    });
  }
  /** Posts to the host when there is one; a page opened in a plain browser stays quiet. */
  function tell(msg) {
    const v = view();
    if (v && typeof v.postMessage === 'function') v.postMessage(msg);
  }
  /** From now on messages go to fn, the held ones first. */
  function listen(fn) {
    handler = fn;
    for (const msg of held.splice(0)) fn(msg);
  }
  return { tell, listen };
}

/** A bridge that has said "hello": the host starts reading the walls from here. */
export function greetHost(win) {
  const bridge = createBridge(win);
  bridge.tell({ op: 'hello' });
  mark(win, 'quenvale:hello');
  return bridge;
}

// Performance marks of when the page said hello and first heard each kind of reply, for the
// start-up benchmark of the desktop program; a few short names at most.
const MARKED_OPS = 16;
function markFirst(win, marked, op) {
  if (typeof op !== 'string' || !/^[a-z-]{1,20}$/.test(op) || marked.has(op) || marked.size >= MARKED_OPS) return;
  marked.add(op);
  mark(win, 'quenvale:heard:' + op);
}
function mark(win, name) {
  const p = win.performance;
  if (p && typeof p.mark === 'function') p.mark(name);
}
