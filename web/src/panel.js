// The frame panel: placing an artwork, the taken frame's details, the sale button, removing;
// and the wait for the host's answer to each request (the working indicator).

import { saleLine, saleButton, hostText, spotOf, LIMITS } from './words.js';

// After this long without an answer (seconds of the room's clock) the indicator says so; the
// host's slowest request (reading the walls and the wallet's artworks) takes well under it.
export const WAIT_LIMIT = 60;
const PICK_WEEKS = 'Choose 1 week or 2 weeks.';
const PICK_ART = 'Pick an artwork.';

/** The artworks of a "place-list" that can be offered: objects with a usable origin, bounded. */
export function placeableArts(arts) {
  if (!Array.isArray(arts)) return [];
  const out = [];
  for (let i = 0; i < arts.length && i < LIMITS.arts; i++) {
    const a = arts[i];
    if (!a || typeof a !== 'object' || typeof a.origin !== 'string') continue;
    const origin = a.origin.trim();
    // An origin travels back to the host in "place", so one that would be cut is left out.
    if (!origin || origin.length > LIMITS.origin || hostText(origin, LIMITS.origin) !== origin) continue;
    const name = hostText(a.name, LIMITS.name).trim();
    out.push({ origin, name: name || origin.slice(0, 12) });
  }
  return out;
}

/**
 * frames gives markSelected, clearSpot; working is the indicator; tell posts to the host;
 * nowSeconds is the wall clock in seconds; setStatus puts a line on the HUD.
 */
