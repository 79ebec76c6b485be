  // The tracks: the summary, the table and the drawing.
  const pad = (n) => String(n).padStart(2, '0');
  // A time as the engine gives it ("2008-08-17 06:12:05"), or none.
  const show_time = (t) => t ?? texts.no_time;
  function duration(track) {
    const a = Math.abs(track.seconds);
    return `${track.seconds < 0 ? '-' : ''}${Math.floor(a / 3600)}:${pad(Math.floor(a / 60) % 60)}:${pad(a % 60)}`;
  }

  function show_summary(scan) {
    const table = $('summary');
    table.replaceChildren();
    const values = [scan.points, scan.tracks.length, scan.pushes,
      show_time(scan.first_time), show_time(scan.last_time)];
    texts.summary.forEach((name, i) => {
      const row = table.insertRow();
      row.insertCell().textContent = name;
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

  function show_tracks(scan) {
    const head = $('tracks').tHead;
    head.replaceChildren();
    const header = head.insertRow();
    for (const name of texts.track_columns) {
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = name;
      header.append(th);
    }
    const body = $('tracks').tBodies[0];
    body.replaceChildren();
    for (const t of scan.tracks) {
      const row = body.insertRow();
      row.tabIndex = t.number === 1 ? 0 : -1;
      row.setAttribute('aria-selected', 'false');
      row.style.borderLeft = `6px solid ${track_colour(t.number - 1)}`;
      [t.number, show_time(t.start), show_time(t.end), duration(t), t.count, t.km.toFixed(2),
        t.pushes].forEach((value, i) => {
        const cell = row.insertCell();
        cell.textContent = value;
        cell.dataset.label = texts.track_columns[i];
      });
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
        }
      });
    }
    $('drawing').setAttribute('aria-label', texts.drawing_label(scan.tracks.length, scan.pushes));
    state.selected = null;
    $('download-track').disabled = true;
    draw();
  }

  // The table is one Tab stop: the arrow keys, Home and End move among its
  // rows, Enter or Space chooses one.
  const row_moves = { ArrowDown: (i) => i + 1, ArrowUp: (i) => i - 1, Home: () => 0,
    End: (i, n) => n - 1, PageDown: (i) => i + 10, PageUp: (i) => i - 10 };

  function select_track(track, row) {
    for (const r of $('tracks').tBodies[0].rows)
      r.setAttribute('aria-selected', String(r === row));
    state.selected = track;
    $('download-track').disabled = Boolean(document.documentElement.dataset.busy);
    draw();
  }
