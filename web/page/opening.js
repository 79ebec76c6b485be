// Opening a data file: chosen, dropped, or the one written last; with edits
// not yet saved, the owner's question first.
import { Said, file_part } from './constants.js';
import { cp850 } from './cp850.js';
import { $ } from './dom.js';
import { file_parts } from './files.js';
import { build_form, learn_settings } from './settings_form.js';
import { Stale, begin_opening, check_current, learn_opened, opened, queue_opening } from './state.js';
import { after_paint, in_words, meter_shown, set_busy, show_message, show_progress,
  tool_message } from './status.js';
import { say, shown_name, texts } from './texts.js';
import { Superseded, tool } from './tool.js';
import { leave_tracks, show_tracks } from './tracks_table.js';
import { learn_view } from './units.js';

// Opens the file chosen or dropped, or, while a write is in progress, keeps
// it (the last one) to be opened once the write has finished. With edits
// not yet saved, the owner is asked first; resolves to false when the
// owner keeps them (and the file opened).
export async function choose(file, handle = null) {
  if (opened.writing) {
    queue_opening(file, handle);
    save_message(() => texts.queued(shown_name(file.name)));
    return true;
  }
  if (opened.edited && !await ask_discard(shown_name(file.name)))
    return false;
  open_file(file, handle);
  return true;
}

// What each view drops of the file before when another is opened.
const opening_parts = [];
export const on_opening = (part) => opening_parts.push(part);

// The page's own question before edits are dropped: resolves to true to
// discard them. A question asked again replaces the one still open.
let answer_discard = null;
function ask_discard(other) {
  answer_discard?.(false);
  const dialog = $('discard');
  const name = opened.name;
  say($('discard-question'), () => texts.discard_question(name));
  say($('discard-detail'), () => texts.discard_detail(other));
  return new Promise((resolve) => {
    answer_discard = (discard) => {
      answer_discard = null;
      dialog.close();
      resolve(discard);
    };
    dialog.showModal();
  });
}

export async function open_file(file, handle = null) {
  const generation = begin_opening(file, handle, shown_name(file.name));
  tool.cancel();
  leave_tracks();
  $('opened').hidden = true;
  show_message('');
  for (const part of opening_parts)
    part();
  set_busy(true, 'reading');
  try {
    let r;
    try {
      r = await hand_over(file, generation);
    } catch (e) {
      if (e instanceof Superseded)
        throw new Stale();
      if (/memory|allocation|Array buffer|OOM/i.test(String(e)))
        throw new Said(() => texts.out_of_memory(opened.name, Math.round(file.size / 1e6)));
      throw e;
    }
    // Said in the page's language, whichever it is when it is shown.
    const name = opened.name;
    const suspect = suspect_findings(r).length ? () => texts.suspect(name, suspect_findings(r)) : '';
    learn_opened(generation, { suspect });
    const refused = tool_message(r.stderr);
    show_message(() => [refused, suspect && suspect()].filter(Boolean).join('\n'));
    if (r.status !== 0)
      return;
    // A long opening shows the step that makes the page usable, and the page
    // says it is busy until it has been painted.
    show_progress('showing');
    if (meter_shown())
      await after_paint();
    check_current(generation);
    learn_opened(generation, { scan: r.scan, listing: cp850(r.stdout) });
    $('listing').textContent = opened.listing;
    learn_view(r.settings);
    $('analysis').hidden = true;
    $('opened').hidden = false;
    // The form first: the page's full length (and the scroll bar it may
    // bring) is there before the drawing takes its size.
    learn_settings(r.settings);
    build_form();
    show_tracks(r.scan);
    await after_paint();
  } catch (e) {
    if (e instanceof Stale || e instanceof Superseded)
      return;
    show_message(() => (e instanceof Said ? in_words(e) : texts.failed(in_words(e))));
  } finally {
    if (generation === opened.generation)
      set_busy(false);
  }
}

