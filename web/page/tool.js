// The page's side of the engine: its runs, one after the other, in a Web
// Worker (the same script, started from its own text), or on the page
// itself where no worker can be started.
import { Said } from './constants.js';
import { make_engine, wasm_bytes } from './engine.js';

// The page's script text, which the worker runs too (start_tool).
let source = '';

export class Superseded extends Error {}

// The tool's runs, one after the other, in a worker that a new opening
// replaces (the run in progress ends with it).
export const tool = {
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
    // The engine's own errors stay the page's words; the browser's keep
    // their names, for the page to say what they mean.
    if ('error' in data)
      waiting.reject(data.said ? new Said(data.error) :
        Object.assign(new Error(data.error), { name: data.name }));
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
  // Ends the work in progress: a new worker takes the next runs. An idle
  // worker (the one started with the page) stays.
  cancel() {
    if (!this.worker || !this.pending.size)
      return;
    this.fail(new Superseded());
  },
};

// Runs the tool with args (the words after the program name) on files
// (name to Uint8Array). Resolves to the exit status, both streams byte for
// byte, and every file of the folder afterwards.
export const run = (args, files = {}) => tool.call({ op: 'run', args: args.map(String), files });
// The tracks of a data file's bytes (a Uint8Array) with their figures, one
// object per track, as the page reads them from the engine.
export const tracks = (bytes) => tool.call({ op: 'tracks', bytes });

// The engine for the page and for scripts (window.trekdump), started in a
// worker that runs the page's own script text.
export function start_tool(script_text) {
  source = script_text;
  window.trekdump = { run, tracks, get runs_in() { return tool.local ? 'page' : 'worker'; } };
  tool.start();
}
