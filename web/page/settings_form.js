// The settings form: one field per setting that takes a value, filled in
// from what the engine reads in the block.
import { cp850 } from './cp850.js';
import { $ } from './dom.js';
import { set_edited } from './state.js';
import { on_busy } from './status.js';
import { say, texts } from './texts.js';

// The settings in the listing's groups and order, each with the unit of
// its value.
const field_table = {
  device: [['set-system-unit'], ['set-device-zone', 'h'], ['set-password'], ['set-contrast'],
    ['set-backlight-time', 's'], ['set-shake-mode'], ['set-shake-mode-time', 'min'], ['clear-memory']],
  log: [['set-log-mode'], ['set-userdefined-log-mode'], ['set-userdefined-time-interval', 's'],
    ['set-userdefined-distance-interval', 'm'], ['set-userdefined-heading-change', '°'],
    ...['highest', 'high', 'middle', 'low', 'lowest'].map((k) => [`set-userdefined-${k}-speed`, 'km/h']),
    ...['highest', 'high', 'middle', 'low'].map((k) => [`set-userdefined-${k}-speed-interval`, 's'])],
  gps: [['set-gps-mode'], ['set-sbas'], ['set-fix-mode'], ['set-2d-fix-altitude', 'cm'],
    ['set-initial-min-svs'], ['set-initial-min-strength', 'dBHz'], ['set-navigation-min-strength', 'dBHz'],
    ['set-p-accuracy-mask', 'm'], ['set-t-accuracy-mask', 'm'], ['set-pdop-mask'], ['set-tdop-mask']],
};
export const setting_fields = Object.entries(field_table).flatMap(([group, fields]) =>
  fields.map(([name, unit = '']) => ({ name, group, unit })));

const field_label = (f) => texts.fields[f.name][0];

// What a field takes, in the page's words, from the option table's range or
// words: "Backlight: 5 to 255 seconds".
function takes(f) {
  if (f.kind === 'password')
    return texts.field_bytes(f.bytes);
  if (f.words)
    return texts.field_words(f.words);
  const range = texts.field_range(f.range.min, f.range.max, texts.unit_words[f.unit] ?? '');
  return f.kind === 'zone' ? texts.field_zone(range) : range;
}
export const field_takes = (f) => texts.field_takes(field_label(f), takes(f));

// Beside the field: the range and unit of a number, the unit of a zone.
function beside(f) {
  if (!f.range)
    return '';
  return `${f.range.min}–${f.range.max}${f.unit === '°' ? f.unit : f.unit ? ` ${f.unit}` : ''}`;
}

// What each option accepts and the value stored in the block, as the
// engine reads them from the tool's option table (trekdump_settings): the
// valid values, a number's range, the listed words. A word field whose
// stored value no word stores starts empty.
export function learn_settings(settings) {
  const by_name = new Map(settings.map((s) => [s.name, s]));
  for (const f of setting_fields) {
    const s = by_name.get(f.name);
    Object.assign(f, { kind: s.kind, valid: s.valid, range: s.range, words: s.words,
      initial: s.value, bytes: s.bytes });
  }
}

// A switch for a setting that is on or off (yes or no), when the file's
// value is one of its words.
const switch_words = (f) => (f.kind === 'on_off' || f.kind === 'yes_no') && f.initial && f.words;

// The field's control. Numbers are text fields: what the user types reaches
// the tool as typed, and the tool judges it.
function field_input(f) {
  let input;
  const on_off = switch_words(f);
  if (on_off) {
    input = document.createElement('input');
    input.type = 'checkbox';
    input.checked = f.initial === on_off[0];
    f.value = () => (input.checked ? on_off[0] : on_off[1]);
    return input;
  }
  if (f.words) {
    input = document.createElement('select');
    const choices = f.initial ? f.words : ['', ...f.words];
    for (const word of choices) {
      const option = new Option(word, word);
      if (!word)
        say(option, () => texts.unknown_choice);
      input.add(option);
    }
  } else {
    input = document.createElement('input');
    input.type = 'text';
    input.autocomplete = 'off';
    if (f.range && !f.range.min.startsWith('-'))
      input.inputMode = 'decimal';
  }
  input.value = f.initial;
  f.value = () => input.value;
  return input;
}

