// Drives the browser page in Chromium, Firefox and WebKitGTK and compares
// every byte it produces with the native tool's: the end-to-end command lines
// through window.trekdump.run, then the page's own controls on the sample data
// file, and in Chromium the write-back into a file of the origin's own file
// system. Usage: node page_test.mjs NATIVE_BUILD PAGE_HTML CASE_FOLDER
// [ENGINE...] (default chromium firefox webkit)
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import util from 'node:util';
import http from 'node:http';
import { createRequire } from 'node:module';
import { catch_downloads, launch } from './engines.mjs';

const [native_build, page_html, case_folder] = process.argv.slice(2, 5).map((p) => path.resolve(p));
const engines = process.argv.length > 5 ? process.argv.slice(5) : ['chromium', 'firefox', 'webkit'];
const tool = path.join(native_build, 'trekdump');
const image = (name) => fs.readFileSync(path.join(case_folder, `${name}.DAT`));
const sample = fs.readFileSync(path.join(native_build, 'NVPIPE.DAT'));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'trekdump-web-'));

// The end-to-end cases' command lines, each on the data file NVPIPE.DAT made
// from the named image (plus further files where given).
const x200k = Buffer.alloc(200000, 'x');
const cases = [
  ...[[], ['--conf'], ['--help'], ['NVPIPE.DAT'], ['--help', 'NVPIPE.DAT'],
    ['NVPIPE.DAT', '--bogus'], ['NVPIPE.DAT', '--conf=yes'], ['NVPIPE.DAT', '--set'],
    ['NVPIPE.DAT', '-x'], ['NVPIPE.DAT', '--set-contrast'], ['NVPIPE.DAT', '-wxb'],
    ['--bogus=1', 'NVPIPE.DAT'], ['--set=1', 'NVPIPE.DAT'], ['NVPIPE.DAT', '-z'],
    ['--conf', 'missing.dat'], ['--conf', 'NVPIPE.DAT', '--analyze'],
    ['NVPIPE.DAT', '--conf', 'ignored-word'], ['-R', 'out.gpx', 'NVPIPE.DAT'],
    ['--', '--conf', 'NVPIPE.DAT'], ['--co', '--ana', 'NVPIPE.DAT'],
  ].map((args) => ({ image: 'one_point', args })),
  { image: 'one_point', args: ['-'], files: { '-': 'one_point' } },
  { image: 'short', args: ['--conf', 'NVPIPE.DAT'] },
  { image: 'block_only', args: ['NVPIPE.DAT'] },
  ...[['-w', '-b'], ['--log-mode-car', '--set-log-mode=w'], ['--set-log-mode=car', '-u'],
    ['--set-contrast=170', '--set-contrast', '245'], ['-z', '-5', '--set-device-zone=5:30'],
    ['--set-device-zone', '-5'], ['-e', '-s', 'off'], ['--disable-sbas', '--set-sbas=on'],
    ['-Dn', '--clear-memory'], ['--clear-memory', '-Dn'], ['--set-password=abcdefghijkl'],
    ['--set-password=abc', '--unset-password'], ['--set-contrast=169'], ['--set-co=246'],
    ['-w', '--set-contrast=200', '--set-password=new', '--set-shake-mode-time=0'],
    ['--help', '--set-gps-mode=lo'], ['--set-device-zone=15:00', '--help'], ['-z', '5:75'],
    ['--conf', '--set-device-zone=-5:75'], ['-Dmaybe'], ['--read=out.gpx', '--set-pdop-mask=-0.1'],
    ['--set-initial-min-svs=256'], ['--set-shake-mode='], ['--set-2d-fix-altitude=4294967296'],
    ['--set-log-mode=user', '-Dy', '--set-device-zone=-3:30', '--set-shake-mode=on', '-t', '120',
      '-vmixed', '--set-contrast=245', '--set-imperial-system', '--set-backlight-time=255',
      '--set-userdefined-time-interval=65535', '--set-userdefined-distance-interval=5000',
      '--set-userdefined-heading-change=179', '--set-userdefined-highest-speed=2000',
      '--set-userdefined-high-speed=1999', '--set-userdefined-middle-speed=1998',
      '--set-userdefined-low-speed=1997', '--set-userdefined-lowest-speed=1996',
      '--set-userdefined-highest-speed-interval=3600', '--set-userdefined-high-speed-interval=3599',
      '--set-userdefined-middle-speed-interval=3598', '--set-userdefined-low-speed-interval=3597',
      '--set-initial-min-svs=255', '--set-fix-mode=3d', '--set-2d-fix-altitude=1800000',
      '--set-initial-min-strength=64', '--set-navigation-min-strength=63', '--set-pdop-mask=2.55',
      '--set-tdop-mask=1000', '--set-p-accuracy-mask=65535', '--set-t-accuracy-mask=65534',
      '--disable-sbas', '-gfast'],
  ].map((args) => ({ image: 'two_points', args: [...args, 'NVPIPE.DAT'] })),
  ...['export_log', 'export_log_cut', 'empty_log', 'no_log_area'].map(
    (name) => ({ image: name, args: ['--read', 'NVPIPE.DAT'] })),
  ...[['--read=out.gpx'], ['-Rout.gpx'], ['--read=-'], ['--read=gone.gpx', '--read=out.gpx'],
    ['--read=out.gpx', '--read'], ['--read', '--conf'], ['--read', '-A'],
    ['--read', '--analyze', '--conf'], ['--read=out.gpx', '--conf'],
    ['--conf', '--read=NVPIPE.DAT'], ['--conf', '--read=./NVPIPE.DAT'],
    ['--read=missing/out.gpx'], ['--read=.'],
  ].map((args) => ({ image: 'export_log', args: [...args, 'NVPIPE.DAT'],
    files: { 'out.gpx': x200k, '-': x200k } })),
  ...[['--conf'], ['-C'], ['--set-contrast=200', '-H', '--conf'],
    ['--set-contrast=210', '-z', '-3:30', '--log-mode-car', '--conf', '--set-password=neu',
      '--set-pdop-mask=2.5', '--set-fix-mode=2d', '--disable-sbas'],
  ].map((args) => ({ image: 'every_field', args: [...args, 'NVPIPE.DAT'] })),
  ...[['--read=out.gpx', '--analyze'], ['--read=NVPIPE.DAT', '--analyze'], ['--analyze']].map(
    (args) => ({ image: 'unknown_values', args: [...args, 'NVPIPE.DAT'] })),
  { image: 'unknown_log_mode', args: ['--analyze', '--conf', 'NVPIPE.DAT'] },
];

// The files of a case by name, as bytes.
function case_files(c) {
  const files = { 'NVPIPE.DAT': image(c.image) };
  for (const [name, from] of Object.entries(c.files ?? {}))
    files[name] = typeof from === 'string' ? image(from) : from;
  return files;
}

// The native tool on the files in a fresh folder: status, streams, files after.
function run_native(args, files) {
  const dir = fs.mkdtempSync(path.join(scratch, 'native-'));
  for (const [name, bytes] of Object.entries(files))
    fs.writeFileSync(path.join(dir, name), bytes);
  const env = { ...process.env, LC_ALL: 'C' };
  delete env.POSIXLY_CORRECT;
  const r = spawnSync(tool, args, { cwd: dir, env, argv0: 'trekdump', stdio: ['ignore', 'pipe', 'pipe'] });
  const after = {};
  for (const name of fs.readdirSync(dir).sort())
    if (fs.statSync(path.join(dir, name)).isFile())
      after[name] = fs.readFileSync(path.join(dir, name)).toString('base64');
  return { status: r.status, stdout: r.stdout.toString('base64'), stderr: r.stderr.toString('base64'), files: after };
}

// The same run through window.trekdump.run, in the same form.
function run_page(engine, args, files) {
  const encoded = Object.fromEntries(Object.entries(files).map(([n, b]) => [n, b.toString('base64')]));
  return engine.evaluate(async (args, encoded) => {
    const decode = (text) => Uint8Array.from(atob(text), (ch) => ch.charCodeAt(0));
    const encode = (bytes) => btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(''));
    const files = Object.fromEntries(Object.entries(encoded).map(([n, t]) => [n, decode(t)]));
    const r = await window.trekdump.run(args, files);
    const after = {};
    for (const name of Object.keys(r.files).sort())
      after[name] = encode(r.files[name]);
    return { status: r.status, stdout: encode(r.stdout), stderr: encode(r.stderr), files: after };
  }, args, encoded);
}

function native(args, files = { 'NVPIPE.DAT': sample }) {
  const r = run_native(args, files);
  const bytes = (text) => Buffer.from(text, 'base64');
  return { status: r.status, stdout: bytes(r.stdout), stderr: r.stderr && bytes(r.stderr),
    file: (name) => bytes(r.files[name]) };
}

