  // Saving: the changes checked by the tool and shown, the backup, the write
  // into the opened file and its reading back, or the new file offered as a
  // download.
  // The listing's lines that differ, as "before → after".
  function changed_lines(before, after) {
    const a = before.split('\n');
    const b = after.split('\n');
    if (a.length === b.length)
      return a.flatMap((line, i) => (line === b[i] ? [] : [[line, b[i]]]));
    const kept = new Set(a);
    const gone = a.filter((line) => !b.includes(line));
    return [...gone.map((line) => [line, '']), ...b.filter((line) => !kept.has(line)).map((line) => ['', line])];
  }

  function drop_pending_save() {
    state.pending_save = null;
    $('changes').hidden = true;
  }

  // Save, first step: the tool's run on the opened block with the options of
  // the edited fields and --conf gives both the new block and its listing,
  // whose changed lines are shown for confirmation.
  async function save() {
    const generation = state.generation;
    const changed = setting_fields.filter((f) => f.edited && !(f.words && f.value() === ''));
    const typed = changed.map((f) => f.value());
    const args = changed.map((f) => `--${f.name}=${f.value()}`);
    drop_pending_save();
    save_message('');
    for (const f of setting_fields) {
      f.error.textContent = '';
      f.input.removeAttribute('aria-invalid');
    }
    show_progress('checking');
    const r = await run([...args, '--conf', data_name], { [data_name]: 'block' });
    check_current(generation);
    if (r.status !== 0) {
      save_message(tool_message(r.stderr, typed), true);
      // The tool stops at the first value it rejects, and may name the option
      // by its letter: the field is the first that the tool rejects alone.
      for (let i = 0; i < changed.length; ++i) {
        const alone = await run([args[i], data_name], { [data_name]: 'block' });
        check_current(generation);
        if (alone.status !== 0) {
          changed[i].error.textContent = tool_message(alone.stderr, typed);
          changed[i].input.setAttribute('aria-invalid', 'true');
          state.focus_next = changed[i].input;
          break;
        }
      }
      return;
    }
    const block = r.files[data_name];
    if (block?.length !== block_size)
      throw new Error(texts.no_new_block);
    const lines = changed_lines(state.listing, tool_text(r.stdout, typed));
    $('changes-intro').textContent = (lines.length ? texts.changes_intro : texts.no_changes)(state.name);
    $('changes-lines').textContent = lines.map(([a, b]) => `${a}  →  ${b}`).join('\n');
    $('changes-lines').hidden = !lines.length;
    const write_back = Boolean(state.handle?.createWritable);
    state.pending_save = { block, generation, backup_needed: write_back, suspect_confirmed: false };
    $('backup').hidden = !write_back;
    $('confirm').textContent = write_back ? texts.confirm_write(state.name) : texts.confirm_download;
    $('changes').hidden = false;
    state.focus_next = $('changes');
    if (write_back)
      save_message(texts.backup_first);
  }

  const same_bytes = (a, b) => a.length === b.length && a.every((x, i) => x === b[i]);

  class Changed extends Error {}

  // A file's bytes read again. The browser refuses to read a File once its
  // file has changed on disk (NotReadableError): that is a change too.
  function read_again(file) {
    return file.arrayBuffer().then((bytes) => new Uint8Array(bytes), (e) => {
      throw e?.name === 'NotReadableError' ? new Changed() : e;
    });
  }

  // Whether the file, as it is now, has the length the page opened and the
  // block given (by default the block opened).
  async function unchanged(file, block = state.block) {
    const now = await read_again(file.slice(0, block_size));
    return file.size === state.size && same_bytes(now, block);
  }

  // The backup is the file's bytes read now and found as opened; one that
  // cannot be made keeps Confirm locked, with the reason.
  async function backup() {
    const pending = state.pending_save;
    try {
      const bytes = await read_again(state.file);
      if (bytes.length !== state.size || !same_bytes(bytes.subarray(0, block_size), state.block))
        throw new Changed();
      offer(bytes, `backup-${state.name}`, 'application/octet-stream');
    } catch (e) {
      save_message(texts.backup_failed(state.name, e instanceof Changed ? texts.changed(state.name) :
        e.message ?? e), true);
      return;
    }
    if (pending && pending === state.pending_save) {
      pending.backup_needed = false;
      save_message('');
      state.focus_next = $('confirm');
    }
  }

  // The new block written at its offset into the file, the rest of the file
  // kept: only when the file still has the length and the block it was
  // opened with, and read back afterwards. Resolves to the file as written.
  async function write_block(handle, block) {
    const mode = { mode: 'readwrite' };
    if (handle.queryPermission && await handle.queryPermission(mode) !== 'granted' &&
        await handle.requestPermission(mode) !== 'granted')
      throw new Error(texts.permission_denied);
    // The writer works on a copy of the file taken here: a change made before
    // the comparison below is seen by it.
    const writable = await handle.createWritable({ keepExistingData: true });
    try {
      if (!await unchanged(await handle.getFile()))
        throw new Changed();
      await writable.write({ type: 'write', position: 0, data: block });
    } catch (e) {
      await writable.abort().catch(() => {});
      throw e;
    }
    await writable.close();
    const file = await handle.getFile();
    if (!await unchanged(file, block))
      throw new Error(texts.read_back_differs);
    return file;
  }

  // Save, second step: the block written into the opened file where the
  // browser allows it, else the new data file offered as a download. A file
  // that does not look like a data file asks for a second confirmation.
  // Files chosen meanwhile wait for the write; the last one is opened after
  // it, else the file as written.
  async function confirm_save() {
    const pending = state.pending_save;
    if (!pending || pending.generation !== state.generation || pending.backup_needed)
      return;
    const { name, file, handle } = state;
    if (state.suspect && !pending.suspect_confirmed) {
      pending.suspect_confirmed = true;
      $('confirm').textContent = texts.confirm_suspect(name);
      save_message(state.suspect, true);
      state.focus_next = $('confirm');
      return;
    }
    drop_pending_save();
    if (!handle?.createWritable) {
      try {
        if (!await unchanged(file))
          throw new Changed();
        offer(new Blob([pending.block, file.slice(block_size)]), data_name, 'application/octet-stream');
        save_message(texts.downloaded);
      } catch (e) {
        save_message(e instanceof Changed ? texts.changed(name) : texts.failed(e.message ?? e), true);
      }
      state.focus_next = $('save-message');
      return;
    }
    show_progress('writing');
    state.writing = true;
    let result = texts.written(name);
    let written = null;
    try {
      written = await write_block(handle, pending.block);
    } catch (e) {
      result = e instanceof Changed ? texts.changed(name) : texts.write_failed(name, e.message ?? e);
    } finally {
      state.writing = false;
    }
    const next = state.queued ?? (written && { file: written, handle });
    state.queued = null;
    if (next)
      await open_file(next.file, next.handle);
    save_message(result, !written);
    $('save-message').focus();
  }
