// What the drawing marks and explains: the start and end of a track and
// the push log points on its canvas, the scale bar and the legend beside it.
import { $ } from './dom.js';
import { texts } from './texts.js';
import { decimal, view } from './units.js';

// The start as a white disc ringed in the track's colour, the end as a
// square in the track's colour with a white rim.
export function mark_end(g, [x, y], kind, colour, size) {
  g.beginPath();
  if (kind === 'start')
    g.arc(x, y, 6 * size, 0, 2 * Math.PI);
  else
    g.rect(x - 5.5 * size, y - 5.5 * size, 11 * size, 11 * size);
  g.fillStyle = kind === 'start' ? '#fff' : colour;
  g.strokeStyle = kind === 'start' ? colour : '#fff';
  g.lineWidth = kind === 'start' ? 3 : 2;
  g.fill();
  g.stroke();
  if (kind === 'end') {
    g.strokeStyle = colour;
    g.lineWidth = 1;
    g.strokeRect(x - 6.5 * size, y - 6.5 * size, 13 * size, 13 * size);
  }
}

// Push log points, each a dark diamond with a white rim, all in one path.
export function mark_pushes(g, places, size) {
  if (!places.length)
    return;
  const r = 6 * size;
  g.beginPath();
  for (const [x, y] of places) {
    g.moveTo(x, y - r);
    g.lineTo(x + r, y);
    g.lineTo(x, y + r);
    g.lineTo(x - r, y);
    g.closePath();
  }
  g.fillStyle = '#333';
  g.strokeStyle = '#fff';
  g.lineWidth = 1.5;
  g.fill();
  g.stroke();
}

// The scale bar: the longest of 1, 2 or 5 times a power of ten that fits
// into 120 pixels, measured along a meridian.
// In the units shown: metres and kilometres, or feet and miles.
export function show_scale(per_pixel) {
  const [small, big, small_size, big_size] = view.shown_imperial ? ['ft', 'mi', 0.3048, 1609.344] : ['m', 'km', 1, 1000];
  const length = (size) => {
    const most = per_pixel * 120 / size;
    const power = 10 ** Math.floor(Math.log10(most));
    return [5, 2, 1].map((f) => f * power).find((m) => m <= most);
  };
  const [count, unit, size] = per_pixel * 120 >= big_size ? [length(big_size), big, big_size] : [length(small_size), small, small_size];
  $('scale-bar').style.width = `${Math.round(count * size / per_pixel)}px`;
  $('scale-text').textContent = `${decimal(count)} ${unit}`;
}

// The legend: the tracks shown (of many, the chosen one and the first of
// the others), then the marks.
export function show_legend(shown, chosen, colour_of, pushes) {
  const legend = $('legend');
  const listed = [...(chosen >= 0 ? [chosen] : []), ...shown.filter((i) => i !== chosen).sort((a, b) => a - b)]
    .slice(0, 8);
  const item = (symbol, text, colour) => {
    const li = document.createElement('li');
    const mark = document.createElement('span');
    mark.className = symbol;
    if (colour)
      mark.style.setProperty('--colour', colour);
    li.append(mark, text);
    return li;
  };
  const items = listed.map((i) => {
    const li = item('line', texts.legend_track(i + 1), colour_of(i));
    li.classList.toggle('chosen', i === chosen);
    return li;
  });
  if (shown.length > listed.length) {
    const more = document.createElement('li');
    more.textContent = texts.legend_more(shown.length - listed.length);
    items.push(more);
  }
  items.push(item('start', texts.legend_start), item('end', texts.legend_end));
  if (pushes)
    items.push(item('push', texts.legend_push));
  legend.replaceChildren(...items);
}