const iconv = (bytes) => spawnSync('iconv', ['-f', 'CP850', '-t', 'UTF-8'], { input: bytes }).stdout.toString();
// The GPX 1.1 schema where the native tests find it, beside the project.
const schema = process.env.GPX_SCHEMA ??
  path.resolve(path.dirname(new URL(import.meta.url).pathname), '../../../shared/schemas/gpx-1.1.xsd');
const validate = (file) => spawnSync('xmllint', ['--noout', '--schema', schema, file], { encoding: 'utf8' });

// The page's controls, driven from inside the page the same way in every
// engine: files handed to the chooser (or dropped) through a DataTransfer,
// values typed as input events, downloads caught (see catch_downloads).
function install_helpers() {
  const $ = (s) => document.querySelector(s);
  const file = (name, base64) => new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], name);
  const files = (list) => {
    const dt = new DataTransfer();
    for (const [name, base64] of list)
      dt.items.add(file(name, base64));
    return dt;
  };
  // The page's question on edits not yet saved, answered: discarded unless
  // keep_edits. Resolves to the question asked, or null.
  const answer = async (keep_edits) => {
    await new Promise((done) => setTimeout(done, 50));
    if (!$('#discard').open)
      return null;
    const question = $('#discard-question').textContent;
    $(keep_edits ? '#discard-no' : '#discard-yes').click();
    return question;
  };
  window.test = {
    async open(name, base64, keep_edits = false) {
      const input = $('#data-file');
      input.files = files([[name, base64]]).files;
      input.dispatchEvent(new Event('change'));
      return answer(keep_edits);
    },
    answer,
    // The chooser's button (where the page asks the browser's file picker).
    async choose_file(keep_edits = false) {
      $('#data-file').click();
      await answer(keep_edits);
    },
    async drop(list, keep_edits = false) {
      document.dispatchEvent(new DragEvent('drop', { dataTransfer: files(list), cancelable: true }));
      return answer(keep_edits);
    },
    async idle() {
      await new Promise((done) => setTimeout(done, 20));
      while (document.documentElement.dataset.busy)
        await new Promise((done) => setTimeout(done, 20));
    },
    text: (s) => $(s).textContent,
    // Types each value into its field (true/false ticks a box, a select
    // picks the word) and fires the events a user's edit fires.
    edit(changes) {
      for (const [name, value] of Object.entries(changes)) {
        const field = $(`#settings [name="${name}"]`);
        if (typeof value === 'boolean')
          field.checked = value;
        else
          field.value = value;
        field.dispatchEvent(new Event('input', { bubbles: true }));
        field.dispatchEvent(new Event('change', { bubbles: true }));
      }
    },
    click: (s) => $(s).click(),
    async downloads() {
      await new Promise((done) => setTimeout(done, 100));
      const all = await Promise.all(window.test_downloads);
      window.test_downloads = [];
      return all;
    },
  };
}
const b64 = (bytes) => Buffer.from(bytes).toString('base64');

// The native listing's lines that the options change, as the page shows them.
function changed_lines(args, file = sample) {
  const before = iconv(native(['--conf', 'NVPIPE.DAT'], { 'NVPIPE.DAT': file }).stdout).split('\n');
  const after = iconv(native([...args, '--conf', 'NVPIPE.DAT'], { 'NVPIPE.DAT': file }).stdout).split('\n');
  return before.flatMap((line, i) => (line === after[i] ? [] : [`${line}  →  ${after[i]}`])).join('\n');
}

// The tracks of the native export: points, first and last time of each.
function native_tracks(gpx) {
  return gpx.split('<trk>\n').slice(1).map((trk) => {
    const times = [...trk.matchAll(/<time>(.*)T(.*)Z<\/time>/g)].map((m) => `${m[1]} ${m[2]}`);
    return [String(times.length), times[0], times.at(-1)];
  });
}

// What trekdump.tracks gives of each track.
const track_fields = ['number', 'first', 'count', 'start', 'end', 'seconds', 'distance_m', 'moving_s',
  'paused_s', 'stops', 'average_kmh', 'max_kmh', 'ascent_m', 'descent_m', 'min_ele_m', 'max_ele_m',
  'push_points'];

let failures = 0;
async function check(engine, name, body) {
  try {
    await body();
    console.log(`ok   ${engine.name}: ${name}`);
  } catch (e) {
    ++failures;
    console.log(`FAIL ${engine.name}: ${name}\n${e.message.slice(0, 3000)}`);
  }
}

// A log large enough that its opening is still running when the next file is chosen.
const big = path.join(scratch, 'big.DAT');
spawnSync(path.join(native_build, 'make_log'), ['300000', big]);
// A log of 1,200,000 points, read in three parts.
const parts_file = path.join(scratch, 'parts.DAT');
spawnSync(path.join(native_build, 'make_log'), ['1200000', parts_file]);
// A 200 MB data file: 12,500,000 points in 6,250 tracks, one in a hundred a
// push log point (bench/make_log.cc).
const huge = { file: path.join(scratch, 'huge.DAT'), points: 12500000, tracks: 6250, pushes: 125000 };
spawnSync(path.join(native_build, 'make_log'), [String(huge.points), huge.file]);

