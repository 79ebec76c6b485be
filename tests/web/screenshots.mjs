// Pictures of the page on the sample data file, never made by hand: the
// opened log, a chosen track with its profile, the settings. Usage:
// node screenshots.mjs NATIVE_BUILD PAGE_HTML OUT_FOLDER [ENGINE...]
// With no engine named, Chromium makes the three pictures of the docs
// (page-opened.png, page-track.png, page-settings.png) at 1280 pixels, in
// English. With engines named, each makes every state at 375 and 1280
// pixels in German and English, the whole page tall, for a look by eye.
import fs from 'node:fs';
import path from 'node:path';
import { launch } from './engines.mjs';

const [native_build, page_html, out] = process.argv.slice(2, 5).map((p) => path.resolve(p));
const review = process.argv.slice(5);
fs.mkdirSync(out, { recursive: true });

const idle = (engine) => engine.evaluate(async () => {
  await new Promise((done) => setTimeout(done, 50));
  while (document.documentElement.dataset.busy)
    await new Promise((done) => setTimeout(done, 20));
  await new Promise((done) => setTimeout(done, 150));
});

// The states, each reached from the one before it.
const states = {
  opened: async (engine) => {
    await engine.upload(path.join(native_build, 'NVPIPE.DAT'));
    await idle(engine);
  },
  track: async (engine) => {
    await engine.evaluate(() => document.querySelector('#tracks tbody tr:nth-child(2)').click());
    await idle(engine);
  },
  settings: async (engine) => {
    await engine.evaluate(() => {
      const field = document.querySelector('#settings [name="set-backlight-time"]');
      field.value = '300';
      field.dispatchEvent(new Event('input', { bubbles: true }));
      document.querySelector('#save').click();
    });
    await idle(engine);
  },
};

// Where each picture of the docs starts and ends.
const docs_views = { opened: ['header', '#tracks-tools'], track: ['#tracks-heading', '#profile-box'],
  settings: ['#settings', '#settings fieldset'] };

async function docs_pictures() {
  const engine = await launch('chromium');
  try {
    await engine.resize(1280, 900);
    await engine.goto(`file://${page_html}`);
    await engine.evaluate(() => document.getElementById('language-en').click());
    for (const [state, reach] of Object.entries(states)) {
      await reach(engine);
      const clip = await engine.evaluate((from, to) => {
        const top = document.querySelector(from).getBoundingClientRect().top + window.scrollY - 12;
        const bottom = document.querySelector(to).getBoundingClientRect().bottom + window.scrollY + 12;
        return { x: 0, y: Math.max(0, top), width: 1280, height: bottom - Math.max(0, top) };
      }, ...docs_views[state]);
      await engine.page.screenshot({ path: path.join(out, `page-${state}.png`), captureBeyondViewport: true, clip });
    }
  } finally {
    await engine.close();
  }
}

async function review_pictures(name) {
  for (const language of ['en', 'de']) {
    for (const width of [375, 1280]) {
      const engine = await launch(name);
      try {
        await engine.resize(width, 900);
        await engine.goto(`file://${page_html}`);
        await engine.evaluate((code) => document.getElementById(`language-${code}`).click(), language);
        await engine.resize(width, 900);
        const shot = async (state) => {
          const height = await engine.evaluate(() => {
            window.scrollTo(0, 0);
            return document.documentElement.scrollHeight;
          });
          await engine.resize(width, Math.min(height + 100, 8000));
          await engine.screenshot(path.join(out, `${name}-${language}-${width}-${state}.png`));
          await engine.resize(width, 900);
        };
        await shot('start');
        for (const [state, reach] of Object.entries(states)) {
          await reach(engine);
          await shot(state);
        }
      } finally {
        await engine.close();
      }
    }
  }
}

if (review.length) {
  for (const name of review)
    await review_pictures(name);
} else {
  await docs_pictures();
}
