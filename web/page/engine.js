// The engine: the tool's own main in a new module instance for each run,
// and the functions of engine.cc in one instance that holds the opened data
// file in its memory, all on one compiled module. The tool's runs on the
// opened file read those same bytes through the in-memory file system,
// never a copy of them. The worker (worker.js), or the page where no worker
// can be started, answers the page's messages with it.
import { Said, block_size, data_name, export_path, folder, gpx_path, log_start } from './constants.js';
import { cp850 } from './cp850.js';

// The tool's module factory, which the build puts in the script before the
// page's own code.
const create_module = (options) => globalThis.create_trekdump(options);

// The points summarized between two words on how far the summary is.
const summary_step = 1 << 18;

// A new instance of the compiled module: standard input empty, the standard
// streams to out and err byte by byte (exactly as written, not by lines).
function instance(compiled, out = () => {}, err = () => {}, options = {}) {
  const module_options = {
    thisProgram: 'trekdump',
    instantiateWasm: (imports, receive) => {
      compiled.then((m) => WebAssembly.instantiate(m, imports)).then((i) => receive(i, null));
      return {};
    },
    preRun: [() => module_options.FS.init(() => null, (b) => out(b & 0xff), (b) => err(b & 0xff))],
    ...options,
  };
  return create_module(module_options);
}

// The in-memory folder with files (name to Uint8Array) in it, and each of
// sinks (absolute path to function) as a device that receives what the
// tool writes there, chunk by chunk: the tool writes into a device as it
// is, where it would replace a regular file at the end of the run. A file
// whose name is own holds the bytes handed over themselves, not a copy.
function prepare_folder(fs, files, sinks, own = null) {
  fs.mkdir(folder);
  fs.mkdir('/out');
  for (const [name, bytes] of Object.entries(files))
    fs.writeFile(`${folder}/${name}`, bytes, { canOwn: name === own });
  Object.values(sinks).forEach((sink, i) => fs.registerDevice(fs.makedev(64, i), {
    open: () => {},
    close: () => {},
    write: (stream, heap, offset, length) => {
      // A view of the module's memory, valid during the call only.
      sink(new Uint8Array(heap.buffer, heap.byteOffset + offset, length));
      return length;
    },
  }));
  Object.keys(sinks).forEach((path, i) => fs.mkdev(path, fs.makedev(64, i)));
  fs.chdir(folder);
}

// Runs the tool with args on files in a new instance of the compiled
// module. Resolves to the exit status, both streams byte for byte and the
// folder's files afterwards (none unless keep_files).
async function run_tool(compiled, args, files, sinks = {}, keep_files = true, own = null) {
  const stdout = [];
  const stderr = [];
  let status = null;
  const module = await instance(compiled, (b) => stdout.push(b), (b) => stderr.push(b),
    { onExit: (code) => { status = code; } });
  const fs = module.FS;
  prepare_folder(fs, files, sinks, own);
  const returned = module.callMain(args.map(String));
  const out_files = {};
  for (const name of keep_files ? fs.readdir(folder) : []) {
    const path = `${folder}/${name}`;
    if (fs.isFile(fs.stat(path).mode))
      out_files[name] = fs.readFile(path);
  }
  return {
    status: status ?? returned,
    stdout: Uint8Array.from(stdout),
    stderr: Uint8Array.from(stderr),
    files: out_files,
  };
}

// A data file of size bytes held in a module instance of its own, for the
// functions of engine.cc: filled part by part, and summarized in steps as
// the parts come in.
async function held_file(compiled, size) {
  // The engine's memory is addressed in 32 bits, of which it keeps half.
  if (size >= 2 ** 31)
    throw new Error('out of memory: the file is larger than the engine can hold');
  let sink = null;
  const module = await instance(compiled);
  prepare_folder(module.FS, {}, { [export_path]: (chunk) => sink(chunk) });
  const at = module.ccall('trekdump_receive', 'number', ['number'], [size]);
  if (!at)
    throw new Error('out of memory: no room for the file in the engine');
  let received = 0;
  let done = 0;
  // The records the file can hold: how far the summary is counts in them.
  const records = Math.max(0, Math.floor((size - log_start) / 16));
  return {
    size,
    received: () => received,
    summarized: () => [done, records],
    // The bytes where they lie; valid until the instance's memory grows.
    view: () => module.HEAPU8.subarray(at, at + size),
    part(offset, bytes) {
      module.HEAPU8.set(bytes, at + offset);
      received = Math.max(received, offset + bytes.length);
    },
    // The summary of the points received so far, with progress(done,
    // records) after each step.
    async summarize(progress) {
      for (;;) {
        const before = done;
        done = module.ccall('trekdump_summarize', 'number', ['number', 'number'], [received, summary_step]) >>> 0;
        progress(done, records);
        if (done - before < summary_step)
          return;
        // On the page itself, without a worker, the page paints meanwhile.
        if (typeof document !== 'undefined')
          await new Promise((next) => setTimeout(next, 0));
      }
    },
    // The summary once the whole file has been summarized.
    summary: () => read_summary(module, module.ccall('trekdump_summary', 'number', [], [])),
    // One of the functions of engine.cc with the numbers after its output
    // path: what it wrote, through keep (by default all of it).
    call(name, numbers = [], keep = null) {
      const kept = [];
      sink = keep ?? ((chunk) => kept.push(chunk.slice()));
      const status = module.ccall(name, 'number', ['string', ...numbers.map(() => 'number')],
        [export_path, ...numbers]);
      sink = null;
      if (status !== 0)
        throw new Said(`${name} failed`);
      return concat(kept);
    },
  };
}

