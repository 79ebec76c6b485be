// The page: every action is one run of the tool's own main in a new module
// instance, on an in-memory folder that holds the opened data file. The runs
// happen in a Web Worker (the same script, started from its own text) on one
// compiled WebAssembly module; where no worker can be started they happen on
// the page itself. The page builds argument lists and shows or offers what
// the runs wrote; whatever the tool refuses, it shows in the tool's own words.
(function () {
  'use strict';

  // Every text the page shows, in one place.
  const texts = {
    title: 'trekdump',
    intro: 'Tracks and settings of the GPS track logger\'s data file NVPIPE.DAT. ' +
      'Everything happens inside this page: the file is never sent anywhere.',
    steps: 'Connect the logger to this computer with its USB cable: it appears as a drive. ' +
      'Open NVPIPE.DAT from that drive, or drop it here. Keep a copy of the file before you ' +
      'change settings: it is often the only copy of your tracks.',
    chooser_description: 'Data file of the logger (NVPIPE.DAT)',
    open_label: 'Open a data file:',
    drop_hint: 'or drop it on this page.',
    log_heading: 'Log',
    download_gpx: 'Download GPX',
    unknown_heading: 'Unknown values',
    analyze: 'Check for unknown values',
    no_unknown_values: 'No unknown values found.',
    listing_heading: 'Device settings (as the device lists them)',
    tracks_heading: 'Tracks',
    download_track: 'Download this track',
    settings_heading: 'Change settings',
    settings_intro: 'Change what you need, then save. Only the fields you edit are ' +
      'passed to the tool; the others stay as they are in the file.',
    save: 'Save…',
    backup: 'Download a backup of the unchanged file',
    confirm_write: (name) => `Write the changes into ${name}`,
    confirm_download: 'Download the new NVPIPE.DAT',
    cancel: 'Cancel',
    unknown_choice: 'unknown value (unchanged)',
    summary: ['Points', 'Tracks', 'Push log points', 'First time', 'Last time'],
    track_columns: ['Track', 'Start (UTC)', 'End (UTC)', 'Duration', 'Points', 'km',
      'Push log points'],
    drawing_label: (tracks, pushes) =>
      `Drawing of ${tracks} tracks, one colour each, and ${pushes} push log points (black).`,
    no_time: '–',
    progress: {
      reading: (name) => `Opening ${name}: reading the file…`,
      running: (name) => `Opening ${name}: the tool lists the settings and exports the log…`,
      exporting: (name) => `Preparing the GPX of ${name}…`,
      analyzing: (name) => `Checking ${name} for unknown values…`,
      checking: (name) => `Checking the changes to ${name}…`,
      writing: (name) => `Writing into ${name}…`,
      backing_up: (name) => `Reading ${name} for the backup…`,
    },
    one_file_at_a_time: 'Drop one file at a time: several files were dropped, none was opened.',
    out_of_memory: (name, mb) => `${name} (${mb} MB) is too large for this page: ` +
      'the browser ran out of memory. Use the command-line tool for it.',
    gpx_too_large: (name, mb) => `The GPX document of ${name} would be ${mb} MB, more than ` +
      'this page can keep: use the command-line tool (trekdump --read=tracks.gpx NVPIPE.DAT).',
    failed: (what) => `Something went wrong: ${what}`,
    changes_intro: (name) => `These lines of the listing of ${name} change (before → after):`,
    no_changes: (name) => `No line of the listing of ${name} changes; the tool still ` +
      'rewrites the configuration block as it always does.',
    backup_first: 'Download the backup first; then the changes can be written.',
    written: (name) => `Written into ${name} and read back: the file holds exactly the new ` +
      'data file.',
    write_failed: (name, what) => `Writing into ${name} failed: ${what}. The file may be ` +
      'damaged: copy the backup onto the device.',
    read_back_differs: 'the file read back differs from what was written',
    changed: (name) => `${name} was changed since it was opened: open it again before saving.`,
    backup_failed: (name, what) => `The backup of ${name} could not be made: ${what} ` +
      'Nothing can be written without it.',
    queued: (name) => `${name} will be opened when the write has finished.`,
    no_new_block: 'the tool did not write a configuration block',
    suspect: (name, findings) => `${name} does not look like the logger's data file: ` +
      `${findings.join('; ')}. Saving into it asks for a second confirmation.`,
    unknown_in_block: (lines) => `its configuration block holds values outside the known sets ` +
      `(${lines.join(', ')})`,
    no_point: 'its log holds no valid record',
    confirm_suspect: (name) => `Yes, write into ${name} although it does not look like a data file`,
    permission_denied: 'the browser did not allow writing',
    downloaded: 'The new data file was offered as a download. Your browser may have renamed ' +
      'it (for example to NVPIPE(1).DAT): the file on the device must be named NVPIPE.DAT. ' +
      'Copy it onto the device under that name, in place of the old one.',
    fields: {
      'set-log-mode': 'Log mode',
      'set-userdefined-log-mode': 'User-defined log mode',
      'set-device-zone': 'Time zone (hours, or hours:minutes)',
      'set-system-unit': 'Units',
      'set-contrast': 'Contrast',
      'set-backlight-time': 'Backlight time (s)',
      'set-shake-mode': 'Shake mode',
      'set-shake-mode-time': 'Shake mode time (min)',
      'set-password': 'Password',
      'clear-memory': 'Clear memory at next start',
      'set-userdefined-time-interval': 'Time interval (s)',
      'set-userdefined-distance-interval': 'Distance interval (m)',
      'set-userdefined-heading-change': 'Heading change (°)',
      'set-userdefined-highest-speed': 'Highest speed (km/h)',
      'set-userdefined-high-speed': 'High speed (km/h)',
      'set-userdefined-middle-speed': 'Middle speed (km/h)',
      'set-userdefined-low-speed': 'Low speed (km/h)',
      'set-userdefined-lowest-speed': 'Lowest speed (km/h)',
      'set-userdefined-highest-speed-interval': 'Interval, high to highest speed (s)',
      'set-userdefined-high-speed-interval': 'Interval, middle to high speed (s)',
      'set-userdefined-middle-speed-interval': 'Interval, low to middle speed (s)',
      'set-userdefined-low-speed-interval': 'Interval, lowest to low speed (s)',
      'set-gps-mode': 'GPS mode',
      'set-sbas': 'SBAS',
      'set-fix-mode': 'Fix mode',
      'set-2d-fix-altitude': 'Altitude for 2D fixes (cm)',
      'set-initial-min-svs': 'Initial minimum of satellites',
      'set-initial-min-strength': 'Initial minimum signal strength (dBHz)',
      'set-navigation-min-strength': 'Navigation minimum signal strength (dBHz)',
      'set-pdop-mask': 'PDOP mask',
      'set-tdop-mask': 'TDOP mask',
      'set-p-accuracy-mask': 'Position accuracy mask (m)',
      'set-t-accuracy-mask': 'Time accuracy mask (m)',
    },
  };

  const folder = '/files';
  // The tool sees the opened file under this name, whatever the owner's file
  // is called: a name such as '-copy.DAT' never reaches it as an option.
  const data_name = 'NVPIPE.DAT';
  const gpx_path = '/out/tracks.gpx';
  const export_path = '/out/export';
  // The configuration block: the probes for valid values and current choices
  // run on it alone, not on the whole file.
  const block_size = 1024;
  // The largest GPX document the page offers as a download.
  const gpx_size_limit = 1024 * 1024 * 1024;

  // ---------------------------------------------------------------------
  // The tool: module instances on one compiled module (worker or page).
  // ---------------------------------------------------------------------

  function make_engine(wasm_bytes, progress) {
    const compiled = WebAssembly.compile(wasm_bytes);
    let opened = null;

    // Runs the tool with args on files (name to Uint8Array) in the folder.
    // sinks maps absolute paths to functions that receive what the tool
    // writes there, chunk by chunk, instead of a file. Resolves to the exit
    // status, both streams byte for byte and the folder's files afterwards.
    async function run(args, files, sinks = {}, keep_files = true, call = null) {
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
      const module = await create_trekdump(module_options);
      const fs = module.FS;
      fs.mkdir(folder);
      fs.mkdir('/out');
      for (const [name, bytes] of Object.entries(files))
        fs.writeFile(`${folder}/${name}`, bytes);
      // Each sink is a device: the tool writes into it as it is, where it
      // would replace a regular file at the end of the run.
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

    const resolve_files = (files) => Object.fromEntries(Object.entries(files).map(([n, b]) =>
      [n, b === 'opened' ? opened.bytes : b === 'block' ? opened.bytes.subarray(0, block_size) : b]));

    // One of the page's own functions of the tool (web/*.cc) on the opened
    // file (or its block): what it wrote, through keep (by default all of it).
    async function call_export(name, block_only, numbers = [], keep = null) {
      const kept = [];
      const r = await run([], resolve_files({ [data_name]: block_only ? 'block' : 'opened' }),
        { [export_path]: keep ?? ((chunk) => kept.push(chunk.slice())) }, false,
        (module) => module.ccall(name, 'number', ['string', 'string', ...numbers.map(() => 'number')],
          [data_name, export_path, ...numbers]));
      if (r.status !== 0)
        throw new Error(`${name} failed`);
      return concat(kept);
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
            throw new Error(cp850(r.stderr));
          return collect.finish();
        }
        case 'track': {
          const collect = gpx_collector();
          await call_export('trekdump_track_gpx', false, [message.first, message.count], collect.feed);
          return collect.finish();
        }
      }
      throw new Error(`unknown operation ${message.op}`);
    };
  }

  // The listing and the help text are in code page 850; the browsers'
  // decoders do not know it. Its upper 128 characters:
  const cp850_upper =
    'ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜø£Ø×ƒáíóúñÑªº¿®¬½¼¡«»░▒▓│┤ÁÂÀ©╣║╗╝¢¥┐' +
    '└┴┬├─┼ãÃ╚╔╩╦╠═╬¤ðÐÊËÈıÍÎÏ┘┌█▄¦Ì▀ÓßÔÒõÕµþÞÚÛÙýÝ¯´\u00ad±‗¾¶§÷¸°¨·¹³²■\u00a0';

  function cp850(bytes) {
    let text = '';
    for (const b of bytes)
      text += b < 0x80 ? String.fromCharCode(b) : cp850_upper[b - 0x80];
    return text;
  }

  // The tool's output with the values the owner typed shown as typed: where
  // a typed value's UTF-8 bytes stand, they are read as such; everything
  // else is the tool's own text in code page 850.
  function tool_text(bytes, typed = []) {
    const encoder = new TextEncoder();
    const values = typed.filter((v) => /[^\x00-\x7f]/.test(v)).map((v) => [v, encoder.encode(v)]);
    let text = '';
    for (let i = 0; i < bytes.length;) {
      const found = values.find(([, e]) => e.every((b, k) => bytes[i + k] === b));
      if (found) {
        text += found[0];
        i += found[1].length;
      } else {
        text += cp850(bytes.subarray(i, i + 1));
        ++i;
      }
    }
    return text;
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

  function concat(chunks) {
    const all = new Uint8Array(chunks.reduce((n, c) => n + c.length, 0));
    let at = 0;
    for (const c of chunks) {
      all.set(c, at);
      at += c.length;
    }
    return all;
  }

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
  function wasm_bytes(source) {
    const match = /"data:application\/octet-stream;base64,([A-Za-z0-9+/=]+)"/.exec(source);
    return Uint8Array.from(atob(match[1]), (ch) => ch.charCodeAt(0));
  }

  // In the worker: one engine, answering the page's messages in turn.
  if (typeof document === 'undefined') {
    let handle = null;
    let queue = Promise.resolve();
    self.onmessage = (e) => {
      const message = e.data;
      if (message.op === 'start') {
        handle = make_engine(message.wasm, (key, ...values) => self.postMessage({ progress: key, values }));
        self.postMessage({ ready: true });
        return;
      }
      queue = queue.then(() => handle(message)).then(
        (result) => self.postMessage({ id: message.id, result }),
        (error) => self.postMessage({ id: message.id, error: String(error?.message ?? error) }));
    };
    return;
  }

  // ---------------------------------------------------------------------
  // The page.
  // ---------------------------------------------------------------------

  const source = document.currentScript.textContent;
  const $ = (id) => document.getElementById(id);

  class Superseded extends Error {}

  // The tool's runs, one after the other, in a worker that a new opening
  // replaces (the run in progress ends with it).
  const tool = {
    worker: null,
    ready: false,
    local: null,
    pending: new Map(),
    next_id: 1,
    on_progress: () => {},
    start() {
      const wasm = wasm_bytes(source);
      try {
        this.ready = false;
      const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
        this.worker = new Worker(url);
        this.worker.onmessage = (e) => this.receive(e.data);
        this.worker.onerror = (e) => {
          e.preventDefault?.();
          if (this.ready)
            this.fail(new Error(e.message || 'the worker stopped'));
          else
            this.fall_back(wasm);
        };
        this.worker.postMessage({ op: 'start', wasm });
      } catch (e) {
        this.fall_back(wasm);
      }
    },
    // No worker: the same engine on the page.
    fall_back(wasm) {
      this.worker?.terminate();
      this.worker = null;
      this.local ??= make_engine(wasm, (key, ...values) => this.on_progress(key, values));
      const waiting = [...this.pending.values()];
      this.pending.clear();
      for (const w of waiting)
        this.call(w.message).then(w.resolve, w.reject);
    },
    // The worker failed after it had started: the runs waiting fail with it.
    fail(error) {
      this.worker?.terminate();
      this.worker = null;
      this.ready = false;
      for (const w of this.pending.values())
        w.reject(error);
      this.pending.clear();
    },
    receive(data) {
      if (data.ready)
        this.ready = true;
      if (data.progress)
        return this.on_progress(data.progress, data.values);
      const waiting = this.pending.get(data.id);
      if (!waiting)
        return;
      this.pending.delete(data.id);
      if ('error' in data)
        waiting.reject(new Error(data.error));
      else
        waiting.resolve(data.result);
    },
    call(message, transfer = []) {
      if (this.local)
        return this.local(message);
      if (!this.worker)
        this.start();
      const id = this.next_id++;
      return new Promise((resolve, reject) => {
        this.pending.set(id, { message, resolve, reject });
        if (this.worker)
          this.worker.postMessage({ ...message, id }, this.ready ? transfer : []);
      });
    },
    // Ends the work in progress: a new worker takes the next runs.
    cancel() {
      if (!this.worker)
        return;
      this.fail(new Superseded());
    },
  };

  // Runs the tool with args (the words after the program name) on files
  // (name to Uint8Array). Resolves to the exit status, both streams byte for
  // byte, and every file of the folder afterwards.
  const run = (args, files = {}) => tool.call({ op: 'run', args: args.map(String), files });
  window.trekdump = { run, get runs_in() { return tool.local ? 'page' : 'worker'; } };

  const setting_fields = Object.entries(texts.fields).map(([name, label]) =>
    ({ name, label }));


  // What the page holds for the file last chosen. A new opening starts a new
  // generation; work of an older one is dropped when it returns.
  // While a write is in progress, writing is set and the last file chosen
  // meanwhile waits in queued.
  const state = { generation: 0, name: '', file: null, handle: null, block: null, size: 0,
    suspect: '', scan: null, listing: '', selected: null, pending_save: null,
    writing: false, queued: null, focus_next: null };

  class Stale extends Error {}
  const check_current = (generation) => {
    if (generation !== state.generation)
      throw new Stale();
  };

  function set_busy(busy, key) {
    const root = document.documentElement;
    if (busy)
      root.dataset.busy = 'yes';
    else
      delete root.dataset.busy;
    for (const id of ['download-gpx', 'analyze', 'save', 'backup', 'cancel'])
      $(id).disabled = busy;
    $('download-track').disabled = busy || !state.selected;
    $('confirm').disabled = busy || Boolean(state.pending_save?.backup_needed);
    for (const input of $('settings').elements)
      input.disabled = busy;
    show_progress(busy ? key : null);
  }

  function show_progress(key, values = []) {
    const text = key && texts.progress[key];
    $('progress').textContent = text ? text(state.name, ...values) : '';
  }
  tool.on_progress = (key, values) => {
    if (document.documentElement.dataset.busy)
      show_progress(key, values);
  };

  // A message of the tool, naming the data file by the owner's name for it.
  const tool_message = (bytes, typed) =>
    tool_text(bytes, typed).replaceAll(`'${data_name}'`, `'${state.name}'`);

  function show_message(text) {
    $('message').textContent = text;
  }

  function save_message(text, failed) {
    $('save-message').textContent = text;
    $('save-message').classList.toggle('failed', Boolean(failed));
  }

  function offer(data, name, type) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(data instanceof Blob ? data : new Blob([data], { type }));
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  const pad = (n) => String(n).padStart(2, '0');
  // A time as the engine gives it ("2008-08-17 06:12:05"), or none.
  const show_time = (t) => t ?? texts.no_time;
  function duration(track) {
    const a = Math.abs(track.seconds);
    return `${track.seconds < 0 ? '-' : ''}${Math.floor(a / 3600)}:${pad(Math.floor(a / 60) % 60)}:${pad(a % 60)}`;
  }

  function show_summary(scan) {
    const table = $('summary');
    table.replaceChildren();
    const values = [scan.points, scan.tracks.length, scan.pushes,
      show_time(scan.first_time), show_time(scan.last_time)];
    texts.summary.forEach((name, i) => {
      const row = table.insertRow();
      row.insertCell().textContent = name;
      row.insertCell().textContent = values[i];
    });
  }

  const track_colour = (i) => `hsl(${(i * 137.508) % 360} 75% 40%)`;

  // All tracks, equirectangular around the middle latitude; the selected one
  // drawn on top and wider. The canvas is an unaccelerated one (asked for as
  // one read often): WebKit's accelerated canvas keeps what it built for every
  // stroked segment, some 500 MB for a full device's million points, where
  // the 800 by 600 pixels take 2 MB. A point on the pixel of the last one
  // drawn adds nothing to the picture and is left out of the path.
  function draw() {
    const canvas = $('drawing');
    const scan = state.scan;
    const g = canvas.getContext('2d', { willReadFrequently: true });
    g.clearRect(0, 0, canvas.width, canvas.height);
    const xy = scan.drawing;
    if (!xy.length)
      return;
    let min_x = Infinity, max_x = -Infinity, min_y = Infinity, max_y = -Infinity;
    for (let i = 0; i < xy.length; i += 2) {
      min_x = Math.min(min_x, xy[i]);
      max_x = Math.max(max_x, xy[i]);
      min_y = Math.min(min_y, xy[i + 1]);
      max_y = Math.max(max_y, xy[i + 1]);
    }
    const squeeze = Math.cos((min_y + max_y) / 2 * Math.PI / 180);
    const margin = 10;
    const scale = Math.min((canvas.width - 2 * margin) / Math.max((max_x - min_x) * squeeze, 1e-9),
      (canvas.height - 2 * margin) / Math.max(max_y - min_y, 1e-9));
    const px = (x) => margin + (x - min_x) * squeeze * scale;
    const py = (y) => canvas.height - margin - (y - min_y) * scale;
    const stroke = (t, i, width) => {
      const from = Math.ceil(t.first / scan.stride);
      const to = Math.ceil((t.first + t.count) / scan.stride);
      g.beginPath();
      g.strokeStyle = track_colour(i);
      g.lineWidth = width;
      let x = 0;
      let y = 0;
      let pixels = 0;
      for (let k = from; k < to; ++k) {
        const next_x = px(xy[2 * k]);
        const next_y = py(xy[2 * k + 1]);
        if (pixels && Math.round(next_x) === Math.round(x) && Math.round(next_y) === Math.round(y))
          continue;
        (pixels++ ? g.lineTo : g.moveTo).call(g, next_x, next_y);
        x = next_x;
        y = next_y;
      }
      if (pixels === 1)
        g.rect(x - 1, y - 1, 2, 2);
      g.stroke();
    };
    // The push log points first, small, each on the side of the meridian
    // where the tracks are drawn: the tracks lie on top of them.
    g.fillStyle = '#000';
    const w = scan.wpt_xy;
    const step = Math.max(1, Math.floor(w.length / 2 / 100000)) * 2;
    const middle = (min_x + max_x) / 2;
    for (let i = 0; i < w.length; i += step) {
      const x = w[i] + 360 * Math.round((middle - w[i]) / 360);
      g.fillRect(px(x) - 1.5, py(w[i + 1]) - 1.5, 3, 3);
    }
    g.globalAlpha = state.selected ? 0.35 : 1;
    scan.tracks.forEach((t, i) => stroke(t, i, 1.5));
    g.globalAlpha = 1;
    if (state.selected)
      stroke(state.selected, state.selected.number - 1, 4);
  }

  function show_tracks(scan) {
    const head = $('tracks').tHead;
    head.replaceChildren();
    const header = head.insertRow();
    for (const name of texts.track_columns) {
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = name;
      header.append(th);
    }
    const body = $('tracks').tBodies[0];
    body.replaceChildren();
    for (const t of scan.tracks) {
      const row = body.insertRow();
      row.tabIndex = t.number === 1 ? 0 : -1;
      row.setAttribute('aria-selected', 'false');
      row.style.borderLeft = `6px solid ${track_colour(t.number - 1)}`;
      [t.number, show_time(t.start), show_time(t.end), duration(t), t.count, t.km.toFixed(2),
        t.pushes].forEach((value, i) => {
        const cell = row.insertCell();
        cell.textContent = value;
        cell.dataset.label = texts.track_columns[i];
      });
      const choose = () => select_track(t, row);
      row.addEventListener('click', choose);
      row.addEventListener('keydown', (e) => {
        if (e.key === 'Enter' || e.key === ' ') {
          e.preventDefault();
          choose();
        } else if (e.key in row_moves) {
          e.preventDefault();
          const rows = body.rows;
          const to = rows[Math.max(0, Math.min(rows.length - 1, row_moves[e.key](row.sectionRowIndex, rows.length)))];
          row.tabIndex = -1;
          to.tabIndex = 0;
          to.focus();
        }
      });
    }
    $('drawing').setAttribute('aria-label', texts.drawing_label(scan.tracks.length, scan.pushes));
    state.selected = null;
    $('download-track').disabled = true;
    draw();
  }

  // The table is one Tab stop: the arrow keys, Home and End move among its
  // rows, Enter or Space chooses one.
  const row_moves = { ArrowDown: (i) => i + 1, ArrowUp: (i) => i - 1, Home: () => 0,
    End: (i, n) => n - 1, PageDown: (i) => i + 10, PageUp: (i) => i - 10 };

  function select_track(track, row) {
    for (const r of $('tracks').tBodies[0].rows)
      r.setAttribute('aria-selected', String(r === row));
    state.selected = track;
    $('download-track').disabled = Boolean(document.documentElement.dataset.busy);
    draw();
  }

  // What each option accepts and the value stored in the block, as the
  // engine reads them from the tool's option table (trekdump_settings): the
  // valid values, a number's range, the listed words. A word field whose
  // stored value no word stores starts empty.
  function learn_settings(settings) {
    const by_name = new Map(settings.map((s) => [s.name, s]));
    for (const f of setting_fields) {
      const s = by_name.get(f.name);
      Object.assign(f, { kind: s.kind, valid: s.valid, range: s.range, words: s.words,
        initial: s.value });
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

  function build_form() {
    const form = $('settings');
    form.replaceChildren();
    for (const f of setting_fields) {
      const input = field_input(f);
      input.name = f.name;
      input.id = `field-${f.name}`;
      f.input = input;
      f.edited = false;
      const mark = () => {
        f.edited = true;
        drop_pending_save();
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
      form.append(label, cell);
    }
  }

  // Opens the file chosen or dropped, or, while a write is in progress, keeps
  // it (the last one) to be opened once the write has finished.
  function choose(file, handle = null) {
    if (state.writing) {
      state.queued = { file, handle };
      save_message(texts.queued(file.name));
      return;
    }
    open_file(file, handle);
  }

  async function open_file(file, handle = null) {
    const generation = ++state.generation;
    tool.cancel();
    Object.assign(state, { name: file.name, file, handle, block: null, size: file.size,
      suspect: '', scan: null, listing: '', selected: null, pending_save: null });
    $('opened').hidden = true;
    $('changes').hidden = true;
    show_message('');
    save_message('');
    set_busy(true, 'reading');
    try {
      let r;
      try {
        // Read here and handed over: WebKit's workers cannot read a File
        // made on the page. The block is kept to compare before a write.
        const bytes = await file.arrayBuffer();
        check_current(generation);
        state.block = new Uint8Array(bytes.slice(0, block_size));
        state.size = bytes.byteLength;
        r = await tool.call({ op: 'open', bytes }, [bytes]);
      } catch (e) {
        if (e instanceof Superseded)
          throw new Stale();
        if (/memory|allocation|Array buffer|OOM/i.test(String(e)))
          throw new Error(texts.out_of_memory(file.name, Math.round(file.size / 1e6)));
        throw e;
      }
      check_current(generation);
      const findings = suspect_findings(r);
      state.suspect = findings.length ? texts.suspect(file.name, findings) : '';
      show_message([tool_message(r.stderr), state.suspect].filter(Boolean).join('\n'));
      if (r.status !== 0)
        return;
      state.scan = r.scan;
      state.listing = cp850(r.stdout);
      $('listing').textContent = state.listing;
      show_summary(r.scan);
      $('analysis').hidden = true;
      $('opened').hidden = false;
      show_tracks(r.scan);
      learn_settings(r.settings);
      build_form();
    } catch (e) {
      if (e instanceof Stale || e instanceof Superseded)
        return;
      show_message(e.message?.startsWith(file.name) ? e.message : texts.failed(e.message ?? e));
    } finally {
      if (generation === state.generation)
        set_busy(false);
    }
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

  async function download_gpx() {
    const scan = state.scan;
    if (scan.size > gpx_size_limit)
      return show_message(texts.gpx_too_large(state.name, Math.round(scan.size / 1e6)));
    offer(await tool.call({ op: 'gpx' }), 'tracks.gpx');
  }

  // The track alone, as the engine writes it: its bounds, the push log
  // points recorded in it and the track, numbered as in the whole export.
  async function download_track() {
    const t = state.selected;
    offer(await tool.call({ op: 'track', first: t.first, count: t.count }), `track-${t.number}.gpx`);
  }

  async function analyze() {
    const r = await run(['--analyze', data_name], { [data_name]: 'opened' });
    show_message(tool_message(r.stderr));
    const shown = $('analysis');
    shown.hidden = r.status !== 0;
    shown.textContent = r.stdout.length ? cp850(r.stdout) : texts.no_unknown_values;
  }

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
    state.pending_save = null;
    $('changes').hidden = true;
  }

  // Save, first step: the tool's run on the opened block with the options of
  // the edited fields and --conf gives both the new block and its listing,
  // whose changed lines are shown for confirmation.
  async function save() {
    const generation = state.generation;
    const changed = setting_fields.filter((f) => f.edited && !(f.words && f.value() === ''));
    const typed = changed.map((f) => f.value());
    const args = changed.map((f) => `--${f.name}=${f.value()}`);
    drop_pending_save();
    save_message('');
    for (const f of setting_fields) {
      f.error.textContent = '';
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
          changed[i].error.textContent = tool_message(alone.stderr, typed);
          changed[i].input.setAttribute('aria-invalid', 'true');
          state.focus_next = changed[i].input;
          break;
        }
      }
      return;
    }
    const block = r.files[data_name];
    if (block?.length !== block_size)
      throw new Error(texts.no_new_block);
    const lines = changed_lines(state.listing, tool_text(r.stdout, typed));
    $('changes-intro').textContent = (lines.length ? texts.changes_intro : texts.no_changes)(state.name);
    $('changes-lines').textContent = lines.map(([a, b]) => `${a}  →  ${b}`).join('\n');
    $('changes-lines').hidden = !lines.length;
    const write_back = Boolean(state.handle?.createWritable);
    state.pending_save = { block, generation, backup_needed: write_back, suspect_confirmed: false };
    $('backup').hidden = !write_back;
    $('confirm').textContent = write_back ? texts.confirm_write(state.name) : texts.confirm_download;
    $('changes').hidden = false;
    state.focus_next = $('changes');
    if (write_back)
      save_message(texts.backup_first);
  }

  const same_bytes = (a, b) => a.length === b.length && a.every((x, i) => x === b[i]);

  class Changed extends Error {}

  // A file's bytes read again. The browser refuses to read a File once its
  // file has changed on disk (NotReadableError): that is a change too.
  function read_again(file) {
    return file.arrayBuffer().then((bytes) => new Uint8Array(bytes), (e) => {
      throw e?.name === 'NotReadableError' ? new Changed() : e;
    });
  }

  // Whether the file, as it is now, has the length the page opened and the
  // block given (by default the block opened).
  async function unchanged(file, block = state.block) {
    const now = await read_again(file.slice(0, block_size));
    return file.size === state.size && same_bytes(now, block);
  }

  // The backup is the file's bytes read now and found as opened; one that
  // cannot be made keeps Confirm locked, with the reason.
  async function backup() {
    const pending = state.pending_save;
    try {
      const bytes = await read_again(state.file);
      if (bytes.length !== state.size || !same_bytes(bytes.subarray(0, block_size), state.block))
        throw new Changed();
      offer(bytes, `backup-${state.name}`, 'application/octet-stream');
    } catch (e) {
      save_message(texts.backup_failed(state.name, e instanceof Changed ? texts.changed(state.name) :
        e.message ?? e), true);
      return;
    }
    if (pending && pending === state.pending_save) {
      pending.backup_needed = false;
      save_message('');
      state.focus_next = $('confirm');
    }
  }

  // The new block written at its offset into the file, the rest of the file
  // kept: only when the file still has the length and the block it was
  // opened with, and read back afterwards. Resolves to the file as written.
  async function write_block(handle, block) {
    const mode = { mode: 'readwrite' };
    if (handle.queryPermission && await handle.queryPermission(mode) !== 'granted' &&
        await handle.requestPermission(mode) !== 'granted')
      throw new Error(texts.permission_denied);
    // The writer works on a copy of the file taken here: a change made before
    // the comparison below is seen by it.
    const writable = await handle.createWritable({ keepExistingData: true });
    try {
      if (!await unchanged(await handle.getFile()))
        throw new Changed();
      await writable.write({ type: 'write', position: 0, data: block });
    } catch (e) {
      await writable.abort().catch(() => {});
      throw e;
    }
    await writable.close();
    const file = await handle.getFile();
    if (!await unchanged(file, block))
      throw new Error(texts.read_back_differs);
    return file;
  }

  // Save, second step: the block written into the opened file where the
  // browser allows it, else the new data file offered as a download. A file
  // that does not look like a data file asks for a second confirmation.
  // Files chosen meanwhile wait for the write; the last one is opened after
  // it, else the file as written.
  async function confirm_save() {
    const pending = state.pending_save;
    if (!pending || pending.generation !== state.generation || pending.backup_needed)
      return;
    const { name, file, handle } = state;
    if (state.suspect && !pending.suspect_confirmed) {
      pending.suspect_confirmed = true;
      $('confirm').textContent = texts.confirm_suspect(name);
      save_message(state.suspect, true);
      state.focus_next = $('confirm');
      return;
    }
    drop_pending_save();
    if (!handle?.createWritable) {
      try {
        if (!await unchanged(file))
          throw new Changed();
        offer(new Blob([pending.block, file.slice(block_size)]), data_name, 'application/octet-stream');
        save_message(texts.downloaded);
      } catch (e) {
        save_message(e instanceof Changed ? texts.changed(name) : texts.failed(e.message ?? e), true);
      }
      state.focus_next = $('save-message');
      return;
    }
    show_progress('writing');
    state.writing = true;
    let result = texts.written(name);
    let written = null;
    try {
      written = await write_block(handle, pending.block);
    } catch (e) {
      result = e instanceof Changed ? texts.changed(name) : texts.write_failed(name, e.message ?? e);
    } finally {
      state.writing = false;
    }
    const next = state.queued ?? (written && { file: written, handle });
    state.queued = null;
    if (next)
      await open_file(next.file, next.handle);
    save_message(result, !written);
    $('save-message').focus();
  }

  // Runs one action at a time, with its progress line; the root element
  // carries data-busy meanwhile and the actions are disabled. Afterwards the
  // focus goes to state.focus_next, where the action set one.
  function action(fn, key) {
    return async (...args) => {
      if (document.documentElement.dataset.busy)
        return;
      const generation = state.generation;
      set_busy(true, key);
      let focus = null;
      try {
        await fn(...args);
      } catch (e) {
        if (!(e instanceof Stale || e instanceof Superseded))
          show_message(texts.failed(e.message ?? e));
      } finally {
        if (generation === state.generation && document.documentElement.dataset.busy) {
          set_busy(false);
          focus = state.focus_next;
        }
        state.focus_next = null;
      }
      focus?.focus();
    };
  }

  function start() {
    for (const element of document.querySelectorAll('[data-text]'))
      element.textContent = texts[element.dataset.text];
    const input = $('data-file');
    input.addEventListener('change', () => input.files[0] && choose(input.files[0]));
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
    $('download-gpx').addEventListener('click', action(download_gpx, 'exporting'));
    $('download-track').addEventListener('click', action(download_track, 'exporting'));
    $('analyze').addEventListener('click', action(analyze, 'analyzing'));
    $('save').addEventListener('click', action(save, 'checking'));
    $('backup').addEventListener('click', action(backup, 'backing_up'));
    $('confirm').addEventListener('click', action(confirm_save, 'writing'));
    $('cancel').addEventListener('click', drop_pending_save);
    tool.start();
  }

  if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', start);
  else
    start();
})();
