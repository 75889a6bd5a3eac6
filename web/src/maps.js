// The two floor plans and the geometry rules derived from them. Pure: no three.js, no DOM.

export const UNIT = 1.3;
export const WALL_HEIGHT = 3.72;

const GROUND = [
  '########################',
  '##########w5#w##########',
  '##########....##########',
  '########a.....##########',
  '#########3....##########',
  '##########.....a########',
  '#########......#########',
  '########1......2########',
  '#########......LL#######',
  '#########......LL#######',
  '########a......4########',
  '#########......#########',
  '#########......a########',
  '#########.....##########',
  '###########DD###########',
  '##########....##########',
  '##########....##########',
  '#########w####w#########',
  '########################',
  '########################',
];

const UPPER = [
  '########################',
  '##########w#w###########',
  '##########....##########',
  '########a.....##########',
  '#########9....0#########',
  '##########.....a########',
  '#########......#########',
  '########7......8########',
  '#########......LL#######',
  '#########......LL#######',
  '########a......#########',
  '#########......#########',
  '#########......a########',
  '#########.....##########',
  '##########....##########',
  '##########....##########',
  '##########....##########',
  '#########w##6#w#########',
  '########################',
  '########################',
];

export const MAPS = Object.freeze([Object.freeze(GROUND), Object.freeze(UPPER)]);
export const ROWS = 20;
export const COLS = 24;

// Facing directions as [column step, row step], in the order faceOf tries them.
export const DIRECTIONS = Object.freeze([[1, 0], [-1, 0], [0, 1], [0, -1]]);

/** The character at column q, row r; level is a floor index or a plan of its own (rows of text). */
export function cellAt(level, q, r) {
  const rows = Array.isArray(level) ? level : MAPS[level];
  if (!rows || r < 0 || r >= rows.length || q < 0 || q >= rows[r].length) return '#';
  return rows[r][q];
}

export function isWalkableChar(ch) {
  return ch === '.' || ch === 'D' || ch === 'L' || ch === 's';
}

export function walkable(level, q, r) {
  return isWalkableChar(cellAt(level, q, r));
}

export function isFrameChar(ch) {
  return ch >= '0' && ch <= '9';
}

/** Frame number carried by a map character ("0" is frame 10), or 0. */
export function frameOfChar(ch) {
  if (!isFrameChar(ch)) return 0;
  return ch === '0' ? 10 : Number(ch);
}

/** Wall blocks: plain walls, the "w" variant and the cells that carry a frame. */
export function isWallChar(ch) {
  return ch === '#' || ch === 'w' || isFrameChar(ch);
}

/** Which cell a world point lies in. */
export function cellOf(x, z) {
  return [Math.floor(x / UNIT), Math.floor(z / UNIT)];
}

export function walkableAt(level, x, z) {
  const [q, r] = cellOf(x, z);
  return walkable(level, q, r);
}

/** The first direction whose neighbour is walkable; north when none is. */
export function faceOf(level, q, r) {
  for (const [dc, dr] of DIRECTIONS) {
    if (walkable(level, q + dc, r + dr)) return [dc, dr];
  }
  return [0, -1];
}

/** Every frame cell of a floor, in map order. */
export function frameCells(level) {
  const out = [];
  (Array.isArray(level) ? level : MAPS[level]).forEach((row, r) => {
    for (let q = 0; q < row.length; q++) {
      const frame = frameOfChar(row[q]);
      if (frame) out.push({ frame, level, q, r });
    }
  });
  return out;
}

/** The cell of frame n (1 to 10). */
export function findFrame(frame) {
  for (let level = 0; level < MAPS.length; level++) {
    const hit = frameCells(level).find((c) => c.frame === frame);
    if (hit) return hit;
  }
  return null;
}

function facesRoom(level, q, r, dc, dr) {
  const ch = cellAt(level, q, r);
  if (!isWallChar(ch)) return false;
  const front = cellAt(level, q + dc, r + dr);
  return isWalkableChar(front) && front !== 'L';
}

/**
 * The straight run of wall cells around a frame that face the room the same way, and where
 * along it this frame sits when the run's frames share it evenly.
 * Offsets count cells along the tangent (-dr, dc) from the frame's cell.
 */
export function shareWall(level, q, r, dc, dr) {
  const tq = -dr;
  const tr = dc;
  let lo = 0;
  let hi = 0;
  while (facesRoom(level, q + tq * (lo - 1), r + tr * (lo - 1), dc, dr)) lo--;
  while (facesRoom(level, q + tq * (hi + 1), r + tr * (hi + 1), dc, dr)) hi++;
  const mates = [];
  for (let k = lo; k <= hi; k++) {
    const cq = q + tq * k;
    const cr = r + tr * k;
    if (!isFrameChar(cellAt(level, cq, cr))) continue;
    const [fc, fr] = faceOf(level, cq, cr);
    if (fc === dc && fr === dr) mates.push(k);
  }
  mates.sort((a, b) => a - b);
  const n = Math.max(1, mates.length);
  const i = Math.max(0, mates.indexOf(0));
  const along = (lo - 0.5) + (hi - lo + 1) * (i + 0.5) / n;
  return { lo, hi, i, n, along };
}

