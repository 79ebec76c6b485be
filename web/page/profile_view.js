// The chosen track's elevation and speed profile under the drawing, as the
// engine thins it (one lowest and highest value per pixel column, against
// distance or time, as the switch beside it says): the mouse or the arrow
// keys move along it, and the place is marked on the drawing with its time,
// distance, elevation and speed.
import { $ } from './dom.js';
import { fit_canvas, mark_point } from './map_view.js';
import { say, texts } from './texts.js';
import { tool } from './tool.js';
import { column_head, decimal, duration, kind_unit, show_value, unit_sets, units_name, view } from './units.js';
const profile = { track: null, data: null, at: 0, width: 0, asked: 0, against_time: false };
// Room around the plot for the axes' labels, in CSS pixels.
const plot_margin = { left: 46, right: 46, top: 24, bottom: 24 };
const elevation_colour = '#4d7c43';
const speed_colour = '#1f6fb4';

export function hide_profile() {
  profile.track = null;
  profile.data = null;
  say($('profile-heading'), () => texts.profile_title);
  show_profile_parts(false);
  delete $('profile-box').dataset.track;
  mark_point(null);
}

// The profile itself, or the line that says how to get one.
function show_profile_parts(shown) {
  $('profile').hidden = !shown;
  $('profile-hint').hidden = !shown;
  $('profile-empty').hidden = shown;
  if (!shown)
    $('profile-values').replaceChildren();
}

// Asks the engine for the track's profile as wide as the plot is; the
// mark starts at the column that holds the point keep, else at the start.
export async function show_profile(track, keep = null) {
  const box = $('profile-box');
  show_profile_parts(true);
  say($('profile-heading'), () => texts.profile_heading(track.number));
  profile.track = track;
  profile.data = null;
  profile.at = 0;
  const width = plot_width();
  const asked = ++profile.asked;
  let data;
  try {
    data = await tool.call({ op: 'profile', first: track.first, count: track.count, width,
      against_time: profile.against_time });
  } catch {
    return;  // a newer file was chosen meanwhile
  }
  if (asked !== profile.asked || profile.track !== track)
    return;
  profile.data = data;
  profile.width = width;
  box.dataset.track = String(track.number);
  box.dataset.against = data.against;
  move_to(keep === null ? 0 : column_of_point(keep));
}

// The log's point the mark stands on, if any.
const marked_point = () => (profile.data?.columns.length ? profile.data.columns[profile.at][1] : null);

// The index of the column for which off(column) is nearest to zero.
function nearest_column(off) {
  const columns = profile.data.columns;
  let best = 0;
  columns.forEach((col, i) => {
    if (Math.abs(off(col)) < Math.abs(off(columns[best])))
      best = i;
  });
  return best;
}

// The column whose first point is nearest to the log's point i.
const column_of_point = (i) => nearest_column((col) => col[1] - i);

const plot_width = () => Math.max(1, Math.round(($('profile').clientWidth || 600) - plot_margin.left - plot_margin.right));

// The values at column i of the profile, as the page shows them.
function values_at(i) {
  const [, first, distance_m, seconds, low, high, slow, fast] = profile.data.columns[i];
  // In the zone and units shown; a column's lowest and highest value where they differ.
  const shown = (kind, a, b = a) => {
    const [x, y] = [show_value(kind, a), show_value(kind, b)];
    return `${x === y ? x : `${x}–${y}`} ${kind_unit(kind)}`;
  };
  return {
    first,
    time: show_value('time', time_after(profile.track.start, seconds)),
    zone: kind_unit('time'),
    distance: shown('distance', distance_m),
    elevation: shown('height', low, high),
    speed: slow === null ? null : shown('speed', slow, fast),
  };
}

// The track's start ("YYYY-MM-DD hh:mm:ss", UTC) and seconds later.
function time_after(start, seconds) {
  const t = Date.parse(`${start.replace(' ', 'T')}Z`);
  if (Number.isNaN(t))
    return `${start} + ${seconds} s`;
  return new Date(t + seconds * 1000).toISOString().slice(0, 19).replace('T', ' ');
}

