// Measures the page at a full device: for each engine, the time to open a
// data file of N points (listing, summary, tracks and form ready), to Download
// GPX and to Save, and the peak resident memory of the engine's processes.
// Measurements only, no limits. Usage:
// node bench.mjs NATIVE_BUILD PAGE_HTML [POINTS] [ENGINE...]
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { catch_downloads, launch, tree_memory } from './engines.mjs';

const [native_build, page_html] = process.argv.slice(2, 4).map((p) => path.resolve(p));
const points = Number(process.argv[4] ?? 1000000);
const engines = process.argv.length > 5 ? process.argv.slice(5) : ['chromium', 'firefox', 'webkit'];
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'trekdump-bench-'));
const data = path.join(scratch, 'NVPIPE.DAT');
spawnSync(path.join(native_build, 'make_log'), [String(points), data]);
const bytes = fs.readFileSync(data);

// Seconds from the click (or the file's choice) until the page is idle again.
const timed = (engine, action) => engine.evaluate(async (action) => {
  const $ = (s) => document.querySelector(s);
  const idle = async () => {
    await new Promise((done) => setTimeout(done, 0));
    while (document.documentElement.dataset.busy)
      await new Promise((done) => setTimeout(done, 10));
  };
  const start = performance.now();
  if (action.part) {
    (window.bench_parts ??= []).push(new Blob([Uint8Array.from(atob(action.part), (c) => c.charCodeAt(0))]));
    return [];
  }
  if (action.make) {
    const dt = new DataTransfer();
    dt.items.add(new File(window.bench_parts, 'NVPIPE.DAT'));
    window.bench_files = dt.files;
    window.bench_parts = [];
    return [];
  }
  if (action.open) {
    const input = $('#data-file');
    input.files = window.bench_files;
    const chosen = performance.now();
    input.dispatchEvent(new Event('change'));
    await idle();
    return [(performance.now() - chosen) / 1000, $('#summary').rows[0]?.cells[1].textContent,
      $('#message').textContent];
  }
  for (const id of action.clicks) {
    if (id === '#set-contrast') {
      const field = $('#settings [name="set-contrast"]');
      field.value = '210';
      field.dispatchEvent(new Event('input', { bubbles: true }));
      continue;
    }
    $(id).click();
    await idle();
  }
  const downloads = await Promise.all(window.test_downloads);
  window.test_downloads = [];
  return [(performance.now() - start) / 1000, downloads.map((d) => `${d.name} ${d.size}`).join(', ')];
}, action);

for (const name of engines) {
  const engine = await launch(name);
  try {
    await engine.goto(`file://${page_html}`);
    await catch_downloads(engine, true);
    // The test's File is made first, and the memory counted from there.
    // Handed over in parts: one message of a 200 MB file's text ends the page.
    for (let at = 0; at < bytes.length; at += 12 << 20)
      await timed(engine, { part: bytes.subarray(at, at + (12 << 20)).toString('base64') });
    await timed(engine, { make: true });
    await new Promise((done) => setTimeout(done, 2000));
    let peak = 0;
    const sampler = setInterval(() => { peak = Math.max(peak, tree_memory(engine.pid)); }, 50);
    const before = tree_memory(engine.pid);
    const mb = (bytes) => `${Math.round(bytes / 1e6)} MB`;
    const open = await timed(engine, { open: true });
    console.log(`${name}: open ${open[0].toFixed(2)} s (${open[1]} points${open[2] ? `; ${open[2]}` : ''})`);
    console.log(`${name}: memory ${mb(before)} before opening, peak ${mb(peak)} while opening`);
    const gpx = await timed(engine, { clicks: ['#download-gpx'] });
    console.log(`${name}: Download GPX ${gpx[0].toFixed(2)} s (${gpx[1]})`);
    // The generated log's block holds a byte outside the known sets, so Save
    // asks for its second confirmation.
    const save = await timed(engine, { clicks: ['#set-contrast', '#save', '#confirm', '#confirm'] });
    console.log(`${name}: Save ${save[0].toFixed(2)} s (${save[1]})`);
    clearInterval(sampler);
    console.log(`${name}: memory peak ${mb(peak)} over all three`);
  } finally {
    await engine.close();
  }
}
fs.rmSync(scratch, { recursive: true, force: true });
