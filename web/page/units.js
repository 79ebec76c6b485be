// Times and figures as the owner reads them: in the zone the configuration
// block sets (or in UTC) and in the device's units (or the others). The
// engine gives every time in UTC and every figure in metres, seconds and
// km/h; only what the page shows is converted, never the data itself.

import { texts } from './texts.js';

// zone: minutes east of UTC; imperial: the block's system unit.
export const view = { zone: 0, imperial: false, utc: false, shown_imperial: false };

// Each unit per kind of figure: its name, its size in the engine's unit
// (metres, km/h) and the decimals shown.
export const unit_sets = {
  metric: { distance: ['km', 1000, 2], speed: ['km/h', 1, 1], height: ['m', 1, 0] },
  imperial: { distance: ['mi', 1609.344, 2], speed: ['mph', 1.609344, 1], height: ['ft', 0.3048, 0] },
};
export const units_name = (imperial) => (imperial ? 'imperial' : 'metric');

// The zone as the block's setting gives it ("[-]h:mm", the minutes rounded
// down from the hundredths of an hour, as the listing shows them), in
// minutes; a value that is not a zone is UTC.
function zone_minutes(value) {
  const m = /^(-?)(\d+):(\d\d)$/.exec(value ?? '');
  return m ? (m[1] ? -1 : 1) * (Number(m[2]) * 60 + Number(m[3])) : 0;
}

// The zone and units of the block, as the opened file holds it: the view
// starts in them.
export function learn_view(settings) {
  const value = (name) => settings.find((s) => s.name === name)?.value;
  view.zone = zone_minutes(value('set-device-zone'));
  view.imperial = value('set-system-unit') === 'imperial';
  view.utc = false;
  view.shown_imperial = view.imperial;
}

// A number's text with the decimal point of the page's language.
export const decimal = (text) => String(text).replace('.', texts.decimal_point);

const pad = (n) => String(n).padStart(2, '0');

// "UTC+05:30", as the listing writes it (the sign even for +00:00).
export function zone_label(minutes) {
  const a = Math.abs(minutes);
  return `${texts.utc}${minutes < 0 ? '-' : '+'}${pad(Math.floor(a / 60))}:${pad(a % 60)}`;
}
const shown_zone = () => (view.utc ? texts.utc : zone_label(view.zone));

// A time as the engine gives it ("2008-08-17 06:12:05", UTC) in the zone
// shown, with the owner's date; none as a dash.
export function shown_time(text) {
  const m = /^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)$/.exec(text ?? '');
  if (!m || view.utc || !view.zone)
    return text ?? texts.no_time;
  const [year, month, day, hour, minute, second] = m.slice(1).map(Number);
  const local = new Date(Date.UTC(year, month - 1, day, hour, minute + view.zone, second));
  return local.toISOString().slice(0, 19).replace('T', ' ');
}
export const shown_date = (text) => shown_time(text).slice(0, 10);

export function duration(seconds) {
  const a = Math.abs(seconds);
  return `${seconds < 0 ? '-' : ''}${Math.floor(a / 3600)}:${pad(Math.floor(a / 60) % 60)}:${pad(a % 60)}`;
}

// How each kind of value is shown, and the unit its heading names.
const value_kinds = {
  count: { show: (v) => String(v) },
  time: { show: shown_time, unit: shown_zone },
  duration: { show: duration, unit: () => texts.duration_unit },
  ...Object.fromEntries(['distance', 'speed', 'height'].map((kind) => [kind, {
    show: (v) => {
      if (v === null || v === undefined)
        return texts.no_time;
      const [, size, decimals] = unit_sets[units_name(view.shown_imperial)][kind];
      return decimal((v / size).toFixed(decimals));
    },
    unit: () => unit_sets[units_name(view.shown_imperial)][kind][0],
  }])),
};
export const show_value = (kind, v) => value_kinds[kind].show(v);
export const kind_unit = (kind) => value_kinds[kind].unit?.() ?? '';
// A table heading with the unit of its kind of value.
export const column_head = (name, kind) => texts.column_head(name, kind_unit(kind));

// The switches of zone and units: times in UTC or the device's zone, the
// figures in imperial or metric units.
export function show_in({ utc, imperial }) {
  view.utc = utc;
  view.shown_imperial = imperial;
}
