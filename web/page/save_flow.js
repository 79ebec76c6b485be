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
  // whose changed lines are shown for confirmation. The password's preview
  // shows the bytes stored, as the device will; Save goes on only once the
  // note on what is stored has been shown.
  async function save() {
    const generation = state.generation;
    const changed = setting_fields.filter((f) => f.edited && !(f.words && f.value() === ''));
    const unshown = changed.find((f) => f.show_note && !f.show_note());
    if (unshown) {
      state.focus_next = unshown.input;
      return;
    }
    const typed = changed.filter((f) => !f.note).map((f) => f.value());
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
      throw new Said(texts.no_new_block);
    const lines = changed_lines(state.listing, tool_text(r.stdout, typed));
    $('changes-intro').textContent = (lines.length ? texts.changes_intro : texts.no_changes)(state.name);
    $('changes-lines').textContent = lines.map(([a, b]) => `${a}  →  ${b}`).join('\n');
    $('changes-lines').hidden = !lines.length;
    const write_back = Boolean(state.handle?.createWritable);
    state.pending_save = { block, generation, backup_needed: write_back, suspect_confirmed: false };
    $('backup').hidden = !write_back;
    $('changes-note').hidden = !write_back;
    $('changes-note').textContent = texts.write_back_note(state.name, texts.file_size(state.size));
    $('confirm').textContent = write_back ? texts.confirm_write(state.name) : texts.confirm_download;
    $('changes').hidden = false;
    state.focus_next = $('changes');
    if (write_back)
      save_message(texts.backup_first);
  }

  class Changed extends Error {}

  // The opened file as it is on disk now: through its handle a new File, as
  // the browser sees it now; null when the browser cannot give it.
  const file_now = () => (state.handle ? state.handle.getFile().catch(() => null) :
    Promise.resolve(state.file));

  // Whether the file on disk holds exactly the bytes the page opened (with
  // block in place of the opened block, when given): its length and every
  // byte, read in parts and each compared in the worker, which holds the
  // opened copy, so a large file is never held twice. A part the browser
  // cannot read (NotReadableError once the file changed, NotFoundError) is a
  // difference too.
  async function unchanged(block = null, file = null) {
    const generation = state.generation;
    file ??= await file_now();
    if (!file || file.size !== state.size)
      return false;
    for (let at = 0; at < file.size; at += compare_part) {
      const bytes = await file.slice(at, at + compare_part).arrayBuffer().catch(() => null);
      check_current(generation);
      if (!bytes || !await tool.call({ op: 'compare', at, bytes, block }, [bytes]))
        return false;
      check_current(generation);
    }
    return true;
  }

  // The file to save, made from the opened copy (with block in place of its
  // own), once the file on disk has been found exactly as opened.
  async function from_opened(block = null) {
    const generation = state.generation;
    if (!await unchanged())
      throw new Changed();
    const file = await tool.call({ op: 'file', block });
    check_current(generation);
    return file;
  }

  // The backup is the opened copy, offered while the file is found as
  // opened; one that cannot be made keeps Confirm locked, with the reason.
  async function backup() {
    const pending = state.pending_save;
    try {
      offer(await from_opened(), `backup-${state.file.name}`);
    } catch (e) {
      if (e instanceof Stale || e instanceof Superseded)
        throw e;
      save_message(texts.backup_failed(state.name, e instanceof Changed ? texts.changed(state.name) :
        in_words(e)), true);
      return;
    }
    if (pending && pending === state.pending_save) {
      pending.backup_needed = false;
      save_message('');
      state.focus_next = $('confirm');
    }
  }

  // The new data file written into the file through its handle: the browser
  // writes the whole new copy (made from the opened one) beside the file and
  // puts it in place of the old one at close; until then the old file is
  // untouched. The file is compared with the opened copy last before that,
  // and read back after it. Resolves to the file as written.
  async function write_file(handle, block) {
    const mode = { mode: 'readwrite' };
    if (handle.queryPermission && await handle.queryPermission(mode) !== 'granted' &&
        await handle.requestPermission(mode) !== 'granted')
      throw new Said(texts.permission_denied);
    const data = await tool.call({ op: 'file', block });
    const writable = await handle.createWritable();
    try {
      await writable.write(data);
      if (!await unchanged())
        throw new Changed();
    } catch (e) {
      await writable.abort().catch(() => {});
      throw e;
    }
    await writable.close();
    const file = await handle.getFile();
    if (!await unchanged(block, file))
      throw new Said(texts.read_back_differs);
    return file;
  }

  // Why a write failed, and whether the file is as it was: read back and
  // compared with the opened copy.
  async function write_failure(name, e) {
    if (e instanceof Changed)
      return texts.changed(name);
    const kept = await unchanged().catch(() => false);
    return (kept ? texts.write_failed_kept : texts.write_failed)(name, in_words(e));
  }

  // Save, second step: the new data file written into the opened file where
  // the browser allows it, else offered as a download. A file that does not
  // look like a data file asks for a second confirmation. Files chosen
  // meanwhile wait for the write; the last one is opened after it, else the
  // file as written.
  async function confirm_save() {
    const pending = state.pending_save;
    if (!pending || pending.generation !== state.generation || pending.backup_needed)
      return;
    const { name, handle } = state;
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
        offer(await from_opened(pending.block), data_name);
        state.edited = false;
        save_message(texts.downloaded);
      } catch (e) {
        if (e instanceof Stale || e instanceof Superseded)
          throw e;
        save_message(e instanceof Changed ? texts.changed(name) : texts.failed(in_words(e)), true);
      }
      state.focus_next = $('save-message');
      return;
    }
    show_progress('writing');
    state.writing = true;
    let result = texts.written(name);
    let written = null;
    try {
      written = await write_file(handle, pending.block);
    } catch (e) {
      result = await write_failure(name, e);
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
