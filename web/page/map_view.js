// The drawing: every track of the log on an equirectangular projection
// around the log's middle latitude, zoomed and moved like a map (the wheel,
// dragging, the buttons and the keys), with start and end marks, the push
// log points as markers, a scale bar and a legend.
import { osm_site } from './constants.js';
import { $ } from './dom.js';
import { opened } from './state.js';
import { say, texts } from './texts.js';
import { mark_end, mark_pushes, show_legend, show_scale } from './map_marks.js';
import { level_for, measure, pairs_of, palette, stroke_track } from './map_path.js';
import { kind_unit, show_value, view } from './units.js';

// Metres along a meridian per degree of latitude, on the sphere of the
// track figures.
const metres_per_degree = 6371008.8 * Math.PI / 180;
// The closest view: a quarter of a metre per pixel.
const closest = metres_per_degree / 0.25;
// The most push log points that get a marker of their own, and the square
// of pixels in which one of another track's stands for all.
const marker_limit = 150;
const push_cell = 12;
// More push log points of other tracks than this in view are drawn small.
const crowded = 200;

// What the drawing shows: the log's projection, extents and colours
// (measure in map_path.js), the view (centre x, y and CSS pixels per
// projected degree s), the place marked from the profile (a pair of the
// path) and the push log points' markers.
const map = { k: 1, extents: [], colours: [], all: null, view: null, frame: 0, place: null,
  push_track: [], markers: new Map(), size: { w: 0, h: 0 } };

export const track_colour = (i) => map.colours[i] ?? palette[i % palette.length];

// A canvas at its shown size in device pixels (or w by h where it is not
// shown): that size in CSS pixels and the device pixels per CSS pixel.
export function fit_canvas(canvas, w = 800, h = 600) {
  w = canvas.clientWidth || w;
  h = canvas.clientHeight || h;
  const ratio = window.devicePixelRatio || 1;
  if (canvas.width !== Math.round(w * ratio) || canvas.height !== Math.round(h * ratio)) {
    canvas.width = Math.round(w * ratio);
    canvas.height = Math.round(h * ratio);
  }
  return { w, h, ratio };
}

function fit_drawing() {
  const { w, h, ratio } = fit_canvas($('drawing'));
  map.size = { w, h };
  return ratio;
}

// The view that shows the extent e whole, with a margin.
function view_of(e) {
  const { w, h } = map.size;
  const margin = Math.min(40, w / 8);
  // A single point is shown with some 200 m around it.
  const span_x = Math.max(e.x1 - e.x0, 200 / metres_per_degree);
  const span_y = Math.max(e.y1 - e.y0, 200 / metres_per_degree);
  const s = Math.min((w - 2 * margin) / span_x, (h - 2 * margin) / span_y, closest);
  return { x: (e.x0 + e.x1) / 2, y: (e.y0 + e.y1) / 2, s };
}

function set_view(next) {
  const widest = view_of(map.all).s / 8;
  map.view = { ...next, s: Math.min(closest, Math.max(widest, next.s)) };
  redraw();
}

// Zooms by factor, keeping the place under (sx, sy) (CSS pixels in the
// drawing; its middle by default) where it is.
function zoom(factor, sx = map.size.w / 2, sy = map.size.h / 2) {
  const v = map.view;
  const x = v.x + (sx - map.size.w / 2) / v.s;
  const y = v.y - (sy - map.size.h / 2) / v.s;
  const s = Math.min(closest, Math.max(view_of(map.all).s / 8, v.s * factor));
  set_view({ x: x - (sx - map.size.w / 2) / s, y: y + (sy - map.size.h / 2) / s, s });
}

const pan = (dx, dy) => set_view({ ...map.view, x: map.view.x - dx / map.view.s, y: map.view.y + dy / map.view.s });
const fit_all = () => opened.scan && set_view(view_of(map.all));

// One redraw per frame, however many changes of the view came in it.
function redraw() {
  if (!map.frame)
    map.frame = requestAnimationFrame(draw);
}

// Projected degrees to CSS pixels in the drawing.
const to_screen = (x, y) => [map.size.w / 2 + (x - map.view.x) * map.view.s,
  map.size.h / 2 - (y - map.view.y) * map.view.s];