// Frame 1 sits off its cell's centre, a third of a frame width along its wall.
const FRAME_ONE_SHIFT = (0.97 * 1.8) / 3;
const WALL_GAP = 0.006;

/** World point (x, z) on the wall face where a frame hangs, and its facing. */
export function hangPoint(frame, level, q, r) {
  const [dc, dr] = faceOf(level, q, r);
  const x0 = (q + 0.5 + dc * 0.5) * UNIT + dc * WALL_GAP;
  const z0 = (r + 0.5 + dr * 0.5) * UNIT + dr * WALL_GAP;
  if (frame === 1) {
    return { x: x0 - FRAME_ONE_SHIFT * dr, z: z0 + FRAME_ONE_SHIFT * dc, dc, dr };
  }
  const { along } = shareWall(level, q, r, dc, dr);
  return { x: x0 + -dr * along * UNIT, z: z0 + dc * along * UNIT, dc, dr };
}

/**
 * Free wall beside a hung frame: metres from each edge of the frame to the end of its wall
 * run, as a viewer facing the frame sees them (left and right).
 */
export function wallRoom(frame, level, q, r) {
  const [dc, dr] = faceOf(level, q, r);
  const run = shareWall(level, q, r, dc, dr);
  // Offsets run along (-dr, dc), which is the viewer's left.
  const along = frame === 1 ? FRAME_ONE_SHIFT / UNIT : run.along;
  const half = frameWidth(frame) / 2;
  return {
    left: (run.hi + 0.5 - along) * UNIT - half,
    right: (along - (run.lo - 0.5)) * UNIT - half,
  };
}

/**
 * The name plaque hangs beside its frame at eye level, as galleries hang labels: on the
 * viewer's right where the wall leaves room, else on the left, as wide as the wall allows.
 * Sizes in metres; the text size is the same on every plaque.
 */
export const PLAQUE = Object.freeze({
  em: 0.07, lineHeight: 1.2, pad: 0.03, gap: 0.07, margin: 0.03,
  minWidth: 0.28, maxWidth: 0.56, narrow: 0.4, centre: 1.4,
});

/** Lines of text a plaque of this width holds: a narrow one is taller instead. */
export function plaqueLines(width) {
  return width < PLAQUE.narrow ? 4 : 3;
}

export function plaqueHeight(width) {
  return 2 * PLAQUE.pad + plaqueLines(width) * PLAQUE.lineHeight * PLAQUE.em;
}

/**
 * Where frame n's plaque goes: side -1 is the viewer's right (the frame model's -x), +1 the
 * left; width in metres; along is the plaque's middle from the frame's middle along its wall.
 */
export function plaquePlace(frame, level, q, r) {
  const room = wallRoom(frame, level, q, r);
  const fits = (space) => space - PLAQUE.gap - PLAQUE.margin;
  const right = fits(room.right);
  const left = fits(room.left);
  const side = right >= PLAQUE.maxWidth || right >= left ? -1 : 1;
  const width = Math.max(PLAQUE.minWidth, Math.min(PLAQUE.maxWidth, side < 0 ? right : left));
  return { side, width, along: side * (frameWidth(frame) / 2 + PLAQUE.gap + width / 2) };
}

/** Frame width scale: frames 3 and 4 hang on narrow walls. */
export function frameWidth(frame) {
  return frame === 3 || frame === 4 ? 1.44 : 1.8;
}

export const FRAME_HEIGHT = 1.8;
// Models stand on their lower edge; this puts the frame's centre near 1.45 m.
export const FRAME_BASE = 1.02 - (1.184 * 0.8) / 2;

/** Which model a frame uses: five designs shared by the ten frames. */
export function frameModel(frame) {
  return ((frame - 1) % 5) + 1;
}

// The hall's bench stands west of the line from the gate to the far wall, so walking straight
// in does not end against it.
export const BENCH = Object.freeze({ x: 10.8 * UNIT, z: 11 * UNIT, halfX: 0.4, halfZ: 1.85 });

export const ALCOVE_MODELS = Object.freeze(['alcove-b', 'alcove-dragon', 'alcove-flower', 'alcove-tree']);

/** Alcove sculpture by quarter of the map. */
export function alcoveModel(q, r) {
  if (r <= 7) return q < 12 ? ALCOVE_MODELS[0] : ALCOVE_MODELS[1];
  return q < 12 ? ALCOVE_MODELS[2] : ALCOVE_MODELS[3];
}

export function alcoveCells(level) {
  const out = [];
  MAPS[level].forEach((row, r) => {
    for (let q = 0; q < row.length; q++) {
      if (row[q] === 'a') {
        const [dc, dr] = faceOf(level, q, r);
        out.push({ q, r, dc, dr, model: alcoveModel(q, r) });
      }
    }
  });
  return out;
}

/** Rotation about the vertical axis that turns a model's -z front towards (dc, dr). */
export function faceYaw(dc, dr) {
  return Math.atan2(-dc, -dr);
}
