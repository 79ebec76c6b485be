// Measures the page against its targets at a full device's size, each run in
// a fresh browser of each engine: opening a data file of POINTS points and
// one of 200 MB (from the file's choice to the painted page, and the growth
// of the browser's memory meanwhile: the sum of the proportional set sizes
// of its processes), choosing a track with its profile, and Download GPX of
// the POINTS points (its time, and the memory it adds next to the size of
// the document). Times and memory are measured in browsers of their own.
// Prints the minimum, median and maximum of each over the runs, with the
// machine's load. Usage:
// node bench.mjs NATIVE_BUILD PAGE_HTML [POINTS] [ENGINE...] [--runs=N] [--large=POINTS]
// (defaults: 1,000,000 points; chromium firefox webkit; 5 runs; 12,500,000
// points in the 200 MB file, 0 to leave it out).
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { catch_downloads, launch, memory_of, tree_memory, tree_pids } from './engines.mjs';

const options = Object.fromEntries(process.argv.slice(2).filter((a) => a.startsWith('--'))
  .map((a) => a.slice(2).split('=')));
const words = process.argv.slice(2).filter((a) => !a.startsWith('--'));
const [native_build, page_html] = words.slice(0, 2).map((p) => path.resolve(p));
const points = Number(words[2] ?? 1000000);
const engines = words.length > 3 ? words.slice(3) : ['chromium', 'firefox', 'webkit'];
const runs = Number(options.runs ?? 5);
const large_points = Number(options.large ?? 12500000);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'trekdump-bench-'));
const data_file = (count) => {
  const file = path.join(scratch, `${count}.DAT`);
  spawnSync(path.join(native_build, 'make_log'), [String(count), file]);
  return file;
};
const full = data_file(points);
const large = large_points ? data_file(large_points) : null;
const mb = (bytes) => bytes / 1e6;

// What the page is asked to do, timed inside it.
const page = {
  // Keeps the time of the file's choice and of the end of the page's work
  // (it stays busy until the opened log has been painted).
  watch: () => {
    const root = document.documentElement;
    window.bench = { chosen: 0, ready: 0 };
    document.querySelector('#data-file').addEventListener('change', (e) => {
      if (e.target.files.length)
        window.bench = { chosen: performance.now(), ready: 0 };
    }, true);
    new MutationObserver(() => {
      if (window.bench.chosen && !root.dataset.busy && !window.bench.ready)
        window.bench.ready = performance.now();
    }).observe(root, { attributes: true, attributeFilter: ['data-busy'] });
  },
  opened: async () => {
    while (!window.bench.ready)
      await new Promise((done) => setTimeout(done, 20));
    return [(window.bench.ready - window.bench.chosen) / 1000, document.querySelector('#summary').rows[0]?.cells[1].textContent,
      document.querySelectorAll('#tracks tbody tr').length];
  },
  // Seconds from the click on the track's row to its profile painted (the
  // row a number of rows down from the table's top, or its last).
  choose: async (row) => {
    const box = document.querySelector('#profile-box');
    const rows = document.querySelectorAll('#tracks tbody tr');
    const tr = rows[Math.min(row, rows.length - 1)];
    const number = tr.cells[0].textContent;
    const start = performance.now();
    const drawn = new Promise((done) => {
      const seen = new MutationObserver(() => {
        if (box.dataset.track === number) {
          seen.disconnect();
          done();
        }
      });
      seen.observe(box, { attributes: true, attributeFilter: ['data-track'] });
    });
    tr.click();
    await drawn;
    await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
    return (performance.now() - start) / 1000;
  },
  download: async () => {
    const start = performance.now();
    document.querySelector('#download-gpx').click();
    await new Promise((done) => setTimeout(done, 0));
    while (document.documentElement.dataset.busy)
      await new Promise((done) => setTimeout(done, 10));
    const [gpx] = window.test_downloads.splice(0);
    return [(performance.now() - start) / 1000, gpx?.size ?? 0, document.querySelector('#message').textContent];
  },
};

