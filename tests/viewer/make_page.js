// Writes preview pages the way dustweave's writer does: the page's first text, the scene's data
// blocks, the page's second text. The scenes are made here: one straight chain, a swirl of about
// 200,000 segments, 200,000 segments in 50,000 short pieces, an empty scene, and a damaged one
// whose counts disagree.
// As a program: node make_page.js --parts FOLDER --scene NAME --out FILE.html
'use strict';

const fs = require('fs');
const path = require('path');

// The chain ramp's stops (sRGB), mixed linearly and rounded, as the program's ramp does.
const STOPS = [[0.0, [0x5b, 0x2a, 0x86]], [0.35, [0xd9, 0x48, 0x3b]], [0.7, [0xf4, 0xa2, 0x3a]], [1.0, [0xff, 0xf1, 0xc9]]];

function rampColour(t) {
  let s = 0;
  while (s < STOPS.length - 2 && t > STOPS[s + 1][0]) ++s;
  const [a, from] = STOPS[s], [b, to] = STOPS[s + 1];
  const u = (t - a) / (b - a);
  return from.map((c, k) => Math.floor(c + (to[k] - c) * u + 0.5));
}

function rampBytes() {
  const bytes = Buffer.alloc(768);
  for (let i = 0; i < 256; ++i) bytes.set(rampColour(i / 255), 3 * i);
  return bytes;
}

// The place byte of point k of a chain of n points.
const placeOf = (k, n) => (n > 1 ? Math.round((255 * k) / (n - 1)) : 0);

// A scene under construction: pieces of chains added one after another.
class SceneBuilder {
  constructor(caption) {
    this.caption = caption;
    this.positions = [];
    this.places = [];
    this.pieces = [];
    this.starts = [];
  }

  // Points [from, to) of a chain whose points are given by `at(k)`, k = 0 .. n - 1.
  addPiece(at, n, from = 0, to = n) {
    for (let k = from; k < to; ++k) {
      this.positions.push(...at(k));
      this.places.push(placeOf(k, n));
    }
    this.pieces.push(to - from);
    if (from === 0) this.starts.push(...at(0));
  }

  bounds() {
    const all = this.positions.concat(this.starts);
    if (all.length === 0) return { min: [0, 0, 0], max: [0, 0, 0] };
    const min = [Infinity, Infinity, Infinity], max = [-Infinity, -Infinity, -Infinity];
    for (let i = 0; i < all.length; ++i) {
      const v = Math.fround(all[i]);
      min[i % 3] = Math.min(min[i % 3], v);
      max[i % 3] = Math.max(max[i % 3], v);
    }
    return { min, max };
  }

  blocks() {
    return {
      head: {
        caption: this.caption,
        pointCount: this.places.length,
        pieceCount: this.pieces.length,
        startCount: this.starts.length / 3,
        bounds: this.bounds(),
        up: '+Y',
        ramp: rampBytes().toString('base64'),
      },
      positions: Buffer.from(new Float32Array(this.positions).buffer),
      places: Buffer.from(this.places),
      pieces: Buffer.from(new Uint32Array(this.pieces).buffer),
      starts: Buffer.from(new Float32Array(this.starts).buffer),
    };
  }
}

const STRAIGHT_HEAD = [-1, -0.5, 0], STRAIGHT_TAIL = [1, 0.5, 0];

// One chain of 101 points in a straight line from STRAIGHT_HEAD to STRAIGHT_TAIL.
function straightScene() {
  const scene = new SceneBuilder([
    'input: straight.pfx (1 particle, index limit 101)',
    'options: --step 1 --surface <Dust> & "friends"',
    '101 points \u00b7 100 polygons \u00b7 1 chain',
    'showing all 100 segments',
  ]);
  const n = 101;
  scene.addPiece((k) => STRAIGHT_HEAD.map((h, i) => h + ((STRAIGHT_TAIL[i] - h) * k) / (n - 1)), n);
  return scene;
}

