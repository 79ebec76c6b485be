// The opened file on disk and the files the page offers: whether the file
// still holds what was opened, and downloads.
import { file_part } from './constants.js';
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

// The parts of a file, file_part bytes each, read one after the other (the
// part from at on, for at = 0, file_part, ...). Where the browser reads a
// file into a buffer it is given, the engine gives each part back once it
// has taken it in (reuses), and the next part is read into it: two buffers
// serve the whole file, and none waits for the collector (Chromium gives
// the memory of a part let go of back only when it next collects garbage,
// some 150 MB of a 200 MB file). Elsewhere each part is read anew, and the
// engine lets go of its memory at once.
export function file_parts(file) {
  let stream = null;
  let reader = null;
  try {
    stream = file.stream();
    reader = stream.getReader({ mode: 'byob' });
  } catch {
    stream?.cancel().catch(() => {});
  }
  const spare = [];
  return {
    reuses: Boolean(reader),
    async read(at) {
      const length = Math.min(file_part, file.size - at);
      if (!reader)
        return file.slice(at, at + length).arrayBuffer();
      let buffer = (length === file_part && spare.pop()) || new ArrayBuffer(length);
      for (let filled = 0; filled < length;) {
        const { value, done } = await reader.read(new Uint8Array(buffer, filled, length - filled));
        if (done)  // the file ends before its size: as much as there was
          return value.buffer.slice(0, filled);
        buffer = value.buffer;
        filled += value.length;
      }
      return buffer;
    },
    // A part's bytes back from the engine, if it gave them back.
    give_back(bytes) {
      if (bytes?.byteLength === file_part)
        spare.push(bytes.buffer);
    },
    close: () => reader?.cancel().catch(() => {}),
  };
}

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
  const parts = file_parts(file);
  try {
    for (let at = 0; at < file.size; at += file_part) {
      const bytes = await parts.read(at).catch(() => null);
      check_current(generation);
      if (!bytes)
        return false;
      const answer = await tool.call({ op: 'compare', at, bytes, block, give_back: parts.reuses }, [bytes]);
      parts.give_back(answer.bytes);
      if (!answer.same)
        return false;
      check_current(generation);
    }
    return true;
  } finally {
    parts.close();
  }
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
