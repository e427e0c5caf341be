// The chains and their start dots as three.js objects: one indexed LineSegments for every
// segment of every piece, coloured by the ramp at each point's place along its chain, and one
// Points object for the start dots, in near-white as in the SVG picture: the ramp begins dark,
// so dots in its own first colour would vanish on the chains' starts beneath them.
import {
  BufferAttribute, BufferGeometry, LineBasicMaterial, LineSegments, Points, PointsMaterial,
} from 'three';

const DOT_COLOUR = 0xe8f4ff;

// Dots' size in pixels: smaller the more there are, so that they mark the starts without
// covering the chains.
function dotSize(count) {
  if (count > 20000) return 2;
  if (count > 5000) return 3;
  return 4;
}

// Index pairs (i, i+1) for consecutive points within each piece, never across two pieces.
export function segmentIndex(pieces, pointCount) {
  let segments = 0;
  for (const n of pieces) if (n > 1) segments += n - 1;
  const index = pointCount <= 65536 ? new Uint16Array(2 * segments) : new Uint32Array(2 * segments);
  let at = 0, first = 0;
  for (const n of pieces) {
    for (let k = 1; k < n; ++k) {
      index[at++] = first + k - 1;
      index[at++] = first + k;
    }
    first += n;
  }
  return index;
}

// Each point's colour: the ramp's entry at its place, 8 bits a channel.
export function placeColours(places, ramp) {
  const colours = new Uint8Array(3 * places.length);
  for (let i = 0; i < places.length; ++i) {
    const from = 3 * places[i];
    colours[3 * i] = ramp[from];
    colours[3 * i + 1] = ramp[from + 1];
    colours[3 * i + 2] = ramp[from + 2];
  }
  return colours;
}

export function chainLines(scene) {
  const geometry = new BufferGeometry();
  geometry.setAttribute('position', new BufferAttribute(scene.positions, 3));
  geometry.setAttribute('color', new BufferAttribute(placeColours(scene.places, scene.ramp), 3, true));
  geometry.setIndex(new BufferAttribute(segmentIndex(scene.pieces, scene.places.length), 1));
  return new LineSegments(geometry, new LineBasicMaterial({ vertexColors: true }));
}

export function startDots(scene) {
  const geometry = new BufferGeometry();
  geometry.setAttribute('position', new BufferAttribute(scene.starts, 3));
  return new Points(geometry, new PointsMaterial({ color: DOT_COLOUR, size: dotSize(scene.starts.length / 3),
                                                   sizeAttenuation: false }));
}
