// The SVG preview in a browser window: pictures of a small run, of a large, sampled one (three
// caption lines), with an input of a long name, and of a file cut short, opened by headless
// Chromium in windows of 1200×900 and other sizes. The page's geometry says the picture fits
// without scroll bars and every caption line and the legend lie whole inside the window without
// overlapping, readable down to 700×500; the screenshot's pixels say the caption was drawn.
// Screenshots stay in the work folder.
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { packages, launch, serveFiles } = require('./chromium');

const ORIGIN = 'http://dustweave.test';
const WINDOWS = [[1200, 900], [800, 600], [1920, 1080], [1000, 1400], [600, 550], [700, 500]];
const READABLE = 11;  // pixels a caption line is high at least, from 700×500 up
const LIT = 96;  // a channel this bright, on the dark sky behind the caption, is the caption's ink
const LONG_NAME = 'dust devil over the dunes, take 12 (final, after the notes from the review).pfx';

function options(argv) {
  const given = {};
  for (let i = 0; i + 1 < argv.length; i += 2) given[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const name of ['dustweave', 'module', 'work']) {
    if (!given[name]) throw new Error('usage: preview_test.js --dustweave PROGRAM --module MODULE --work FOLDER');
  }
  return given;
}

function dustweave(given, args, status = 0) {
  try {
    execFileSync(given.dustweave, args, { cwd: given.work, stdio: ['ignore', 'ignore', 'ignore'] });
    if (status !== 0) throw new Error(`dustweave ${args.join(' ')} exited 0, not ${status}`);
  } catch (error) {
    if (error.status !== status) throw error;
  }
}

// The two pictures: the typical run at a quarter of its samples with start polygons, and one of
// 3,000,000 segments, of which the preview shows a sample.
function pictures(given) {
  dustweave(given, ['generate', 'typical.pfx', '--force']);
  dustweave(given, ['convert', 'typical.pfx', 'typical.glb', '--module', given.module, '--step', '25%',
                    '--start-poly', '--svg', 'typical.svg']);
  dustweave(given, ['generate', LONG_NAME, '--particles', '3000', '--index-limit', '1000', '--last', '1000', '--force']);
  dustweave(given, ['convert', LONG_NAME, 'large.glb', '--module', given.module, '--svg', 'large.svg']);
  // The typical file cut inside its third track: two of its 200 tracks whole.
  fs.writeFileSync(path.join(given.work, 'cut.pfx'), fs.readFileSync(path.join(given.work, 'typical.pfx')).subarray(0, 12 + 2 * (24 + 101 * 12) + 30));
  dustweave(given, ['convert', 'cut.pfx', 'cut.glb', '--module', given.module, '--svg', 'cut.svg'], 1);
  return ['typical.svg', 'large.svg', 'cut.svg'];
}

// What the window shows of the picture: its scrollable size and each caption element's box.
function geometry() {
  const box = (element) => {
    const r = element.getBoundingClientRect();
    return { left: r.left, top: r.top, right: r.right, bottom: r.bottom };
  };
  const root = document.scrollingElement || document.documentElement;
  return {
    width: window.innerWidth, height: window.innerHeight,
    scrollWidth: root.scrollWidth, scrollHeight: root.scrollHeight,
    texts: [...document.querySelectorAll('text')].map((t) => ({ words: t.textContent, ...box(t) })),
    legend: box(document.querySelector('rect[fill="url(#legend)"]')),
  };
}

const failures = [];
function check(what, ok, detail) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${detail ? `: ${detail}` : ''}`);
  if (!ok) failures.push(what);
}

const inside = (b, g) => b.left >= 0 && b.top >= 0 && b.right <= g.width && b.bottom <= g.height;
const overlap = (a, b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
const shown = (b) => `(${[b.left, b.top, b.right, b.bottom].map((v) => v.toFixed(0)).join(', ')})`;

// Lit pixels inside a text's box: its words were drawn there (small windows draw them small and
// soft, so brightness, not the exact colour, tells).
function drawnPixels(image, b) {
  let count = 0;
  for (let y = Math.max(0, Math.floor(b.top)); y < Math.min(image.height, Math.ceil(b.bottom)); ++y) {
    for (let x = Math.max(0, Math.floor(b.left)); x < Math.min(image.width, Math.ceil(b.right)); ++x) {
      const i = 4 * (y * image.width + x);
      if (Math.max(image.data[i], image.data[i + 1], image.data[i + 2]) >= LIT) ++count;
    }
  }
  return count;
}

async function view(browser, given, PNG, svg, [width, height]) {
  const page = await browser.newPage({ viewport: { width, height }, deviceScaleFactor: 1 });
  await serveFiles(page, (url) => path.join(given.work, path.basename(new URL(url).pathname)));
  await page.goto(`${ORIGIN}/${svg}`);
  const g = await page.evaluate(geometry);
  const shot = await page.screenshot();
  fs.writeFileSync(path.join(given.work, `${svg.replace(/\.svg$/, '')}-${width}x${height}.png`), shot);
  await page.close();
  const image = PNG.sync.read(shot);
  const where = `${svg} at ${width}×${height}`;
  check(`${where}: no scroll bars`, g.scrollWidth <= width && g.scrollHeight <= height,
        `scrolls ${g.scrollWidth}×${g.scrollHeight}`);
  check(`${where}: the legend is inside the window`, inside(g.legend, g), shown(g.legend));
  for (const [i, t] of g.texts.entries()) {
    check(`${where}: "${t.words}" is whole inside the window`, inside(t, g), shown(t));
    const others = g.texts.slice(i + 1).filter((u) => overlap(t, u)).map((u) => u.words);
    if (!t.words.startsWith('chain')) {
      check(`${where}: "${t.words}" overlaps nothing`, others.length === 0 && !overlap(t, g.legend),
            others.join('; '));
      check(`${where}: "${t.words}" is drawn`, drawnPixels(image, t) >= 2 * t.words.length,
            `${drawnPixels(image, t)} lit pixels`);
      if (width >= 700 && height >= 500) {
        check(`${where}: "${t.words}" is readable`, t.bottom - t.top >= READABLE, `${(t.bottom - t.top).toFixed(1)} px high`);
      }
    }
  }
  return g;
}

async function main() {
  const given = options(process.argv.slice(2));
  const { PNG, chromium } = packages();
  fs.mkdirSync(given.work, { recursive: true });
  const svgs = pictures(given);
  const browser = await launch(chromium);
  try {
    for (const svg of svgs) {
      for (const size of WINDOWS) {
        const g = await view(browser, given, PNG, svg, size);
        if (svg === 'cut.svg' && size[0] === 1200) {
          check('the picture of a file cut short says so', g.texts.some((t) => t.words === 'the file ends early: 2 of 200 tracks whole'),
                g.texts.map((t) => t.words).join(' | '));
        }
        if (svg === 'large.svg' && size[0] === 1200) {
          const words = g.texts.map((t) => t.words);
          check('the large picture names its input, shortened, and says what share it shows',
                words.some((w) => w.startsWith('dust devil over the dunes') && w.includes('\u2026')) &&
                words.some((w) => w.startsWith('showing ')), words.join(' | '));
        }
      }
    }
  } finally {
    await browser.close();
  }
  console.log(failures.length === 0 ? 'the preview fits every window, its caption whole'
                                    : `${failures.length} checks failed`);
  process.exit(failures.length === 0 ? 0 : 1);
}

main().catch((error) => {
  console.error(`preview_test.js: ${error.stack || error}`);
  process.exit(1);
});