// The tracks that lie in the view, the chosen one last (on top). The
// canvas is an unaccelerated one (asked for as one read often): WebKit's
// accelerated canvas keeps what it built for every stroked segment, some
// 500 MB for a full device's million points, where the drawing's pixels
// take a few MB. The tracks are drawn from the level of the engine's path
// that has about one point per pixel in this view (map_path.js).
export function draw() {
  cancelAnimationFrame(map.frame);
  map.frame = 0;
  const canvas = $('drawing');
  const scan = opened.scan;
  const ratio = fit_drawing();
  const g = canvas.getContext('2d', { willReadFrequently: true });
  g.setTransform(1, 0, 0, 1, 0, 0);
  g.clearRect(0, 0, canvas.width, canvas.height);
  if (!scan || !scan.tracks.length || !map.view) {
    show_markers([]);
    return;
  }
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.lineCap = 'round';
  const { w, h } = map.size;
  const in_view = (e) => {
    const [ax, ay] = to_screen(e.x0, e.y1);
    const [bx, by] = to_screen(e.x1, e.y0);
    return bx >= -10 && ax <= w + 10 && by >= -10 && ay <= h + 10;
  };
  const chosen = opened.selected ? opened.selected.number - 1 : -1;
  const shown = scan.tracks.map((t, i) => i).filter((i) => i !== chosen && in_view(map.extents[i]));
  if (chosen >= 0)
    shown.push(chosen);
  // The path at the level of detail of the view, each track in one stroke;
  // the chosen track at its own, the others within the budget of the rest.
  const others = shown.filter((i) => i !== chosen);
  const level = level_for(scan, 1 / map.view.s, others, chosen >= 0 ? 'rest' : 'all');
  const own_level = chosen >= 0 ? level_for(scan, 1 / map.view.s, [chosen], 'all') : level;
  let steps = 0;
  const stroke = (i, colour, width) => {
    g.beginPath();
    g.strokeStyle = colour;
    g.lineWidth = width;
    steps += stroke_track(g, i === chosen ? own_level : level, i, { k: map.k, ...map.view, w, h });
    g.stroke();
  };
  // Round joins for the chosen track's wide line; the others' narrow ones
  // look the same with bevelled joins, which cost half as much to draw.
  for (const i of shown) {
    if (i === chosen) {
      g.globalAlpha = 1;
      g.lineJoin = 'round';
      stroke(i, '#fff', 8);
      stroke(i, track_colour(i), 4.5);
    } else {
      g.globalAlpha = chosen >= 0 ? 0.4 : 1;
      g.lineJoin = 'bevel';
      stroke(i, track_colour(i), 2.5);
    }
  }
  g.globalAlpha = 1;
  // Start and end of each track shown (of many, the chosen one's only).
  for (const i of shown.length <= 60 ? shown : shown.slice(-1)) {
    const ends = track_ends(scan, i);
    if (!ends)
      continue;
    // The chosen track's marks a little larger, the others' smaller.
    const size = i === chosen ? 1.2 : chosen < 0 ? 1 : 0.7;
    mark_end(g, to_screen(...ends.start), 'start', track_colour(i), size);
    mark_end(g, to_screen(...ends.end), 'end', track_colour(i), size);
  }
  const pushes = visible_pushes(scan, chosen);
  const own = (p) => p.track === chosen;
  // Where many stand, the other tracks' are drawn small, the tracks seen between them.
  const other_pushes = pushes.drawn.filter((p) => !own(p));
  mark_pushes(g, other_pushes.map((p) => p.at), other_pushes.length > crowded ? 0.45 : chosen < 0 ? 1 : 0.7);
  mark_pushes(g, pushes.drawn.filter(own).map((p) => p.at), 1);
  show_markers(pushes.markers);
  show_place();
  show_scale(metres_per_degree / map.view.s);
  show_legend(shown, chosen, track_colour, scan.pushes);
  const [x0, y1] = [map.view.x - w / 2 / map.view.s, map.view.y + h / 2 / map.view.s];
  const [x1, y0] = [map.view.x + w / 2 / map.view.s, map.view.y - h / 2 / map.view.s];
  // The steps of the path drawn, and the area shown, in degrees: west,
  // south, east, north.
  canvas.dataset.steps = String(steps);
  canvas.dataset.shows = [x0 / map.k, y0, x1 / map.k, y1].map((v) => v.toFixed(7)).join(' ');
}

// The first and last point of a track that the path holds, projected.
function track_ends(scan, i) {
  const [from, to] = pairs_of(scan.levels[0], i);
  if (from >= to)
    return null;
  const at = (k) => [scan.drawing[2 * k] * map.k, scan.drawing[2 * k + 1]];
  return { start: at(from), end: at(to - 1) };
}

