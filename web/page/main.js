  // The page: every action is one run of the engine (engine.js) in its
  // worker (tool.js). The page builds argument lists and shows or offers what
  // the runs wrote; whatever the tool refuses, it shows in the tool's own
  // words. This part holds the opened file's state, the opening, the actions
  // and the start; it comes last in the joined script.

  // What the page holds for the file last chosen (name: its name as the
  // texts show it). A new opening starts a new generation; work of an older
  // one is dropped when it returns.
  // While a write is in progress, writing is set and the last file chosen
  // meanwhile waits in queued. edited: settings changed in the form and not
  // yet saved. The opened bytes themselves are kept by the engine's worker.
  const state = { generation: 0, name: '', file: null, handle: null, size: 0,
    suspect: '', scan: null, listing: '', selected: null, pending_save: null,
    writing: false, queued: null, focus_next: null, edited: false };

  class Stale extends Error {}
  const check_current = (generation) => {
    if (generation !== state.generation)
      throw new Stale();
  };

  function set_busy(busy, key) {
    const root = document.documentElement;
    if (busy)
      root.dataset.busy = 'yes';
    else
      delete root.dataset.busy;
    for (const id of ['download-gpx', 'analyze', 'save', 'backup', 'cancel'])
      $(id).disabled = busy;
    $('download-track').disabled = busy || !state.selected;
    $('confirm').disabled = busy || Boolean(state.pending_save?.backup_needed);
    for (const input of $('settings').elements)
      input.disabled = busy;
    show_progress(busy ? key : null);
  }

  function show_progress(key, values = []) {
    const text = key && texts.progress[key];
    $('progress').textContent = text ? text(state.name, ...values) : '';
  }
  tool.on_progress = (key, values) => {
    if (document.documentElement.dataset.busy)
      show_progress(key, values);
  };

  // A message of the tool, naming the data file by the owner's name for it,
  // put in as it is: a replacement string would read $& or $' in the name.
  const tool_message = (bytes, typed) =>
    tool_text(bytes, typed).replaceAll(`'${data_name}'`, () => `'${state.name}'`);

  // An error as the page tells it: its own words, or what the browser's
  // exception means with the browser's text after it, never that text alone.
  function in_words(e) {
    if (e instanceof Said)
      return e.message;
    const said = String(e?.message ?? e ?? '');
    const meanings = texts.browser_errors;
    const words = /quota|no space|disk (is )?full/i.test(said) ? meanings.QuotaExceededError :
      meanings[e?.name] ?? meanings.other;
    return said ? texts.browser_said(words, said) : words;
  }

  function show_message(text) {
    $('message').textContent = text;
  }

  function save_message(text, failed) {
    $('save-message').textContent = text;
    $('save-message').classList.toggle('failed', Boolean(failed));
  }

  // A Blob offered as a download of that name.
  function offer(blob, name) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  // Opens the file chosen or dropped, or, while a write is in progress, keeps
  // it (the last one) to be opened once the write has finished. With edits
  // not yet saved, the owner is asked first; resolves to false when the
  // owner keeps them (and the file opened).
  async function choose(file, handle = null) {
    if (state.writing) {
      state.queued = { file, handle };
      save_message(texts.queued(shown_name(file.name)));
      return true;
    }
    if (state.edited && !await ask_discard(shown_name(file.name)))
      return false;
    open_file(file, handle);
    return true;
  }

  // The page's own question before edits are dropped: resolves to true to
  // discard them. A question asked again replaces the one still open.
  let answer_discard = null;
  function ask_discard(other) {
    answer_discard?.(false);
    const dialog = $('discard');
    $('discard-question').textContent = texts.discard_question(state.name);
    $('discard-detail').textContent = texts.discard_detail(other);
    return new Promise((resolve) => {
      answer_discard = (discard) => {
        answer_discard = null;
        dialog.close();
        resolve(discard);
      };
      dialog.showModal();
    });
  }

  async function open_file(file, handle = null) {
    const generation = ++state.generation;
    tool.cancel();
    Object.assign(state, { name: shown_name(file.name), file, handle, size: file.size,
      suspect: '', scan: null, listing: '', selected: null, pending_save: null, edited: false });
    $('opened').hidden = true;
    $('changes').hidden = true;
    show_message('');
    save_message('');
    set_busy(true, 'reading');
    try {
      let r;
      try {
        // Read here and handed over: WebKit's workers cannot read a File
        // made on the page. The worker keeps these bytes: every file saved
        // is made from them, and the file is compared with them first.
        const bytes = await file.arrayBuffer();
        check_current(generation);
        state.size = bytes.byteLength;
        r = await tool.call({ op: 'open', bytes }, [bytes]);
      } catch (e) {
        if (e instanceof Superseded)
          throw new Stale();
        if (/memory|allocation|Array buffer|OOM/i.test(String(e)))
          throw new Said(texts.out_of_memory(state.name, Math.round(file.size / 1e6)));
        throw e;
      }
      check_current(generation);
      const findings = suspect_findings(r);
      state.suspect = findings.length ? texts.suspect(state.name, findings) : '';
      show_message([tool_message(r.stderr), state.suspect].filter(Boolean).join('\n'));
      if (r.status !== 0)
        return;
      state.scan = r.scan;
      state.listing = cp850(r.stdout);
      $('listing').textContent = state.listing;
      learn_view(r.settings);
      $('analysis').hidden = true;
      $('opened').hidden = false;
      show_tracks(r.scan);
      learn_settings(r.settings);
      build_form();
    } catch (e) {
      if (e instanceof Stale || e instanceof Superseded)
        return;
      show_message(e instanceof Said ? e.message : texts.failed(in_words(e)));
    } finally {
      if (generation === state.generation)
        set_busy(false);
    }
  }

  // Why an opened file does not look like a data file: the block's values
  // outside the known sets (the tool's analysis of the block), a log without
  // a point.
  function suspect_findings(r) {
    if (r.status !== 0)
      return [];
    const unknown = cp850(r.unknown_values).trim().split('\n').filter(Boolean);
    return [...(unknown.length ? [texts.unknown_in_block(unknown)] : []),
      ...(r.scan.points ? [] : [texts.no_point])];
  }

  // An export of the opened copy, offered only while the file on disk still
  // holds exactly that copy.
  async function offer_export(exported, name) {
    if (!await unchanged())
      return show_message(texts.changed_export(state.name));
    offer(exported, name);
  }

  async function download_gpx() {
    const scan = state.scan;
    if (scan.size > gpx_size_limit)
      return show_message(texts.gpx_too_large(state.name, Math.round(scan.size / 1e6)));
    await offer_export(await tool.call({ op: 'gpx' }), 'tracks.gpx');
  }

  // The track alone, as the engine writes it: its bounds, the push log
  // points recorded in it and the track, numbered as in the whole export.
  async function download_track() {
    const t = state.selected;
    await offer_export(await tool.call({ op: 'track', first: t.first, count: t.count }),
      `track-${t.number}.gpx`);
  }

  async function analyze() {
    const r = await run(['--analyze', data_name], { [data_name]: 'opened' });
    show_message(tool_message(r.stderr));
    const shown = $('analysis');
    shown.hidden = r.status !== 0;
    shown.textContent = r.stdout.length ? cp850(r.stdout) : texts.no_unknown_values;
  }

  // Runs one action at a time, with its progress line; the root element
  // carries data-busy meanwhile and the actions are disabled. Afterwards the
  // focus goes to state.focus_next, where the action set one.
  function action(fn, key) {
    return async (...args) => {
      if (document.documentElement.dataset.busy)
        return;
      const generation = state.generation;
      set_busy(true, key);
      let focus = null;
      try {
        await fn(...args);
      } catch (e) {
        if (!(e instanceof Stale || e instanceof Superseded))
          show_message(texts.failed(in_words(e)));
      } finally {
        if (generation === state.generation && document.documentElement.dataset.busy) {
          set_busy(false);
          focus = state.focus_next;
        }
        state.focus_next = null;
      }
      focus?.focus();
    };
  }

  function start() {
    for (const element of document.querySelectorAll('[data-text]'))
      element.textContent = texts[element.dataset.text];
    const input = $('data-file');
    // Kept edits keep the file that is open, and the chooser shows its name.
    input.addEventListener('change', async () => {
      if (input.files[0] && !await choose(input.files[0])) {
        const opened = new DataTransfer();
        if (state.file instanceof File)
          opened.items.add(state.file);
        input.files = opened.files;
      }
    });
    $('discard-yes').addEventListener('click', () => answer_discard?.(true));
    $('discard-no').addEventListener('click', () => answer_discard?.(false));
    $('discard').addEventListener('cancel', () => answer_discard?.(false));
    // Closing or reloading the tab with edits not yet saved asks first.
    window.addEventListener('beforeunload', (e) => {
      if (state.edited) {
        e.preventDefault();
        e.returnValue = texts.discard_question(state.name);  // for browsers before preventDefault
      }
    });
    // Where the browser can write files, the chooser keeps the file's handle.
    if (window.showOpenFilePicker) {
      input.addEventListener('click', async (e) => {
        e.preventDefault();
        let handles;
        try {
          handles = await window.showOpenFilePicker({ types: [{ description: texts.chooser_description,
            accept: { 'application/octet-stream': ['.DAT'] } }] });
        } catch {
          return;  // the owner cancelled the choice
        }
        choose(await handles[0].getFile(), handles[0]);
      });
    }
    const drop = $('drop');
    document.addEventListener('dragover', (e) => {
      e.preventDefault();
      drop.classList.add('over');
    });
    document.addEventListener('dragleave', () => drop.classList.remove('over'));
    document.addEventListener('drop', async (e) => {
      e.preventDefault();
      drop.classList.remove('over');
      const files = e.dataTransfer.files;
      if (files.length > 1)
        return show_message(texts.one_file_at_a_time);
      if (!files.length)
        return;
      const item = [...e.dataTransfer.items].find((i) => i.kind === 'file');
      const handle_promise = item?.getAsFileSystemHandle?.();
      const file = files[0];
      const handle = handle_promise ? await handle_promise.catch(() => null) : null;
      choose(file, handle?.kind === 'file' ? handle : null);
    });
    $('download-gpx').addEventListener('click', action(download_gpx, 'exporting'));
    $('download-track').addEventListener('click', action(download_track, 'exporting'));
    $('analyze').addEventListener('click', action(analyze, 'analyzing'));
    $('save').addEventListener('click', action(save, 'checking'));
    $('backup').addEventListener('click', action(backup, 'backing_up'));
    $('confirm').addEventListener('click', action(confirm_save, 'writing'));
    $('cancel').addEventListener('click', drop_pending_save);
    start_drawing();
    start_profile();
    for (const id of ['times-device', 'times-utc', 'units-metric', 'units-imperial'])
      $(id).addEventListener('change', switch_view);
    tool.start();
  }

  if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', start);
  else
    start();
