// Reads the scene that the writer put into the page: the JSON block (caption, counts, bounds,
// up axis, ramp) and the four base64 blocks (positions, places, piece lengths, start dots),
// checked against each other so that a damaged page says what is wrong instead of drawing junk.
import { decodeBase64 } from './base64.js';

const LITTLE_ENDIAN = new Uint8Array(new Uint16Array([1]).buffer)[0] === 1;

function blockText(id) {
  const block = document.getElementById(id);
  if (!block) throw new Error(`the page has no ${id} block`);
  return block.textContent;
}

// The block's bytes as 4-byte little-endian values of the given typed-array kind.
function wordsOf(bytes, Kind, what) {
  if (bytes.length % 4 !== 0) throw new Error(`${what}: ${bytes.length} bytes is not a whole number of 4-byte values`);
  if (!LITTLE_ENDIAN) swapWords(bytes);
  return new Kind(bytes.buffer, bytes.byteOffset, bytes.length / 4);
}

function swapWords(bytes) {
  for (let i = 0; i < bytes.length; i += 4) {
    const a = bytes[i], b = bytes[i + 1];
    bytes[i] = bytes[i + 3];
    bytes[i + 1] = bytes[i + 2];
    bytes[i + 2] = b;
    bytes[i + 3] = a;
  }
}

function binaryBlock(id) {
  try {
    return decodeBase64(blockText(id));
  } catch (error) {
    throw new Error(`${id}: ${error.message}`);
  }
}

function finiteTriple(value) {
  return Array.isArray(value) && value.length === 3 && value.every(Number.isFinite);
}

// The box the writer gave, or the one around the points when it gave none that holds.
function boundsOf(given, positions, starts) {
  if (given && finiteTriple(given.min) && finiteTriple(given.max) &&
      given.min.every((low, i) => low <= given.max[i])) {
    return { min: given.min.slice(), max: given.max.slice() };
  }
  return measuredBounds([positions, starts]);
}

function measuredBounds(lists) {
  const min = [Infinity, Infinity, Infinity], max = [-Infinity, -Infinity, -Infinity];
  for (const list of lists) {
    for (let i = 0; i < list.length; ++i) {
      const v = list[i];
      if (!Number.isFinite(v)) continue;
      if (v < min[i % 3]) min[i % 3] = v;
      if (v > max[i % 3]) max[i % 3] = v;
    }
  }
  if (min[0] > max[0]) return null;
  return { min, max };
}

// A count the writer stated must match what its block holds.
function checkStated(head, key, actual) {
  if (head[key] !== undefined && head[key] !== actual) {
    throw new Error(`dustweave-scene: ${key} is ${head[key]} but the blocks hold ${actual}`);
  }
}

function checkCounts(scene, head) {
  const points = scene.positions.length / 3;
  if (!Number.isInteger(points)) throw new Error('dustweave-positions: not a whole number of x, y, z');
  if (scene.places.length !== points) {
    throw new Error(`dustweave-places: ${scene.places.length} places for ${points} points`);
  }
  let pieced = 0;
  for (const n of scene.pieces) pieced += n;
  if (pieced !== points) throw new Error(`dustweave-pieces: the pieces hold ${pieced} points, not ${points}`);
  if (scene.starts.length % 3 !== 0) throw new Error('dustweave-starts: not a whole number of x, y, z');
  if (scene.ramp.length !== 768) throw new Error(`ramp: ${scene.ramp.length} bytes, not 256 colours`);
  checkStated(head, 'pointCount', points);
  checkStated(head, 'pieceCount', scene.pieces.length);
  checkStated(head, 'startCount', scene.starts.length / 3);
}

// Everything the page shows, read from its data blocks. Throws with the block at fault.
export function readScene() {
  let head;
  try {
    head = JSON.parse(blockText('dustweave-scene'));
  } catch (error) {
    throw new Error(`dustweave-scene: ${error.message}`);
  }
  const positions = wordsOf(binaryBlock('dustweave-positions'), Float32Array, 'dustweave-positions');
  const starts = wordsOf(binaryBlock('dustweave-starts'), Float32Array, 'dustweave-starts');
  const scene = {
    caption: Array.isArray(head.caption) ? head.caption.map(String) : [],
    up: typeof head.up === 'string' ? head.up : '+Y',
    ramp: decodeBase64(String(head.ramp ?? '')),
    positions,
    places: binaryBlock('dustweave-places'),
    pieces: wordsOf(binaryBlock('dustweave-pieces'), Uint32Array, 'dustweave-pieces'),
    starts,
    bounds: boundsOf(head.bounds, positions, starts),
  };
  checkCounts(scene, head);
  return scene;
}