// The push log points in view: the chosen track's all, of the others one
// for each square of push_cell pixels (one stands for those on it). The
// chosen track's come first to a marker.
function visible_pushes(scan, chosen) {
  const wp = scan.wpt_xy;
  const { w, h } = map.size;
  const { x: vx, y: vy, s } = map.view;
  const own = [];
  const others = [];
  const taken = new Set();
  for (let n = 0; n < wp.length / 2; ++n) {
    const track = map.push_track[n];
    const e = map.extents[track];
    const middle = (e.x0 + e.x1) / 2 / map.k;
    const x = w / 2 + ((wp[2 * n] + 360 * Math.round((middle - wp[2 * n]) / 360)) * map.k - vx) * s;
    const y = h / 2 - (wp[2 * n + 1] - vy) * s;
    if (x < -8 || x > w + 8 || y < -8 || y > h + 8)
      continue;
    // The square the point stands on, numbered row by row from the view's corner.
    const cell = Math.floor((y + 8) / push_cell) * 4096 + Math.floor((x + 8) / push_cell);
    if (track === chosen)
      own.push({ n, track, at: [x, y] });
    else if (!taken.has(cell)) {
      taken.add(cell);
      others.push({ n, track, at: [x, y] });
    }
  }
  const inside = (p) => p.at[0] >= 0 && p.at[0] <= w && p.at[1] >= 0 && p.at[1] <= h;
  const markers = [...own.filter(inside), ...others.filter(inside)].slice(0, marker_limit);
  return { drawn: [...others, ...own], markers };
}

// A button over each marked push log point: its number, track and time on
// hover and on focus. The chosen track's markers are Tab stops, the others
// are reached by the pointer. Buttons are kept while their point stays in
// view, so the focus stays on them while the view moves.
function show_markers(list) {
  const layer = $('markers');
  const chosen = opened.selected ? opened.selected.number - 1 : -1;
  const keep = new Set(list.map((p) => p.n));
  for (const [n, button] of map.markers)
    if (!keep.has(n)) {
      if (button === document.activeElement)
        $('map').focus();
      button.remove();
      map.markers.delete(n);
    }
  for (const p of list) {
    let button = map.markers.get(p.n);
    if (!button) {
      button = document.createElement('button');
      button.type = 'button';
      button.className = 'marker';
      for (const show of ['pointerenter', 'focus'])
        button.addEventListener(show, () => show_tip(button));
      for (const hide of ['pointerleave', 'blur'])
        button.addEventListener(hide, () => hide_tip());
      button.addEventListener('click', () => show_tip(button));
      map.markers.set(p.n, button);
      layer.append(button);
    }
    button.tabIndex = p.track === chosen ? 0 : -1;
    button.style.left = `${p.at[0]}px`;
    button.style.top = `${p.at[1]}px`;
    label_marker(button, p.n, p.track);
  }
}

// A marker's words: its number, its track and its time (as the engine
// wrote it, "YYYY-MM-DD hh:mm:ss" UTC, each time as long as the others).
const time_text = new TextDecoder();
function label_marker(button, n, track) {
  const times = opened.scan.push_times;
  const size = times.length / opened.scan.pushes;
  const time = time_text.decode(times.subarray(size * n, size * (n + 1)));
  button.setAttribute('aria-label', texts.push_marker(n + 1, track + 1, time && show_value('time', time),
    kind_unit('time')));
  if (button === $('tip').owner)
    show_tip(button);
}

function show_tip(button) {
  const tip = $('tip');
  tip.textContent = button.getAttribute('aria-label');
  tip.owner = button;
  tip.hidden = false;
  const left = parseFloat(button.style.left);
  tip.style.left = `${Math.max(4, Math.min(left - tip.offsetWidth / 2, map.size.w - tip.offsetWidth - 4))}px`;
  const top = parseFloat(button.style.top);
  tip.style.top = `${top - tip.offsetHeight - 12 >= 4 ? top - tip.offsetHeight - 12 : top + 12}px`;
}

function hide_tip() {
  $('tip').hidden = true;
  $('tip').owner = null;
}

// The place chosen on the profile: a ring over the drawing.
function show_place() {
  const place = $('place');
  const scan = opened.scan;
  if (map.place === null || !scan || !map.view) {
    place.hidden = true;
    return;
  }
  const [x, y] = to_screen(scan.drawing[2 * map.place] * map.k, scan.drawing[2 * map.place + 1]);
  place.hidden = x < 0 || x > map.size.w || y < 0 || y > map.size.h;
  place.style.left = `${x}px`;
  place.style.top = `${y}px`;
}

// Marks the log's point index on the drawing (null: no mark), at the
// nearest point of the path that belongs to the chosen track.
export function mark_point(index) {
  const t = opened.selected;
  if (index === null || !t || !opened.scan) {
    map.place = null;
  } else {
    const [from, to] = pairs_of(opened.scan.levels[0], t.number - 1);
    map.place = from < to ? Math.max(from, Math.min(to - 1, Math.round(index / opened.scan.stride))) : null;
  }
  show_place();
}

