// The settings form: one field per setting that takes a value, filled in
// from what the engine reads in the block.
import { cp850 } from './cp850.js';
import { $ } from './dom.js';
import { set_edited } from './state.js';
import { on_busy } from './status.js';
import { texts } from './texts.js';

export const setting_fields = Object.entries(texts.fields).map(([name, label]) =>
  ({ name, label }));

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
    for (const word of choices)
      input.add(new Option(word || texts.unknown_choice, word));
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
    f.note.textContent = note;
    return shown;
  };
}

export function build_form() {
  const form = $('settings');
  form.replaceChildren();
  for (const f of setting_fields) {
    const input = field_input(f);
    input.name = f.name;
    input.id = `field-${f.name}`;
    f.input = input;
    f.edited = false;
    f.note = null;
    f.show_note = null;
    const mark = () => {
      f.edited = true;
      set_edited(true);
      f.show_note?.();
      for (const part of edit_parts)
        part();
    };
    input.addEventListener('input', mark);
    input.addEventListener('change', mark);
    const label = document.createElement('label');
    label.htmlFor = input.id;
    label.textContent = f.label;
    const cell = document.createElement('div');
    const hint = document.createElement('span');
    hint.className = 'hint';
    hint.id = `hint-${f.name}`;
    hint.textContent = f.valid && !f.words ? f.valid : '';
    f.error = document.createElement('span');
    f.error.className = 'error';
    f.error.id = `error-${f.name}`;
    input.setAttribute('aria-describedby', `${hint.id} ${f.error.id}`);
    cell.append(input, hint, f.error);
    if (f.kind === 'password')
      password_field(f, input, cell);
    form.append(label, cell);
  }
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