// The page's helpers for a test in one engine: evaluate, axe-core's
// findings, open a file, read a text, save with changes and confirm.
function page_helpers(engine) {
  const t = (fn, ...args) => engine.evaluate(fn, ...args);
  // axe-core's serious and critical findings in the page's present state.
  const axe_findings = async () => {
    await engine.page.evaluate(fs.readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8'));
    return t(async () => (await window.axe.run()).violations.filter((v) => ['serious', 'critical'].includes(v.impact))
      .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
  };
  const open = async (name, bytes) => {
    await t((n, b) => window.test.open(n, b), name, b64(bytes));
    await t(() => window.test.idle());
  };
  const downloads = () => t(() => window.test.downloads());
  const text = (s) => t((s) => window.test.text(s), s);
  // Saves with the changes typed and confirms; resolves to the downloads.
  const save = async (changes) => {
    await t((c) => window.test.edit(c), changes);
    await t(() => window.test.click('#save'));
    await t(() => window.test.idle());
  };
  const confirm = async () => {
    await t(() => window.test.click('#confirm'));
    await t(() => window.test.idle());
    return downloads();
  };

  return { t, axe_findings, open, downloads, text, save, confirm };
}

async function test_engine(engine, url) {
  await engine.goto(url);
  await engine.evaluate(install_helpers);
  await catch_downloads(engine);
  const { t, axe_findings, open, downloads, text, save, confirm } = page_helpers(engine);
  const first_screen = engine.name === 'chromium' ? await axe_findings() : [];
  // The tracks table as shown: its headings, and each row's texts by the
  // engine's names of the figures; the overview line above it.
  const shown = () => t(() => ({
    overview: document.querySelector('#overview').textContent,
    heads: [...document.querySelectorAll('#tracks thead th')].map((th) => th.textContent),
    rows: [...document.querySelectorAll('#tracks tbody tr')].map((r) =>
      Object.fromEntries([...r.cells].map((c) => [c.dataset.key, c.textContent]))),
  }));
  const switch_to = (id) => t((id) => {
    const e = document.getElementById(id);
    e.checked = true;
    e.dispatchEvent(new Event('change'));
  }, id);

  await check(engine, `${cases.length} command lines give the native tool's bytes`, async () => {
    const wrong = [];
    for (const c of cases) {
      const files = case_files(c);
      if (!util.isDeepStrictEqual(await run_page(engine, c.args, files), run_native(c.args, files)))
        wrong.push(`${c.image}: trekdump ${c.args.join(' ')}`);
    }
    assert.deepEqual(wrong, []);
  });

  // Floats to 12 digits: the browser's sine and cosine may differ from the
  // native ones in the last bit.
  const figures = (tracks) => tracks.map((track) => Object.fromEntries(track_fields.map((k) =>
    [k, typeof track[k] === 'number' ? Number(track[k].toPrecision(12)) : track[k]])));
  await check(engine, 'trekdump.tracks gives the native engine\'s figures of each track', async () => {
    for (const name of ['figures', 'export_log', 'pushes_by_place', 'across_meridian', 'empty_log']) {
      const page = await t((b) => window.trekdump.tracks(Uint8Array.from(atob(b), (c) => c.charCodeAt(0))),
        b64(image(name)));
      // (WebDriver hands objects over with their keys in an order of its own.)
      assert.deepEqual(page.map((tr) => Object.keys(tr).sort()), page.map(() => [...track_fields].sort()), name);
      const native = JSON.parse(fs.readFileSync(path.join(case_folder, `${name}.tracks.json`))).tracks;
      assert.deepEqual(figures(page), figures(native), name);
    }
  });

  await check(engine, 'a second file chosen while the first opens is the one shown and saved', async () => {
    await t((n, b) => window.test.open(n, b), 'big.DAT', b64(fs.readFileSync(big)));
    await new Promise((done) => setTimeout(done, 300));
    await open('NVPIPE.DAT', sample);
    assert.equal(await text('#listing'), iconv(native(['--conf', 'NVPIPE.DAT']).stdout));
    const gpx = native(['--read', 'NVPIPE.DAT']).stdout.toString();
    const count = (tag) => String(gpx.split(tag).length - 1);
    const summary = await t(() => [...document.querySelectorAll('#summary tr')].map((r) => r.cells[1].textContent));
    assert.deepEqual(summary.slice(0, 3), [count('<trkpt '), count('<trk>'), count('<wpt ')]);
    await switch_to('times-utc');
    assert.deepEqual((await shown()).rows.map((r) => [r.count, r.start, r.end]), native_tracks(gpx));
    await save({});
    assert.deepEqual(await confirm(), [{ name: 'NVPIPE.DAT', bytes: b64(native(['NVPIPE.DAT']).file('NVPIPE.DAT')) }]);
  });

  await check(engine, 'Download GPX and the analysis are the native ones', async () => {
    await t(() => window.test.click('#download-gpx'));
    assert.deepEqual(await downloads(), [{ name: 'tracks.gpx', bytes: b64(native(['--read=o.gpx', 'NVPIPE.DAT']).file('o.gpx')) }]);
    await t(() => window.test.click('#analyze'));
    await t(() => window.test.idle());
    assert.equal(await text('#analysis'), native(['--analyze', 'NVPIPE.DAT']).stdout.toString() || 'No unknown values found.');
  });

  await check(engine, 'one track downloaded is the export\'s track with its push log points, valid GPX', async () => {
    await open('export.DAT', image('export_log'));
    await t(() => document.querySelectorAll('#tracks tbody tr')[1].click());
    await t(() => window.test.click('#download-track'));
    const [track] = await downloads();
    assert.equal(track.name, 'track-2.gpx');
    const bytes = Buffer.from(track.bytes, 'base64');
    const file = path.join(scratch, `${engine.name}-track.gpx`);
    fs.writeFileSync(file, bytes);
    if (fs.existsSync(schema))
      assert.equal(validate(file).status, 0, validate(file).stderr);
    else
      console.log(`skip ${engine.name}: no GPX schema at ${schema}`);
    const whole = native(['--read', 'NVPIPE.DAT'], { 'NVPIPE.DAT': image('export_log') }).stdout.toString();
    const text = bytes.toString();
    const body = text.slice(text.indexOf('</metadata>\n') + 12);
    const trk = whole.split('<trk>\n')[2];
    assert.equal(body, `${whole.match(/<wpt [^]*?<\/wpt>\n/)[0]}<trk>\n${trk.replace('</gpx>\n', '')}</gpx>\n`);
  });

  // The drawing's painted pixels, before and after choosing the first track:
  // every track shows (one point as a dot), the chosen one changes the picture.
  await check(engine, 'the drawing shows the tracks, the chosen one on top', async () => {
    const pixels = () => t(() => {
      const c = document.querySelector('#drawing');
      const rgba = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      let painted = 0;
      let sum = 0;
      for (let i = 0; i < rgba.length; i += 4) {
        painted += rgba[i + 3] > 0;
        sum = (sum * 31 + rgba[i] + 7 * rgba[i + 1] + 13 * rgba[i + 2]) % 1000000007;
      }
      return { painted, sum };
    });
    for (const [name, bytes] of [['NVPIPE.DAT', sample], ['one.DAT', image('one_point')],
      ['two.DAT', image('two_points')], ['export.DAT', image('export_log')]]) {
      await open(name, bytes);
      const all = await pixels();
      assert.ok(all.painted > 0, `${name}: nothing drawn`);
      await t(() => document.querySelector('#tracks tbody tr').click());
      assert.notDeepEqual(await pixels(), all, `${name}: the chosen track is not drawn on top`);
    }
  });

  // The track viewer on the sample: each track chosen is brought into view
  // whole and not as a blob, the keys zoom, move and show all; the profile's
  // keys and the pointer mark the place on the drawing with its values; the
  // push log points' markers and the OpenStreetMap link say what they hold.
  await check(engine, 'choosing a track fits it and shows its profile; the keys move the view and the mark', async () => {
    await open('NVPIPE.DAT', sample);
    const gpx = native(['--read', 'NVPIPE.DAT']).stdout.toString();
    const points = (text) => [...text.matchAll(/<trkpt lat="([^"]+)" lon="([^"]+)">\n<ele>([^<]+)<\/ele>\n<time>(.*)T(.*)Z/g)]
      .map((m) => ({ lat: +m[1], lon: +m[2], ele: Math.round(+m[3]), time: `${m[4]} ${m[5]}` }));
    const tracks = gpx.split('<trk>\n').slice(1).map(points);
    const box = (p) => [Math.min(...p.map((q) => q.lon)), Math.min(...p.map((q) => q.lat)),
      Math.max(...p.map((q) => q.lon)), Math.max(...p.map((q) => q.lat))];
    const shows = () => t(() => document.querySelector('#drawing').dataset.shows.split(' ').map(Number));
    // The box lies in the area shown and fills at least half of it one way.
    const fits = (b, a) => b[0] >= a[0] && b[1] >= a[1] && b[2] <= a[2] && b[3] <= a[3] &&
      Math.max((b[2] - b[0]) / (a[2] - a[0]), (b[3] - b[1]) / (a[3] - a[1])) >= 0.5;
    const press = (target, key) => t(async (s, k) => {
      document.querySelector(s).dispatchEvent(new KeyboardEvent('keydown', { key: k, bubbles: true }));
      await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
    }, target, key);
    const choose = (i) => t(async (i) => {
      document.querySelectorAll('#tracks tbody tr')[i].click();
      while (document.querySelector('#profile-box').dataset.track !== String(i + 1))
        await new Promise((done) => setTimeout(done, 20));
    }, i);
    for (const [i, track] of tracks.entries()) {
      await choose(i);
      assert.ok(fits(box(track), await shows()), `track ${i + 1} is not fitted: ${await shows()}`);
    }
    // The wheel at (x, y) of the drawing's size, or a drag by (x, y) of it.
    const pointer_on_map = (kind, x, y) => t(async (kind, x, y) => {
      const map = document.querySelector('#drawing');
      const r = map.getBoundingClientRect();
      const at = (fx, fy) => ({ clientX: r.left + fx * r.width, clientY: r.top + fy * r.height, bubbles: true,
        pointerId: 1, button: 0, isPrimary: true });
      if (kind === 'wheel') {
        map.dispatchEvent(new WheelEvent('wheel', { ...at(x, y), deltaY: -300, cancelable: true }));
      } else {
        map.dispatchEvent(new PointerEvent('pointerdown', at(0.5, 0.5)));
        map.dispatchEvent(new PointerEvent('pointermove', at(0.5 + x, 0.5 + y)));
        map.dispatchEvent(new PointerEvent('pointerup', at(0.5 + x, 0.5 + y)));
      }
      await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
    }, kind, x, y);
    // Each change of the area: its middle moved by (x, y) of its width and
    // height, its size times zoom.
    const middle = (a) => [(a[0] + a[2]) / 2, (a[1] + a[3]) / 2, a[2] - a[0], a[3] - a[1]];
    for (const [name, move, x, y, zoom] of [['+', () => press('#map', '+'), 0, 0, 0.5],
      ['-', () => press('#map', '-'), 0, 0, 2], ['ArrowRight', () => press('#map', 'ArrowRight'), 1 / 6, 0, 1],
      ['ArrowUp', () => press('#map', 'ArrowUp'), 0, 1 / 6, 1], ['ArrowLeft', () => press('#map', 'ArrowLeft'), -1 / 6, 0, 1],
      ['ArrowDown', () => press('#map', 'ArrowDown'), 0, -1 / 6, 1],
      // The wheel keeps the place under the pointer where it is.
      ['wheel in the middle', () => pointer_on_map('wheel', 0.5, 0.5), 0, 0, 0.5],
      ['- again', () => press('#map', '-'), 0, 0, 2],
      ['wheel at the right', () => pointer_on_map('wheel', 1, 0.5), 0.25, 0, 0.5],
      ['drag', () => pointer_on_map('drag', 0.25, -0.1), -0.25, -0.1, 1]]) {
      const [mx, my, w, h] = middle(await shows());
      await move();
      const after = middle(await shows());
      const expected = [mx + x * w, my + y * h, w * zoom, h * zoom];
      // (An engine may round the pointer's place to whole pixels.)
      const pixel = name.startsWith('wheel') || name === 'drag' ? w / await t(() => document.querySelector('#drawing').clientWidth) : 0;
      assert.ok(after.every((v, k) => Math.abs(v - expected[k]) <= 3e-7 + pixel), `${name}: ${after} for ${expected}`);
    }
    // Neighbouring tracks apart, the table's colours those of the legend.
    const colours = await t(() => [[...document.querySelectorAll('#tracks tbody tr')].map((r) => r.cells[0].style.borderLeftColor),
      [...document.querySelectorAll('#legend .line')].map((l) => getComputedStyle(l).backgroundColor)]);
    assert.ok(colours[0].every((c, i) => !i || c !== colours[0][i - 1]), colours[0].join(' '));
    assert.ok(colours[1].every((c) => colours[0].includes(c)), colours.join(' | '));
    await press('#map', '0');
    assert.ok(fits(box(tracks.flat()), await shows()), 'the key 0 does not show all tracks');
    // The profile of track 2: where the keys (and the pointer at its ends)
    // lead, its values and the place marked on the drawing.
    await choose(1);
    const track = tracks[1];
    await t(() => document.querySelector('#times-utc').click());
    const km = await t(() => document.querySelectorAll('#tracks tbody tr')[1].querySelector('[data-key=distance_m]').textContent);
    const place = () => t(() => {
      const [w, s, e, n] = document.querySelector('#drawing').dataset.shows.split(' ').map(Number);
      const mark = document.querySelector('#place');
      const c = document.querySelector('#drawing');
      return [w + parseFloat(mark.style.left) / c.clientWidth * (e - w), n - parseFloat(mark.style.top) / c.clientHeight * (n - s),
        [...document.querySelectorAll('#profile-values b')].map((b) => b.textContent)];
    });
    const pointer = (side) => t(async (side) => {
      const p = document.querySelector('#profile');
      const r = p.getBoundingClientRect();
      p.dispatchEvent(new PointerEvent('pointermove', { clientX: side ? r.right - 2 : r.left + 2, clientY: r.top + 50, bubbles: true }));
    }, side);
    for (const [move, k, distance] of [[() => press('#profile', 'End'), track.length - 1, `${km} km`],
      [() => press('#profile', 'Home'), 0, '0.00 km'], [() => press('#profile', 'ArrowRight'), 1, null],
      [() => pointer(1), track.length - 1, `${km} km`], [() => pointer(0), 0, '0.00 km'],
      // Against time, the mark stays on its point; End leads to the last one.
      [async () => {
        await t(async () => {
          document.querySelector('#profile-time').click();
          while (document.querySelector('#profile-box').dataset.against !== 'time')
            await new Promise((done) => setTimeout(done, 20));
        });
        assert.deepEqual((await place())[2][0], track[0].time);
        await press('#profile', 'End');
      }, track.length - 1, `${km} km`]]) {
      await move();
      const [lon, lat, values] = await place();
      const p = track[k];
      assert.ok(Math.abs(lon - p.lon) < 2e-5 && Math.abs(lat - p.lat) < 2e-5, `point ${k} marked at ${lon} ${lat}`);
      assert.equal(values[0], p.time);
      if (distance)
        assert.equal(values[1], distance);
      assert.equal(values[2], `${p.ele} m`);
      assert.match(values[3], /^\d+\.\d( ?– ?\d+\.\d)? km\/h$|^–$/);
    }
    assert.match(await t(() => document.querySelector('#profile').getAttribute('aria-valuetext')), /^2008-08-17 \d\d:\d\d:\d\d UTC, /);
    // The chosen track's push log points: a Tab stop each, with the
    // export's number and time.
    const waypoints = [...gpx.matchAll(/<time>(.*)T(.*)Z<\/time>\n<name>Push Log Point (\d+)/g)];
    const own = waypoints.slice(2, 4).map((m) => `Push log point ${m[3]}, track 2, ${m[1]} ${m[2]} UTC`);
    const labels = await t(async () => {
      const labels = () => [...document.querySelectorAll('#markers .marker[tabindex="0"]')].map((m) => m.getAttribute('aria-label'));
      while (!labels().every((l) => l.endsWith('UTC')))
        await new Promise((done) => setTimeout(done, 20));
      const marker = document.querySelector('#markers .marker[tabindex="0"]');
      marker.focus();
      return [...labels().sort(), document.querySelector('#tip').textContent, document.querySelector('#tip').hidden];
    });
    assert.deepEqual(labels, [...own, own[0], false]);
    const osm = await t(() => {
      const a = document.querySelector('#osm-link');
      return [a.href, a.target, a.rel, document.querySelector('#osm').hidden, document.querySelector('#osm .hint').textContent];
    });
    const [, lat, lon] = osm[0].match(/^https:\/\/www\.openstreetmap\.org\/#map=\d+\/([\d.-]+)\/([\d.-]+)$/).map(Number);
    const b = box(track);
    assert.ok(lon >= b[0] && lon <= b[2] && lat >= b[1] && lat <= b[3], osm[0]);
    assert.deepEqual(osm.slice(1, 4), ['_blank', 'noopener noreferrer', false]);
    assert.match(osm[4], /sent there/);
    if (engine.name === 'chromium') {
      const findings = (await axe_findings()).map((f) => `chosen track: ${f}`);
      await press('#map', '+');
      await t(() => document.querySelector('#profile').focus());
      assert.deepEqual([...findings, ...(await axe_findings()).map((f) => `zoomed, profile: ${f}`)], []);
    }
  });

  // What the owner types, as the tool takes it: the page passes it unchanged.
  await open('NVPIPE.DAT', sample);
  for (const [name, typed] of [['set-pdop-mask', '2,5'], ['set-contrast', '200abc'],
    ['set-shake-mode-time', '+7'], ['set-device-zone', '5:30']]) {
    await check(engine, `${name} typed as '${typed}'`, async () => {
      await open('NVPIPE.DAT', sample);
      const args = [`--${name}=${typed}`];
      const expected = native([...args, 'NVPIPE.DAT']);
      await save({ [name]: typed });
      if (expected.status === 0) {
        assert.equal(await text('#changes-lines'), changed_lines(args));
        assert.deepEqual(await confirm(), [{ name: 'NVPIPE.DAT', bytes: b64(expected.file('NVPIPE.DAT')) }]);
        assert.match(await text('#save-message'), /must be named NVPIPE\.DAT/);
        return;
      }
      const state = await t((n) => {
        const field = document.querySelector(`#settings [name="${n}"]`);
        const error = document.getElementById(field.getAttribute('aria-describedby').split(' ')[1]);
        return [document.querySelector('#save-message').textContent, error.textContent,
          document.activeElement === field, document.querySelector('#changes').hidden];
      }, name);
      const err = expected.stderr.toString();
      assert.deepEqual(state, [err, err, true, true]);
      assert.deepEqual(await downloads(), []);
    });
  }

  await check(engine, 'several fields changed: the changes shown, then the native data file', async () => {
    await open('NVPIPE.DAT', sample);
    await save({ 'set-log-mode': 'car', 'set-contrast': '210', 'set-shake-mode': false,
      'set-password': 'neu', 'clear-memory': true });
    const args = ['--set-log-mode=car', '--set-contrast=210', '--set-shake-mode=off',
      '--set-password=neu', '--clear-memory=yes'];
    assert.equal(await text('#changes-lines'), changed_lines(args));
    assert.deepEqual(await confirm(), [{ name: 'NVPIPE.DAT', bytes: b64(native([...args, 'NVPIPE.DAT']).file('NVPIPE.DAT')) }]);
  });

  await check(engine, 'an untouched password holding a CR stays as it is', async () => {
    const file = image('password_cr');
    await open('NVPIPE.DAT', file);
    await save({ 'set-contrast': '200' });
    const expected = native(['--set-contrast=200', 'NVPIPE.DAT'], { 'NVPIPE.DAT': file }).file('NVPIPE.DAT');
    assert.deepEqual(await confirm(), [{ name: 'NVPIPE.DAT', bytes: b64(expected) }]);
  });

  await check(engine, 'messages name the chosen file; two files dropped open none', async () => {
    await open('-short.dat', image('short'));
    assert.equal(await text('#message'), native(['--', '-short.dat'], { '-short.dat': image('short') }).stderr.toString());
    await t((b) => window.test.drop([['a.DAT', b], ['b.DAT', b]]), b64(sample));
    assert.match(await text('#message'), /one file at a time/);
  });

  // Any name is the data file, never an option; a file that does not look
  // like one says why and takes two confirmations before its download.
  const jpeg = Buffer.concat([Buffer.from([0xff, 0xd8, 0xff, 0xe0]), Buffer.alloc(6000, 0x41)]);
  const no_record = Buffer.concat([sample.subarray(0, 4096), Buffer.from([0xff])]);
  for (const [name, bytes, warning] of [['-copy.DAT', sample], ['--conf', sample], ['-', sample],
    ['photo.jpg', jpeg, /look like the logger's data file: its configuration block holds values outside the known sets \(unknown value '255' at offset 0x00000000, /],
    ['NVPIPE.DAT', no_record, /look like the logger's data file: its log holds no valid record\./]]) {
    await check(engine, `'${name}' opens as the data file${warning ? ' with a warning' : ''} and saves`, async () => {
      await open(name, bytes);
      const files = { 'NVPIPE.DAT': bytes };
      assert.equal(await text('#listing'), iconv(native(['--conf', 'NVPIPE.DAT'], files).stdout));
      if (warning)
        assert.match(await text('#message'), warning);
      else
        assert.equal(await text('#message'), '');
      await save({ 'set-contrast': '210' });
      if (warning)
        assert.deepEqual(await confirm(), []);
      assert.deepEqual(await confirm(), [{ name: 'NVPIPE.DAT',
        bytes: b64(native(['--set-contrast=210', 'NVPIPE.DAT'], files).file('NVPIPE.DAT')) }]);
    });
  }

  await check(engine, 'push log points belong to the track that holds them, whatever their times', async () => {
    await open('NVPIPE.DAT', image('pushes_by_place'));
    const counts = (await shown()).rows.map((r) => r.push_points);
    assert.deepEqual(counts, ['1', '3', '0']);
    const gpx = native(['--read', 'NVPIPE.DAT'], { 'NVPIPE.DAT': image('pushes_by_place') }).stdout.toString();
    const waypoints = gpx.match(/<wpt [^]*?<\/wpt>\n/g);
    for (const [row, own] of [[1, waypoints.slice(1, 4)], [2, []]]) {
      await t((i) => document.querySelectorAll('#tracks tbody tr')[i].click(), row);
      await t(() => window.test.click('#download-track'));
      const [track] = await downloads();
      const body = Buffer.from(track.bytes, 'base64').toString();
      assert.deepEqual(body.match(/<wpt [^]*?<\/wpt>\n/g) ?? [], own);
    }
  });

  // The fields start from the block's stored values; typed text comes back
  // in messages as typed.
  await check(engine, 'every field holds the value stored in the block', async () => {
    await open('NVPIPE.DAT', image('stored_values'));
    const values = await t(() => Object.fromEntries([...document.querySelectorAll('#settings [name]')]
      .map((f) => [f.name, f.type === 'checkbox' ? f.checked : f.value])));
    const expected = { 'set-password': 'UTCwanderü', 'set-device-zone': '-3:30', 'set-pdop-mask': '6.5',
      'set-tdop-mask': '12.3', 'set-log-mode': 'user', 'set-userdefined-log-mode': 'mixed',
      'set-fix-mode': '3d', 'set-gps-mode': 'fast', 'set-system-unit': 'imperial', 'set-contrast': '7',
      'set-2d-fix-altitude': '1800000', 'clear-memory': true, 'set-sbas': false, 'set-shake-mode': false };
    assert.deepEqual(Object.fromEntries(Object.keys(expected).map((k) => [k, values[k]])), expected);
    // Passed back unchanged, every value of the sample leaves its block as it is.
    await open('NVPIPE.DAT', sample);
    await t(() => window.test.edit(Object.fromEntries([...document.querySelectorAll('#settings [name]')]
      .map((f) => [f.name, f.type === 'checkbox' ? f.checked : f.value]))));
    await save({});
    assert.equal(await text('#changes-lines'), '');
    assert.deepEqual(await confirm(), [{ name: 'NVPIPE.DAT', bytes: b64(native(['NVPIPE.DAT']).file('NVPIPE.DAT')) }]);
  });

  for (const [name, typed] of [['set-contrast', '\u00a0200'], ['set-contrast', '２００']]) {
    await check(engine, `${name} typed as '${typed}' is shown as typed`, async () => {
      await open('NVPIPE.DAT', sample);
      await save({ [name]: typed });
      const expected = native([`--${name}=${typed}`, '--conf', 'NVPIPE.DAT']);
      assert.equal(await text('#save-message'), expected.stderr.toString());
    });
  }

  // A password as the device keeps it: the note beside the field, the
  // preview, the bytes stored and the field and listing of the file reopened
  // agree (the device's listing shows the stored bytes in code page 850).
  for (const [typed, kept, note] of [
    ['Müller', 'Müller', 'ü is stored as two bytes and shows as ├╝ on the device.'],
    ['wanderlust2', 'wanderlust', 'The device keeps 10 bytes: wanderlust2 is stored as wanderlust.'],
    ['abc😀😀', 'abc😀', 'The device keeps 10 bytes: abc😀😀 is stored as abc😀, without the ' +
      'character that would not fit whole. 😀 is stored as four bytes and shows as \u00adƒÿÇ on the device.'],
  ]) {
    await check(engine, `a password typed as '${typed}' is stored and shown as the device keeps it`, async () => {
      await open('NVPIPE.DAT', sample);
      await save({ 'set-password': typed });
      assert.equal(await text('#note-set-password'), note);
      assert.equal(await text('#changes-lines'), changed_lines([`--set-password=${kept}`]));
      const stored = native([`--set-password=${kept}`, 'NVPIPE.DAT']).file('NVPIPE.DAT');
      assert.deepEqual(await confirm(), [{ name: 'NVPIPE.DAT', bytes: b64(stored) }]);
      await open('NVPIPE.DAT', stored);
      assert.equal(await t(() => document.querySelector('#settings [name="set-password"]').value),
        iconv(Buffer.from(kept)));
      assert.equal(await text('#listing'), iconv(native(['--conf', 'NVPIPE.DAT'], { 'NVPIPE.DAT': stored }).stdout));
    });
  }

  // The owner's file name as it is in every text: never read as a
  // replacement pattern ($&, $`, $', $1) or as markup, never cut; one with
  // bidirectional controls isolated, so that they do not turn the words after it.
  for (const [name, shown = name] of [['a$&b.DAT'], ["x$'y.DAT"], ['p$`q.DAT'],
    ['a$1 "q" \'<img src=x onerror=alert(1)>\'.DAT'], ['NV\u202ePIPE.DAT', '\u2068NV\u202ePIPE.DAT\u2069'],
    [`${'n'.repeat(236)}.DAT`]]) {
    await check(engine, `the name ${JSON.stringify(name.slice(0, 24))} is shown as it is`, async () => {
      await open(name, image('short'));
      assert.equal(await text('#message'),
        native(['--', name], { [name]: image('short') }).stderr.toString().replace(name, () => shown));
      await open(name, sample);
      await save({ 'set-contrast': '210' });
      assert.equal(await text('#changes-intro'), `These lines of the listing of ${shown} change (before → after; ` +
        'the listing is the device\'s own, in German):');
    });
  }

  // Edits not yet saved: another file chosen or dropped asks first with the
  // page's own question (kept, the file and the edits stay), and leaving the
  // page asks the browser's; with no edits or after a save nothing asks.
  const leaving_asks = () => t(() => {
    const e = new Event('beforeunload', { cancelable: true });
    window.dispatchEvent(e);
    return e.defaultPrevented;
  });
  const other = image('two_points');
  for (const [what, edits, saved, how, keep] of [['no edits', {}, false, 'open', false],
    ['edits kept when asked', { 'set-contrast': '210' }, false, 'open', true],
    ['edits discarded when asked', { 'set-contrast': '210' }, false, 'drop', false],
    ['edits saved', { 'set-contrast': '210' }, true, 'open', false]]) {
    await check(engine, `another file chosen with ${what}`, async () => {
      await open('NVPIPE.DAT', sample);
      await t((c) => window.test.edit(c), edits);
      if (saved)
        await save({});
      if (saved)
        await confirm();
      const asks = Object.keys(edits).length > 0 && !saved;
      assert.equal(await leaving_asks(), asks);
      const asked = await t((how, b, keep) => (how === 'open' ? window.test.open('other.DAT', b, keep) :
        window.test.drop([['other.DAT', b]], keep)), how, b64(other), keep);
      await t(() => window.test.idle());
      assert.equal(asked, asks ? 'Discard the changes to NVPIPE.DAT?' : null);
      const shown = keep ? sample : other;
      assert.equal(await text('#listing'), iconv(native(['--conf', 'NVPIPE.DAT'], { 'NVPIPE.DAT': shown }).stdout));
      assert.equal(await t(() => document.querySelector('#settings [name="set-contrast"]').value),
        keep ? '210' : iconv(native(['--conf', 'NVPIPE.DAT'], { 'NVPIPE.DAT': other }).stdout).match(/Kontrast: (\d+)/)[1]);
      assert.equal(await leaving_asks(), keep);
    });
  }

  // The file on disk replaced between Save and Confirm by a newer copy of the
  // device's file: nothing is offered, and Download GPX says so too.
  const end = sample.findIndex((b, i) => i >= 4096 && (i - 4096) % 16 === 0 && b === 0xff);
  const grown = Buffer.concat([sample.subarray(0, end), ...Array(10).fill(sample.subarray(end - 16, end)),
    sample.subarray(end)]);
  const changed_at = (at) => Buffer.from(sample.map((b, i) => (i === at ? b ^ 1 : b)));
  for (const [what, bytes] of [['unchanged', sample], ['grown by ten records', grown],
    ['changed in its log at the same length', changed_at(end - 2)], ['changed in its block', changed_at(12)]]) {
    await check(engine, `the file on disk ${what} between Save and Confirm`, async () => {
      const file = path.join(fs.mkdtempSync(path.join(scratch, 'disk-')), 'NVPIPE.DAT');
      fs.writeFileSync(file, sample);
      await engine.upload(file);
      await t(() => window.test.answer(false));
      await t(() => window.test.idle());
      await save({ 'set-contrast': '210' });
      if (bytes !== sample)
        fs.writeFileSync(file, bytes);
      const offered = await confirm();
      await t(() => window.test.click('#download-gpx'));
      await t(() => window.test.idle());
      const gpx = await downloads();
      if (bytes === sample) {
        assert.deepEqual(offered, [{ name: 'NVPIPE.DAT', bytes: b64(native(['--set-contrast=210', 'NVPIPE.DAT']).file('NVPIPE.DAT')) }]);
        assert.deepEqual(gpx, [{ name: 'tracks.gpx', bytes: b64(native(['--read=o.gpx', 'NVPIPE.DAT']).file('o.gpx')) }]);
        return;
      }
      assert.deepEqual([offered, gpx], [[], []]);
      assert.equal(await text('#save-message'), 'NVPIPE.DAT was changed since it was opened: open it again before saving.');
      assert.equal(await text('#message'), 'NVPIPE.DAT was changed since it was opened: open it again to export what it holds now.');
    });
  }

  // The owners' view: keyboard and focus in every engine, axe-core in Chromium
  // on each state the page can be in.
  await check(engine, 'one Tab stop for the tracks, focus to the confirmation and the result', async () => {
    const findings = [...first_screen];
    const axe = async (state) => {
      if (engine.name === 'chromium')
        findings.push(...(await axe_findings()).map((f) => `${state}: ${f}`));
    };
    await open('NVPIPE.DAT', image('export_log'));
    await axe('opened');
    const keys = await t(() => {
      const rows = [...document.querySelectorAll('#tracks tbody tr')];
      const stops = rows.filter((r) => r.tabIndex === 0).length;
      rows[0].focus();
      for (const key of ['ArrowDown', 'End', 'ArrowUp'])
        document.activeElement.dispatchEvent(new KeyboardEvent('keydown', { key, bubbles: true }));
      return [stops, rows.indexOf(document.activeElement), rows.filter((r) => r.tabIndex === 0).length];
    });
    assert.deepEqual(keys, [1, 1, 1]);
    await t(() => window.test.click('#analyze'));
    await t(() => window.test.idle());
    await axe('analysed');
    await save({ 'set-contrast': '99' });
    await axe('rejected');
    await open('NVPIPE.DAT', sample);
    await save({ 'set-contrast': '210' });
    await axe('changes shown');
    assert.equal(await t(() => document.activeElement.id), 'changes');
    await confirm();
    await axe('saved');
    assert.equal(await t(() => document.activeElement.id), 'save-message');
    assert.deepEqual(findings, []);
  });

  // Times in the logger's zone and in UTC, figures in its units and in the
  // others: each as trekdump.tracks gives it (UTC, metres, km/h), converted.
  const units = { metric: { distance: ['km', 1000], speed: ['km/h', 1], height: ['m', 1] },
    imperial: { distance: ['mi', 1609.344], speed: ['mph', 1.609344], height: ['ft', 0.3048] } };
  const kinds = { distance_m: 'distance', average_kmh: 'speed', max_kmh: 'speed', ascent_m: 'height',
    descent_m: 'height', min_ele_m: 'height', max_ele_m: 'height' };
  const seconds = (text) => text.replace('-', '').split(':').reduce((a, b) => 60 * a + Number(b), 0) *
    (text.startsWith('-') ? -1 : 1);
  // What the table shows that does not match the tracks in those units.
  const mismatches = ({ heads, rows }, tracks, unit) => [
    ...Object.values(units[unit]).map(([name]) => name).filter((name) => !heads.some((h) => h.endsWith(`(${name})`))),
    ...tracks.flatMap((track, i) => [
      ...Object.entries(kinds).filter(([key, kind]) => {
        const text = rows[i][key];
        if (track[key] === null)
          return text !== '–';
        const decimals = (text.split('.')[1] ?? '').length;
        return !(Math.abs(Number(text) - track[key] / units[unit][kind][1]) <= 0.5 * 10 ** -decimals + 1e-9);
      }).map(([key]) => `${i + 1} ${key}: ${rows[i][key]}`),
      ...['seconds', 'moving_s', 'paused_s'].filter((key) => seconds(rows[i][key]) !== track[key]),
      ...['number', 'count', 'stops', 'push_points'].filter((key) => rows[i][key] !== String(track[key])),
    ])];
  for (const [name, zone, unit, local] of [
    ['local_0530', 'UTC+05:30', 'metric', [['2008-08-14 23:40:00', '2008-08-15 01:19:00'],
      ['2008-08-15 07:30:00', '2008-08-15 09:40:00']]],
    ['local_0545', 'UTC+05:45', 'imperial', [['2008-08-14 23:55:00', '2008-08-15 01:34:00'],
      ['2008-08-15 07:45:00', '2008-08-15 09:55:00']]],
    ['local_m0330', 'UTC-03:30', 'metric', [['2008-08-14 14:40:00', '2008-08-14 16:19:00'],
      ['2008-08-14 22:30:00', '2008-08-15 00:40:00']]],
  ]) {
    await check(engine, `${name}: times in ${zone} and in UTC, figures in ${unit} units and the others`, async () => {
      const findings = [];
      const axe = async (state) => {
        if (engine.name === 'chromium')
          findings.push(...(await axe_findings()).map((f) => `${state}: ${f}`));
      };
      await open('NVPIPE.DAT', image(name));
      const tracks = await t((b) => window.trekdump.tracks(Uint8Array.from(atob(b), (c) => c.charCodeAt(0))),
        b64(image(name)));
      await t(() => document.querySelectorAll('#tracks tbody tr')[1].click());
      let table = await shown();
      assert.deepEqual(table.rows.map((r) => [r.start, r.end]), local);
      assert.ok(table.heads.includes(`Time (${zone})`), table.heads.join('|'));
      assert.equal(table.overview, `2 tracks from ${local[0][0].slice(0, 10)} to ${local[1][1].slice(0, 10)}, ` +
        `${((tracks[0].distance_m + tracks[1].distance_m) / units[unit].distance[1]).toFixed(2)} ` +
        `${units[unit].distance[0]} in all. The logger is set to ${zone} and ${unit} units.`);
      assert.deepEqual(mismatches(table, tracks, unit), []);
      await axe(`${name} in its zone and units`);
      await switch_to('times-utc');
      table = await shown();
      assert.deepEqual(table.rows.map((r) => [r.start, r.end]), tracks.map((tr) => [tr.start, tr.end]));
      assert.ok(table.heads.includes('Time (UTC)'), table.heads.join('|'));
      assert.equal(await text('#summary'), `Points${tracks[0].count + tracks[1].count}Tracks2Push log points` +
        `${tracks[0].push_points + tracks[1].push_points}First time (UTC)${tracks[0].start}Last time (UTC)${tracks[1].end}`);
      const other = unit === 'metric' ? 'imperial' : 'metric';
      await switch_to(`units-${other}`);
      assert.deepEqual(mismatches(await shown(), tracks, other), []);
      await axe(`${name} in UTC and ${other} units`);
      await switch_to(`units-${unit}`);
      assert.deepEqual(mismatches(await shown(), tracks, unit), []);
      assert.deepEqual(await t(() => [...document.querySelectorAll('#tracks tbody tr')].map((r) =>
        r.getAttribute('aria-selected'))), ['false', 'true']);
      assert.deepEqual(findings, []);
    });
  }

  await check(engine, 'a track across the 180° meridian is drawn unbroken', async () => {
    await open('NVPIPE.DAT', image('across_meridian'));
    const rows = await t(() => {
      const c = document.querySelector('#drawing');
      const rgba = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      const painted = new Set();
      for (let i = 0; i < rgba.length; i += 4)
        if (rgba[i + 3])
          painted.add(Math.floor(i / 4 / c.width));
      return painted.size;
    });
    assert.ok(rows > 100, `the track spans ${rows} rows of pixels`);
  });

  // A chosen track of a log of random wanders, where many others cross
  // its view: drawn whole (twice: its white edge and its line), with the
  // others faint at coarser cells (at the drawing's finest cells they took
  // 20,000 steps), so that it is drawn at once.
  await check(engine, 'a chosen track among crowding others is drawn whole, the others coarser', async () => {
    await engine.upload(big);
    await t(() => window.test.idle());
    const steps = await t(async () => {
      const found = [];
      for (const row of [1, 4, 9]) {
        const tr = document.querySelectorAll('#tracks tbody tr')[row];
        tr.click();
        while (document.querySelector('#profile-box').dataset.track !== tr.cells[0].textContent)
          await new Promise((done) => setTimeout(done, 20));
        found.push(Number(document.querySelector('#drawing').dataset.steps));
      }
      return found;
    });
    assert.ok(steps.every((n) => n > 2 * 1900 && n <= 12000), `steps drawn: ${steps.join(', ')}`);
  });

  // The keys in a table of 150 tracks, of which it holds only those in view:
  // each key's row (its aria-rowindex, after the two heading rows) is there
  // and focused, the one Tab stop, and Enter chooses it.
  await check(engine, 'the keys reach every row of a long tracks table, one Tab stop', async () => {
    await engine.upload(big);
    await t(() => window.test.idle());
    const moves = [['End', 152], ['PageUp', 142], ['ArrowUp', 141], ['Home', 3], ['ArrowUp', 3],
      ['PageDown', 13], ['ArrowDown', 14], ['End', 152], ['ArrowDown', 152], ['PageDown', 152]];
    const seen = await t(async (keys) => {
      const rows = () => [...document.querySelectorAll('#tracks tbody tr')];
      rows()[0].focus();
      const found = [];
      for (const key of keys) {
        document.activeElement.dispatchEvent(new KeyboardEvent('keydown', { key, bubbles: true }));
        const stops = rows().filter((r) => r.tabIndex === 0);
        found.push([key, Number(document.activeElement.getAttribute('aria-rowindex')),
          stops.length === 1 && stops[0] === document.activeElement, rows().length <= 60]);
      }
      document.activeElement.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true }));
      while (document.querySelector('#profile-box').dataset.track !== document.activeElement.cells[0].textContent)
        await new Promise((done) => setTimeout(done, 20));
      return found;
    }, moves.map(([key]) => key));
    assert.deepEqual(seen, moves.map(([key, index]) => [key, index, true, true]));
  });

  // A file of three parts (8, 8 and some 3 MB), each read into the memory
  // of one the engine gave back: opened with its count, and compared again
  // part by part before a track is offered, a byte changed in its second or
  // its last part found.
  const three = fs.readFileSync(parts_file);
  for (const [what, at] of [['unchanged', -1], ['changed in its second part', 12 << 20],
    ['changed in its last part', three.length - 40]]) {
    await check(engine, `a file of three parts ${what} before Download this track`, async () => {
      const file = path.join(fs.mkdtempSync(path.join(scratch, 'parts-')), 'NVPIPE.DAT');
      fs.writeFileSync(file, three);
      await engine.upload(file);
      await t(() => window.test.idle());
      assert.equal(await t(() => document.querySelector('#summary').rows[0].cells[1].textContent), '1200000');
      if (at >= 0)
        fs.writeFileSync(file, Buffer.from(three.map((v, i) => (i === at ? v ^ 1 : v))));
      await t(() => document.querySelector('#tracks tbody tr').click());
      await t(() => window.test.click('#download-track'));
      await t(() => window.test.idle());
      const offered = (await downloads()).map((d) => [d.name, Buffer.from(d.bytes, 'base64').subarray(0, 5).toString()]);
      assert.deepEqual(offered, at < 0 ? [['track-1.gpx', '<?xml']] : []);
      if (at >= 0)
        assert.equal(await text('#message'), 'NVPIPE.DAT was changed since it was opened: open it again to export what it holds now.');
    });
  }

  // A 200 MB file chosen from the disk: a bar of how far it is, the right
  // counts, a table that holds only the rows in view and still reaches every
  // track with the keys, a profile, and the export refused for its size;
  // nothing busy afterwards.
  await check(engine, 'a 200 MB data file opens with its counts, and the page is usable', async () => {
    // Every percent the bar shows meanwhile.
    await t(() => {
      window.percents = [];
      new MutationObserver(() => window.percents.push(Number(document.querySelector('#progress-bar').value)))
        .observe(document.querySelector('#progress-percent'), { childList: true, characterData: true, subtree: true });
    });
    await engine.upload(huge.file);
    await t(() => window.test.idle());
    // The bar came, went up and stood at the step that shows the log until the page was idle.
    const percents = await t(() => window.percents);
    assert.ok(new Set(percents).size >= 3 && percents.every((p, i) => !i || p >= percents[i - 1]) &&
      percents.at(-1) >= 95, percents.join(' '));
    const state = await t(async () => {
      const $ = (s) => document.querySelector(s);
      const rows = () => [...document.querySelectorAll('#tracks tbody tr')];
      const counts = [...$('#summary').rows].slice(0, 3).map((r) => Number(r.cells[1].textContent));
      const drawn = Number($('#drawing').dataset.steps);
      const shown = rows().length;
      rows()[0].focus();
      document.activeElement.dispatchEvent(new KeyboardEvent('keydown', { key: 'End', bubbles: true }));
      const last = [document.activeElement.getAttribute('aria-rowindex'), rows().filter((r) => r.tabIndex === 0).length];
      document.activeElement.click();
      while ($('#profile-box').dataset.track !== document.activeElement.cells[0].textContent)
        await new Promise((done) => setTimeout(done, 20));
      $('#download-gpx').click();
      await window.test.idle();
      return { counts, drawn, shown, rowcount: $('#tracks').getAttribute('aria-rowcount'), last,
        message: $('#message').textContent, busy: document.documentElement.dataset.busy ?? null };
    });
    assert.deepEqual(state.counts, [huge.points, huge.tracks, huge.pushes]);
    // Drawn from a level of detail, not from the 12,500,000 points.
    assert.ok(state.drawn > 0 && state.drawn <= 100000, `${state.drawn} steps of the path drawn`);
    assert.ok(state.shown <= 60, `${state.shown} rows in the table`);
    assert.equal(state.rowcount, String(huge.tracks + 2));
    assert.deepEqual(state.last, [String(huge.tracks + 2), 1]);
    assert.match(state.message, /^The GPX document of huge\.DAT would be 1353 MB/);
    assert.equal(state.busy, null);
  });

  await check(engine, 'at 375 px wide nothing lies off-screen but inside the tracks\' own box', async () => {
    await open('NVPIPE.DAT', sample);
    await engine.resize(375, 800);
    await new Promise((done) => setTimeout(done, 300));
    const wide = await t(() => [...document.querySelectorAll('body *')]
      .filter((e) => e.getClientRects().length && !e.closest('#tracks-box table') &&
        e.getBoundingClientRect().right > document.documentElement.clientWidth + 1)
      .map((e) => e.id || e.name || e.tagName));
    assert.deepEqual(wide, []);
    const box = await t(() => {
      const b = document.querySelector('#tracks-box');
      return [getComputedStyle(b).overflowX, b.scrollWidth > b.clientWidth];
    });
    assert.deepEqual(box, ['auto', true]);
    await engine.resize(1100, 900);
  });
}

// Write-back in Chromium, over http://127.0.0.1: the chooser returns a handle
// to a file of the origin's own file system, so the bytes written and their
// read-back are real.
// The page in a German browser: German texts and figures, what a rejected
// value takes said in German above the tool's line, the switch to English
// saying all of it again, and the choice remembered on the next visit.
const rejections = [
  ['set-backlight-time', '300', 'Backlight: 5 to 255 seconds', 'Hintergrundbeleuchtung: 5 bis 255 Sekunden'],
  ['set-contrast', '99', 'Contrast: 170 to 245', 'Kontrast: 170 bis 245'],
  ['set-pdop-mask', '-1', 'PDOP mask: 0.0 to 1000.0', 'PDOP-Maske: 0.0 bis 1000.0'],
  ['set-device-zone', '15:00', 'Time zone: -14:00 to 14:00 hours, as hours or hours:minutes',
    'Zeitzone: -14:00 bis 14:00 Stunden, als Stunden oder Stunden:Minuten'],
];
async function test_languages(name, url) {
  const engine = await launch(name, { language: 'de-DE' });
  try {
    await engine.goto(url);
    await engine.evaluate(install_helpers);
    const { t, axe_findings, open, text, save } = page_helpers(engine);
    const findings = [];
    const axe = async (state) => {
      if (engine.name === 'chromium')
        findings.push(...(await axe_findings()).map((f) => `${state}: ${f}`));
    };
    const page_words = () => t(() => ({
      lang: document.documentElement.lang,
      pressed: ['de', 'en'].map((c) => document.getElementById(`language-${c}`).getAttribute('aria-pressed')),
      groups: [...document.querySelectorAll('#settings legend')].map((l) => l.textContent),
      heading: document.querySelector('#tracks-heading').textContent,
      distance: document.querySelector('#tracks tbody td[data-key=distance_m]')?.textContent,
    }));
    const refusal = (field, value) => native([`--${field}=${value}`, 'NVPIPE.DAT']).stderr.toString();
    await check(engine, 'a German browser gets the German page; a rejected value says in German what it takes', async () => {
      assert.equal(await text('[data-text=open_label]'), 'Datendatei öffnen:');
      await open('NVPIPE.DAT', sample);
      const words = await page_words();
      assert.deepEqual([words.lang, words.pressed, words.groups, words.heading],
        ['de', ['true', 'false'], ['Gerät', 'Aufzeichnung', 'GPS'], 'Tracks']);
      assert.match(words.distance, /^\d+,\d\d$/);
      await axe('German, opened');
      for (const [field, value, , german] of rejections) {
        await open('NVPIPE.DAT', sample);
        await save({ [field]: value });
        assert.equal(await text(`#error-${field}`), `${german}\n${refusal(field, value)}`);
      }
      await axe('German, rejected');
    });
    await check(engine, 'the switch to English says the page again in English and is remembered', async () => {
      const [field, value, english] = rejections.at(-1);
      await t(() => window.test.click('#language-en'));
      const words = await page_words();
      assert.deepEqual([words.lang, words.pressed, words.groups, words.heading],
        ['en', ['false', 'true'], ['Device', 'Logging', 'GPS'], 'Tracks']);
      assert.match(words.distance, /^\d+\.\d\d$/);
      assert.equal(await text(`#error-${field}`), `${english}\n${refusal(field, value)}`);
      assert.equal(await text('#save-message'), refusal(field, value));
      await axe('English after German');
      for (const [other, typed, said] of rejections.slice(0, -1)) {
        await open('NVPIPE.DAT', sample);
        await save({ [other]: typed });
        assert.equal(await text(`#error-${other}`), `${said}\n${refusal(other, typed)}`);
      }
      await engine.goto(url);
      assert.deepEqual(await t(() => [document.documentElement.lang,
        document.querySelector('[data-text=open_label]').textContent]), ['en', 'Open a data file:']);
      assert.deepEqual(findings, []);
    });
  } finally {
    await engine.close();
  }
}

async function test_write_back(engine) {
  const server = http.createServer((request, response) => {
    response.setHeader('content-type', 'text/html');
    response.end(fs.readFileSync(page_html));
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  try {
    await engine.goto(`http://127.0.0.1:${server.address().port}/`);
    await engine.evaluate(install_helpers);
    await catch_downloads(engine);
    const t = (fn, ...args) => engine.evaluate(fn, ...args);
    await check(engine, 'Save writes into the opened file after a backup, and reads it back', async () => {
      await t(async (b) => {
        const root = await navigator.storage.getDirectory();
        const handle = await root.getFileHandle('NVPIPE.DAT', { create: true });
        const w = await handle.createWritable();
        await w.write(Uint8Array.from(atob(b), (c) => c.charCodeAt(0)));
        await w.close();
        window.showOpenFilePicker = async () => [handle];
        window.read_device = async () => {
          const bytes = new Uint8Array(await (await handle.getFile()).arrayBuffer());
          return btoa(Array.from(bytes, (x) => String.fromCharCode(x)).join(''));
        };
        // Another handle on the same file, as another tab would hold.
        window.write_device = async (bytes) => {
          const w = await (await root.getFileHandle('NVPIPE.DAT')).createWritable();
          await w.write(bytes);
          await w.close();
        };
        await window.test.choose_file();
        await window.test.idle();
        window.test.edit({ 'set-contrast': '210' });
        window.test.click('#save');
        await window.test.idle();
      }, b64(sample));
      assert.deepEqual(await t(() => [document.querySelector('#backup').hidden, document.querySelector('#confirm').disabled]), [false, true]);
      assert.equal(await t(() => window.test.text('#changes-lines')), changed_lines(['--set-contrast=210']));
      assert.match(await t(() => window.test.text('#changes-note')), /complete new copy of it \(12 KB\)/);
      await t(() => window.test.click('#backup'));
      assert.deepEqual(await t(() => window.test.downloads()), [{ name: 'backup-NVPIPE.DAT', bytes: b64(sample) }]);
      await t(async () => {
        window.test.click('#confirm');
        await window.test.idle();
      });
      assert.match(await t(() => window.test.text('#save-message')), /^Written into NVPIPE\.DAT and read back/);
      assert.equal(await t(() => window.read_device()), b64(native(['--set-contrast=210', 'NVPIPE.DAT']).file('NVPIPE.DAT')));
      assert.equal(await t(() => window.test.text('#listing')),
        iconv(native(['--set-contrast=210', '--conf', 'NVPIPE.DAT']).stdout));
    });

    // The file changed through another handle after it was opened (before or
    // after the backup): nothing is written and the other change stays. A
    // write that fails for want of room leaves the file as it was.
    const contrast_230 = (bytes) => Uint8Array.from(bytes, (b, i) => (i === 12 ? 230 : b));
    const grown = (bytes) => Buffer.concat([bytes, Buffer.alloc(16, 1)]);
    const changed_message = 'NVPIPE.DAT was changed since it was opened: open it again before saving.';
    for (const [what, change, when, expected] of [
      ['another save', contrast_230, 'after backup', [false, changed_message]],
      ['a log that grew', grown, 'after backup', [false, changed_message]],
      ['another save before the backup', contrast_230, 'before backup', [true, 'The backup of NVPIPE.DAT ' +
        `could not be made: ${changed_message} Nothing can be written without it.`]],
      ['a write refused for want of room', (bytes) => bytes, 'no room', [false, 'Writing into NVPIPE.DAT ' +
        'failed: there is not enough free room on the device for the browser\'s copy of the file (the ' +
        'browser said: "Disk full."). NVPIPE.DAT is as it was: the page read it back and found it unchanged.']]]) {
      await check(engine, `write-back after ${what}: nothing written`, async () => {
        const changed = Buffer.from(change(sample));
        const state = await t(async (b, changed, when) => {
          const decode = (x) => Uint8Array.from(atob(x), (c) => c.charCodeAt(0));
          await window.write_device(decode(b));
          await window.test.choose_file();
          await window.test.idle();
          window.test.edit({ 'set-contrast': '210' });
          window.test.click('#save');
          await window.test.idle();
          if (when === 'before backup')
            await window.write_device(decode(changed));
          window.test.click('#backup');
          await window.test.idle();
          if (when === 'after backup')
            await window.write_device(decode(changed));
          const stream = FileSystemWritableFileStream.prototype;
          const write = stream.write;
          if (when === 'no room')
            stream.write = () => Promise.reject(new DOMException('Disk full.', 'QuotaExceededError'));
          window.test.click('#confirm');
          await window.test.idle();
          stream.write = write;
          return [document.querySelector('#confirm').disabled, window.test.text('#save-message')];
        }, b64(sample), b64(changed), when);
        assert.deepEqual(state, expected);
        assert.equal(await t(() => window.read_device()), b64(changed));
        await t(() => window.test.downloads());
      });
    }

    await check(engine, 'a file chosen during the write is opened after it', async () => {
      const message = await t(async (b, other) => {
        await window.write_device(Uint8Array.from(atob(b), (c) => c.charCodeAt(0)));
        await window.test.choose_file();
        await window.test.idle();
        window.test.edit({ 'set-contrast': '210' });
        window.test.click('#save');
        await window.test.idle();
        window.test.click('#backup');
        await window.test.idle();
        window.test.click('#confirm');
        window.test.open('other.DAT', other);
        await window.test.idle();
        return window.test.text('#save-message');
      }, b64(sample), b64(image('two_points')));
      assert.match(message, /^Written into NVPIPE\.DAT and read back/);
      assert.equal(await t(() => window.read_device()), b64(native(['--set-contrast=210', 'NVPIPE.DAT']).file('NVPIPE.DAT')));
      assert.equal(await t(() => window.test.text('#listing')),
        iconv(native(['--conf', 'NVPIPE.DAT'], { 'NVPIPE.DAT': image('two_points') }).stdout));
    });
  } finally {
    server.close();
  }
}

try {
  const html = fs.readFileSync(page_html, 'latin1');
  assert.doesNotMatch(html, /\b(src|href)\s*=\s*["']?(https?:)?\/\/|@import|url\(\s*["']?(https?:)?\/\//i);
  for (const name of engines) {
    const engine = await launch(name);
    const requests = [];
    engine.page?.on('request', (r) => requests.push(r.url()));
    try {
      await test_engine(engine, `file://${page_html}`);
      await check(engine, 'the tool runs in a worker; nothing loaded from outside, no error', async () => {
        assert.equal(await engine.evaluate(() => window.trekdump.runs_in), 'worker');
        // The page's policy refuses every connection, even to data: and blob: URLs.
        assert.deepEqual(await engine.evaluate(() => Promise.all(['data:,x', URL.createObjectURL(new Blob(['x']))]
          .map((url) => fetch(url).then(() => 'fetched', () => 'refused')))), ['refused', 'refused']);
        assert.deepEqual(requests.filter((url) => !/^(file|data|blob):/.test(url)), []);
        assert.deepEqual(engine.errors, []);
      });
      if (name === 'chromium')
        await test_write_back(engine);
    } finally {
      await engine.close();
    }
    await test_languages(name, `file://${page_html}`);
  }
} finally {
  fs.rmSync(scratch, { recursive: true, force: true });
}
process.exit(failures ? 1 : 0);
