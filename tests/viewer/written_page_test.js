// The preview page as dustweave writes it: a pfx file of one straight track through `dustweave
// convert --html` (and `run --html`), the page opened in headless Chromium from its file://
// address with every other request refused: quiet, the ramp's ends where the track's head and
// tail show, turned by a drag and brought back by a double click; the same file cut short says
// so in the page's caption.
// node written_page_test.js --dustweave PROGRAM --module MODULE --parts FOLDER --work FOLDER
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { browserPackage, options, launch, open } = require('./browser.js');
const { closest, differing } = require('./pixels.js');

const VIEWPORT = { width: 1200, height: 900 };
const SAMPLES = 101;
const HEAD = [-1, -0.5, 0], TAIL = [1, 0.5, 0];
const COLOUR_TOLERANCE = 6;   // per channel
const MOVED_PIXELS = 200;

const given = options(process.argv.slice(2), 'dustweave-written-page-');
const { PNG } = browserPackage('pngjs');

// A version-3 pfx file of one particle whose samples run in a straight line from HEAD to TAIL;
// the index limit lies past them, so the track never jumps.
function straightTrack(samples) {
  const bytes = Buffer.alloc(12 + 24 + 12 * samples);
  let at = 0;
  const int = (v) => { at = bytes.writeInt32BE(v, at); };
  const float = (v) => { at = bytes.writeFloatBE(v, at); };
  int(3); int(1); int(samples);
  int(0); int(samples - 1); int(0); float(0); float(0); float(0);
  for (let k = 0; k < samples; ++k) {
    const t = k / (samples - 1);
    float(HEAD[0] + (TAIL[0] - HEAD[0]) * t); float(HEAD[1] + (TAIL[1] - HEAD[1]) * t); float(0);
  }
  return bytes;
}

function dustweave(args) {
  return execFileSync(given.dustweave, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'] });
}

// The scene's JSON as the page holds it.
function sceneOf(file) {
  const text = fs.readFileSync(file, 'utf8');
  const json = /<script type="application\/json" id="dustweave-scene">([^<]*)<\/script>/.exec(text);
  assert.ok(json, `${file} holds no scene`);
  return JSON.parse(json[1]);
}

async function picture(page, name) {
  const png = await page.screenshot();
  fs.writeFileSync(path.join(given.work, `${name}.png`), png);
  return PNG.sync.read(png);
}

async function afterRedraw(page, act) {
  const frames = await page.evaluate(() => dustweaveView.frames);
  await act();
  await page.waitForFunction((n) => dustweaveView.frames > n, frames, { timeout: 10000 });
}

const pfx = path.join(given.work, 'straight.pfx');
const converted = path.join(given.work, 'straight.html');
const ran = path.join(given.work, 'ran.htm');
const cutPfx = path.join(given.work, 'cut.pfx');
const cut = path.join(given.work, 'cut.html');
let browser;

before(async () => {
  fs.writeFileSync(pfx, straightTrack(SAMPLES));
  for (const file of [converted, ran, cut]) fs.rmSync(file, { force: true });
  fs.writeFileSync(cutPfx, straightTrack(SAMPLES).subarray(0, 12 + 24 + 12 * 40 + 5));
  const line = dustweave(['convert', pfx, path.join(given.work, 'straight.glb'), '--module', given.module,
                          '--html', converted]);
  assert.match(line, /; 3D preview .*straight\.html\n$/);
  dustweave(['run', given.module, '--file', pfx, '--start-poly', '--html', ran]);
  browser = await launch();
});
after(async () => browser?.close());

describe('a page written by convert', () => {
  let opened, first, scene;
  before(async () => {
    scene = sceneOf(converted);
    opened = await open(browser, converted, { viewport: VIEWPORT, timeout: 60000 });
    first = await picture(opened.page, 'written-start');
  });
  after(async () => opened?.context.close());
  const project = (point) => opened.page.evaluate((p) => dustweaveView.project(p), point);

  it('holds the whole track and opens quietly from disk', async () => {
    assert.equal(scene.pointCount, SAMPLES);
    assert.equal(scene.pieceCount, 1);
    assert.equal(scene.startCount, 0);
    assert.equal(await opened.page.evaluate(() => dustweaveView.state), 'drawn');
    assert.deepEqual(opened.seen.requests, [], 'the page asked for something beyond its own file');
    assert.deepEqual(opened.seen.console, [], 'the page said something on the console');
  });

  it('shows the ramp\'s first colour at the head and its last at the tail', async () => {
    const ramp = Buffer.from(scene.ramp, 'base64');
    for (const [what, point, colour] of [['head', HEAD, [...ramp.subarray(0, 3)]],
                                         ['tail', TAIL, [...ramp.subarray(765, 768)]]]) {
      const at = await project(point);
      const near = closest(first, at, colour);
      console.log(`# ${what} at (${at.map(Math.round)}): pixel [${near.pixel}] for ramp [${colour}]`);
      assert.ok(near.off <= COLOUR_TOLERANCE, `${what}: closest pixel to [${colour}] near (${at.map(Math.round)}) ` +
                                              `is [${near.pixel}], off by ${near.off}`);
    }
  });

  it('turns when dragged, and a double click brings the starting picture back', async () => {
    await afterRedraw(opened.page, async () => {
      await opened.page.mouse.move(600, 500);
      await opened.page.mouse.down();
      await opened.page.mouse.move(760, 560, { steps: 8 });
      await opened.page.mouse.up();
    });
    const moved = differing(first, await picture(opened.page, 'written-dragged'), 24);
    assert.ok(moved > MOVED_PIXELS, `only ${moved} pixels changed after the drag`);
    await afterRedraw(opened.page, () => opened.page.mouse.dblclick(900, 700));
    const back = differing(first, await picture(opened.page, 'written-back'), 8);
    assert.equal(back, 0, `${back} pixels differ from the starting picture after the double click`);
  });
});

describe('a page of a file cut short', () => {
  it('says in its caption that the file ends early', async () => {
    let status = 0;
    try {
      dustweave(['convert', cutPfx, path.join(given.work, 'cut.obj'), '--module', given.module, '--html', cut]);
    } catch (error) {
      status = error.status;
    }
    assert.equal(status, 1, 'convert of a file cut short exits 1');
    assert.ok(sceneOf(cut).caption.includes('the file ends early: 0 of 1 track whole'), sceneOf(cut).caption.join(' | '));
    const opened = await open(browser, cut, { viewport: VIEWPORT, timeout: 60000 });
    try {
      assert.match(await opened.page.locator('#caption').innerText(), /the file ends early: 0 of 1 track whole/);
    } finally {
      await opened.context.close();
    }
  });
});

describe('a page written by run', () => {
  it('holds the track with its start dot and opens quietly', async () => {
    const scene = sceneOf(ran);
    assert.equal(scene.pointCount, SAMPLES);
    assert.equal(scene.startCount, 1);
    const opened = await open(browser, ran, { viewport: VIEWPORT, timeout: 60000 });
    try {
      assert.equal(await opened.page.evaluate(() => dustweaveView.state), 'drawn');
      assert.deepEqual(opened.seen.console, []);
    } finally {
      await opened.context.close();
    }
  });
});
