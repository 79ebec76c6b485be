  // The settings form: one field per setting that takes a value, filled in
  // from what the engine reads in the block.
  const setting_fields = Object.entries(texts.fields).map(([name, label]) =>
    ({ name, label }));

  // What each option accepts and the value stored in the block, as the
  // engine reads them from the tool's option table (trekdump_settings): the
  // valid values, a number's range, the listed words. A word field whose
  // stored value no word stores starts empty.
  function learn_settings(settings) {
    const by_name = new Map(settings.map((s) => [s.name, s]));
    for (const f of setting_fields) {
      const s = by_name.get(f.name);
      Object.assign(f, { kind: s.kind, valid: s.valid, range: s.range, words: s.words,
        initial: s.value });
    }
  }

  // A switch for a setting that is on or off (yes or no), when the file's
  // value is one of its words.
  const switch_words = (f) => (f.kind === 'on_off' || f.kind === 'yes_no') && f.initial && f.words;

  // The field's control. Numbers are text fields: what the user types reaches
  // the tool as typed, and the tool judges it.
  function field_input(f) {
    let input;
    const on_off = switch_words(f);
    if (on_off) {
      input = document.createElement('input');
      input.type = 'checkbox';
      input.checked = f.initial === on_off[0];
      f.value = () => (input.checked ? on_off[0] : on_off[1]);
      return input;
    }
    if (f.words) {
      input = document.createElement('select');
      const choices = f.initial ? f.words : ['', ...f.words];
      for (const word of choices)
        input.add(new Option(word || texts.unknown_choice, word));
    } else {
      input = document.createElement('input');
      input.type = 'text';
      input.autocomplete = 'off';
      if (f.range && !f.range.min.startsWith('-'))
        input.inputMode = 'decimal';
    }
    input.value = f.initial;
    f.value = () => input.value;
    return input;
  }

  function build_form() {
    const form = $('settings');
    form.replaceChildren();
    for (const f of setting_fields) {
      const input = field_input(f);
      input.name = f.name;
      input.id = `field-${f.name}`;
      f.input = input;
      f.edited = false;
      const mark = () => {
        f.edited = true;
        drop_pending_save();
      };
      input.addEventListener('input', mark);
      input.addEventListener('change', mark);
      const label = document.createElement('label');
      label.htmlFor = input.id;
      label.textContent = f.label;
      const cell = document.createElement('div');
      const hint = document.createElement('span');
      hint.className = 'hint';
      hint.id = `hint-${f.name}`;
      hint.textContent = f.valid && !f.words ? f.valid : '';
      f.error = document.createElement('span');
      f.error.className = 'error';
      f.error.id = `error-${f.name}`;
      input.setAttribute('aria-describedby', `${hint.id} ${f.error.id}`);
      cell.append(input, hint, f.error);
      form.append(label, cell);
    }
  }
