// The preview page in headless Chromium, opened from a file:// address with every other request
// refused: what it draws where (the ramp's ends at a straight chain's head and tail, a start
// dot that stands out from the chain beneath it), how it answers the mouse and the keys, its
// caption and axes at any window size, the scene framed clear of the caption, and its empty,
// damaged and large scenes.
// node page_test.js [--parts FOLDER] [--work FOLDER]
//   --parts: the folder with viewer_page_before.html and viewer_page_after.html (from
//            tools/viewer/build.js); built into the work folder when not given.
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { readParts, writePage, STRAIGHT_HEAD, STRAIGHT_TAIL } = require('./make_page.js');
const { browserPackage, options, launch, open: openIn } = require('./browser.js');
const { closest, differing, pixelAt } = require('./pixels.js');

const VIEWPORT = { width: 1200, height: 900 };
const SMALL = { width: 260, height: 130 };
const NARROW = { width: 700, height: 500 };
const DOT = [0xe8, 0xf4, 0xff];
const CLEAR_MARGIN = 96;      // per channel, between a start dot and the chain beneath it
const LIT = 64;               // a channel this bright on the dark sky is something drawn
const COLOUR_TOLERANCE = 6;   // per channel, at a chain end
const SAME_TOLERANCE = 8;     // per channel, for two pictures of the same view
const MOVED_PIXELS = 200;     // pixels that must change when the view turns
const MAX_PAGE_BYTES = 10 * 1024 * 1024;
const OPEN_TIMEOUT = 60000;   // generous: open_bench.js, not this test, measures opening time

const given = options(process.argv.slice(2), 'dustweave-viewer-test-');
const { PNG } = browserPackage('pngjs');

// ---- the page in the browser ------------------------------------------------------------------

const open = (browser, file, viewport = VIEWPORT, hasTouch = false) =>
  openIn(browser, file, { viewport, hasTouch, timeout: OPEN_TIMEOUT });

const viewState = (page) => page.evaluate(() => ({ state: dustweaveView.state, frames: dustweaveView.frames,
                                                   firstFrame: dustweaveView.firstFrame }));
const project = (page, point) => page.evaluate((p) => dustweaveView.project(p), point);

// Runs `act`, then waits for the page to draw a new frame.
async function afterRedraw(page, act) {
  const frames = (await viewState(page)).frames;
  await act();
  await page.waitForFunction((n) => dustweaveView.frames > n, frames, { timeout: 10000 });
}

async function picture(page, name) {
  const png = await page.screenshot();
  fs.writeFileSync(path.join(given.work, `${name}.png`), png);
  return PNG.sync.read(png);
}

const boxOf = (page, selector) => page.locator(selector).evaluate((e) => {
  const r = e.getBoundingClientRect();
  return { left: r.left, top: r.top, right: r.right, bottom: r.bottom, width: r.width, height: r.height };
});

// ---- pixels -----------------------------------------------------------------------------------

function assertShows(image, at, colour, what) {
  const near = closest(image, at, colour);
  assert.ok(near.off <= COLOUR_TOLERANCE,
            `${what}: near (${at.map(Math.round)}) the closest pixel to [${colour}] is [${near.pixel}] at ` +
            `(${near.x}, ${near.y}), off by ${near.off}`);
}

function assertInside(box, viewport, what) {
  assert.ok(box.left >= 0 && box.top >= 0 && box.right <= viewport.width && box.bottom <= viewport.height,
            `${what} at ${JSON.stringify(box)} is not inside ${viewport.width}x${viewport.height}`);
}

const assertPointInside = (at, viewport, what) =>
  assertInside({ left: at[0], top: at[1], right: at[0], bottom: at[1] }, viewport, what);

function assertQuiet(seen) {
  assert.deepEqual(seen.requests, [], 'the page asked for something beyond its own file');
  assert.deepEqual(seen.console, [], 'the page said something on the console');
}

// ---- the tests --------------------------------------------------------------------------------

let browser;
before(async () => {
  browser = await launch();
});
after(async () => {
  await browser?.close();
});