// The drawing's controls: the wheel and the buttons zoom, dragging and the
// arrow keys move, + and - zoom, 0 shows all tracks.
export function start_drawing() {
  const area = $('map');
  say(area, () => texts.map_label, 'aria-label');
  for (const id of ['zoom-in', 'zoom-out', 'zoom-fit'])
    say($(id), () => texts[id.replace('-', '_')], 'aria-label');
  say($('legend'), () => texts.legend_label, 'aria-label');
  area.addEventListener('wheel', (e) => {
    if (!map.view)
      return;
    e.preventDefault();
    const box = $('drawing').getBoundingClientRect();
    const lines = e.deltaMode === 1 ? 40 : e.deltaMode === 2 ? 800 : 1;
    zoom(2 ** (-e.deltaY * lines / 300), e.clientX - box.left, e.clientY - box.top);
  }, { passive: false });
  let drag = null;
  area.addEventListener('pointerdown', (e) => {
    if (!map.view || e.button !== 0 || e.target.closest('.zoom'))
      return;
    drag = { x: e.clientX, y: e.clientY, id: e.pointerId };
    try {
      area.setPointerCapture(e.pointerId);
    } catch {
      // a pointer the browser does not know (a synthetic one): no capture
    }
    area.classList.add('dragging');
  });
  area.addEventListener('pointermove', (e) => {
    if (!drag || e.pointerId !== drag.id)
      return;
    pan(e.clientX - drag.x, e.clientY - drag.y);
    drag.x = e.clientX;
    drag.y = e.clientY;
  });
  const end_drag = () => {
    drag = null;
    area.classList.remove('dragging');
  };
  area.addEventListener('pointerup', end_drag);
  area.addEventListener('pointercancel', end_drag);
  const keys = {
    '+': () => zoom(2), '=': () => zoom(2), '-': () => zoom(0.5), '−': () => zoom(0.5),
    _: () => zoom(0.5), 0: fit_all,
    ArrowLeft: () => pan(map.size.w / 6, 0), ArrowRight: () => pan(-map.size.w / 6, 0),
    ArrowUp: () => pan(0, map.size.h / 6), ArrowDown: () => pan(0, -map.size.h / 6),
  };
  area.addEventListener('keydown', (e) => {
    if (!map.view || !(e.key in keys) || e.ctrlKey || e.metaKey || e.altKey)
      return;
    e.preventDefault();
    keys[e.key]();
  });
  $('zoom-in').addEventListener('click', () => map.view && zoom(2));
  $('zoom-out').addEventListener('click', () => map.view && zoom(0.5));
  $('zoom-fit').addEventListener('click', fit_all);
  // A new size shows about the same area.
  new ResizeObserver(() => {
    const { w, h } = map.size;
    const canvas = $('drawing');
    if (!map.view || !w || !h || !canvas.clientWidth || (canvas.clientWidth === w && canvas.clientHeight === h))
      return;
    map.view.s *= Math.min(canvas.clientWidth / w, canvas.clientHeight / h);
    draw();
  }).observe($('drawing'));
}

// The place of a track on openstreetmap.org: the middle of its extent, at
// the zoom that shows it whole on a screen of some 1,000 pixels.
function osm_link(i) {
  const e = map.extents[i];
  const span = Math.max((e.x1 - e.x0) / map.k, (e.y1 - e.y0) * 1.5, 1e-4);
  const level = Math.max(1, Math.min(18, Math.floor(Math.log2(360 * 1000 / 256 / span))));
  const lat = ((e.y0 + e.y1) / 2).toFixed(5);
  const lon = ((((e.x0 + e.x1) / 2 / map.k + 180) % 360 + 360) % 360 - 180).toFixed(5);
  return `${osm_site}#map=${level}/${lat}/${lon}`;
}

// The log newly shown: every track in view, no mark, no marker yet.
export function map_show_log(scan) {
  Object.assign(map, measure(scan));
  say($('drawing'), () => texts.drawing_label(scan.tracks.length, scan.pushes), 'aria-label');
  map.place = null;
  map.markers.forEach((button) => button.remove());
  map.markers.clear();
  hide_tip();
  $('osm').hidden = true;
  fit_drawing();
  map.view = scan.tracks.length ? view_of(map.all) : null;
  draw();
}

// The chosen track brought into view, whole, with its link to the map site.
export function map_show_track(track) {
  fit_drawing();
  map.place = null;
  set_view(view_of(map.extents[track.number - 1]));
  draw();
  $('osm-link').href = osm_link(track.number - 1);
  say($('osm-link'), () => texts.osm_link(track.number));
  $('osm').hidden = false;
}