function move_to(i) {
  const columns = profile.data.columns;
  profile.at = Math.max(0, Math.min(columns.length - 1, i));
  const v = values_at(profile.at);
  const text = texts.profile_values(v);
  const slider = $('profile');
  slider.setAttribute('aria-valuemin', '0');
  slider.setAttribute('aria-valuemax', String(columns.length - 1));
  slider.setAttribute('aria-valuenow', String(profile.at));
  slider.setAttribute('aria-valuetext', text);
  const shown = $('profile-values');
  shown.replaceChildren(...texts.profile_names.map((name, k) => {
    const part = document.createElement('span');
    const value = document.createElement('b');
    value.textContent = [v.time, v.distance, v.elevation, v.speed ?? texts.no_time][k];
    part.append(`${k ? name : column_head(name, 'time')} `, value);
    return part;
  }));
  mark_point(v.first);
  draw_profile();
}

// A step of 1, 2 or 5 times a power of ten that gives some count parts of span.
function nice_step(span, count) {
  const rough = span / count;
  const power = 10 ** Math.floor(Math.log10(rough));
  return [1, 2, 5, 10].map((f) => f * power).find((s) => s >= rough);
}

// A step of whole seconds, minutes or hours that gives some count parts of span seconds.
function time_step(span, count) {
  const steps = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400];
  return steps.find((s) => s >= span / count) ?? nice_step(span / 86400, count) * 86400;
}

function draw_profile() {
  const canvas = $('profile-canvas');
  const { w, h, ratio } = fit_canvas(canvas, 600, 190);
  // (Unaccelerated, as the drawing's: WebKit's accelerated canvas is slow to
  // draw a profile of a thousand columns.)
  const g = canvas.getContext('2d', { willReadFrequently: true });
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.clearRect(0, 0, w, h);
  const data = profile.data;
  if (!data?.columns.length)
    return;
  const { left, right, top, bottom } = plot_margin;
  // The engine's metres and km/h in the units shown.
  const size = (kind) => unit_sets[units_name(view.shown_imperial)][kind][1];
  const columns = data.columns.map((c) => [c[0], c[1], c[2], c[3], c[4] / size('height'), c[5] / size('height'),
    c[6] === null ? null : c[6] / size('speed'), c[7] === null ? null : c[7] / size('speed')]);
  let low = Math.min(...columns.map((c) => c[4]));
  let high = Math.max(...columns.map((c) => c[5]));
  if (high - low < 20) {
    low -= 10;
    high += 10;
  }
  const fastest = Math.max(1, ...columns.map((c) => c[7] ?? 0));
  const ele_step = nice_step(high - low, 3);
  low = Math.floor(low / ele_step) * ele_step;
  high = Math.ceil(high / ele_step) * ele_step;
  const speed_step = nice_step(fastest, 3);
  const speed_top = Math.ceil(fastest / speed_step) * speed_step;
  const plot_h = h - top - bottom;
  const ele_y = (m) => top + plot_h * (1 - (m - low) / (high - low));
  const speed_y = (v) => top + plot_h * (1 - v / speed_top);
  const col_x = (c) => left + (c + 0.5) * (w - left - right) / profile.width;
  g.font = '12px system-ui, sans-serif';
  g.textBaseline = 'middle';
  // Grid lines at the elevation's steps, labelled on the left.
  g.strokeStyle = '#e3e3e3';
  g.lineWidth = 1;
  g.fillStyle = elevation_colour;
  g.textAlign = 'right';
  for (let m = low; m <= high + 1e-9; m += ele_step) {
    const y = Math.round(ele_y(m)) + 0.5;
    g.beginPath();
    g.moveTo(left, y);
    g.lineTo(w - right, y);
    g.stroke();
    g.fillText(String(m), left - 6, y);
  }
  g.fillStyle = speed_colour;
  g.textAlign = 'left';
  for (let v = 0; v <= speed_top + 1e-9; v += speed_step)
    g.fillText(decimal(Number(v.toFixed(6))), w - right + 6, speed_y(v));
  g.textAlign = 'right';
  g.fillText(texts.profile_speed_unit(kind_unit('speed')), w - 6, top - 13);
  g.textAlign = 'left';
  g.fillStyle = elevation_colour;
  g.fillText(texts.profile_elevation_unit(kind_unit('height')), 6, top - 13);
  // The distance (or the time since the start) along the bottom.
  g.fillStyle = '#555';
  g.textAlign = 'center';
  g.textBaseline = 'top';
  const span = data.x_max / (profile.against_time ? 1 : size('distance'));
  const count = Math.max(2, Math.floor((w - left - right) / 90));
  const x_step = profile.against_time ? time_step(span, count) : nice_step(span || 1, count);
  const x_label = profile.against_time ? (s) => (x_step < 60 ? duration(s) : duration(s).slice(0, -3))
    : (d) => `${decimal(Number(d.toFixed(3)))} ${kind_unit('distance')}`;
  for (let d = 0; d <= span + 1e-9; d += x_step) {
    const x = left + (span ? d / span : 0) * (w - left - right);
    g.fillText(x_label(d), Math.min(x, w - right - 10), h - bottom + 6);
  }
  // The elevation as an area, its highest per column along the top.
  g.beginPath();
  g.moveTo(col_x(columns[0][0]), top + plot_h);
  for (const c of columns)
    g.lineTo(col_x(c[0]), ele_y(c[5]));
  g.lineTo(col_x(columns.at(-1)[0]), top + plot_h);
  g.closePath();
  g.fillStyle = 'rgba(77, 124, 67, 0.18)';
  g.fill();
  g.beginPath();
  columns.forEach((c, i) => (i ? g.lineTo : g.moveTo).call(g, col_x(c[0]), ele_y(c[5])));
  g.strokeStyle = elevation_colour;
  g.lineWidth = 1.5;
  g.stroke();
  // The speed as a line, broken where a column has none.
  g.beginPath();
  let open = false;
  for (const c of columns) {
    if (c[7] === null) {
      open = false;
      continue;
    }
    (open ? g.lineTo : g.moveTo).call(g, col_x(c[0]), speed_y(c[7]));
    open = true;
  }
  g.strokeStyle = speed_colour;
  g.lineWidth = 1.5;
  g.stroke();
  // The place chosen.
  const c = columns[profile.at];
  const x = Math.round(col_x(c[0])) + 0.5;
  g.strokeStyle = '#222';
  g.lineWidth = 1;
  g.beginPath();
  g.moveTo(x, top);
  g.lineTo(x, top + plot_h);
  g.stroke();
  for (const [y, colour] of [[ele_y(c[5]), elevation_colour], ...(c[7] === null ? [] : [[speed_y(c[7]), speed_colour]])]) {
    g.beginPath();
    g.arc(x, y, 4, 0, 2 * Math.PI);
    g.fillStyle = '#fff';
    g.fill();
    g.strokeStyle = colour;
    g.lineWidth = 2;
    g.stroke();
  }
}

