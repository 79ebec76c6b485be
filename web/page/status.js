// The page's work in progress, its progress line and its messages.
import { Said, data_name } from './constants.js';
import { tool_text } from './cp850.js';
import { $ } from './dom.js';
import { Stale, opened, take_focus } from './state.js';
import { say, texts } from './texts.js';
import { Superseded, tool } from './tool.js';

// Each view's part in being busy: it disables its own controls meanwhile.
const busy_parts = [];
export const on_busy = (part) => busy_parts.push(part);
export const is_busy = () => Boolean(document.documentElement.dataset.busy);

export function set_busy(busy, key) {
  const root = document.documentElement;
  if (busy)
    root.dataset.busy = 'yes';
  else
    delete root.dataset.busy;
  for (const part of busy_parts)
    part(busy);
  show_progress(busy ? key : null);
  clearTimeout(meter.timer);
  meter.shown = false;
  $('progress-meter').hidden = true;
  if (busy)
    meter.timer = setTimeout(show_meter, meter_after_ms);
}

// The line that says what the page is doing; the live region hears of a
// new step only, not of every percent.
export function show_progress(key, values = []) {
  const name = opened.name;
  const line = key && texts.progress[key] ? () => texts.progress[key](name, ...values) : '';
  if (!line || $('progress').textContent !== line())
    say($('progress'), line);
  set_meter(key, values);
}

// Work that lasts longer than this shows how far it is on a bar.
const meter_after_ms = 500;
// How far the opening of a file is, from the engine's own count: the bytes
// it has received (a quarter of the whole) and the points it has summarized
// of the records the file can hold (most of the rest), which it does as the
// bytes come in; then the page showing the log.
const opening_steps = {
  reading: (received, size, done, records) => 0.25 * received / size + 0.7 * (records ? done / records : 0),
  summary: (done, records) => 0.25 + 0.7 * (records ? done / records : 1),
  showing: () => 0.95,
};
const meter = { timer: 0, shown: false, fraction: null };

function set_meter(key, values) {
  const step = opening_steps[key];
  meter.fraction = step ? Math.min(1, step(...values)) : null;
  if (meter.shown)
    show_meter();
}

function show_meter() {
  meter.shown = true;
  const box = $('progress-meter');
  box.hidden = meter.fraction === null;
  if (box.hidden)
    return;
  const percent = Math.floor(100 * meter.fraction);
  $('progress-bar').value = percent;
  $('progress-percent').textContent = texts.percent(percent);
}

// Whether the bar is shown: the work has lasted longer than half a second.
export const meter_shown = () => meter.shown && !$('progress-meter').hidden;

// Resolves once the page as it stands now has been painted (at once where
// the page is not shown, and so not painted).
export const after_paint = () => new Promise((done) => {
  if (document.visibilityState === 'hidden')
    return done();
  requestAnimationFrame(() => setTimeout(done, 0));
});

// The engine's progress shows while the page is busy.
export function start_status() {
  tool.on_progress = (key, values) => {
    if (is_busy())
      show_progress(key, values);
  };
}

// A message of the tool, naming the data file by the owner's name for it,
// put in as it is: a replacement string would read $& or $' in the name.
export const tool_message = (bytes, typed) =>
  tool_text(bytes, typed).replaceAll(`'${data_name}'`, () => `'${opened.name}'`);

// An error as the page tells it: its own words, or what the browser's
// exception means with the browser's text after it, never that text alone.
export function in_words(e) {
  if (e instanceof Said)
    return typeof e.words === 'function' ? e.words() : e.message;
  const said = String(e?.message ?? e ?? '');
  const meanings = texts.browser_errors;
  const words = /quota|no space|disk (is )?full/i.test(said) ? meanings.QuotaExceededError :
    meanings[e?.name] ?? meanings.other;
  return said ? texts.browser_said(words, said) : words;
}

// The page's messages: a function of no arguments for the page's own words
// (said again in another language), a string for the tool's.
export function show_message(text) {
  say($('message'), text);
}

export function save_message(text, failed) {
  say($('save-message'), text);
  $('save-message').classList.toggle('failed', Boolean(failed));
}

// Runs one action at a time, with its progress line; the root element
// carries data-busy meanwhile and the actions are disabled. Afterwards the
// focus goes where the action asked for it (focus_after).
export function action(fn, key) {
  return async (...args) => {
    if (is_busy())
      return;
    const generation = opened.generation;
    set_busy(true, key);
    let focus = null;
    try {
      await fn(...args);
    } catch (e) {
      if (!(e instanceof Stale || e instanceof Superseded))
        show_message(() => texts.failed(in_words(e)));
    } finally {
      const ended = take_focus();
      if (generation === opened.generation && is_busy()) {
        set_busy(false);
        focus = ended;
      }
    }
    focus?.focus();
  };
}