export function createPanel({ doc, frames, working, tell, nowSeconds, setStatus }) {
  const $ = (id) => doc.getElementById(id);
  const box = $('place');
  const title = $('place-title');
  const note = $('place-note');
  const sale = $('place-sale');
  const arts = $('place-art');
  const priceRow = $('place-price-row');
  const price = $('place-price');
  const unit = $('place-unit');
  const weeks = [$('week1'), $('week2')];
  const go = $('place-go');
  const buy = $('place-buy');
  const remove = $('place-remove');
  const close = $('place-close');
  const err = $('place-err');
  const state = { spot: 0, week: 0, action: '', buyer: '' };
  // The request the page waits on while the indicator shows: its frame, whether it came from
  // this panel (place, remove, a sale step) and how long it has waited.
  let pending = null;
  // What was last sent to be placed, for the plaque once "placed" comes.
  let placing = { spot: 0, name: '' };

  const showEl = (e, on) => { e.hidden = !on; };

  function chooseWeek(n) {
    state.week = n;
    weeks.forEach((b, i) => b.classList.toggle('chosen', i + 1 === n));
    if (n && err.textContent === PICK_WEEKS) err.textContent = '';
  }

  function hide() {
    box.hidden = true;
  }

  /** Posts a request about a frame and shows the indicator until its answer comes. */
  function request(msg, word, fromPanel = true) {
    pending = { spot: msg.spot, fromPanel, waited: 0 };
    working.show(word);
    tell(msg);
  }

  function stopWaiting() {
    pending = null;
    working.hide();
  }

  /** Whether an answer about spot belongs to what the visitor is doing now. */
  function concerns(spot) {
    return (pending && pending.spot === spot) || (!box.hidden && state.spot === spot);
  }

  function setSale(action) {
    const b = saleButton(action);
    state.action = b ? action : '';
    showEl(buy, !!b);
    if (b) {
      buy.textContent = b.text;
      buy.disabled = !b.enabled;
    }
  }

  function reset(spot) {
    stopWaiting();
    state.spot = spot;
    title.textContent = spot ? 'AP' + spot : 'Frame';
    err.textContent = '';
    chooseWeek(0);
    price.value = '';
    go.disabled = false;
  }

  function setSaleLine(text) {
    sale.textContent = text;
    showEl(sale, !!text);
  }

  function setPlacing(on) {
    for (const e of [arts, priceRow, weeks[0], weeks[1], go]) showEl(e, on);
  }

  /** A panel with only a title, a note and an error line. */
  function bare(spot, noteText, errorText) {
    reset(spot);
    note.textContent = noteText;
    err.textContent = errorText;
    setSaleLine('');
    setPlacing(false);
    showEl(remove, false);
    setSale('');
    box.hidden = false;
  }

  /**
   * The reply to "select" (and to a finished sale step). An answer for a frame the visitor no
   * longer waits on (Escape, or another frame) is left alone. Returns whether it was shown.
   */
  function showPlace(msg) {
    const spot = spotOf(msg.spot);
    if (!spot || !concerns(spot)) return false;
    reset(spot);
    frames.markSelected(spot);
    err.textContent = hostText(msg.error, LIMITS.error);
    const list = placeableArts(msg.arts);
    arts.replaceChildren(...list.map((a) => {
      const o = doc.createElement('option');
      o.value = a.origin;
      o.textContent = a.name;
      return o;
    }));
    arts.selectedIndex = -1;
    // The buyer goes back to the host as it came, so one that is not a short text is dropped.
    state.buyer = typeof msg.buyer === 'string' && msg.buyer.length <= LIMITS.origin ? msg.buyer : '';
    if (msg.taken === true) {
      const shown = hostText(msg.title, LIMITS.title).trim();
      note.textContent = shown ? shown + ' is on this frame.' : 'This frame is taken.';
      setSaleLine(saleLine(msg, nowSeconds()));
      setPlacing(false);
      showEl(remove, msg.mine === true && msg.action !== 'complete');
      setSale(msg.action);
    } else {
      frames.clearSpot(spot);
      setSaleLine('');
      note.textContent = list.length ? 'Pick a piece. Empty price is view only.' : 'No artwork is free to place.';
      setPlacing(list.length > 0);
      showEl(remove, false);
      setSale('');
    }
    box.hidden = false;
    return true;
  }

  /** "need-connect": for the frame asked about, or with no frame after a failed connect. */
  function showNeedConnect(msg) {
    const spot = spotOf(msg.spot);
    if (spot && !concerns(spot)) return false;
    bare(spot, 'Use Connect on the header.', '');
    return true;
  }

  /**
   * "place-error" (the busy reply has no frame): back to the panel of the request that failed;
   * a panel that shows another frame is not reopened for it. With nothing asked, the text
   * goes to the HUD.
   */
  function showError(msg) {
    const text = hostText(msg.text, LIMITS.error) || 'Place did not finish.';
    if (!pending) {
      if (!box.hidden) err.textContent = text;
      else setStatus(text);
      return;
    }
    const { spot, fromPanel } = pending;
    stopWaiting();
    if (!fromPanel || state.spot !== spot) {
      bare(spot, '', text);
      frames.markSelected(spot);
      return;
    }
    err.textContent = text;
    go.disabled = false;
    box.hidden = false;
  }

  /** "placed", "removed": the request about spot is answered. */
  function settle(spot) {
    if (pending && pending.spot === spot) stopWaiting();
    if (state.spot === spot) hide();
  }

  /** Escape: closes the panel, or stops waiting for an answer. */
  function escape() {
    if (!box.hidden) {
      hide();
      frames.markSelected(0);
      return true;
    }
    if (pending) {
      stopWaiting();
      frames.markSelected(0);
      return true;
    }
    return false;
  }

  /** Advances the wait's clock; past WAIT_LIMIT the indicator says the answer is late. */
  function tick(seconds) {
    if (!pending) return;
    pending.waited += seconds;
    if (pending.waited >= WAIT_LIMIT && !working.isLate) working.late();
  }

  weeks.forEach((b, i) => b.addEventListener('click', () => chooseWeek(i + 1)));
  arts.addEventListener('change', () => {
    if (arts.selectedIndex >= 0 && err.textContent === PICK_ART) err.textContent = '';
  });

  go.addEventListener('click', () => {
    if (!state.week) {
      err.textContent = PICK_WEEKS;
      return;
    }
    const choice = arts.selectedIndex >= 0 ? arts.options[arts.selectedIndex] : null;
    if (!choice || !choice.value) {
      err.textContent = PICK_ART;
      return;
    }
    hide();
    placing = { spot: state.spot, name: choice.textContent };
    request({ op: 'place', spot: state.spot, origin: choice.value, price: price.value, unit: unit.value, weeks: state.week }, 'Placing AP' + state.spot);
  });

  remove.addEventListener('click', () => {
    hide();
    request({ op: 'remove', spot: state.spot }, 'Removing AP' + state.spot);
  });

  buy.addEventListener('click', () => {
    const b = saleButton(state.action);
    if (!b || !b.enabled) return;
    hide();
    request({ op: state.action, spot: state.spot, buyer: state.buyer }, b.working);
  });

  close.addEventListener('click', () => {
    hide();
    frames.markSelected(0);
  });

  /** Space on a frame: highlight it and ask the host about it. */
  function select(spot) {
    frames.markSelected(spot);
    request({ op: 'select', spot }, 'Loading AP' + spot, false);
  }

  /** The name of the artwork sent to be placed on spot, for its plaque after "placed". */
  function placedName(spot) {
    return placing.spot === spot ? placing.name : '';
  }

  function snapshot() {
    return {
      visible: !box.hidden,
      spot: state.spot,
      week: state.week,
      title: title.textContent,
      note: note.textContent,
      sale: sale.hidden ? '' : sale.textContent,
      error: err.textContent,
      arts: box.hidden || arts.hidden ? [] : [...arts.options].map((o) => ({ value: o.value, text: o.textContent })),
      placing: !go.hidden,
      remove: !remove.hidden,
      buy: buy.hidden ? null : { text: buy.textContent, enabled: !buy.disabled },
    };
  }

  return {
    showPlace, showNeedConnect, showError, settle, escape, tick, select, hide, placedName, snapshot,
    get open() { return !box.hidden; },
    get waiting() { return !!pending; },
  };
}
