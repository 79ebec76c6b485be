// The engine: the tool's own main and the functions of engine.cc, each run
// in a new module instance on one compiled module, on an in-memory folder
// that holds the opened data file. The worker (worker.js), or the page
// where no worker can be started, answers the page's messages with it.
import { Said, block_size, data_name, export_path, folder, gpx_path } from './constants.js';
import { cp850 } from './cp850.js';

// The tool's module factory, which the build puts in the script before the
// page's own code.
const create_module = (options) => globalThis.create_trekdump(options);

// The in-memory folder with files (name to Uint8Array) in it, and each of
// sinks (absolute path to function) as a device that receives what the
// tool writes there, chunk by chunk: the tool writes into a device as it
// is, where it would replace a regular file at the end of the run.
function prepare_folder(fs, files, sinks) {
  fs.mkdir(folder);
  fs.mkdir('/out');
  for (const [name, bytes] of Object.entries(files))
    fs.writeFile(`${folder}/${name}`, bytes);
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
// module, or, given call, calls that on the instance instead. Resolves to
// the exit status, both streams byte for byte and the folder's files
// afterwards (none unless keep_files).
async function run_tool(compiled, args, files, sinks = {}, keep_files = true, call = null) {
  const stdout = [];
  const stderr = [];
  let status = null;
  const module_options = {
    thisProgram: 'trekdump',
    onExit: (code) => { status = code; },
    instantiateWasm: (imports, receive) => {
      compiled.then((m) => WebAssembly.instantiate(m, imports)).then((i) => receive(i, null));
      return {};
    },
    // Byte callbacks: the streams arrive exactly as written, not by lines.
    // Standard input is empty.
    preRun: [() => module_options.FS.init(() => null, (b) => stdout.push(b & 0xff),
      (b) => stderr.push(b & 0xff))],
  };
  const module = await create_module(module_options);
  const fs = module.FS;
  prepare_folder(fs, files, sinks);
  const returned = call ? call(module) : module.callMain(args.map(String));
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

// The engine on one compiled module: answers the page's messages, on the
// data file that the last 'open' handed over.
export function make_engine(wasm_bytes, progress) {
  const compiled = WebAssembly.compile(wasm_bytes);
  let opened = null;
  const run = (...args) => run_tool(compiled, ...args);

  const resolve_files = (files) => Object.fromEntries(Object.entries(files).map(([n, b]) =>
    [n, b === 'opened' ? opened.bytes : b === 'block' ? opened.bytes.subarray(0, block_size) : b]));

  // One of the page's own functions of the tool (web/*.cc) on the opened
  // file (or its block): what it wrote, through keep (by default all of it).
  // Given bytes, on those instead.
  async function call_export(name, block_only, numbers = [], keep = null, bytes = null) {
    const kept = [];
    const r = await run([], resolve_files({ [data_name]: bytes ?? (block_only ? 'block' : 'opened') }),
      { [export_path]: keep ?? ((chunk) => kept.push(chunk.slice())) }, false,
      (module) => module.ccall(name, 'number', ['string', 'string', ...numbers.map(() => 'number')],
        [data_name, export_path, ...numbers]));
    if (r.status !== 0)
      throw new Said(`${name} failed`);
    return concat(kept);
  }

  // Whether part, read again from the file at offset at, holds the opened
  // bytes there (with block in place of the opened block, when given).
  function same_as_opened(part, at, block) {
    const expected = opened.bytes.subarray(at, at + part.length);
    if (expected.length !== part.length)
      return false;
    const head = block ? Math.max(0, Math.min(block.length - at, part.length)) : 0;
    if (head && !same_bytes(part.subarray(0, head), block.subarray(at, at + head)))
      return false;
    return same_bytes(part.subarray(head), expected.subarray(head));
  }

  return async function handle(message) {
    switch (message.op) {
      case 'run':
        return run(message.args, resolve_files(message.files));
      case 'open': {
        progress('reading');
        opened = { bytes: new Uint8Array(message.bytes) };
        progress('running');
        // The export is written only to learn its size.
        let size = 0;
        const r = await run(['--conf', `--read=${gpx_path}`, data_name],
          { [data_name]: opened.bytes }, { [gpx_path]: (chunk) => { size += chunk.length; } }, false);
        if (r.status !== 0)
          return { ...r, scan: null };
        const scan = { ...read_tracks(await call_export('trekdump_tracks', false)), size };
        const settings = JSON.parse(cp850(await call_export('trekdump_settings', true)));
        const check = await run(['--analyze', data_name], resolve_files({ [data_name]: 'block' }));
        return { ...r, scan, settings, unknown_values: check.stdout };
      }
      case 'gpx': {
        const collect = gpx_collector();
        const r = await run([`--read=${gpx_path}`, data_name], { [data_name]: opened.bytes },
          { [gpx_path]: collect.feed }, false);
        if (r.status !== 0)
          throw new Said(cp850(r.stderr));
        return collect.finish();
      }
      case 'tracks': {
        const scan = read_tracks(await call_export('trekdump_tracks', false, [], null,
          new Uint8Array(message.bytes)));
        return scan.tracks.map((t) => Object.fromEntries(track_fields.map((k) => [k, t[k]])));
      }
      case 'compare':
        return same_as_opened(new Uint8Array(message.bytes), message.at, message.block);
      // The data file to save or to keep: the opened bytes, with block in
      // place of the opened block when given.
      case 'file':
        return new Blob(message.block ? [message.block, opened.bytes.subarray(block_size)] :
          [opened.bytes], { type: 'application/octet-stream' });
      case 'track': {
        const collect = gpx_collector();
        await call_export('trekdump_track_gpx', false, [message.first, message.count], collect.feed);
        return collect.finish();
      }
      case 'profile':
        return JSON.parse(new TextDecoder().decode(await call_export('trekdump_profile', false,
          [message.first, message.count, message.width, message.against_time ? 1 : 0])));
      case 'push_times':
        return JSON.parse(new TextDecoder().decode(await call_export('trekdump_push_times', false)));
    }
    throw new Said(`unknown operation ${message.op}`);
  };
}

// What trekdump.tracks gives of each track: the summary's own names, in
// UTC, metres, seconds and km/h (track_summary.h).
const track_fields = ['number', 'first', 'count', 'start', 'end', 'seconds', 'distance_m',
  'moving_s', 'paused_s', 'stops', 'average_kmh', 'max_kmh', 'ascent_m', 'descent_m',
  'min_ele_m', 'max_ele_m', 'push_points'];

// What trekdump_tracks wrote (engine.cc): the sizes, the summary's JSON,
// the drawing's path and the push log points' positions.
function read_tracks(bytes) {
  const [json_size, path_size, push_size] = new Uint32Array(bytes.buffer, bytes.byteOffset, 3);
  const floats = (from, count) => new Float32Array(bytes.buffer.slice(from, from + 4 * count));
  const summary = JSON.parse(new TextDecoder().decode(bytes.subarray(12, 12 + json_size)));
  for (const t of summary.tracks)
    t.pushes = t.push_to - t.push_from;
  return { ...summary, pushes: push_size / 2, drawing: floats(bytes.byteOffset + 12 + json_size, path_size),
    wpt_xy: floats(bytes.byteOffset + 12 + json_size + 4 * path_size, push_size) };
}

// The WebAssembly module embedded in the script's text.
export function wasm_bytes(source) {
  const match = /"data:application\/octet-stream;base64,([A-Za-z0-9+/=]+)"/.exec(source);
  return Uint8Array.from(atob(match[1]), (ch) => ch.charCodeAt(0));
}

// Keeps the document as a Blob, handed over in large parts, which the
// browser may hold outside the page.
function gpx_collector() {
  const parts = [];
  let pending = [];
  let pending_size = 0;
  function feed(bytes) {
    pending.push(bytes.slice());
    pending_size += bytes.length;
    if (pending_size >= 16 << 20) {
      parts.push(new Blob(pending));
      pending = [];
      pending_size = 0;
    }
  }
  const finish = () => new Blob([...parts, ...pending], { type: 'application/gpx+xml' });
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
  const all = new Uint8Array(chunks.reduce((n, c) => n + c.length, 0));
  let at = 0;
  for (const c of chunks) {
    all.set(c, at);
    at += c.length;
  }
  return all;
}