// The engine on one compiled module: answers the page's messages, on the
// data file that the last 'receive' and its parts handed over.
export function make_engine(wasm_bytes, progress) {
  const compiled = WebAssembly.compile(wasm_bytes);
  let opened = null;
  const run = (...args) => run_tool(compiled, ...args);

  const resolve_files = (files) => Object.fromEntries(Object.entries(files).map(([n, b]) =>
    [n, b === 'block' ? opened.view().slice(0, block_size) : b]));

  // A run of the tool on the opened file where it lies. The tool writes the
  // configuration block back at the end of each run, and may normalise it
  // as it does so: the opened bytes are put back as they were afterwards.
  async function run_on_opened(args, sinks = {}) {
    const head = opened.view().slice(0, log_start);
    try {
      return await run(args, { [data_name]: opened.view() }, sinks, false, data_name);
    } finally {
      opened.view().set(head);
    }
  }

  // Whether part, read again from the file at offset at, holds the opened
  // bytes there (with block in place of the opened block, when given).
  function same_as_opened(part, at, block) {
    const expected = opened.view().subarray(at, at + part.length);
    if (expected.length !== part.length)
      return false;
    const head = block ? Math.max(0, Math.min(block.length - at, part.length)) : 0;
    if (head && !same_bytes(part.subarray(0, head), block.subarray(at, at + head)))
      return false;
    return same_bytes(part.subarray(head), expected.subarray(head));
  }

  // What the tool's own runs say of the opened file, from its first part on
  // (they read the configuration block alone): the listing (which also says
  // whether the file is a data file at all) and the block's values outside
  // the known sets.
  let listed = null;
  async function list() {
    const r = await run_on_opened(['--conf', data_name]);
    const check = r.status === 0 ? await run(['--analyze', data_name], resolve_files({ [data_name]: 'block' })) : null;
    return { ...r, unknown_values: check?.stdout };
  }

  // What opening the file learns, once all its parts are there: the listing,
  // the summary of its log (the parts received before are summarized
  // already), the settings and the block's values outside the known sets.
  async function open() {
    await opened.summarize((done, total) => progress('summary', done, total));
    const r = listed ?? await list();
    if (r.status !== 0)
      return { ...r, scan: null };
    const settings = JSON.parse(cp850(opened.call('trekdump_settings')));
    return { ...r, scan: opened.summary(), settings };
  }

  return async function handle(message) {
    switch (message.op) {
      case 'run':
        return run(message.args, resolve_files(message.files));
      // A new file: its size first, then its parts in turn, then 'open'.
      case 'receive':
        opened = null;
        listed = null;
        opened = await held_file(compiled, message.size);
        progress('reading', 0, message.size);
        return true;
      case 'part': {
        opened.part(message.at, new Uint8Array(message.bytes));
        const bytes = handed_back(message);
        const reading = (done, total) => progress('reading', opened.received(), opened.size, done, total);
        reading(...opened.summarized());
        if (message.at === 0 && opened.received() >= Math.min(opened.size, log_start))
          listed = await list();
        await opened.summarize(reading);
        return { bytes };
      }
      case 'open':
        return open();
      case 'gpx': {
        const collect = gpx_collector();
        const r = await run_on_opened([`--read=${gpx_path}`, data_name], { [gpx_path]: collect.feed });
        if (r.status !== 0)
          throw new Said(cp850(r.stderr));
        return collect.finish();
      }
      case 'analyze':
        return run_on_opened(['--analyze', data_name]);
      case 'tracks': {
        const bytes = new Uint8Array(message.bytes);
        const file = await held_file(compiled, bytes.length);
        file.part(0, bytes);
        await file.summarize(() => {});
        const scan = file.summary();
        return scan.tracks.map((t) => Object.fromEntries(track_fields.map((k) => [k, t[k]])));
      }
      case 'compare': {
        const same = same_as_opened(new Uint8Array(message.bytes), message.at, message.block);
        return { same, bytes: handed_back(message) };
      }
      // The data file to save or to keep: the opened bytes, with block in
      // place of the opened block when given.
      case 'file':
        return new Blob(message.block ? [message.block, opened.view().subarray(block_size)] :
          [opened.view()], { type: 'application/octet-stream' });
      case 'track': {
        const collect = gpx_collector();
        opened.call('trekdump_track_gpx', [message.first, message.count], collect.feed);
        return collect.finish();
      }
      case 'profile':
        return JSON.parse(new TextDecoder().decode(opened.call('trekdump_profile',
          [message.first, message.count, message.width, message.against_time ? 1 : 0])));
    }
    throw new Said(`unknown operation ${message.op}`);
  };
}

