// The drawing's path: the log's projection and each track's extent and
// colour, learnt once from the engine's path, and the strokes of a track at
// the level of detail a view needs (never every point of the log).

// Colours that stay apart from each other and from the marks, calm on white.
export const palette = ['#1f6fb4', '#d1495b', '#2a9d5c', '#8e5cb5', '#e08a1e', '#138d90', '#a0522d',
  '#c2378f'];

// The path's pairs of track i at a level: [first, end).
export const pairs_of = (level, i) => [level.from[i], level.from[i + 1]];

// The log's projection (k: longitudes shrunk by the cosine of the middle
// latitude of its path), each track's extent in projected degrees (from the
// engine's, whose longitudes go on past the 180° meridian as the path does),
// all of them together, each track's colour and the track of each push log
// point.
export function measure(scan) {
  const edges = scan.extents;
  const has_path = (i) => scan.levels[0].from[i + 1] > scan.levels[0].from[i];
  let low = Infinity, high = -Infinity;
  scan.tracks.forEach((t, i) => {
    if (has_path(i)) {
      low = Math.min(low, edges[4 * i + 2]);
      high = Math.max(high, edges[4 * i + 3]);
    }
  });
  const k = scan.drawing.length ? Math.max(0.05, Math.cos((low + high) / 2 * Math.PI / 180)) : 1;
  const extents = scan.tracks.map((t, i) => ({ x0: edges[4 * i] * k, x1: edges[4 * i + 1] * k,
    y0: edges[4 * i + 2], y1: edges[4 * i + 3] }));
  const all = extents.reduce((a, e) => ({ x0: Math.min(a.x0, e.x0), x1: Math.max(a.x1, e.x1),
    y0: Math.min(a.y0, e.y0), y1: Math.max(a.y1, e.y1) }), { x0: Infinity, x1: -Infinity, y0: Infinity, y1: -Infinity });
  const push_track = new Uint32Array(scan.pushes);
  scan.tracks.forEach((t, i) => push_track.fill(i, t.push_from, t.push_to));
  return { k, extents, all, colours: choose_colours(extents), push_track };
}

// The palette in turn, except that a track takes no colour of the track
// before it nor of an earlier track that it lies near.
function choose_colours(extents) {
  const near = (a, b) => {
    const gap = Math.max(a.x1 - a.x0, a.y1 - a.y0, b.x1 - b.x0, b.y1 - b.y0) / 2;
    return a.x0 - gap <= b.x1 && b.x0 - gap <= a.x1 && a.y0 - gap <= b.y1 && b.y0 - gap <= a.y1;
  };
  const colours = [];
  extents.forEach((e, i) => {
    const taken = new Set();
    for (let j = Math.max(0, i - 64); j < i; ++j)
      if (j === i - 1 || near(e, extents[j]))
        taken.add(colours[j]);
    const free = palette.map((_, n) => palette[(i + n) % palette.length]).find((c) => !taken.has(c));
    colours.push(free ?? palette[i % palette.length]);
  });
  return colours;
}

// The steps of the path a view draws, as the budget asks: a view of much of
// a full device, where tracks cross one another on every pixel, takes a
// coarser level than its pixels would ask for, though none coarser than
// most pixels to a cell. Beside a chosen track, the rest of the tracks
// (drawn faint, as a background to it) get fewer steps, and coarser cells
// where the tracks crowd the view.
const step_budgets = { all: { steps: 12000, most_pixels: 8 }, rest: { steps: 5000, most_pixels: 64 } };

// The level of the path for a view of pixel degrees (of latitude) to a CSS
// pixel that shows the tracks shown: the coarsest whose cell is no larger
// than two pixels, so that the steps drawn are a pixel or two long, as
// narrow as the line is wide; or a coarser one, the first that holds no more
// steps of them than the budget, or the coarsest of the budget's most pixels.
export function level_for(scan, pixel, shown, budget) {
  const fine = scan.levels.findLastIndex((level) => level.cell <= 2 * pixel);
  const steps = (level) => shown.reduce((n, i) => n + level.from[i + 1] - level.from[i], 0);
  let l = Math.max(0, fine);
  const { steps: most_steps, most_pixels } = step_budgets[budget];
  while (l + 1 < scan.levels.length && scan.levels[l + 1].cell <= most_pixels * pixel &&
    steps(scan.levels[l]) > most_steps)
    ++l;
  return scan.levels[l];
}

// The shortest step drawn, in CSS pixels either way: a shorter one adds
// nothing to a line as wide as the tracks' (and costs as much to draw).
const min_step = 1.5;

// Strokes track i of the level on g in a view of w by h CSS pixels whose
// middle shows the projected place (x, y) at s pixels per degree: only the
// steps that may cross the view, and of those none shorter than min_step.
// A track on one spot is a dot. Returns the steps drawn.
export function stroke_track(g, level, i, { k, x, y, s, w, h }) {
  const [from, to] = pairs_of(level, i);
  const xy = level.xy;
  // Which sides of the view (with a margin for the line's width) a point lies beyond.
  const beyond = (px, py) => (px < -10) | (px > w + 10) << 1 | (py < -10) << 2 | (py > h + 10) << 3;
  let last_x = 0, last_y = 0, side = -1, pen_up = true, drawn = 0;
  for (let p = from; p < to; ++p) {
    const px = w / 2 + (xy[2 * p] * k - x) * s;
    const py = h / 2 - (xy[2 * p + 1] - y) * s;
    const at_side = beyond(px, py);
    if (side >= 0 && !(side & at_side)) {
      if (Math.abs(px - last_x) < min_step && Math.abs(py - last_y) < min_step)
        continue;
      if (pen_up)
        g.moveTo(last_x, last_y);
      g.lineTo(px, py);
      pen_up = false;
      ++drawn;
    } else {
      pen_up = true;
    }
    last_x = px;
    last_y = py;
    side = at_side;
  }
  if (!drawn && side === 0)
    g.rect(last_x - 1, last_y - 1, 2, 2);
  return drawn;
}
