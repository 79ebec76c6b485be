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

// The table's rows, one per track, its headings and its figures in the
// zone and units shown; the switches start at the device's own.
export function show_tracks(scan) {
  map_show_log(scan);
  const body = $('tracks').tBodies[0];
  body.replaceChildren();
  for (const t of scan.tracks) {
    const row = body.insertRow();
    row.tabIndex = t.number === 1 ? 0 : -1;
    row.setAttribute('aria-selected', 'false');
    for (const c of track_columns)
      Object.assign(row.insertCell(), { className: c.kind }).dataset.key = c.key;
    row.cells[0].style.borderLeft = `6px solid ${track_colour(t.number - 1)}`;
    const choose = () => select_track(t, row);
    row.addEventListener('click', choose);
    row.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' || e.key === ' ') {
        e.preventDefault();
        choose();
      } else if (e.key in row_moves) {
        e.preventDefault();
        const rows = body.rows;
        const to = rows[Math.max(0, Math.min(rows.length - 1, row_moves[e.key](row.sectionRowIndex, rows.length)))];
        row.tabIndex = -1;
        to.tabIndex = 0;
        to.focus();
      } else if (e.key in column_moves) {
        e.preventDefault();
        $('tracks').parentElement.scrollBy({ left: column_moves[e.key] });
      }
    });
  }
  say($('times-device-label'), () => texts.times_device(zone_label(view.zone)));
  $('times-device').checked = true;
  $(view.imperial ? 'units-imperial' : 'units-metric').checked = true;
  fill_tracks(scan);
  select(null);
  $('download-track').disabled = true;
  hide_profile();
}

// The table's headings: a column of a kind that has a group heading
// (times, durations, speeds, heights) sits under it, which names the zone
// or unit; any other column names its own unit.
function show_heads() {
  const head = $('tracks').tHead;
  head.replaceChildren();
  const rows = [head.insertRow(), head.insertRow()];
  const cell = (row, text, span) => {
    const th = document.createElement('th');
    th.textContent = text;
    th.scope = span ? 'colgroup' : 'col';
    rows[row].append(th);
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
  scan.tracks.forEach((t, r) => {
    const cells = $('tracks').tBodies[0].rows[r].cells;
    track_columns.forEach((c, i) => { cells[i].textContent = show_value(c.kind, t[c.key]); });
  });
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

function select_track(track, row) {
  for (const r of $('tracks').tBodies[0].rows)
    r.setAttribute('aria-selected', String(r === row));
  select(track);
  $('download-track').disabled = is_busy();
  map_show_track(track);
  show_profile(track);
}

export function start_tracks_table() {
  for (const id of ['times-device', 'times-utc', 'units-metric', 'units-imperial'])
    $(id).addEventListener('change', switch_view);
  on_language(refill);
}