const parts = readParts(given.parts);
const pageFile = (name) => path.join(given.work, `${name}.html`);

describe('a straight chain', () => {
  let opened, made, first;
  before(async () => {
    made = writePage(parts, 'straight', pageFile('straight'));
    opened = await open(browser, pageFile('straight'));
    first = await picture(opened.page, 'straight-start');
  });
  after(async () => opened?.context.close());
  const head = () => project(opened.page, STRAIGHT_HEAD);
  const tail = () => project(opened.page, STRAIGHT_TAIL);
  const rampEnd = (i) => [...made.ramp.subarray(3 * i, 3 * i + 3)];

  it('opens from disk with no request beyond its file and nothing on the console', async () => {
    assert.equal((await viewState(opened.page)).state, 'drawn');
    assertQuiet(opened.seen);
  });

  it('starts looking at the whole chain, filling a good part of the window', async () => {
    const [h, t] = [await head(), await tail()];
    assertPointInside(h, VIEWPORT, 'the head');
    assertPointInside(t, VIEWPORT, 'the tail');
    assert.ok(Math.hypot(t[0] - h[0], t[1] - h[1]) > 0.4 * VIEWPORT.width, `head ${h}, tail ${t}: the chain looks small`);
  });

  it('shows the ramp\'s first colour at the head and its last at the tail', async () => {
    assertShows(first, await head(), rampEnd(0), 'head');
    assertShows(first, await tail(), rampEnd(255), 'tail');
  });

  it('marks the head with a start dot that stands out from the chain beneath it', async () => {
    const at = (await head()).map(Math.round);
    const dot = pixelAt(first, at[0], at[1]);
    assertShows(first, at, DOT, 'the start dot');
    const beneath = closest(first, at, rampEnd(0)).pixel;
    const margin = Math.max(...dot.map((c, k) => Math.abs(c - beneath[k])));
    assert.ok(margin >= CLEAR_MARGIN, `the dot [${dot}] differs from the chain [${beneath}] by only ${margin}`);
  });

  it('turns when dragged, and a double click brings the starting picture back', async () => {
    const before = await head();
    await afterRedraw(opened.page, async () => {
      await opened.page.mouse.move(600, 500);
      await opened.page.mouse.down();
      await opened.page.mouse.move(760, 560, { steps: 8 });
      await opened.page.mouse.up();
    });
    const turned = await picture(opened.page, 'straight-dragged');
    const moved = differing(first, turned, 24);
    assert.ok(moved > MOVED_PIXELS, `only ${moved} pixels changed after the drag`);
    assert.ok(Math.hypot(...(await head()).map((v, i) => v - before[i])) > 20, 'the head did not move');
    await afterRedraw(opened.page, () => opened.page.mouse.dblclick(900, 700));
    const back = differing(first, await picture(opened.page, 'straight-back'), SAME_TOLERANCE);
    assert.equal(back, 0, `${back} pixels differ from the starting picture after the double click`);
  });

  it('turns with the arrows, pans with shift, zooms with +, and Home brings the start back', async () => {
    const page = opened.page;
    await afterRedraw(page, () => page.keyboard.press('ArrowLeft'));
    assert.ok(differing(first, await picture(page, 'straight-key-turned'), 24) > MOVED_PIXELS, 'ArrowLeft did not turn');
    await afterRedraw(page, () => page.keyboard.press('Home'));
    const middle = () => project(page, [0, 0, 0]);  // the box's centre, where the camera looks
    const m = await middle();
    await afterRedraw(page, () => page.keyboard.press('Shift+ArrowRight'));
    const m2 = await middle();
    const step = 0.05 * VIEWPORT.height;  // a pan step: 5 % of the view's height at the target
    assert.ok(Math.abs(m2[0] - (m[0] - step)) < 1 && Math.abs(m2[1] - m[1]) < 1,
              `shift+right should move the centre ${step} pixels left: ${m} to ${m2}`);
    const [h2, t2] = [await head(), await tail()];
    await afterRedraw(page, () => page.keyboard.press('+'));
    const [h3, t3] = [await head(), await tail()];
    assert.ok(Math.hypot(t3[0] - h3[0], t3[1] - h3[1]) > 1.1 * Math.hypot(t2[0] - h2[0], t2[1] - h2[1]), '+ did not zoom in');
    await afterRedraw(page, () => page.keyboard.press('r'));
    const back = differing(first, await picture(page, 'straight-key-back'), SAME_TOLERANCE);
    assert.equal(back, 0, `${back} pixels differ from the starting picture after R`);
  });

  it('shows the caption as text, whole, inside the window', async () => {
    const text = await opened.page.locator('#caption').innerText();
    assert.match(text, /--surface <Dust> & "friends"/);
    assertInside(await boxOf(opened.page, '#caption'), VIEWPORT, 'the caption');
  });

  it('labels the axes X, Y, Z and says that +Y is up', async () => {
    const letters = await opened.page.locator('#axes span').allInnerTexts();
    assert.deepEqual(letters, ['X', 'Y', 'Z']);
    for (const letter of letters) {
      assertInside(await boxOf(opened.page, `#axes span:text-is("${letter}")`), VIEWPORT, `the letter ${letter}`);
    }
    assert.equal(await opened.page.locator('#axes .up').innerText(), '+Y is up');
  });

  it('in a small window keeps the caption inside, shows no scroll bars and fits the chain', async () => {
    const page = opened.page;
    await afterRedraw(page, () => page.setViewportSize(SMALL));
    await afterRedraw(page, () => page.keyboard.press('Home'));
    assertInside(await boxOf(page, '#caption'), SMALL, 'the caption');
    const overflow = await page.evaluate(() => {
      const e = document.scrollingElement;
      return [e.scrollWidth - e.clientWidth, e.scrollHeight - e.clientHeight];
    });
    assert.deepEqual(overflow, [0, 0], 'the page scrolls');
    assertPointInside(await head(), SMALL, 'the head');
    assertPointInside(await tail(), SMALL, 'the tail');
    await picture(page, 'straight-small');
    assertQuiet(opened.seen);
  });
});

