// The tracks: the overview, the summary and the table, whose choice the
// drawing and the profile follow.
import { $ } from './dom.js';
import { draw, map_show_log, map_show_track, track_colour } from './map_view.js';
import { hide_profile, refresh_profile, show_profile } from './profile_view.js';
import { opened, select } from './state.js';
import { is_busy } from './status.js';
import { on_language, say, texts } from './texts.js';
import { column_head, kind_unit, show_in, show_value, shown_date, units_name, view,
  zone_label } from './units.js';

// The table's columns: the engine's name of each figure and its kind
// (units.js).
const track_columns = [['number', 'count'], ['start', 'time'], ['end', 'time'],
  ['seconds', 'duration'], ['moving_s', 'duration'], ['paused_s', 'duration'], ['stops', 'count'],
  ['distance_m', 'distance'], ['average_kmh', 'speed'], ['max_kmh', 'speed'], ['ascent_m', 'height'],
  ['descent_m', 'height'], ['min_ele_m', 'height'], ['max_ele_m', 'height'], ['count', 'count'],
  ['push_points', 'count']].map(([key, kind]) => ({ key, kind }));

// One line on the log and the device: the tracks, the dates they span in
// the zone shown, their distance; the zone and units the device is set to.
function show_overview(scan) {
  const distance = scan.tracks.reduce((sum, t) => sum + t.distance_m, 0);
  const log = scan.tracks.length ? texts.overview_log(scan.tracks.length,
    shown_date(scan.first_time), shown_date(scan.last_time),
    `${show_value('distance', distance)} ${kind_unit('distance')}`) : texts.overview_empty;
  $('overview').textContent = `${log} ${texts.overview_device(zone_label(view.zone),
    texts.units_names[units_name(view.imperial)])}`;
}

function show_summary(scan) {
  const table = $('summary');
  table.replaceChildren();
  const values = [scan.points, scan.tracks.length, scan.pushes,
    show_value('time', scan.first_time), show_value('time', scan.last_time)];
  texts.summary.forEach((name, i) => {
    const row = table.insertRow();
    row.insertCell().textContent = i < 3 ? name : column_head(name, 'time');
    row.insertCell().textContent = values[i];
  });
}

// The table holds the rows in view and some around them, each of one
// fixed height, with room above and below them for the others: 6,250
// tracks cost the page what 30 do. Its one Tab stop is the active row.
const rows = { scan: null, shown: new Map(), from: 0, to: 0, active: 0, height: 0, head: 0,
  laid_out: false };
// The rows kept beyond each edge of the box, and those a table of few
// tracks shows all of.
const overscan = 8;
const tracks_box = () => $('tracks').parentElement;

// Before another file is opened, while the table is still laid out: the
// next log is shown from its first track on.
export function leave_tracks() {
  tracks_box().scrollTop = 0;
}

// The log's tracks newly shown: the table's rows from the top, the
// switches at the device's own zone and units.
export function show_tracks(scan) {
  map_show_log(scan);
  for (const row of rows.shown.values())
    row.remove();
  Object.assign(rows, { scan, shown: new Map(), from: 0, to: 0, active: 0, laid_out: false });
  $('tracks').setAttribute('aria-rowcount', String(scan.tracks.length + 2));
  say($('times-device-label'), () => texts.times_device(zone_label(view.zone)));
  $('times-device').checked = true;
  $(view.imperial ? 'units-imperial' : 'units-metric').checked = true;
  fill_tracks(scan);
  select(null);
  $('download-track').disabled = true;
  hide_profile();
}

// The row of track i, its cells filled in the zone and units shown.
function make_row(i) {
  const t = rows.scan.tracks[i];
  const row = document.createElement('tr');
  row.dataset.index = String(i);
  row.setAttribute('aria-rowindex', String(i + 3));
  row.setAttribute('aria-selected', String(opened.selected === t));
  for (const c of track_columns)
    Object.assign(row.insertCell(), { className: c.kind }).dataset.key = c.key;
  row.cells[0].style.borderLeft = `6px solid ${track_colour(i)}`;
  fill_row(row, t);
  return row;
}

