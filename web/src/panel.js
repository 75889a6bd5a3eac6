// The frame panel: placing an artwork, the taken frame's details, the sale button, removing.

import { saleLine, saleButton } from './words.js';

/**
 * frames gives markSelected, clearSpot; working is the indicator; tell posts to the host;
 * nowSeconds is the wall clock in seconds.
 */
export function createPanel({ doc, frames, working, tell, nowSeconds }) {
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

  const showEl = (e, on) => { e.hidden = !on; };

  function chooseWeek(n) {
    state.week = n;
    weeks.forEach((b, i) => b.classList.toggle('chosen', i + 1 === n));
  }

  function hide() {
    box.hidden = true;
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
    working.hide();
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

  /** The reply to "select" (and to a finished sale step). */
  function showPlace(msg) {
    const spot = msg.spot | 0;
    reset(spot);
    frames.markSelected(spot);
    err.textContent = typeof msg.error === 'string' ? msg.error : '';
    const list = Array.isArray(msg.arts) ? msg.arts : [];
    arts.replaceChildren(...list.map((a) => {
      const o = doc.createElement('option');
      o.value = String(a.origin || '');
      o.textContent = a.name ? String(a.name) : String(a.origin || '').slice(0, 12);
      return o;
    }));
    arts.selectedIndex = -1;
    state.buyer = typeof msg.buyer === 'string' ? msg.buyer : '';
    if (msg.taken) {
      note.textContent = msg.title ? msg.title + ' is on this frame.' : 'This frame is taken.';
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
  }

  function showNeedConnect(msg) {
    reset(msg.spot | 0);
    note.textContent = 'Use Connect on the header.';
    setSaleLine('');
    setPlacing(false);
    showEl(remove, false);
    setSale('');
    box.hidden = false;
  }

  function showError(msg) {
    working.hide();
    err.textContent = typeof msg.text === 'string' && msg.text ? msg.text : 'Place did not finish.';
    go.disabled = false;
    box.hidden = false;
  }

  weeks.forEach((b, i) => b.addEventListener('click', () => chooseWeek(i + 1)));

  go.addEventListener('click', () => {
    if (!state.week) {
      err.textContent = 'Choose 1 week or 2 weeks.';
      return;
    }
    const choice = arts.selectedIndex >= 0 ? arts.options[arts.selectedIndex] : null;
    if (!choice || !choice.value) {
      err.textContent = 'Pick an artwork.';
      return;
    }
    hide();
    working.show('Placing AP' + state.spot);
    tell({ op: 'place', spot: state.spot, origin: choice.value, price: price.value, unit: unit.value, weeks: state.week });
  });

  remove.addEventListener('click', () => {
    hide();
    working.show('Removing AP' + state.spot);
    tell({ op: 'remove', spot: state.spot });
  });

  buy.addEventListener('click', () => {
    const b = saleButton(state.action);
    if (!b || !b.enabled) return;
    hide();
    working.show(b.working);
    tell({ op: state.action, spot: state.spot, buyer: state.buyer });
  });

  close.addEventListener('click', () => {
    hide();
    frames.markSelected(0);
  });

  /** The text of the artwork chosen in the list, for the plaque after "placed". */
  function chosenName() {
    return arts.selectedIndex >= 0 ? arts.options[arts.selectedIndex].textContent : '';
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
    showPlace, showNeedConnect, showError, hide, chosenName, snapshot,
    get open() { return !box.hidden; },
  };
}
