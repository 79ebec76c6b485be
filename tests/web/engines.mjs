// The browser engines the page is driven in, behind one small interface:
// open a URL, evaluate an async function in the page (arguments and result as
// JSON), choose a file on disk in the page's file chooser, size the window,
// take a screenshot, close. Chromium and Firefox through puppeteer-core,
// WebKitGTK through its WebDriver (WebKitWebDriver, under xvfb-run).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const chromium_args = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

async function puppeteer_engine(name, options) {
  const browser = await puppeteer.launch({ headless: true, ...options });
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  // No one answers the browser's own questions (leaving a page with edits).
  page.on('dialog', (d) => d.accept());
  return {
    name,
    browser,
    page,
    errors,
    pid: browser.process()?.pid,
    goto: (url) => page.goto(url),
    evaluate: (fn, ...args) => page.evaluate(fn, ...args),
    // The chooser emptied first: a file of the name it holds is no change.
    upload: async (file) => {
      await page.evaluate(() => { document.querySelector('#data-file').value = ''; });
      await (await page.$('#data-file')).uploadFile(file);
    },
    resize: (width, height) => page.setViewport({ width, height }),
    screenshot: (file) => page.screenshot({ path: file }),
    close: () => browser.close(),
  };
}

function free_port() {
  return new Promise((done) => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => done(port));
    });
  });
}

async function webkit_engine(language) {
  const port = await free_port();
  // WebKitGTK takes the page's language from the process's locale.
  const env = language ? { ...process.env, LANGUAGE: language.replace('-', '_'), LANG: `${language.replace('-', '_')}.UTF-8` } :
    process.env;
  const driver = spawn('xvfb-run', ['-a', 'WebKitWebDriver', `--port=${port}`],
    { stdio: 'ignore', detached: true, env });
  const base = `http://127.0.0.1:${port}`;
  const request = async (method, url, body) => {
    const r = await fetch(base + url, { method, headers: { 'content-type': 'application/json' },
      body: body && JSON.stringify(body) });
    const answer = await r.json();
    if (answer.value?.error)
      throw new Error(`${answer.value.error}: ${answer.value.message}`);
    return answer.value;
  };
  let session;
  for (let i = 0; !session; ++i) {
    try {
      session = await request('POST', '/session', { capabilities: { alwaysMatch: {
        'webkitgtk:browserOptions': { binary: process.env.MINIBROWSER ??
          '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', args: ['--automation'] } } } });
    } catch (e) {
      if (i > 100)
        throw e;
      await new Promise((done) => setTimeout(done, 100));
    }
  }
  const at = `/session/${session.sessionId}`;
  return {
    name: 'webkit',
    errors: [],
    pid: driver.pid,
    goto: (url) => request('POST', `${at}/url`, { url }),
    // The function's text and arguments, run as an async script.
    evaluate: (fn, ...args) => request('POST', `${at}/execute/async`, {
      script: `const done = arguments[arguments.length - 1];
        Promise.resolve().then(() => (${fn}).apply(null, Array.from(arguments).slice(0, -1))).then(
          (v) => done({ v }), (e) => done({ e: String(e && e.stack || e) }));`,
      args,
    }).then((r) => {
      if (r && 'e' in r)
        throw new Error(r.e);
      return r?.v;
    }),
    upload: async (file) => {
      const found = await request('POST', `${at}/element`, { using: 'css selector', value: '#data-file' });
      await request('POST', `${at}/element/${Object.values(found)[0]}/clear`, {});
      await request('POST', `${at}/element/${Object.values(found)[0]}/value`, { text: file });
    },
    resize: (width, height) => request('POST', `${at}/window/rect`, { width, height }),
    screenshot: async (file) => fs.writeFileSync(file,
      Buffer.from(await request('GET', `${at}/screenshot`), 'base64')),
    close: async () => {
      await request('DELETE', at).catch(() => {});
      try {
        process.kill(-driver.pid);
      } catch {}
    },
  };
}

// Starts the engine of that name: chromium, firefox or webkit; language
// (such as 'de-DE') is the language the browser asks pages for, else its
// own.
export function launch(name, { language } = {}) {
  const profile = () => fs.mkdtempSync(path.join(os.tmpdir(), `trekdump-${name}-`));
  if (name === 'chromium')
    return puppeteer_engine(name, { executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
      userDataDir: profile(), args: [...chromium_args, ...(language ? [`--lang=${language}`, `--accept-lang=${language}`] : [])],
      ...(language && { env: { ...process.env, LANGUAGE: language.replace('-', '_') } }) });
  if (name === 'firefox')
    return puppeteer_engine(name, { browser: 'firefox',
      executablePath: process.env.FIREFOX ?? '/usr/bin/firefox-esr',
      ...(language && { extraPrefsFirefox: { 'intl.accept_languages': language } }) });
  if (name === 'webkit')
    return webkit_engine(language);
  throw new Error(`unknown engine ${name}`);
}

// The page's downloads, caught in the page: each click on a download link is
// kept as { name, bytes (base64) } in window.test_downloads instead, or as
// { name, size } when only sizes are wanted.
export function catch_downloads(engine, sizes_only = false) {
  return engine.evaluate(async (sizes_only) => {
    window.test_downloads = [];
    window.test_blobs = new Map();
    const create = URL.createObjectURL;
    URL.createObjectURL = (blob) => {
      const url = create(blob);
      window.test_blobs.set(url, blob);
      return url;
    };
    document.addEventListener('click', (e) => {
      const link = e.target.closest?.('a[download]');
      if (!link)
        return;
      e.preventDefault();
      const name = link.download;
      if (sizes_only) {
        window.test_downloads.push({ name, size: window.test_blobs.get(link.href).size });
        return;
      }
      // Read from the Blob itself: the page's policy forbids fetch, even of blob: URLs.
      window.test_downloads.push(window.test_blobs.get(link.href).arrayBuffer().then((b) => {
        const bytes = new Uint8Array(b);
        let text = '';
        for (let i = 0; i < bytes.length; i += 8192)
          text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
        return { name, bytes: btoa(text) };
      }));
    }, true);
  }, sizes_only);
}

// A process and all its descendants.
export function tree_pids(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry))
      continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent))
        children.set(parent, []);
      children.get(parent).push(Number(entry));
    } catch {}
  }
  const pids = [];
  for (const todo = [pid]; todo.length;) {
    const p = todo.pop();
    pids.push(p);
    todo.push(...(children.get(p) ?? []));
  }
  return pids;
}

// The memory of processes, in bytes: the sum of their proportional set
// sizes (shared pages counted once over all).
export function memory_of(pids) {
  let total = 0;
  for (const p of pids) {
    try {
      total += 1024 * Number(/^Pss:\s+(\d+)/m.exec(fs.readFileSync(`/proc/${p}/smaps_rollup`, 'utf8'))[1]);
    } catch {}
  }
  return total;
}

// The memory of a process and all its descendants, in bytes.
export const tree_memory = (pid) => memory_of(tree_pids(pid));