function fill_row(row, t) {
  track_columns.forEach((c, k) => { row.cells[k].textContent = show_value(c.kind, t[c.key]); });
}

// The first and the end of the rows in view, with the overscan around them;
// of a log newly shown, the first rows, before its box has been laid out.
function rows_in_view() {
  const box = tracks_box();
  const n = rows.scan.tracks.length;
  if (!rows.height || !rows.laid_out)
    return [0, Math.min(n, 4 * overscan)];
  const top = Math.floor(Math.max(0, box.scrollTop - rows.head) / rows.height);
  const seen = Math.ceil(box.clientHeight / rows.height) + 1;
  return [Math.max(0, top - overscan), Math.min(n, top + seen + overscan)];
}

// The rows in view drawn, those that left it dropped; the room above and
// below stands for the others. A row is only moved, never redrawn, while
// it stays in view, so the focus stays on it.
function show_rows() {
  if (!rows.scan)
    return;
  const [from, to] = rows_in_view();
  const body = $('tracks').tBodies[0];
  const had_focus = body.contains(document.activeElement);
  // (Rows taken out before the room above grows would shorten the box's
  // content for a moment, and with it the place it is scrolled to.)
  const scrolled = rows.laid_out ? tracks_box().scrollTop : 0;
  for (const [i, row] of rows.shown)
    if (i < from || i >= to) {
      row.remove();
      rows.shown.delete(i);
    }
  const kept = [...rows.shown.keys()];
  const low = kept.length ? Math.min(...kept) : to;
  const high = kept.length ? Math.max(...kept) + 1 : to;
  for (let i = Math.min(low, to) - 1; i >= from; --i)
    body.prepend(new_row(i));
  for (let i = Math.max(high, from); i < to; ++i)
    body.append(new_row(i));
  Object.assign(rows, { from, to });
  const h = rows.height || 32;
  $('tracks-above').style.height = `${from * h}px`;
  $('tracks-below').style.height = `${(rows.scan.tracks.length - to) * h}px`;
  if (rows.laid_out)
    tracks_box().scrollTop = scrolled;
  // The Tab stop: the active row, or the first row in view while it is not.
  const stop = rows.shown.has(rows.active) ? rows.active : Math.min(...rows.shown.keys());
  for (const [i, row] of rows.shown)
    row.tabIndex = i === stop ? 0 : -1;
  if (had_focus && !body.contains(document.activeElement))
    rows.shown.get(stop)?.focus({ preventScroll: true });
}

function new_row(i) {
  const row = make_row(i);
  rows.shown.set(i, row);
  return row;
}

// The fixed height of a row (as they stand one under another) and that of
// the headings, once they are shown: measured after the box has been laid
// out (its scrolling, its size), not at once while it is being filled.
function measure_rows() {
  const body = $('tracks').tBodies[0].getBoundingClientRect();
  const height = rows.shown.size && body.height / rows.shown.size;
  rows.head = $('tracks').tHead.getBoundingClientRect().height;
  if (height && height !== rows.height) {
    rows.height = height;
    show_rows();
  }
}

// Track i brought into the box's view, below the headings, and focused.
function focus_row(i) {
  const box = tracks_box();
  const top = rows.head + i * rows.height;
  if (top - rows.head < box.scrollTop)
    box.scrollTop = top - rows.head;
  else if (top + rows.height > box.scrollTop + box.clientHeight)
    box.scrollTop = top + rows.height - box.clientHeight;
  rows.active = i;
  show_rows();
  rows.shown.get(i)?.focus();
}

// The table is one Tab stop: the arrow keys, Home and End move among its
// rows, Enter or Space chooses one.
function on_key(e) {
  const row = e.target.closest('tr[data-index]');
  if (!row)
    return;
  const i = Number(row.dataset.index);
  const n = rows.scan.tracks.length;
  if (e.key === 'Enter' || e.key === ' ') {
    e.preventDefault();
    select_track(i);
  } else if (e.key in row_moves) {
    e.preventDefault();
    focus_row(Math.max(0, Math.min(n - 1, row_moves[e.key](i, n))));
  } else if (e.key in column_moves) {
    e.preventDefault();
    tracks_box().scrollBy({ left: column_moves[e.key] });
  }
}

