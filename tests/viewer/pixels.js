// Reading a page's screenshot: a pixel's colour, the pixel near a point closest to a colour, and
// how many pixels two pictures differ in. Pictures are pngjs images (width, height, RGBA data).
'use strict';

const SEARCH_RADIUS = 3;  // pixels around a projection searched for a colour

function pixelAt(image, x, y) {
  const i = 4 * (y * image.width + x);
  return [image.data[i], image.data[i + 1], image.data[i + 2]];
}

// The pixel near `at` closest to `colour` (by its largest channel difference): { pixel, off, x, y }.
function closest(image, at, colour) {
  let best = null;
  for (let dy = -SEARCH_RADIUS; dy <= SEARCH_RADIUS; ++dy) {
    for (let dx = -SEARCH_RADIUS; dx <= SEARCH_RADIUS; ++dx) {
      const x = Math.round(at[0]) + dx, y = Math.round(at[1]) + dy;
      if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
      const pixel = pixelAt(image, x, y);
      const off = Math.max(...pixel.map((c, k) => Math.abs(c - colour[k])));
      if (!best || off < best.off) best = { pixel, off, x, y };
    }
  }
  return best;
}

// How many pixels differ between two pictures of one size by more than `tolerance` in a channel.
function differing(a, b, tolerance) {
  if (a.data.length !== b.data.length) throw new Error('pictures of different sizes');
  let count = 0;
  for (let i = 0; i < a.data.length; i += 4) {
    if ([0, 1, 2].some((k) => Math.abs(a.data[i + k] - b.data[i + k]) > tolerance)) ++count;
  }
  return count;
}

module.exports = { pixelAt, closest, differing };
