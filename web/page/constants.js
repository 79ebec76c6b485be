// The paths the engine's runs use, the page's limits and its own error.
// An error whose message is in the page's (or the tool's) own words.
export class Said extends Error {
  // words: the tool's or the browser's text, or a function that says the
  // page's own words in the language shown.
  constructor(words) {
    super(typeof words === 'function' ? words() : words);
    this.words = words;
  }
}

export const folder = '/files';
// The tool sees the opened file under this name, whatever the owner's file
// is called: a name such as '-copy.DAT' never reaches it as an option.
export const data_name = 'NVPIPE.DAT';
export const gpx_path = '/out/tracks.gpx';
export const export_path = '/out/export';
// The configuration block: the probes for valid values and current choices
// run on it alone, not on the whole file.
export const block_size = 1024;
// Where the log begins: the tool writes nothing of the file beyond it.
export const log_start = 4096;
// The parts in which the page reads a file, to open it or to compare it
// again with the opened copy, and hands it to the engine.
export const file_part = 8 << 20;
// The largest GPX document the page offers as a download.
export const gpx_size_limit = 1024 * 1024 * 1024;

// Where "Show on OpenStreetMap" leads, on request only.
export const osm_site = 'https://www.openstreetmap.org/';
