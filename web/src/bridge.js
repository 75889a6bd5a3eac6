// The host bridge: the web view's postMessage one way and its 'message' events the other.

export function createBridge(win, onMessage) {
  const view = () => (win.chrome && win.chrome.webview) || null;
  const host = view();
  if (host && typeof host.addEventListener === 'function') {
    host.addEventListener('message', (event) => {
      const data = event && event.data;
      if (data && typeof data === 'object') onMessage(data);
    });
  }
  /** Posts to the host when there is one; a page opened in a plain browser stays quiet. */
  function tell(msg) {
    const v = view();
    if (v && typeof v.postMessage === 'function') v.postMessage(msg);
  }
  return { tell };
}
