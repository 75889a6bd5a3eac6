// Texts the room shows: time left, sale lines, the sale button table, plaque fitting, facing,
// and the rules that make text and numbers from the host safe to show. Pure functions; the
// clock and the text measurer are passed in.

// How much of each host text the page keeps (code points), and how many list entries.
export const LIMITS = Object.freeze({
  title: 160, name: 120, origin: 100, status: 300, error: 300, url: 512, arts: 500, shows: 100,
});
export const MAX_SATS = 2_100_000_000_000_000;

// Control characters and the bidirectional overrides and isolates, which could turn the rest
// of a line around.
const UNSHOWN = /[\u0000-\u001f\u007f-\u009f\u202a-\u202e\u2066-\u2069]/g;

/**
 * Host text made safe to show: a string or '', control characters as spaces, at most max code
 * points (the cut marked with an ellipsis). Work is bounded by max, not by the text's length.
 */
export function hostText(value, max) {
  if (typeof value !== 'string') return '';
  const head = value.length > max * 2 ? value.slice(0, max * 2) : value;
  const points = Array.from(head.replace(UNSHOWN, ' '));
  if (points.length <= max && head.length === value.length) return points.join('');
  return points.slice(0, max - 1).join('').trimEnd() + '\u2026';
}

/** A frame number from the host: an integer 1 to 10, else 0 (the same rule for every message). */
export function spotOf(value) {
  return Number.isInteger(value) && value >= 1 && value <= 10 ? value : 0;
}

/** Seconds since 1970 from the host, or 0 when it is not a positive whole number. */
export function secondsOf(value) {
  return Number.isSafeInteger(value) && value > 0 ? value : 0;
}

/** A price in sats from the host, or null when it is not a whole number of sats in range. */
export function satsOf(value) {
  return Number.isSafeInteger(value) && value <= MAX_SATS ? value : null;
}

/**
 * A picture address from the host: a page-relative path (like spots/ap3.png) of bounded
 * length, never another origin, scheme or a step out of the folder; '' otherwise.
 */
export function pictureAddress(value) {
  if (typeof value !== 'string' || !value || value.length > LIMITS.url) return '';
  if (/^[a-z][a-z0-9+.-]*:/i.test(value) || /^[\\/]/.test(value) || value.includes('\\')) return '';
  if (value.split(/[?#]/)[0].split('/').some((part) => part === '..')) return '';
  if (new RegExp(UNSHOWN.source).test(value)) return '';
  return value;
}

export const LOOK_SCALES = Object.freeze({ steady: 1, quick: 1.7 });

/** The turn speed factor from "look": within the host's two settings; 1 when absent or not a number. */
export function lookScaleOf(value) {
  if (typeof value !== 'number' || !Number.isFinite(value) || value <= 0) return LOOK_SCALES.steady;
  return Math.min(LOOK_SCALES.quick, Math.max(LOOK_SCALES.steady, value));
}

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
  const price = satsOf(msg.price);
  parts.push(price === null || price < 0 ? 'View only.' : price + ' sats.');
  if (msg.weeks === 2) parts.push('Up for 2 weeks.');
  else if (msg.weeks === 1) parts.push('Up for 1 week.');
  const exp = secondsOf(msg.exp);
  if (exp) parts.push(leftWords(exp, nowSeconds));
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

/** Plaque text: the title (made safe), or "AP" + number when there is none. */
export function plaqueLabel(frame, title) {
  const text = hostText(title, LIMITS.title).trim();
  return text || 'AP' + frame;
}

/** The largest k in 0..max with fits(k), for fits true at 0 and monotone. */
function longest(fits, max) {
  let lo = 0;
  let hi = max;
  while (lo < hi) {
    const mid = Math.ceil((lo + hi) / 2);
    if (fits(mid)) lo = mid;
    else hi = mid - 1;
  }
  return lo;
}

/**
 * Breaks text into at most maxLines lines that measure(line) keeps within width: at spaces
 * where it can, inside a word that is too wide alone. When text is left over, the last line
 * ends in "..." with trailing spaces trimmed. The longest piece that fits is found by halving,
 * so a line costs a few measurements whatever the text's length.
 */
export function fitLines(text, measure, width, maxLines) {
  const points = Array.from(text);
  const piece = (a, b) => points.slice(a, b).join('');
  const lines = [];
  let start = 0;
  while (lines.length < maxLines) {
    while (start < points.length && points[start] === ' ') start++;
    if (start >= points.length) break;
    const rest = piece(start, points.length);
    if (measure(rest) <= width) {
      lines.push(rest);
      break;
    }
    if (lines.length === maxLines - 1) {
      const k = longest((n) => measure(piece(start, start + n).trimEnd() + '...') <= width, points.length - start);
      lines.push(piece(start, start + k).trimEnd() + '...');
      break;
    }
    const n = Math.max(1, longest((m) => measure(piece(start, start + m)) <= width, points.length - start));
    let cut = -1;
    for (let k = n; k > 0; k--) {
      if (points[start + k] === ' ') {
        cut = k;
        break;
      }
    }
    if (cut > 0) {
      lines.push(piece(start, start + cut).trimEnd());
      start += cut + 1;
    } else {
      lines.push(piece(start, start + n));
      start += n;
    }
  }
  return lines;
}

export const FACING_WORDS = Object.freeze([
  'North', 'North-east', 'East', 'South-east', 'South', 'South-west', 'West', 'North-west',
]);

/** Eight-way facing of a view angle: yaw 0 looks north (-z), positive yaw turns west. */
export function facing(yaw) {
  if (!Number.isFinite(yaw)) return { word: FACING_WORDS[0], deg: 0 };
  let deg = (-(yaw % (2 * Math.PI)) * 180) / Math.PI;
  deg = ((deg % 360) + 360) % 360;
  const k = Math.floor(deg / 45 + 0.5) % 8;
  return { word: FACING_WORDS[k], deg: k * 45 };
}

export function floorName(level) {
  return level === 0 ? 'Ground floor' : 'Floor 2';
}