// A small random generator with a fixed seed, so that the large page is the same every time.
function seeded(seed) {
  let state = seed >>> 0;
  return () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// A funnel of rising spirals: 1,600 chains of 101 points, and 20 long chains of 4,001 points
// of which pieces of 500 points, one every 1,000, are shown (the last of one point); 199,920
// segments in all.
function largeScene() {
  const random = seeded(24);
  const scene = new SceneBuilder([
    'input: dust-devil.pfx (1,620 particles, index limit 4,001)',
    'options: --step 0.25',
    '241,620 points \u00b7 240,000 polygons \u00b7 1,620 chains',
    'showing 199,920 of 240,000 segments (83.3 %)',
  ]);
  const spiral = (n) => {
    const turn = random() * 2 * Math.PI, base = 0.2 + random() * 0.3, rise = 2 + random() * 2;
    return (k) => {
      const t = k / (n - 1), angle = turn + t * 6 * Math.PI, r = base + t * t * 1.5;
      return [r * Math.cos(angle), rise * t - 1, r * Math.sin(angle)];
    };
  };
  for (let c = 0; c < 1600; ++c) scene.addPiece(spiral(101), 101);
  for (let c = 0; c < 20; ++c) {
    const at = spiral(4001);
    for (let from = 0; from < 4001; from += 1000) scene.addPiece(at, 4001, from, Math.min(from + 500, 4001));
  }
  return scene;
}

// The most points the sample gives: 50,000 pieces of 5 points (200,000 segments, 250,000
// points), each the start of a chain of 401 points, scattered in a cube.
function piecesScene() {
  const random = seeded(250);
  const scene = new SceneBuilder([
    'input: scattered.pfx (50,000 particles, index limit 401)',
    '20,050,000 points \u00b7 20,000,000 polygons \u00b7 50,000 chains',
    'showing 200,000 of 20,000,000 segments (1.0 %)',
  ]);
  for (let c = 0; c < 50000; ++c) {
    const from = [random() * 4 - 2, random() * 4 - 2, random() * 4 - 2];
    const step = [random() - 0.5, random() - 0.5, random() - 0.5].map((v) => v * 0.02);
    scene.addPiece((k) => from.map((f, i) => f + step[i] * k), 401, 0, 5);
  }
  return scene;
}

function emptyScene() {
  return new SceneBuilder(['input: nothing.pfx (0 particles)', '0 points \u00b7 0 polygons']);
}

// The straight chain, with one point fewer in its pieces block than it has.
function damagedScene() {
  const scene = straightScene();
  scene.pieces[0] -= 1;
  return scene;
}

const SCENES = {
  straight: straightScene, large: largeScene, pieces: piecesScene, empty: emptyScene, damaged: damagedScene,
};

// Base64 cut into lines of `width` characters (0: one line), as a writer may.
function base64Lines(bytes, width) {
  const text = bytes.toString('base64');
  if (!width) return text;
  const lines = [];
  for (let i = 0; i < text.length; i += width) lines.push(text.slice(i, i + width));
  return `\n${lines.join('\n')}\n`;
}

function dataBlocks(blocks) {
  const json = JSON.stringify(blocks.head).replace(/</g, '\\u003c');
  const binary = (id, bytes, width) =>
    `<script type="application/octet-stream" id="dustweave-${id}">${base64Lines(bytes, width)}</script>\n`;
  return `<script type="application/json" id="dustweave-scene">${json}</script>\n` +
    binary('positions', blocks.positions, 76) + binary('places', blocks.places, 0) +
    binary('pieces', blocks.pieces, 13) + binary('starts', blocks.starts, 1000);
}

function readParts(folder) {
  return {
    before: fs.readFileSync(path.join(folder, 'viewer_page_before.html'), 'utf8'),
    after: fs.readFileSync(path.join(folder, 'viewer_page_after.html'), 'utf8'),
  };
}

// Writes the named scene's page to `file`; returns what the scene holds.
function writePage(parts, name, file) {
  const scene = SCENES[name]();
  const blocks = scene.blocks();
  fs.writeFileSync(file, parts.before + dataBlocks(blocks) + parts.after);
  return { ramp: rampBytes(), head: blocks.head, segments: scene.places.length - scene.pieces.length };
}

module.exports = { readParts, writePage, STRAIGHT_HEAD, STRAIGHT_TAIL, SCENES };

if (require.main === module) {
  const args = process.argv.slice(2);
  const given = {};
  for (let i = 0; i + 1 < args.length; i += 2) given[args[i].replace(/^--/, '')] = args[i + 1];
  if (!given.parts || !SCENES[given.scene] || !given.out) {
    console.error(`usage: node make_page.js --parts FOLDER --scene ${Object.keys(SCENES).join('|')} --out FILE.html`);
    process.exit(2);
  }
  const made = writePage(readParts(given.parts), given.scene, given.out);
  console.log(`${given.out}: ${made.head.pointCount} points, ${made.segments} segments, ` +
              `${fs.statSync(given.out).size} bytes`);
}