// The column under the pointer: the nearest one that holds a point.
function column_at(client_x) {
  const box = $('profile-canvas').getBoundingClientRect();
  const c = (client_x - box.left - plot_margin.left) / (box.width - plot_margin.left - plot_margin.right) * profile.width;
  return nearest_column((col) => col[0] + 0.5 - c);
}

export function start_profile() {
  const slider = $('profile');
  slider.addEventListener('pointermove', (e) => profile.data && move_to(column_at(e.clientX)));
  slider.addEventListener('pointerdown', (e) => profile.data && move_to(column_at(e.clientX)));
  const tenth = () => Math.max(1, Math.round(profile.data.columns.length / 10));
  const moves = { ArrowLeft: (i) => i - 1, ArrowDown: (i) => i - 1, ArrowRight: (i) => i + 1,
    ArrowUp: (i) => i + 1, PageDown: (i) => i - tenth(), PageUp: (i) => i + tenth(),
    Home: () => 0, End: () => Infinity };
  slider.addEventListener('keydown', (e) => {
    if (!profile.data || !(e.key in moves))
      return;
    e.preventDefault();
    move_to(moves[e.key](profile.at));
  });
  // A new width asks for the profile again, once the width has settled.
  let settle = 0;
  new ResizeObserver(() => {
    clearTimeout(settle);
    settle = setTimeout(() => {
      if (profile.track && profile.data && plot_width() !== profile.width)
        show_profile(profile.track, marked_point());
      else if (profile.data)
        draw_profile();
    }, 150);
  }).observe(slider);
  // Against distance or time: the mark stays on its point.
  for (const id of ['profile-distance', 'profile-time'])
    $(id).addEventListener('change', () => {
      profile.against_time = $('profile-time').checked;
      if (profile.track)
        show_profile(profile.track, marked_point());
    });
}

// The values again, in the zone and units now shown.
export function refresh_profile() {
  if (profile.data)
    move_to(profile.at);
}