// The table's headings: a column of a kind that has a group heading
// (times, durations, speeds, heights) sits under it, which names the zone
// or unit; any other column names its own unit.
function show_heads() {
  const head = $('tracks').tHead;
  head.replaceChildren();
  const lines = [head.insertRow(), head.insertRow()];
  lines.forEach((line, i) => line.setAttribute('aria-rowindex', String(i + 1)));
  const cell = (line, text, span) => {
    const th = document.createElement('th');
    th.textContent = text;
    th.scope = span ? 'colgroup' : 'col';
    lines[line].append(th);
    return th;
  };
  track_columns.forEach((c, i) => {
    const group = texts.column_groups[c.kind];
    if (!group) {
      Object.assign(cell(0, column_head(texts.track_columns[c.key], c.kind)), { rowSpan: 2, className: c.kind });
      return;
    }
    if (track_columns[i - 1]?.kind !== c.kind) {
      const span = track_columns.filter((o) => o.kind === c.kind).length;
      Object.assign(cell(0, column_head(group, c.kind), span), { colSpan: span });
    }
    cell(1, texts.track_columns[c.key]).className = c.kind;
  });
}

// The texts of the overview, the summary and the table in the zone and
// units shown; the rows, their order and the choice stay.
function fill_tracks(scan) {
  show_overview(scan);
  show_summary(scan);
  show_heads();
  for (const [i, row] of rows.shown)
    fill_row(row, scan.tracks[i]);
  show_rows();
}

// The switches of zone and units: the page's texts follow them.
function switch_view() {
  show_in({ utc: $('times-utc').checked, imperial: $('units-imperial').checked });
  refill();
}

// The tracks' texts, the drawing and the profile again, in the zone, units
// and language shown.
function refill() {
  if (opened.scan) {
    fill_tracks(opened.scan);
    draw();
    refresh_profile();
  }
}

// The table is one Tab stop: the arrow keys, Home and End move among its
// rows, Enter or Space chooses one.
const row_moves = { ArrowDown: (i) => i + 1, ArrowUp: (i) => i - 1, Home: () => 0,
  End: (i, n) => n - 1, PageDown: (i) => i + 10, PageUp: (i) => i - 10 };
// Left and right scroll the table's box sideways, where it is too wide.
const column_moves = { ArrowLeft: -120, ArrowRight: 120 };

function select_track(i) {
  const track = rows.scan.tracks[i];
  rows.active = i;
  for (const [k, row] of rows.shown)
    row.setAttribute('aria-selected', String(k === i));
  show_rows();
  select(track);
  $('download-track').disabled = is_busy();
  // The profile asked for first: the engine reads it while the page draws.
  show_profile(track);
  map_show_track(track);
}

export function start_tracks_table() {
  for (const id of ['times-device', 'times-utc', 'units-metric', 'units-imperial'])
    $(id).addEventListener('change', switch_view);
  on_language(refill);
  const box = tracks_box();
  for (const [id, where] of [['tracks-above', 'afterbegin'], ['tracks-below', 'beforeend']]) {
    const room = Object.assign(document.createElement('div'), { id });
    room.setAttribute('aria-hidden', 'true');
    box.insertAdjacentElement(where, room);
  }
  const laid_out = () => {
    rows.laid_out = true;
    measure_rows();
    show_rows();
  };
  box.addEventListener('scroll', laid_out, { passive: true });
  new ResizeObserver(laid_out).observe(box);
  const body = $('tracks').tBodies[0];
  body.addEventListener('click', (e) => {
    const row = e.target.closest('tr[data-index]');
    if (row)
      select_track(Number(row.dataset.index));
  });
  body.addEventListener('keydown', on_key);
  body.addEventListener('focusin', (e) => {
    const row = e.target.closest('tr[data-index]');
    if (row && Number(row.dataset.index) !== rows.active) {
      rows.active = Number(row.dataset.index);
      show_rows();
    }
  });
}
