// Saving: the changes checked by the tool and shown, the backup, the write
// into the opened file and its reading back, or the new file offered as a
// download.
import { Said, block_size, data_name } from './constants.js';
import { tool_text } from './cp850.js';
import { $ } from './dom.js';
import { Changed, offer, unchanged } from './files.js';
import { on_opening, open_file } from './opening.js';
import { field_takes, on_edit, setting_fields } from './settings_form.js';
import { Stale, begin_writing, check_current, end_writing, focus_after, opened, set_edited,
  set_pending_save } from './state.js';
import { action, in_words, on_busy, save_message, show_progress, tool_message } from './status.js';
import { say, texts } from './texts.js';
import { Superseded, run, tool } from './tool.js';
// The listing's lines that differ, as "before → after".
function changed_lines(before, after) {
  const a = before.split('\n');
  const b = after.split('\n');
  if (a.length === b.length)
    return a.flatMap((line, i) => (line === b[i] ? [] : [[line, b[i]]]));
  const kept = new Set(a);
  const gone = a.filter((line) => !b.includes(line));
  return [...gone.map((line) => [line, '']), ...b.filter((line) => !kept.has(line)).map((line) => ['', line])];
}

function drop_pending_save() {
  set_pending_save(null);
  $('changes').hidden = true;
}

// Save, first step: the tool's run on the opened block with the options of
// the edited fields and --conf gives both the new block and its listing,
// whose changed lines are shown for confirmation. The password's preview
// shows the bytes stored, as the device will; Save goes on only once the
// note on what is stored has been shown.
async function save() {
  const generation = opened.generation;
  const changed = setting_fields.filter((f) => f.edited && !(f.words && f.value() === ''));
  const unshown = changed.find((f) => f.show_note && !f.show_note());
  if (unshown) {
    focus_after(unshown.input);
    return;
  }
  const typed = changed.filter((f) => !f.note).map((f) => f.value());
  const args = changed.map((f) => `--${f.name}=${f.value()}`);
  drop_pending_save();
  save_message('');
  for (const f of setting_fields) {
    say(f.error, '');
    f.input.removeAttribute('aria-invalid');
  }
  show_progress('checking');
  const r = await run([...args, '--conf', data_name], { [data_name]: 'block' });
  check_current(generation);
  if (r.status !== 0) {
    save_message(tool_message(r.stderr, typed), true);
    // The tool stops at the first value it rejects, and may name the option
    // by its letter: the field is the first that the tool rejects alone.
    for (let i = 0; i < changed.length; ++i) {
      const alone = await run([args[i], data_name], { [data_name]: 'block' });
      check_current(generation);
      if (alone.status !== 0) {
        // What the setting takes, in the page's words, and the tool's
        // line under it.
        const refused = tool_message(alone.stderr, typed);
        const f = changed[i];
        say(f.error, () => `${field_takes(f)}\n${refused}`);
        changed[i].input.setAttribute('aria-invalid', 'true');
        focus_after(changed[i].input);
        break;
      }
    }
    return;
  }
  const block = r.files[data_name];
  if (block?.length !== block_size)
    throw new Said(() => texts.no_new_block);
  const lines = changed_lines(opened.listing, tool_text(r.stdout, typed));
  const name = opened.name;
  say($('changes-intro'), () => (lines.length ? texts.changes_intro : texts.no_changes)(name));
  $('changes-lines').textContent = lines.map(([a, b]) => `${a}  →  ${b}`).join('\n');
  $('changes-lines').hidden = !lines.length;
  const write_back = Boolean(opened.handle?.createWritable);
  set_pending_save({ block, generation, backup_needed: write_back, suspect_confirmed: false });
  $('backup').hidden = !write_back;
  $('changes-note').hidden = !write_back;
  const size = opened.size;
  say($('changes-note'), () => texts.write_back_note(name, texts.file_size(size)));
  say($('confirm'), () => (write_back ? texts.confirm_write(name) : texts.confirm_download));
  $('changes').hidden = false;
  focus_after($('changes'));
  if (write_back)
    save_message(() => texts.backup_first);
}

// The file to save, made from the opened copy (with block in place of its
// own), once the file on disk has been found exactly as opened.
async function from_opened(block = null) {
  const generation = opened.generation;
  if (!await unchanged())
    throw new Changed();
  const file = await tool.call({ op: 'file', block });
  check_current(generation);
  return file;
}

