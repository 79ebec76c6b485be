// The page: every action is one run of the tool's own main in a new module
// instance, on an in-memory folder that holds the opened data file. The page
// builds argument lists and shows or offers what the runs wrote; whatever the
// tool refuses, it shows in the tool's own words.
(function () {
  'use strict';

  const folder = '/files';
  const data_name = 'NVPIPE.DAT';

  // Runs the tool with args (the words after the program name) on files
  // (name to Uint8Array). Resolves to the exit status, both streams byte for
  // byte, and every file of the folder afterwards.
  async function run(args, files = {}) {
    const stdout = [];
    const stderr = [];
    let status = null;
    const module_options = {
      thisProgram: 'trekdump',
      onExit: (code) => { status = code; },
      // Byte callbacks: the streams arrive exactly as written, not by lines.
      // Standard input is empty.
      preRun: [() => module_options.FS.init(() => null, (b) => stdout.push(b & 0xff),
                                            (b) => stderr.push(b & 0xff))],
    };
    const module = await create_trekdump(module_options);
    const fs = module.FS;
    fs.mkdir(folder);
    for (const [name, bytes] of Object.entries(files))
      fs.writeFile(`${folder}/${name}`, bytes);
    fs.chdir(folder);
    const returned = module.callMain(args.map(String));
    const out_files = {};
    for (const name of fs.readdir(folder)) {
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

  window.trekdump = { run };

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

  // The settings form: one field for each setting option that takes a value,
  // with the label of its line in the listing, from which it is pre-filled.
  const setting_fields = [
    ['set-log-mode', 'Log mode', 'Log-Modus'],
    ['set-userdefined-log-mode', 'User-defined log mode', 'benutzerdef. Log-Modus'],
    ['set-device-zone', 'Time zone (hours, or hours:minutes)', 'Zeitzone'],
    ['set-system-unit', 'Units', 'Maßeinheiten'],
    ['set-contrast', 'Contrast', 'Kontrast'],
    ['set-backlight-time', 'Backlight time (s)', 'Hintergrundbeleuchtung'],
    ['set-shake-mode', 'Shake mode', 'Shake-Modus'],
    ['set-shake-mode-time', 'Shake mode time (min)', 'Shake-Modus-Zeit'],
    ['set-password', 'Password', 'Passwort'],
    ['clear-memory', 'Clear memory at next start', 'Speicher leeren'],
    ['set-userdefined-time-interval', 'Time interval (s)', 'Zeitintervall'],
    ['set-userdefined-distance-interval', 'Distance interval (m)', 'Entfernungsintervall'],
    ['set-userdefined-heading-change', 'Heading change (°)', 'Richtungswechsel'],
    ['set-userdefined-highest-speed', 'Highest speed (km/h)', 'höchste Geschwindigkeit'],
    ['set-userdefined-high-speed', 'High speed (km/h)', 'hohe Geschwindigkeit'],
    ['set-userdefined-middle-speed', 'Middle speed (km/h)', 'mittlere Geschwindigkeit'],
    ['set-userdefined-low-speed', 'Low speed (km/h)', 'niedrige Geschwindigkeit'],
    ['set-userdefined-lowest-speed', 'Lowest speed (km/h)', 'niedrigste Geschwindigkeit'],
    ['set-userdefined-highest-speed-interval', 'Interval, high to highest speed (s)',
     'Logintervall hohe-höchste Geschwindigkeit'],
    ['set-userdefined-high-speed-interval', 'Interval, middle to high speed (s)',
     'Logintervall mittlere-hohe Geschwindigkeit'],
    ['set-userdefined-middle-speed-interval', 'Interval, low to middle speed (s)',
     'Logintervall niedrige-mittlere Geschwindigkeit'],
    ['set-userdefined-low-speed-interval', 'Interval, lowest to low speed (s)',
     'Logintervall niedrigste-niedrige Geschwindigkeit'],
    ['set-gps-mode', 'GPS mode', 'GPS-Modus'],
    ['set-sbas', 'SBAS', 'SBAS'],
    ['set-fix-mode', 'Fix mode', 'Fix-Modus'],
    ['set-2d-fix-altitude', 'Altitude for 2D fixes (cm)', '2D-Höhe'],
    ['set-initial-min-svs', 'Initial minimum of satellites', 'initiale minimale SVs'],
    ['set-initial-min-strength', 'Initial minimum signal strength (dBHz)',
     'initiale Signalmindeststärke'],
    ['set-navigation-min-strength', 'Navigation minimum signal strength (dBHz)',
     'Navigations-Signalmindeststärke'],
    ['set-pdop-mask', 'PDOP mask', 'PDOP-Mask'],
    ['set-tdop-mask', 'TDOP mask', 'TDOP-Mask'],
    ['set-p-accuracy-mask', 'Position accuracy mask (m)', 'P-Accuracy-Mask'],
    ['set-t-accuracy-mask', 'Time accuracy mask (m)', 'T-Accuracy-Mask'],
  ].map(([name, label, listing]) => ({ name, label, listing }));

  // A value no option accepts (beyond every range, no keyword, no letter):
  // the tool answers it with the option's valid values.
  const probe_value = '-2147483649';

  const $ = (id) => document.getElementById(id);
  const opened = { bytes: null };
  let valid_values_known = false;

  const run_on_file = (args) => run([...args, data_name], { [data_name]: opened.bytes });

  function show_message(bytes) {
    $('message').textContent = bytes ? cp850(bytes) : '';
  }

  function offer(bytes, name, type) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type }));
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  // The listing's lines "label: value", by label.
  function listing_values(listing) {
    const values = {};
    for (const line of listing.split('\n')) {
      const colon = line.indexOf(': ');
      if (colon > 0 && !(line.slice(0, colon) in values))
        values[line.slice(0, colon)] = line.slice(colon + 2);
    }
    return values;
  }

  function summary_rows(gpx) {
    const doc = new DOMParser().parseFromString(new TextDecoder().decode(gpx), 'application/xml');
    const all = (tag) => doc.getElementsByTagName(tag);
    const points = all('trkpt');
    const time = (point) => {
      const text = point?.getElementsByTagName('time')[0]?.textContent;
      return text ? text.replace('T', ' ').replace('Z', ' UTC') : '–';
    };
    return [
      ['Points', points.length],
      ['Tracks', all('trk').length],
      ['Push log points', all('wpt').length],
      ['First time', time(points[0])],
      ['Last time', time(points[points.length - 1])],
    ];
  }

  function show_summary(gpx) {
    const table = $('summary');
    table.replaceChildren();
    for (const [name, value] of summary_rows(gpx)) {
      const row = table.insertRow();
      row.insertCell().textContent = name;
      row.insertCell().textContent = value;
    }
  }

  // What each option accepts, in the tool's words: a range "low-high", a
  // list of words, another form (the zone), or anything (null).
  async function learn_valid_values() {
    for (const field of setting_fields) {
      const r = await run_on_file([`--${field.name}=${probe_value}`]);
      const second_line = cp850(r.stderr).split('\n')[1] ?? '';
      field.valid = r.status ? second_line.replace(/^valid values: /, '') : null;
      const range = /^(-?\d+(?:\.\d+)?)-(-?\d+(?:\.\d+)?)$/.exec(field.valid ?? '');
      field.range = range && { min: range[1], max: range[2], step: range[1].includes('.') ? '0.1' : '1' };
      field.words = !range && field.valid?.includes(', ') ? field.valid.split(', ') : null;
    }
    valid_values_known = true;
  }

  // The current word of each word field: the one whose listing line, after a
  // run that sets it, equals the file's own line (an unknown value has none).
  async function find_current_words(file_values) {
    const word_fields = setting_fields.filter((f) => f.words);
    const rounds = Math.max(...word_fields.map((f) => f.words.length));
    for (let k = 0; k < rounds; ++k) {
      const probed = word_fields.filter((f) => k < f.words.length);
      const r = await run_on_file([...probed.map((f) => `--${f.name}=${f.words[k]}`), '--conf']);
      const values = listing_values(cp850(r.stdout));
      for (const f of probed)
        if (f.initial === '' && values[f.listing] === file_values[f.listing])
          f.initial = f.words[k];
    }
  }

  async function prefill(listing) {
    const values = listing_values(listing);
    for (const f of setting_fields) {
      const shown = values[f.listing] ?? '';
      if (f.range)
        f.initial = /^-?\d+(\.\d+)?/.exec(shown)?.[0] ?? '';
      else if (f.words)
        f.initial = '';
      else
        f.initial = shown.replace(/^UTC/, '');  // the zone is listed as UTC+hh:mm
    }
    await find_current_words(values);
  }

  // A switch for the words on/off or yes/no, when the file's value is one of them.
  const switch_pairs = [['on', 'off'], ['yes', 'no']];
  const switch_words = (f) => f.words?.length === 2 && f.initial &&
    switch_pairs.find((pair) => pair.every((word) => f.words.includes(word)));

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
        input.add(new Option(word || 'unknown value (unchanged)', word));
    } else {
      input = document.createElement('input');
      input.type = f.range ? 'number' : 'text';
      if (f.range)
        Object.assign(input, f.range);
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
      const label = document.createElement('label');
      label.htmlFor = input.id;
      label.textContent = f.label;
      const cell = document.createElement('div');
      const hint = document.createElement('span');
      hint.className = 'hint';
      hint.textContent = f.valid && !f.words ? f.valid : '';
      f.error = document.createElement('span');
      f.error.className = 'error';
      cell.append(input, hint, f.error);
      form.append(label, cell);
    }
  }

  async function open_file(file) {
    opened.bytes = new Uint8Array(await file.arrayBuffer());
    const r = await run_on_file(['--conf', '--read=tracks.gpx']);
    show_message(r.stderr);
    $('opened').hidden = r.status !== 0;
    if (r.status !== 0)
      return;
    const listing = cp850(r.stdout);
    $('listing').textContent = listing;
    show_summary(r.files['tracks.gpx']);
    $('analysis').hidden = true;
    $('saved').hidden = true;
    if (!valid_values_known)
      await learn_valid_values();
    await prefill(listing);
    build_form();
  }

  async function download_gpx() {
    const r = await run_on_file(['--read=tracks.gpx']);
    show_message(r.stderr);
    if (r.status === 0)
      offer(r.files['tracks.gpx'], 'tracks.gpx', 'application/gpx+xml');
  }

  async function analyze() {
    const r = await run_on_file(['--analyze']);
    show_message(r.stderr);
    const shown = $('analysis');
    shown.hidden = r.status !== 0;
    shown.textContent = r.stdout.length ? cp850(r.stdout) : 'No unknown values found.';
  }

  async function save() {
    const changed = setting_fields.filter((f) => f.value() !== f.initial);
    const args = changed.map((f) => `--${f.name}=${f.value()}`);
    for (const f of setting_fields)
      f.error.textContent = '';
    const r = await run_on_file(args);
    show_message(r.stderr);
    $('saved').hidden = r.status !== 0;
    if (r.status === 0) {
      offer(r.files[data_name], data_name, 'application/octet-stream');
      return;
    }
    // The tool stops at the first value it rejects, and may name the option
    // by its letter: the field is the first that the tool rejects alone.
    for (let i = 0; i < changed.length; ++i) {
      const alone = await run_on_file([args[i]]);
      if (alone.status !== 0) {
        changed[i].error.textContent = cp850(alone.stderr);
        break;
      }
    }
  }

  // Runs one action at a time; the root element carries data-busy meanwhile.
  function action(fn) {
    return async (...args) => {
      const root = document.documentElement;
      if (root.dataset.busy)
        return;
      root.dataset.busy = 'yes';
      try {
        await fn(...args);
      } catch (e) {
        $('message').textContent = String(e);
      } finally {
        delete root.dataset.busy;
      }
    };
  }

  function start() {
    const open = action(open_file);
    $('data-file').addEventListener('change', (e) => e.target.files[0] && open(e.target.files[0]));
    const drop = $('drop');
    document.addEventListener('dragover', (e) => {
      e.preventDefault();
      drop.classList.add('over');
    });
    document.addEventListener('dragleave', () => drop.classList.remove('over'));
    document.addEventListener('drop', (e) => {
      e.preventDefault();
      drop.classList.remove('over');
      if (e.dataTransfer.files[0])
        open(e.dataTransfer.files[0]);
    });
    $('download-gpx').addEventListener('click', action(download_gpx));
    $('analyze').addEventListener('click', action(analyze));
    $('save').addEventListener('click', action(save));
  }

  if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', start);
  else
    start();
})();
