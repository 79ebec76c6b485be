// The page: every action is one run of the engine (engine.js) in its worker
// (tool.js). The page builds argument lists and shows or offers what the runs
// wrote; whatever the tool refuses, it shows in the tool's own words. The
// same script runs in the worker, where it serves the engine instead.
import { start_log_actions } from './log_actions.js';
import { start_drawing } from './map_view.js';
import { start_opening } from './opening.js';
import { start_profile } from './profile_view.js';
import { start_save_flow } from './save_flow.js';
import { start_settings_form } from './settings_form.js';
import { start_status } from './status.js';
import { language, set_language, start_language } from './texts.js';
import { start_tool } from './tool.js';
import { start_tracks_table } from './tracks_table.js';
import { serve_worker } from './worker.js';

// The switch of the page's language: the choice is remembered.
function start_language_switch() {
  const buttons = ['de', 'en'].map((code) => [code, document.getElementById(`language-${code}`)]);
  const mark = () => buttons.forEach(([code, b]) => b.setAttribute('aria-pressed', String(code === language)));
  for (const [code, button] of buttons) {
    button.addEventListener('click', () => {
      set_language(code, true);
      mark();
    });
  }
  mark();
}

function start(source) {
  start_status();
  start_opening();
  start_log_actions();
  start_save_flow();
  start_settings_form();
  start_tracks_table();
  start_drawing();
  start_profile();
  start_tool(source);
  start_language();
  start_language_switch();
}

if (typeof document === 'undefined') {
  serve_worker();
} else {
  // The script's own text, which the worker runs too: only while the script
  // runs for the first time does the page know which one it is.
  const source = document.currentScript.textContent;
  if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', () => start(source));
  else
    start(source);
}