// What the password's slot keeps of the typed text: its UTF-8 bytes up to
// the last whole character within the slot, never half of one; and the
// note that says what is cut and how the device shows each character
// outside printable ASCII (its bytes read as code page 850).
function stored_password(typed, room) {
  const encoder = new TextEncoder();
  let kept = '';
  let used = 0;
  for (const ch of typed) {
    const size = encoder.encode(ch).length;
    if (used + size > room)
      break;
    kept += ch;
    used += size;
  }
  const notes = kept === typed ? [] : [texts.password_cut(room, typed, kept, used === room)];
  for (const ch of new Set(kept)) {
    if (/^[\x20-\x7e]$/.test(ch))
      continue;
    const name = /\p{C}/u.test(ch) ?
      `U+${ch.codePointAt(0).toString(16).toUpperCase().padStart(4, '0')}` : ch;
    const bytes = encoder.encode(ch);
    notes.push(texts.password_char(name, bytes.length, cp850(bytes)));
  }
  return { kept, note: notes.join(' ') };
}

// The password's field passes what the slot keeps and says beside it what
// that is; show_note() tells whether the note shown was already the one for
// the text in the field.
function password_field(f, input, cell) {
  f.note = document.createElement('span');
  f.note.className = 'note';
  f.note.id = `note-${f.name}`;
  f.note.setAttribute('aria-live', 'polite');
  cell.append(f.note);
  input.setAttribute('aria-describedby', `${input.getAttribute('aria-describedby')} ${f.note.id}`);
  f.value = () => stored_password(input.value, f.bytes).kept;
  f.show_note = () => {
    const note = stored_password(input.value, f.bytes).note;
    const shown = f.note.textContent === note;
    say(f.note, () => stored_password(input.value, f.bytes).note);
    return shown;
  };
}

// The form in the listing's three groups; each field with its label, its
// control and what it takes, one line on what it does, and room for the
// tool's refusal.
export function build_form() {
  const form = $('settings');
  form.replaceChildren();
  const groups = {};
  for (const group of Object.keys(field_table)) {
    const legend = document.createElement('legend');
    say(legend, () => texts.setting_groups[group]);
    const set = document.createElement('fieldset');
    groups[group] = document.createElement('div');
    groups[group].className = 'fields';
    set.append(legend, groups[group]);
    form.append(set);
  }
  for (const f of setting_fields)
    groups[f.group].append(field_row(f));
}

function field_row(f) {
  const input = field_input(f);
  input.name = f.name;
  input.id = `field-${f.name}`;
  Object.assign(f, { input, edited: false, note: null, show_note: null });
  const mark = () => {
    f.edited = true;
    set_edited(true);
    f.show_note?.();
    for (const part of edit_parts)
      part();
  };
  input.addEventListener('input', mark);
  input.addEventListener('change', mark);
  const part = (tag, className, id) => Object.assign(document.createElement(tag),
    { className, id: `${id}-${f.name}` });
  const row = part('div', 'field', 'row');
  const label = part('label', 'name', 'label');
  label.htmlFor = input.id;
  say(label, () => field_label(f));
  const hint = part('span', 'range', 'hint');
  hint.textContent = beside(f);
  const line = part('span', 'about', 'about');
  say(line, () => texts.fields[f.name][1]);
  f.error = part('span', 'error', 'error');
  input.setAttribute('aria-describedby', `${hint.id} ${line.id} ${f.error.id}`);
  const control = part('div', 'control', 'control');
  control.append(input, hint);
  row.append(label, control, line, f.error);
  if (f.kind === 'password')
    password_field(f, input, row);
  return row;
}

// What else follows an edit of a field.
const edit_parts = [];
export const on_edit = (part) => edit_parts.push(part);

export function start_settings_form() {
  on_busy((busy) => {
    for (const input of $('settings').elements)
      input.disabled = busy;
  });
}
