// The page's text over the view: the writer's caption with a strip of the ramp from chain start
// to chain end and a line on the controls, and a message in the middle for an empty scene or
// one that cannot be shown.

const HELP = 'drag: turn \u00b7 right drag or shift drag: pan \u00b7 wheel or pinch: zoom \u00b7 ' +
  'arrows: turn (shift: pan) \u00b7 + \u2212: zoom \u00b7 double click, R or Home: starting view';

function line(parent, className, text) {
  const element = document.createElement('div');
  if (className) element.className = className;
  if (text !== undefined) element.textContent = text;
  parent.appendChild(element);
  return element;
}

// A 256-pixel strip of the ramp, stretched by the style sheet.
function rampStrip(ramp) {
  const canvas = document.createElement('canvas');
  canvas.width = 256;
  canvas.height = 1;
  const pixels = new ImageData(256, 1);
  for (let i = 0; i < 256; ++i) {
    pixels.data.set([ramp[3 * i], ramp[3 * i + 1], ramp[3 * i + 2], 255], 4 * i);
  }
  canvas.getContext('2d').putImageData(pixels, 0, 0);
  return canvas;
}

export function showCaption(box, lines, ramp) {
  for (const text of lines) line(box, null, text);
  if (ramp) {
    const legend = line(box, 'legend');
    line(legend, null, 'chain start');
    legend.appendChild(rampStrip(ramp));
    line(legend, null, 'chain end');
  }
  line(box, 'help', HELP);
  if (lines.length > 0) document.title = `${lines[0]} \u00b7 dustweave`;
}

export function showMessage(box, text) {
  box.textContent = text;
  box.hidden = false;
}