// The file read here, part by part, and each part handed over to the
// engine, which keeps the one copy of it: every file saved is made from
// it, and the file is compared with it first. (WebKit's workers cannot read
// a File made on the page.) The next part is read while the engine takes
// in the one before. Then the engine's opening of it.
async function hand_over(file, generation) {
  learn_opened(generation, { size: file.size });
  await tool.call({ op: 'receive', size: file.size });
  const parts = file_parts(file);
  const given_back = (answer) => answer && parts.give_back(answer.bytes);
  let taken = null;
  try {
    for (let at = 0; at < file.size; at += file_part) {
      const bytes = await parts.read(at);
      check_current(generation);
      given_back(await taken);
      taken = tool.call({ op: 'part', at, bytes, give_back: parts.reuses }, [bytes]);
      // (A newer opening may drop this one while its next part is read.)
      taken.catch(() => {});
    }
    given_back(await taken);
  } finally {
    parts.close();
  }
  return tool.call({ op: 'open' });
}

// Why an opened file does not look like a data file: the block's values
// outside the known sets (the tool's analysis of the block), a log without
// a point.
function suspect_findings(r) {
  if (r.status !== 0)
    return [];
  const unknown = cp850(r.unknown_values).trim().split('\n').filter(Boolean);
  return [...(unknown.length ? [texts.unknown_in_block(unknown)] : []),
    ...(r.scan.points ? [] : [texts.no_point])];
}

// The views of an opened file laid out once, unseen and with every part
// of them shown, while the page waits for its first file: WebKit prepares
// the style rules of what it lays out on first use, which made the first
// opening some 50 ms slower than any after it.
function lay_out_views() {
  const views = $('opened');
  if (opened.generation || !views.hidden)
    return;
  const parts = [views, ...views.querySelectorAll('[hidden]')];
  views.classList.add('unseen');
  parts.forEach((part) => { part.hidden = false; });
  void views.offsetHeight;
  parts.forEach((part) => { part.hidden = true; });
  views.classList.remove('unseen');
}

// The file chooser, the drop on the page, the question before edits are
// dropped, and the question before the tab closes with them.
export function start_opening() {
  const input = $('data-file');
  // Kept edits keep the file that is open, and the chooser shows its name.
  input.addEventListener('change', async () => {
    if (input.files[0] && !await choose(input.files[0])) {
      const kept = new DataTransfer();
      if (opened.file instanceof File)
        kept.items.add(opened.file);
      input.files = kept.files;
    }
  });
  // Closing or reloading the tab with edits not yet saved asks first.
  window.addEventListener('beforeunload', (e) => {
    if (opened.edited) {
      e.preventDefault();
      e.returnValue = texts.discard_question(opened.name);  // for browsers before preventDefault
    }
  });
  // Where the browser can write files, the chooser keeps the file's handle.
  if (window.showOpenFilePicker) {
    input.addEventListener('click', async (e) => {
      e.preventDefault();
      let handles;
      try {
        handles = await window.showOpenFilePicker({ types: [{ description: texts.chooser_description,
          accept: { 'application/octet-stream': ['.DAT'] } }] });
      } catch {
        return;  // the owner cancelled the choice
      }
      choose(await handles[0].getFile(), handles[0]);
    });
  }
  const drop = $('drop');
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    drop.classList.add('over');
  });
  document.addEventListener('dragleave', () => drop.classList.remove('over'));
  document.addEventListener('drop', async (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    const files = e.dataTransfer.files;
    if (files.length > 1)
      return show_message(texts.one_file_at_a_time);
    if (!files.length)
      return;
    const item = [...e.dataTransfer.items].find((i) => i.kind === 'file');
    const handle_promise = item?.getAsFileSystemHandle?.();
    const file = files[0];
    const handle = handle_promise ? await handle_promise.catch(() => null) : null;
    choose(file, handle?.kind === 'file' ? handle : null);
  });
  after_paint().then(lay_out_views);
  $('discard-yes').addEventListener('click', () => answer_discard?.(true));
  $('discard-no').addEventListener('click', () => answer_discard?.(false));
  $('discard').addEventListener('cancel', () => answer_discard?.(false));
}