// A part of a file, once the engine has taken it in: its bytes, to be given
// back where the page reads the next part into them (files.js), or else
// their memory let go of at once, not whenever the collector comes (else a
// large file's parts add up to a second copy of it).
function handed_back(message) {
  if (message.give_back)
    return new Uint8Array(message.bytes);
  message.bytes.transfer?.(0);
  return null;
}

// What trekdump.tracks gives of each track: the summary's own names, in
// UTC, metres, seconds and km/h (track_summary.h).
const track_fields = ['number', 'first', 'count', 'start', 'end', 'seconds', 'distance_m',
  'moving_s', 'paused_s', 'stops', 'average_kmh', 'max_kmh', 'ascent_m', 'descent_m',
  'min_ele_m', 'max_ele_m', 'push_points'];

// The summary from the table of its parts (trekdump_summary in engine.cc):
// each part where it lies and its length, read once into arrays of its own.
function read_summary(module, table) {
  let k = table >>> 2;
  const next = () => module.HEAPU32[k++];
  const [json_at, json_size] = [next(), next()];
  const summary = JSON.parse(new TextDecoder().decode(module.HEAPU8.subarray(json_at, json_at + json_size)));
  const copy = (Type) => {
    const [at, count] = [next(), next()];
    return new Type(module.HEAPU8.slice(at, at + Type.BYTES_PER_ELEMENT * count).buffer);
  };
  const wpt_xy = copy(Float32Array);
  const push_times = copy(Uint8Array);
  const extents = copy(Float32Array);
  const levels = [];
  for (let l = 0, count = next(); l < count; ++l)
    levels.push({ cell: l ? summary.cells[l - 1] : 0, xy: copy(Float32Array), from: copy(Uint32Array) });
  for (const t of summary.tracks)
    t.pushes = t.push_to - t.push_from;
  return { ...summary, size: summary.gpx_bytes, pushes: wpt_xy.length / 2, drawing: levels[0].xy,
    levels, wpt_xy, push_times, extents };
}

// The buffers of the typed arrays in a result, for a message that hands
// them over instead of copying them.
export function buffers_in(value, found = new Set(), depth = 0) {
  if (ArrayBuffer.isView(value))
    found.add(value.buffer);
  else if (value && typeof value === 'object' && depth < 5 && !(value instanceof Blob))
    Object.values(value).forEach((v) => buffers_in(v, found, depth + 1));
  return [...found];
}

// The WebAssembly module embedded in the script's text.
export function wasm_bytes(source) {
  const match = /"data:application\/octet-stream;base64,([A-Za-z0-9+/=]+)"/.exec(source);
  return Uint8Array.from(atob(match[1]), (ch) => ch.charCodeAt(0));
}

// Keeps the document as Blobs, one for each chunk the tool writes, which
// the browser may hold outside the page: the document is in memory once.
function gpx_collector() {
  const parts = [];
  const feed = (bytes) => parts.push(new Blob([bytes]));
  const finish = () => new Blob(parts, { type: 'application/gpx+xml' });
  return { feed, finish };
}

function same_bytes(a, b) {
  if (a.length !== b.length)
    return false;
  for (let i = 0; i < a.length; ++i)
    if (a[i] !== b[i])
      return false;
  return true;
}

function concat(chunks) {
  if (chunks.length === 1)
    return chunks[0];
  const all = new Uint8Array(chunks.reduce((n, c) => n + c.length, 0));
  let at = 0;
  for (const c of chunks) {
    all.set(c, at);
    at += c.length;
  }
  return all;
}
