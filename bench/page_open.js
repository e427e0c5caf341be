// Opens a preview page in headless Chromium from its file:// address, a few times in fresh
// contexts, and prints the time to its first frame (median and most); fails past the target.
// node page_open.js PAGE.html
'use strict';

const { launch, open } = require('../tests/viewer/browser.js');

const RUNS = 3;
const TARGET_MS = 10000;

async function main() {
  const file = process.argv[2];
  const browser = await launch();
  const times = [];
  try {
    for (let run = 0; run < RUNS; ++run) {
      const opened = await open(browser, file, { viewport: { width: 1200, height: 900 }, timeout: 120000 });
      const state = await opened.page.evaluate(() => dustweaveView.state);
      if (state !== 'drawn' || opened.seen.console.length > 0) {
        throw new Error(`the page is ${state}: ${opened.seen.console.join('; ')}`);
      }
      times.push(opened.seen.openMs);
      await opened.context.close();
    }
  } finally {
    await browser.close();
  }
  times.sort((a, b) => a - b);
  const median = times[Math.floor(times.length / 2)], most = times[times.length - 1];
  console.log(`page opened to its first frame: ${(median / 1000).toFixed(2)} s median, ` +
              `${(most / 1000).toFixed(2)} s at most, of ${RUNS} (target < ${TARGET_MS / 1000} s)`);
  process.exit(most < TARGET_MS ? 0 : 1);
}

main().catch((error) => {
  console.error(`page_open.js: ${error.stack || error}`);
  process.exit(1);
});
