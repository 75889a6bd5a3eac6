// Texts the room shows: time left, sale lines, the sale button table, plaque fitting, facing.
// Pure functions; the clock and the text measurer are passed in.

const DAY = 86400;
const HOUR = 3600;

function counted(n, one, many) {
  return n + (n === 1 ? one : many);
}

/** How long a showing still runs; exp and now are seconds since 1970. */
export function leftWords(exp, nowSeconds) {
  const left = exp - nowSeconds;
  if (left <= 0) return 'This showing has ended.';
  if (left >= DAY) return counted(Math.ceil(left / DAY), ' day left.', ' days left.');
  if (left >= HOUR) return counted(Math.ceil(left / HOUR), ' hour left.', ' hours left.');
  return counted(Math.max(1, Math.ceil(left / 60)), ' minute left.', ' minutes left.');
}

/** The line under a taken frame's note: price, length of the showing, time left. */
export function saleLine(msg, nowSeconds) {
  const parts = [];
  const price = msg.price;
  parts.push(typeof price !== 'number' || price < 0 ? 'View only.' : price + ' sats.');
  if (msg.weeks === 2) parts.push('Up for 2 weeks.');
  else if (msg.weeks === 1) parts.push('Up for 1 week.');
  if (msg.exp) parts.push(leftWords(msg.exp, nowSeconds));
  return parts.join(' ');
}

const SALE_BUTTONS = Object.freeze({
  ask: Object.freeze({ text: 'Ask to buy', enabled: true, working: 'Asking the owner' }),
  asked: Object.freeze({ text: 'Asked', enabled: false, working: '' }),
  pay: Object.freeze({ text: 'Pay now', enabled: true, working: 'Paying' }),
  paid: Object.freeze({ text: 'Paid', enabled: false, working: '' }),
  accept: Object.freeze({ text: 'Accept', enabled: true, working: 'Accepting' }),
  accepted: Object.freeze({ text: 'Accepted', enabled: false, working: '' }),
  complete: Object.freeze({ text: 'Complete', enabled: true, working: 'Completing the sale' }),
});

/** The sale button for an action, or null when the button is hidden. */
export function saleButton(action) {
  return Object.prototype.hasOwnProperty.call(SALE_BUTTONS, action) ? SALE_BUTTONS[action] : null;
}

/** Plaque text: the title, or "AP" + number when there is none. */
export function plaqueLabel(frame, title) {
  return title ? String(title) : 'AP' + frame;
}

/**
 * Shortens text until measure(text) fits maxWidth: two characters off the end at a time,
 * trailing spaces trimmed, "..." appended.
 */
export function fitPlaque(text, measure, maxWidth = 592) {
  let body = text;
  let shown = text;
  while (measure(shown) > maxWidth && body.length > 0) {
    body = body.slice(0, Math.max(0, body.length - 2)).replace(/\s+$/, '');
    shown = body + '...';
  }
  return shown;
}

export const FACING_WORDS = Object.freeze([
  'North', 'North-east', 'East', 'South-east', 'South', 'South-west', 'West', 'North-west',
]);

/** Eight-way facing of a view angle: yaw 0 looks north (-z), positive yaw turns west. */
export function facing(yaw) {
  let deg = (-yaw * 180) / Math.PI;
  deg = ((deg % 360) + 360) % 360;
  const k = Math.floor(deg / 45 + 0.5) % 8;
  return { word: FACING_WORDS[k], deg: k * 45 };
}

export function floorName(level) {
  return level === 0 ? 'Ground floor' : 'Floor 2';
}
