// Headless Chromium for the preview page's test and benchmark: Debian's browser through
// playwright-core (from tests/browser/node_modules), a page file opened from its file:// address
// with every other request refused and recorded, and the console's errors and warnings kept.
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { pathToFileURL } = require('url');

const PACKAGES = path.join(__dirname, '..', 'browser', 'node_modules');
const CHROMIUM = '/usr/bin/chromium';
const BUILD = path.join(__dirname, '..', '..', 'tools', 'viewer', 'build.js');
// Chromium's software compositor reads each WebGL frame back and says so on the console; that
// note is the browser's, not the page's.
const BROWSER_NOTE = /^\[\.WebGL-0x[0-9a-f]+\]GL Driver Message \(OpenGL, Performance, GL_CLOSE_PATH_NV, High\): GPU stall due to ReadPixels( \(this message will no longer repeat\))?$/;

// A package of the browser test's folder, or a clear word on how to get it.
function browserPackage(name) {
  try {
    return require(path.join(PACKAGES, name));
  } catch (error) {
    console.error(`skipped: tests/browser/node_modules lacks ${name} (scripts/install-deps --tests installs it)`);
    process.exit(77);
  }
}

// --name value pairs; --parts built into the work folder when not given.
function options(argv, workPrefix) {
  const given = {};
  for (let i = 0; i + 1 < argv.length; i += 2) given[argv[i].replace(/^--/, '')] = argv[i + 1];
  given.work ??= fs.mkdtempSync(path.join(require('os').tmpdir(), workPrefix));
  fs.mkdirSync(given.work, { recursive: true });
  if (!given.parts) {
    given.parts = path.join(given.work, 'parts');
    execFileSync(process.execPath, [BUILD, '--out', given.parts], { stdio: 'inherit' });
  }
  return given;
}

// playwright gives each launch a fresh profile folder of its own.
async function launch() {
  if (!fs.existsSync(CHROMIUM)) {
    console.error(`${CHROMIUM} is missing: run scripts/install-deps --tests`);
    process.exit(2);
  }
  const { chromium } = browserPackage('playwright-core');
  return chromium.launch({
    executablePath: CHROMIUM, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
}

// Opens a page file in a fresh context that refuses everything but file: addresses, and waits
// for its first frame (or its word that it cannot draw). `seen` keeps the addresses it asked
// for, what it said on the console and how long it took.
async function open(browser, file, { viewport, hasTouch = false, timeout }) {
  const context = await browser.newContext({ viewport, deviceScaleFactor: 1, hasTouch });
  const seen = { requests: [], console: [], browserNotes: 0 };
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith('file:')) return route.continue();
    seen.requests.push(url);
    return route.abort();
  });
  const page = await context.newPage();
  page.on('request', (request) => {
    if (!/^(file|data):/.test(request.url())) seen.requests.push(request.url());
  });
  page.on('console', (message) => {
    if (!['error', 'warning'].includes(message.type())) return;
    if (BROWSER_NOTE.test(message.text())) ++seen.browserNotes;
    else seen.console.push(`${message.type()}: ${message.text()}`);
  });
  page.on('pageerror', (error) => seen.console.push(`uncaught: ${error.message}`));
  const started = Date.now();
  await page.goto(pathToFileURL(file).href);
  await page.waitForFunction(() => window.dustweaveView && (window.dustweaveView.frames > 0 || window.dustweaveView.state === 'error'),
                             null, { timeout });
  seen.openMs = Date.now() - started;
  return { context, page, seen };
}

module.exports = { browserPackage, options, launch, open };
