// Drives the browser page in headless Chromium and compares every byte it
// produces with the native tool's: the end-to-end command lines through
// window.trekdump.run, then the page's own controls on the sample data file.
// Usage: node page_test.mjs NATIVE_BUILD PAGE_HTML CASE_FOLDER
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import util from 'node:util';
import puppeteer from 'puppeteer-core';

const [native_build, page_html, case_folder] = process.argv.slice(2).map((p) => path.resolve(p));
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
function run_page(page, args, files) {
  const encoded = Object.fromEntries(Object.entries(files).map(([n, b]) => [n, b.toString('base64')]));
  return page.evaluate(async (args, encoded) => {
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

// Waits for a download of that name into the folder and returns its bytes.
async function downloaded(folder, name) {
  const file = path.join(folder, name);
  for (let i = 0; i < 100 && !fs.existsSync(file); ++i)
    await new Promise((done) => setTimeout(done, 50));
  return fs.readFileSync(file);
}

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  userDataDir: fs.mkdtempSync(path.join(scratch, 'profile-')),
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
let failures = 0;
async function check(name, body) {
  try {
    await body();
    console.log(`ok   ${name}`);
  } catch (e) {
    ++failures;
    console.log(`FAIL ${name}\n${e.message}`);
  }
}

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 900 });
  const requests = [];
  page.on('request', (r) => requests.push(r.url()));
  page.on('pageerror', (e) => console.log(`page error: ${e.message}`));
  await page.goto(`file://${page_html}`);

  await check(`${cases.length} command lines give the native tool's bytes`, async () => {
    const wrong = [];
    for (const c of cases) {
      const files = case_files(c);
      if (!util.isDeepStrictEqual(await run_page(page, c.args, files), run_native(c.args, files)))
        wrong.push(`${c.image}: trekdump ${c.args.join(' ')}`);
    }
    assert.deepEqual(wrong, []);
  });

  const downloads = fs.mkdtempSync(path.join(scratch, 'downloads-'));
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  const idle = () => page.waitForFunction(() => !document.documentElement.dataset.busy);
  const text = (selector) => page.$eval(selector, (e) => e.textContent);

  await check('opening the sample shows its listing and summary', async () => {
    const sample_path = path.join(scratch, 'NVPIPE.DAT');
    fs.writeFileSync(sample_path, sample);
    await (await page.$('#data-file')).uploadFile(sample_path);
    await page.waitForSelector('#settings [name="set-contrast"]');
    await idle();
    const conf = native(['--conf', 'NVPIPE.DAT']).stdout;
    const utf8 = spawnSync('iconv', ['-f', 'CP850', '-t', 'UTF-8'], { input: conf }).stdout.toString();
    assert.equal(await text('#listing'), utf8);
    const gpx = native(['--read', 'NVPIPE.DAT']).stdout.toString();
    const count = (tag) => String(gpx.split(tag).length - 1);
    const summary = await page.$$eval('#summary tr', (rows) => rows.map((r) => r.cells[1].textContent));
    assert.deepEqual(summary.slice(0, 3), [count('<trkpt '), count('<trk>'), count('<wpt ')]);
    await page.screenshot({ path: path.join(path.dirname(page_html), 'page.png'), fullPage: true });
  });

  await check('Download GPX offers the native export', async () => {
    await page.click('#download-gpx');
    assert.deepEqual(await downloaded(downloads, 'tracks.gpx'), native(['--read=out.gpx', 'NVPIPE.DAT']).file('out.gpx'));
  });

  await check('the analysis is the native one', async () => {
    await page.click('#analyze');
    await idle();
    const report = native(['--analyze', 'NVPIPE.DAT']).stdout.toString();
    assert.equal(await text('#analysis'), report || 'No unknown values found.');
  });

  // Form changes, and the options a native run is given for the same changes.
  const edit = async (changes) => {
    for (const [name, value] of Object.entries(changes)) {
      const field = `#settings [name="${name}"]`;
      if (typeof value === 'boolean')
        await page.$eval(field, (e, v) => { e.checked = v; }, value);
      else if (await page.$eval(field, (e) => e.tagName === 'SELECT'))
        await page.select(field, value);
      else
        await page.$eval(field, (e, v) => { e.value = v; }, value);
    }
    await page.click('#save');
    await idle();
  };

  await check('Save offers the native run\'s data file', async () => {
    await edit({ 'set-log-mode': 'car', 'set-device-zone': '5:30', 'set-contrast': '210',
      'set-shake-mode': false, 'set-password': 'neu', 'clear-memory': true });
    const args = ['--set-log-mode=car', '--set-device-zone=5:30', '--set-contrast=210',
      '--set-shake-mode=off', '--set-password=neu', '--clear-memory=yes', 'NVPIPE.DAT'];
    assert.deepEqual(await downloaded(downloads, 'NVPIPE.DAT'), native(args).file('NVPIPE.DAT'));
    fs.rmSync(path.join(downloads, 'NVPIPE.DAT'));
  });

  await check('a rejected value is shown beside its field and nothing is offered', async () => {
    await edit({ 'set-contrast': '200', 'set-shake-mode-time': '0' });
    const err = native(['--set-shake-mode-time=0', 'NVPIPE.DAT']).stderr.toString();
    assert.equal(await text('#message'), err);
    assert.equal(await page.$eval('[name="set-shake-mode-time"] ~ .error', (e) => e.textContent), err);
    await new Promise((done) => setTimeout(done, 500));
    assert.deepEqual(fs.readdirSync(downloads).filter((n) => n.startsWith('NVPIPE')), []);
  });

  await check('the page refers to no outside resource', async () => {
    const html = fs.readFileSync(page_html, 'latin1');
    assert.doesNotMatch(html, /\b(src|href)\s*=\s*["']?(https?:)?\/\/|@import|url\(\s*["']?(https?:)?\/\//i);
    assert.deepEqual(requests.filter((url) => !/^(file|data|blob):/.test(url)), []);
  });
} finally {
  await browser.close();
  fs.rmSync(scratch, { recursive: true, force: true });
}
process.exit(failures ? 1 : 0);