describe('a straight chain on a touch screen', () => {
  let opened, first;
  before(async () => {
    writePage(parts, 'straight', pageFile('straight-touch'));
    opened = await open(browser, pageFile('straight-touch'), VIEWPORT, true);
    first = await picture(opened.page, 'touch-start');
  });
  after(async () => opened?.context.close());

  // One finger from `from` to `to` in steps, through the browser's own touch input.
  async function swipe(from, to) {
    const cdp = await opened.context.newCDPSession(opened.page);
    const touch = (type, [x, y]) => cdp.send('Input.dispatchTouchEvent', { type, touchPoints: type === 'touchEnd' ? [] : [{ x, y }] });
    await touch('touchStart', from);
    for (let k = 1; k <= 8; ++k) await touch('touchMove', from.map((f, i) => f + ((to[i] - f) * k) / 8));
    await touch('touchEnd', to);
  }

  it('turns under a finger, and a double tap brings the starting picture back', async () => {
    const page = opened.page;
    await afterRedraw(page, () => swipe([600, 500], [760, 560]));
    const moved = differing(first, await picture(page, 'touch-turned'), 24);
    assert.ok(moved > MOVED_PIXELS, `only ${moved} pixels changed after the swipe`);
    await afterRedraw(page, async () => {
      await page.touchscreen.tap(900, 700);
      await page.touchscreen.tap(902, 701);
    });
    const back = differing(first, await picture(page, 'touch-back'), SAME_TOLERANCE);
    assert.equal(back, 0, `${back} pixels differ from the starting picture after the double tap`);
    assertQuiet(opened.seen);
  });
});

// The pixels inside `box` bright enough to be something drawn.
function litPixels(image, box) {
  let count = 0;
  for (let y = Math.max(0, Math.floor(box.top)); y < Math.min(image.height, Math.ceil(box.bottom)); ++y) {
    for (let x = Math.max(0, Math.floor(box.left)); x < Math.min(image.width, Math.ceil(box.right)); ++x) {
      if (Math.max(...pixelAt(image, x, y)) >= LIT) ++count;
    }
  }
  return count;
}

