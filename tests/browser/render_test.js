// The browser test: a pfx file of one straight track converted by `dustweave convert` with and
// without --attributes, each .glb drawn by three.js in headless Chromium (page.html), and the
// screenshot's pixels at the chain's head and tail compared with the chain ramp's two ends; and
// once more with --start-poly, for what three.js keeps of each part of the file (docs/formats.md's
// importer table): the lines, the start point and the attributes of both.
// Everything the page loads is served from disk by request interception: no network.
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { packages, launch, serveFiles } = require('./chromium');
const { closest } = require('../viewer/pixels.js');

const ORIGIN = 'http://dustweave.test';
const HEAD = [0x5b, 0x2a, 0x86], TAIL = [0xff, 0xf1, 0xc9];  // the chain ramp at 0 and at 1
const TOLERANCE = 4;  // per channel: 8-bit linear colours come back to sRGB to within 1 or 2
const SAMPLES = 101;

function options(argv) {
  const given = {};
  for (let i = 0; i + 1 < argv.length; i += 2) given[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const name of ['dustweave', 'module', 'work']) {
    if (!given[name]) throw new Error(`usage: render_test.js --dustweave PROGRAM --module MODULE --work FOLDER`);
  }
  return given;
}

// A version-3 pfx file of one particle whose samples run in a straight line from (-1, -0.5, 0)
// to (1, 0.5, 0); the index limit lies past them, so the track never jumps.
function straightTrack(samples) {
  const bytes = Buffer.alloc(12 + 24 + 12 * samples);
  let at = 0;
  const int = (v) => { at = bytes.writeInt32BE(v, at); };
  const float = (v) => { at = bytes.writeFloatBE(v, at); };
  int(3); int(1); int(samples);  // version, particles, index limit
  int(0); int(samples - 1); int(0); float(0); float(0); float(0);  // first, last, resume, ignored
  for (let k = 0; k < samples; ++k) {
    const t = k / (samples - 1);
    float(-1 + 2 * t); float(-0.5 + t); float(0);
  }
  return bytes;
}

function convert(given, pfx, glb, extra) {
  execFileSync(given.dustweave, ['convert', pfx, glb, '--module', given.module, '--quiet', ...extra],
               { stdio: ['ignore', 'inherit', 'inherit'] });
}

// What the page asks for: itself, three.js, and the .glb files of the work folder.
function served(url, work) {
  const route = new URL(url).pathname;
  if (route === '/page.html' || route === '/page.js') return path.join(__dirname, route);
  if (route.startsWith('/three/')) return path.join(__dirname, 'node_modules', route);
  if (route.startsWith('/glb/')) return path.join(work, path.basename(route));
  return null;
}

async function draw(browser, given, glb) {
  const page = await browser.newPage({ viewport: { width: 640, height: 360 }, deviceScaleFactor: 1 });
  await serveFiles(page, (url) => served(url, given.work));
  await page.goto(`${ORIGIN}/page.html?glb=/glb/${glb}`);
  await page.waitForFunction(() => window.drawn !== undefined, null, { timeout: 60000 });
  const drawn = await page.evaluate(() => window.drawn);
  if (drawn.error) throw new Error(`${glb}: ${drawn.error}`);
  const shot = await page.locator('canvas').screenshot();
  fs.writeFileSync(path.join(given.work, glb.replace(/\.glb$/, '.png')), shot);
  await page.close();
  return { drawn, image: PNG.sync.read(shot) };
}

// The brightest pixel near `at`: something was drawn there.
function brightest(image, at) {
  return closest(image, at, [255, 255, 255]);
}

const hex = (c) => '#' + c.map((v) => v.toString(16).padStart(2, '0')).join('');
const failures = [];
function check(what, ok, detail) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}: ${detail}`);
  if (!ok) failures.push(what);
}

function checkEnd(label, image, at, colour, shaded) {
  const near = closest(image, at, colour);
  const lit = brightest(image, at);
  const where = `pixel (${near.x}, ${near.y}) is ${hex(near.pixel)} [${near.pixel.join(', ')}]`;
  if (shaded) {
    check(`${label} shows ${hex(colour)}`, near.off <= TOLERANCE, `${where}, off by ${near.off}`);
  } else {
    check(`${label} is drawn`, Math.max(...lit.pixel) >= 128, `brightest near it ${hex(lit.pixel)}`);
    check(`${label} does not show ${hex(colour)}`, near.off > TOLERANCE, `closest ${where}, off by ${near.off}`);
  }
}

let PNG, chromium;
async function main() {
  const given = options(process.argv.slice(2));
  ({ PNG, chromium } = packages());
  fs.mkdirSync(given.work, { recursive: true });
  const pfx = path.join(given.work, 'straight.pfx');
  fs.writeFileSync(pfx, straightTrack(SAMPLES));
  convert(given, pfx, path.join(given.work, 'plain.glb'), []);
  convert(given, pfx, path.join(given.work, 'shaded.glb'), ['--attributes']);
  convert(given, pfx, path.join(given.work, 'started.glb'), ['--attributes', '--start-poly']);

  const browser = await launch(chromium);
  try {
    for (const [glb, shaded] of [['shaded.glb', true], ['plain.glb', false]]) {
      const { drawn, image } = await draw(browser, given, glb);
      console.log(`${glb}: ${drawn.material}, vertex colours ${drawn.vertexColors}, attributes ` +
                  `${drawn.attributes.join(' ')}; head at (${drawn.head.map((v) => v.toFixed(1))}), ` +
                  `tail at (${drawn.tail.map((v) => v.toFixed(1))}); ${drawn.renderer}`);
      if (shaded) {
        const read = JSON.stringify([drawn.chainEnds, drawn.placeEnds, drawn.frameEnds, drawn.uvEnds]);
        check('three.js reads _CHAIN, _U, _FRAME and TEXCOORD_0 (u)', read === `[[0,0],[0,1],[0,${SAMPLES - 1}],[0,${SAMPLES - 1}]]`,
              `_chain, _u, _frame, uv.x at head and tail: ${read}`);
      }
      checkEnd(`${glb} head`, image, drawn.head, HEAD, shaded);
      checkEnd(`${glb} tail`, image, drawn.tail, TAIL, shaded);
    }
    const { drawn } = await draw(browser, given, 'started.glb');
    const kept = ['_chain', '_frame', '_u', 'color', 'position', 'uv'];
    check('three.js keeps the lines and the start point of started.glb',
          drawn.segments === SAMPLES - 1 && drawn.startPoints === 1,
          `${drawn.segments} segments, ${drawn.startPoints} start point(s)`);
    check('three.js gives the start point the same attributes as the lines',
          JSON.stringify(drawn.startPointAttributes) === JSON.stringify(kept) &&
          JSON.stringify(drawn.attributes) === JSON.stringify(kept),
          `lines: ${drawn.attributes.join(' ')}; start point: ${drawn.startPointAttributes.join(' ')}`);
  } finally {
    await browser.close();
  }
  console.log(failures.length === 0 ? 'the browser shows the chain ramp' : `${failures.length} checks failed`);
  process.exit(failures.length === 0 ? 0 : 1);
}

main().catch((error) => {
  console.error(`render_test.js: ${error.stack || error}`);
  process.exit(1);
});
