// In the worker: one engine, answering the page's messages in turn.
import { Said } from './constants.js';
import { buffers_in, make_engine } from './engine.js';

export function serve_worker() {
  let handle = null;
  let queue = Promise.resolve();
  self.onmessage = (e) => {
    const message = e.data;
    if (message.op === 'start') {
      handle = make_engine(message.wasm, (key, ...values) => self.postMessage({ progress: key, values }));
      self.postMessage({ ready: true });
      return;
    }
    queue = queue.then(() => handle(message)).then(
      // The arrays of a result are handed over, not copied.
      (result) => self.postMessage({ id: message.id, result }, buffers_in(result)),
      (error) => self.postMessage({ id: message.id, error: String(error?.message ?? error),
        name: error?.name, said: error instanceof Said }));
  };
}