// The peak of the browser's memory over the work, less what it held before:
// its processes are found once, and only their sizes are read meanwhile
// (finding them takes a core's time that the browser should have).
async function memory_while(engine, work) {
  const pids = tree_pids(engine.pid);
  const before = memory_of(pids);
  let peak = before;
  const sampler = setInterval(() => { peak = Math.max(peak, memory_of(pids)); }, 50);
  try {
    const result = await work();
    peak = Math.max(peak, tree_memory(engine.pid));
    return [result, mb(peak - before)];
  } finally {
    clearInterval(sampler);
  }
}

async function fresh_page(name) {
  const engine = await launch(name);
  await engine.resize(1280, 1000);
  await engine.goto(`file://${page_html}`);
  await catch_downloads(engine, true);
  await engine.evaluate(page.watch);
  await new Promise((done) => setTimeout(done, 1500));
  return engine;
}

// One run of each file: its times in one fresh browser, then its memory in
// another (reading the memory takes time from the browser).
async function run_once(name, figures, loads) {
  const add = (key, value) => (figures[key] ??= []).push(value);
  loads.push(os.loadavg()[0]);
  for (const [file, count, key] of [[full, points, 'open'], ...(large ? [[large, large_points, 'large']] : [])]) {
    for (const measured of ['time', 'memory']) {
      const engine = await fresh_page(name);
      try {
        const open = async () => {
          await engine.upload(file);
          const [seconds, shown] = await engine.evaluate(page.opened);
          if (Number(shown) !== count)
            throw new Error(`${name}: ${shown} points shown of ${count}`);
          return seconds;
        };
        const download = async () => {
          const [seconds, size, said] = await engine.evaluate(page.download);
          if (!size)
            throw new Error(`${name}: no GPX offered (${said})`);
          add('gpx_size', mb(size));
          return seconds;
        };
        if (measured === 'time') {
          add(key, await open());
          for (const row of [1, 4, 9])
            add(`${key}_choose`, await engine.evaluate(page.choose, row));
          if (file === full)
            add('gpx', await download());
        } else {
          add(`${key}_memory`, (await memory_while(engine, open))[1]);
          if (file === full)
            add('gpx_memory', (await memory_while(engine, download))[1]);
        }
      } finally {
        await engine.close();
      }
    }
  }
  loads.push(os.loadavg()[0]);
}

// Each figure with its unit and the target it is held against.
const shown_size = (file) => `${Math.round(mb(fs.statSync(file).size))} MB`;
const targets = [
  ['open', `open ${points.toLocaleString('en')} points (${shown_size(full)})`, 's', 0.5],
  ['open_memory', '  memory meanwhile', 'MB', 150],
  ['open_choose', '  choose a track, its profile drawn', 's', 0.1],
  ['gpx', `  Download GPX`, 's', 1],
  ['gpx_memory', '  memory meanwhile (the document: gpx_size MB)', 'MB', null],
  ...(large ? [['large', `open ${large_points.toLocaleString('en')} points (${shown_size(large)})`, 's', 5],
    ['large_memory', '  memory meanwhile', 'MB', 500],
    ['large_choose', '  choose a track, its profile drawn', 's', 0.1]] : []),
];

function summary(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return [sorted[0], sorted[Math.floor((sorted.length - 1) / 2)], sorted.at(-1)];
}

const digits = (unit) => (unit === 's' ? 2 : 0);
const loads = [];
try {
  for (const name of engines) {
    const figures = {};
    for (let i = 0; i < runs; ++i)
      await run_once(name, figures, loads);
    const size = figures.gpx_size ? summary(figures.gpx_size)[1].toFixed(0) : '?';
    for (const [key, what, unit, limit] of targets) {
      const [low, median, high] = summary(figures[key]).map((v) => v.toFixed(digits(unit)));
      const met = limit === null ? '' : Number(high) <= limit ? '  met' : Number(median) <= limit ? '  met in the median' : '  not met';
      console.log(`${name.padEnd(9)} ${what.replace('gpx_size', size).padEnd(44)} ${low} / ${median} / ${high} ${unit}` +
        `${limit === null ? '' : ` (target ${limit} ${unit})`}${met}`);
    }
  }
  const [low, , high] = summary(loads);
  console.log(`min / median / max over ${runs} runs in fresh browsers; load average (1 minute) ` +
    `${low.toFixed(2)} to ${high.toFixed(2)} on ${os.cpus().length} cores`);
} finally {
  fs.rmSync(scratch, { recursive: true, force: true });
}
