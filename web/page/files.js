// The opened file on disk and the files the page offers: whether the file
// still holds what was opened, and downloads.
import { compare_part } from './constants.js';
import { check_current, opened } from './state.js';
import { show_message } from './status.js';
import { texts } from './texts.js';
import { tool } from './tool.js';

// A Blob offered as a download of that name.
export function offer(blob, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

export class Changed extends Error {}

// The opened file as it is on disk now: through its handle a new File, as
// the browser sees it now; null when the browser cannot give it.
const file_now = () => (opened.handle ? opened.handle.getFile().catch(() => null) :
  Promise.resolve(opened.file));

// Whether the file on disk holds exactly the bytes the page opened (with
// block in place of the opened block, when given): its length and every
// byte, read in parts and each compared in the worker, which holds the
// opened copy, so a large file is never held twice. A part the browser
// cannot read (NotReadableError once the file changed, NotFoundError) is a
// difference too.
export async function unchanged(block = null, file = null) {
  const generation = opened.generation;
  file ??= await file_now();
  if (!file || file.size !== opened.size)
    return false;
  for (let at = 0; at < file.size; at += compare_part) {
    const bytes = await file.slice(at, at + compare_part).arrayBuffer().catch(() => null);
    check_current(generation);
    if (!bytes || !await tool.call({ op: 'compare', at, bytes, block }, [bytes]))
      return false;
    check_current(generation);
  }
  return true;
}

// An export of the opened copy, offered only while the file on disk still
// holds exactly that copy.
export async function offer_export(exported, name) {
  if (!await unchanged()) {
    const shown = opened.name;
    return show_message(() => texts.changed_export(shown));
  }
  offer(exported, name);
}