// The backup is the opened copy, offered while the file is found as
// opened; one that cannot be made keeps Confirm locked, with the reason.
async function backup() {
  const pending = opened.pending_save;
  try {
    offer(await from_opened(), `backup-${opened.file.name}`);
  } catch (e) {
    if (e instanceof Stale || e instanceof Superseded)
      throw e;
    const name = opened.name;
    save_message(() => texts.backup_failed(name, e instanceof Changed ? texts.changed(name) :
      in_words(e)), true);
    return;
  }
  if (pending && pending === opened.pending_save) {
    pending.backup_needed = false;
    save_message('');
    focus_after($('confirm'));
  }
}

// The new data file written into the file through its handle: the browser
// writes the whole new copy (made from the opened one) beside the file and
// puts it in place of the old one at close; until then the old file is
// untouched. The file is compared with the opened copy last before that,
// and read back after it. Resolves to the file as written.
async function write_file(handle, block) {
  const mode = { mode: 'readwrite' };
  if (handle.queryPermission && await handle.queryPermission(mode) !== 'granted' &&
      await handle.requestPermission(mode) !== 'granted')
    throw new Said(() => texts.permission_denied);
  const data = await tool.call({ op: 'file', block });
  const writable = await handle.createWritable();
  try {
    await writable.write(data);
    if (!await unchanged())
      throw new Changed();
  } catch (e) {
    await writable.abort().catch(() => {});
    throw e;
  }
  await writable.close();
  const file = await handle.getFile();
  if (!await unchanged(block, file))
    throw new Said(() => texts.read_back_differs);
  return file;
}

// Why a write failed, and whether the file is as it was: read back and
// compared with the opened copy; said in the language shown.
async function write_failure(name, e) {
  if (e instanceof Changed)
    return () => texts.changed(name);
  const kept = await unchanged().catch(() => false);
  return () => (kept ? texts.write_failed_kept : texts.write_failed)(name, in_words(e));
}

// Save, second step: the new data file written into the opened file where
// the browser allows it, else offered as a download. A file that does not
// look like a data file asks for a second confirmation. Files chosen
// meanwhile wait for the write; the last one is opened after it, else the
// file as written.
async function confirm_save() {
  const pending = opened.pending_save;
  if (!pending || pending.generation !== opened.generation || pending.backup_needed)
    return;
  const { name, handle } = opened;
  if (opened.suspect && !pending.suspect_confirmed) {
    pending.suspect_confirmed = true;
    say($('confirm'), () => texts.confirm_suspect(name));
    save_message(opened.suspect, true);
    focus_after($('confirm'));
    return;
  }
  drop_pending_save();
  if (!handle?.createWritable) {
    try {
      offer(await from_opened(pending.block), data_name);
      set_edited(false);
      save_message(() => texts.downloaded);
    } catch (e) {
      if (e instanceof Stale || e instanceof Superseded)
        throw e;
      save_message(() => (e instanceof Changed ? texts.changed(name) : texts.failed(in_words(e))), true);
    }
    focus_after($('save-message'));
    return;
  }
  show_progress('writing');
  begin_writing();
  let result = () => texts.written(name);
  let written = null;
  try {
    written = await write_file(handle, pending.block);
  } catch (e) {
    result = await write_failure(name, e);
  }
  const next = end_writing() ?? (written && { file: written, handle });
  if (next)
    await open_file(next.file, next.handle);
  save_message(result, !written);
  $('save-message').focus();
}

// The buttons of saving; an edit or another opening drops the changes shown.
export function start_save_flow() {
  $('save').addEventListener('click', action(save, 'checking'));
  $('backup').addEventListener('click', action(backup, 'backing_up'));
  $('confirm').addEventListener('click', action(confirm_save, 'writing'));
  $('cancel').addEventListener('click', drop_pending_save);
  on_edit(drop_pending_save);
  on_opening(() => {
    drop_pending_save();
    save_message('');
  });
  on_busy((busy) => {
    for (const id of ['save', 'backup', 'cancel'])
      $(id).disabled = busy;
    $('confirm').disabled = busy || Boolean(opened.pending_save?.backup_needed);
  });
}
