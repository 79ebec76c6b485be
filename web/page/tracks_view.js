  // The tracks: the overview, the summary, the table and the drawing.
  // The table's columns: the engine's name of each figure and its kind
  // (units.js).
  const track_columns = [['number', 'count'], ['start', 'time'], ['end', 'time'],
    ['seconds', 'duration'], ['moving_s', 'duration'], ['paused_s', 'duration'], ['stops', 'count'],
    ['distance_m', 'distance'], ['average_kmh', 'speed'], ['max_kmh', 'speed'], ['ascent_m', 'height'],
    ['descent_m', 'height'], ['min_ele_m', 'height'], ['max_ele_m', 'height'], ['count', 'count'],
    ['push_points', 'count']].map(([key, kind]) => ({ key, kind }));
  const column_head = (name, kind) => texts.column_head(name, kind_unit(kind));

  // One line on the log and the device: the tracks, the dates they span in
  // the zone shown, their distance; the zone and units the device is set to.
  function show_overview(scan) {
    const distance = scan.tracks.reduce((sum, t) => sum + t.distance_m, 0);
    const log = scan.tracks.length ? texts.overview_log(scan.tracks.length,
      shown_date(scan.first_time), shown_date(scan.last_time),
      `${show_value('distance', distance)} ${kind_unit('distance')}`) : texts.overview_empty;
    $('overview').textContent = `${log} ${texts.overview_device(zone_label(view.zone),
      texts.units_names[units_name(view.imperial)])}`;
  }

  function show_summary(scan) {
    const table = $('summary');
    table.replaceChildren();
    const values = [scan.points, scan.tracks.length, scan.pushes,
      show_value('time', scan.first_time), show_value('time', scan.last_time)];
    texts.summary.forEach((name, i) => {
      const row = table.insertRow();
      row.insertCell().textContent = i < 3 ? name : column_head(name, 'time');
      row.insertCell().textContent = values[i];
    });
  }

  const track_colour = (i) => `hsl(${(i * 137.508) % 360} 75% 40%)`;

  // All tracks, equirectangular around the middle latitude; the selected one
  // drawn on top and wider. The canvas is an unaccelerated one (asked for as
  // one read often): WebKit's accelerated canvas keeps what it built for every
  // stroked segment, some 500 MB for a full device's million points, where
  // the 800 by 600 pixels take 2 MB. A point on the pixel of the last one
  // drawn adds nothing to the picture and is left out of the path.
  function draw() {
    const canvas = $('drawing');
    const scan = state.scan;
    const g = canvas.getContext('2d', { willReadFrequently: true });
    g.clearRect(0, 0, canvas.width, canvas.height);
    const xy = scan.drawing;
    if (!xy.length)
      return;
    let min_x = Infinity, max_x = -Infinity, min_y = Infinity, max_y = -Infinity;
    for (let i = 0; i < xy.length; i += 2) {
      min_x = Math.min(min_x, xy[i]);
      max_x = Math.max(max_x, xy[i]);
      min_y = Math.min(min_y, xy[i + 1]);
      max_y = Math.max(max_y, xy[i + 1]);
    }
    const squeeze = Math.cos((min_y + max_y) / 2 * Math.PI / 180);
    const margin = 10;
    const scale = Math.min((canvas.width - 2 * margin) / Math.max((max_x - min_x) * squeeze, 1e-9),
      (canvas.height - 2 * margin) / Math.max(max_y - min_y, 1e-9));
    const px = (x) => margin + (x - min_x) * squeeze * scale;
    const py = (y) => canvas.height - margin - (y - min_y) * scale;
    const stroke = (t, i, width) => {
      const from = Math.ceil(t.first / scan.stride);
      const to = Math.ceil((t.first + t.count) / scan.stride);
      g.beginPath();
      g.strokeStyle = track_colour(i);
      g.lineWidth = width;
      let x = 0;
      let y = 0;
      let pixels = 0;
      for (let k = from; k < to; ++k) {
        const next_x = px(xy[2 * k]);
        const next_y = py(xy[2 * k + 1]);
        if (pixels && Math.round(next_x) === Math.round(x) && Math.round(next_y) === Math.round(y))
          continue;
        (pixels++ ? g.lineTo : g.moveTo).call(g, next_x, next_y);
        x = next_x;
        y = next_y;
      }
      if (pixels === 1)
        g.rect(x - 1, y - 1, 2, 2);
      g.stroke();
    };
    // The push log points first, small, each on the side of the meridian
    // where the tracks are drawn: the tracks lie on top of them.
    g.fillStyle = '#000';
    const w = scan.wpt_xy;
    const step = Math.max(1, Math.floor(w.length / 2 / 100000)) * 2;
    const middle = (min_x + max_x) / 2;
    for (let i = 0; i < w.length; i += step) {
      const x = w[i] + 360 * Math.round((middle - w[i]) / 360);
      g.fillRect(px(x) - 1.5, py(w[i + 1]) - 1.5, 3, 3);
    }
    g.globalAlpha = state.selected ? 0.35 : 1;
    scan.tracks.forEach((t, i) => stroke(t, i, 1.5));
    g.globalAlpha = 1;
    if (state.selected)
      stroke(state.selected, state.selected.number - 1, 4);
  }

  // The table's rows, one per track, its headings and its figures in the
  // zone and units shown; the switches start at the device's own.
  function show_tracks(scan) {
    const body = $('tracks').tBodies[0];
    body.replaceChildren();
    for (const t of scan.tracks) {
      const row = body.insertRow();
      row.tabIndex = t.number === 1 ? 0 : -1;
      row.setAttribute('aria-selected', 'false');
      for (const c of track_columns)
        Object.assign(row.insertCell(), { className: c.kind }).dataset.key = c.key;
      row.cells[0].style.borderLeft = `6px solid ${track_colour(t.number - 1)}`;
      const choose = () => select_track(t, row);
      row.addEventListener('click', choose);
      row.addEventListener('keydown', (e) => {
        if (e.key === 'Enter' || e.key === ' ') {
          e.preventDefault();
          choose();
        } else if (e.key in row_moves) {
          e.preventDefault();
          const rows = body.rows;
          const to = rows[Math.max(0, Math.min(rows.length - 1, row_moves[e.key](row.sectionRowIndex, rows.length)))];
          row.tabIndex = -1;
          to.tabIndex = 0;
          to.focus();
        } else if (e.key in column_moves) {
          e.preventDefault();
          $('tracks').parentElement.scrollBy({ left: column_moves[e.key] });
        }
      });
    }
    $('times-device-label').textContent = texts.times_device(zone_label(view.zone));
    $('times-device').checked = true;
    $(view.imperial ? 'units-imperial' : 'units-metric').checked = true;
    fill_tracks(scan);
    $('drawing').setAttribute('aria-label', texts.drawing_label(scan.tracks.length, scan.pushes));
    state.selected = null;
    $('download-track').disabled = true;
    draw();
  }

  // The table's headings: a column of a kind that has a group heading
  // (times, durations, speeds, heights) sits under it, which names the zone
  // or unit; any other column names its own unit.
  function show_heads() {
    const head = $('tracks').tHead;
    head.replaceChildren();
    const rows = [head.insertRow(), head.insertRow()];
    const cell = (row, text, span) => {
      const th = document.createElement('th');
      th.textContent = text;
      th.scope = span ? 'colgroup' : 'col';
      rows[row].append(th);
      return th;
    };
    track_columns.forEach((c, i) => {
      const group = texts.column_groups[c.kind];
      if (!group) {
        Object.assign(cell(0, column_head(texts.track_columns[c.key], c.kind)), { rowSpan: 2, className: c.kind });
        return;
      }
      if (track_columns[i - 1]?.kind !== c.kind) {
        const span = track_columns.filter((o) => o.kind === c.kind).length;
        Object.assign(cell(0, column_head(group, c.kind), span), { colSpan: span });
      }
      cell(1, texts.track_columns[c.key]).className = c.kind;
    });
  }

  // The texts of the overview, the summary and the table in the zone and
  // units shown; the rows, their order and the choice stay.
  function fill_tracks(scan) {
    show_overview(scan);
    show_summary(scan);
    show_heads();
    scan.tracks.forEach((t, r) => {
      const cells = $('tracks').tBodies[0].rows[r].cells;
      track_columns.forEach((c, i) => { cells[i].textContent = show_value(c.kind, t[c.key]); });
    });
  }

  // The switches of zone and units: the page's texts follow them.
  function switch_view() {
    view.utc = $('times-utc').checked;
    view.shown_imperial = $('units-imperial').checked;
    if (state.scan)
      fill_tracks(state.scan);
  }

  // The table is one Tab stop: the arrow keys, Home and End move among its
  // rows, Enter or Space chooses one.
  const row_moves = { ArrowDown: (i) => i + 1, ArrowUp: (i) => i - 1, Home: () => 0,
    End: (i, n) => n - 1, PageDown: (i) => i + 10, PageUp: (i) => i - 10 };
  // Left and right scroll the table's box sideways, where it is too wide.
  const column_moves = { ArrowLeft: -120, ArrowRight: 120 };

  function select_track(track, row) {
    for (const r of $('tracks').tBodies[0].rows)
      r.setAttribute('aria-selected', String(r === row));
    state.selected = track;
    $('download-track').disabled = Boolean(document.documentElement.dataset.busy);
    draw();
  }
