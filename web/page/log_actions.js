// What the page does with the opened log: the GPX of all of it or of the
// chosen track, and the check for unknown values.
import { gpx_size_limit } from './constants.js';
import { cp850 } from './cp850.js';
import { $ } from './dom.js';
import { offer_export } from './files.js';
import { opened } from './state.js';
import { action, on_busy, show_message, tool_message } from './status.js';
import { say, texts } from './texts.js';
import { tool } from './tool.js';

async function download_gpx() {
  const scan = opened.scan;
  if (scan.size > gpx_size_limit) {
    const name = opened.name;
    return show_message(() => texts.gpx_too_large(name, Math.round(scan.size / 1e6)));
  }
  await offer_export(await tool.call({ op: 'gpx' }), 'tracks.gpx');
}

// The track alone, as the engine writes it: its bounds, the push log
// points recorded in it and the track, numbered as in the whole export.
async function download_track() {
  const t = opened.selected;
  await offer_export(await tool.call({ op: 'track', first: t.first, count: t.count }),
    `track-${t.number}.gpx`);
}

async function analyze() {
  const r = await tool.call({ op: 'analyze' });
  show_message(tool_message(r.stderr));
  const shown = $('analysis');
  shown.hidden = r.status !== 0;
  say(shown, r.stdout.length ? cp850(r.stdout) : () => texts.no_unknown_values);
}

export function start_log_actions() {
  $('download-gpx').addEventListener('click', action(download_gpx, 'exporting'));
  $('download-track').addEventListener('click', action(download_track, 'exporting'));
  $('analyze').addEventListener('click', action(analyze, 'analyzing'));
  on_busy((busy) => {
    $('download-gpx').disabled = busy;
    $('analyze').disabled = busy;
    $('download-track').disabled = busy || !opened.selected;
  });
}