describe('a swirl in a 700 x 500 window', () => {
  it('starts with the scene filling the window\'s height below the caption, no chain under it', async () => {
    writePage(parts, 'large', pageFile('framed'));
    const opened = await open(browser, pageFile('framed'), NARROW);
    try {
      const caption = await boxOf(opened.page, '#caption');
      // The caption and the axes' corner hidden, what is lit is the scene.
      await opened.page.evaluate(() => {
        for (const id of ['caption', 'axes']) document.getElementById(id).style.visibility = 'hidden';
      });
      const image = await picture(opened.page, 'framed-700x500');
      const under = litPixels(image, caption);
      assert.equal(under, 0, `${under} chain pixels under the caption at ${JSON.stringify(caption)}`);
      let top = image.height, bottom = 0;
      for (let y = 0; y < image.height; ++y) {
        if (litPixels(image, { left: 0, right: image.width, top: y, bottom: y + 1 }) > 0) {
          top = Math.min(top, y), bottom = Math.max(bottom, y);
        }
      }
      const room = image.height - caption.bottom;
      assert.ok(bottom - top > 0.85 * room, `the scene spans rows ${top} to ${bottom} of the ${Math.round(room)} below the caption`);
      assertQuiet(opened.seen);
    } finally {
      await opened.context.close();
    }
  });
});

describe('an empty scene', () => {
  let opened;
  before(async () => {
    writePage(parts, 'empty', pageFile('empty'));
    opened = await open(browser, pageFile('empty'));
  });
  after(async () => opened?.context.close());

  it('says there is nothing to show, with its caption and axes, and nothing on the console', async () => {
    assert.equal((await viewState(opened.page)).state, 'empty');
    assert.equal(await opened.page.locator('#message').innerText(), 'nothing to show');
    assert.match(await opened.page.locator('#caption').innerText(), /nothing\.pfx/);
    assert.deepEqual(await opened.page.locator('#axes span').allInnerTexts(), ['X', 'Y', 'Z']);
    await picture(opened.page, 'empty');
    assertQuiet(opened.seen);
  });
});

describe('a damaged scene', () => {
  it('says which block disagrees instead of drawing', async () => {
    writePage(parts, 'damaged', pageFile('damaged'));
    const opened = await open(browser, pageFile('damaged'));
    try {
      assert.equal((await viewState(opened.page)).state, 'error');
      assert.match(await opened.page.locator('#message').innerText(), /dustweave-pieces/);
      assert.ok(opened.seen.console.some((line) => line.includes('dustweave-pieces')), 'no console error');
      assert.deepEqual(opened.seen.requests, []);
    } finally {
      await opened.context.close();
    }
  });
});

describe('large scenes', () => {
  for (const [name, what] of [['large', 'a swirl of 199,920 segments'], ['pieces', '200,000 segments in 50,000 pieces']]) {
    it(`${what} stays under 10 MB and draws within the timeout`, async () => {
      const made = writePage(parts, name, pageFile(name));
      const bytes = fs.statSync(pageFile(name)).size;
      assert.ok(made.segments >= 199000, `only ${made.segments} segments`);
      assert.ok(bytes < MAX_PAGE_BYTES, `${bytes} bytes`);
      const opened = await open(browser, pageFile(name));
      try {
        const state = await viewState(opened.page);
        assert.equal(state.state, 'drawn');
        const image = await picture(opened.page, name);
        const lit = differing(image, { data: new Uint8Array(image.data.length) }, 128);
        assert.ok(lit > 5000, `only ${lit} bright pixels`);
        assertQuiet(opened.seen);
        console.log(`# ${name} page: ${made.head.pointCount} points, ${made.segments} segments, ${bytes} bytes, ` +
                    `first frame ${Math.round(state.firstFrame)} ms after navigation`);
      } finally {
        await opened.context.close();
      }
    });
  }
});
