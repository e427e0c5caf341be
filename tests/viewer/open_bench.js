// How long the preview page takes to open with 200,000 segments: each large scene's page opened
// a number of times in a fresh browser context, and the page's own times (after navigation
// began: its script started, scene read and decoded, view built, first frame drawn) given as
// median, least and most.
// node open_bench.js [--parts FOLDER] [--work FOLDER] [--runs N]
'use strict';

const fs = require('fs');
const path = require('path');
const { readParts, writePage } = require('./make_page.js');
const { options, launch, open } = require('./browser.js');

const VIEWPORT = { width: 1200, height: 900 };
const SCENES = ['large', 'pieces'];

function spread(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  const at = (q) => Math.round(sorted[Math.floor(q * (sorted.length - 1))]);
  return `${at(0.5)} ms (${at(0)}..${at(1)})`;
}

async function timesOf(browser, file) {
  const opened = await open(browser, file, { viewport: VIEWPORT, timeout: 120000 });
  const times = await opened.page.evaluate(() => [dustweaveView.started, dustweaveView.read, dustweaveView.built,
                                                  dustweaveView.firstFrame]);
  await opened.context.close();
  if (opened.seen.console.length > 0) throw new Error(`${file}: ${opened.seen.console.join('; ')}`);
  return times;
}

async function main() {
  const given = options(process.argv.slice(2), 'dustweave-viewer-bench-');
  const runs = Number(given.runs ?? 5);
  const parts = readParts(given.parts);
  const browser = await launch();
  try {
    await timesOf(browser, (writePage(parts, 'straight', path.join(given.work, 'warm.html')), path.join(given.work, 'warm.html')));
    for (const name of SCENES) {
      const file = path.join(given.work, `${name}.html`);
      const made = writePage(parts, name, file);
      const all = [];
      for (let run = 0; run < runs; ++run) all.push(await timesOf(browser, file));
      console.log(`${name}: ${made.head.pointCount} points, ${made.segments} segments, ${fs.statSync(file).size} bytes; ` +
                  `${runs} runs: script started ${spread(all.map((t) => t[0]))}, read ${spread(all.map((t) => t[1]))}, ` +
                  `built ${spread(all.map((t) => t[2]))}, first frame ${spread(all.map((t) => t[3]))}`);
    }
  } finally {
    await browser.close();
  }
}

main().catch((error) => {
  console.error(`open_bench.js: ${error.stack || error}`);
  process.exit(1);
});
