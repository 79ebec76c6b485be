// What the page holds for the file last chosen, read through `opened` and
// changed only through the functions below.
//
// name: the file's name as the texts show it. A new opening starts a new
// generation; work of an older one is dropped when it returns (Stale).
// While a write is in progress, writing is set and the last file chosen
// meanwhile waits in queued. edited: settings changed in the form and not
// yet saved. focus_next: where the focus goes once the action in progress
// has ended. The opened bytes themselves are kept by the engine's worker.
const state = { generation: 0, name: '', file: null, handle: null, size: 0,
  suspect: '', scan: null, listing: '', selected: null, pending_save: null,
  writing: false, queued: null, focus_next: null, edited: false };

// The state as the page's parts read it: every field, none writable.
export const opened = Object.freeze(Object.defineProperties({}, Object.fromEntries(
  Object.keys(state).map((key) => [key, { get: () => state[key], enumerable: true }]))));

export class Stale extends Error {}

export function check_current(generation) {
  if (generation !== state.generation)
    throw new Stale();
}

// A new opening of file (shown as name): everything learnt of the file
// before is dropped. Returns the opening's generation.
export function begin_opening(file, handle, name) {
  Object.assign(state, { name, file, handle, size: file.size, suspect: '', scan: null, listing: '',
    selected: null, pending_save: null, edited: false });
  return ++state.generation;
}

// What the opening learnt: size, suspect, scan, listing.
export function learn_opened(generation, { size = state.size, suspect = state.suspect,
  scan = state.scan, listing = state.listing }) {
  check_current(generation);
  Object.assign(state, { size, suspect, scan, listing });
}

export const select = (track) => { state.selected = track; };
export const set_edited = (edited) => { state.edited = edited; };
export const set_pending_save = (pending) => { state.pending_save = pending; };

// A write in progress holds the files chosen meanwhile; the last one is
// opened once it has ended (end_writing gives it).
export const begin_writing = () => { state.writing = true; };
export const queue_opening = (file, handle) => { state.queued = { file, handle }; };
export function end_writing() {
  const queued = state.queued;
  Object.assign(state, { writing: false, queued: null });
  return queued;
}

// Where the focus goes once the action in progress has ended.
export const focus_after = (element) => { state.focus_next = element; };
export function take_focus() {
  const element = state.focus_next;
  state.focus_next = null;
  return element;
}
