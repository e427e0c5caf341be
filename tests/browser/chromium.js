// Debian's Chromium, headless and offline, for the browser tests: launched without sandbox, GPU,
// network chatter or updates, and pages served from disk by request interception.
'use strict';

const fs = require('fs');
const path = require('path');

const CHROMIUM = '/usr/bin/chromium';
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.glb': 'model/gltf-binary', '.svg': 'image/svg+xml' };

// playwright-core and pngjs (three.js beside them), or the process ends saying how to install them.
function packages() {
  try {
    require.resolve('three');
    return { PNG: require('pngjs').PNG, chromium: require('playwright-core').chromium };
  } catch (error) {
    console.error('skipped: npm packages missing in tests/browser (scripts/install-deps --tests installs them)');
    process.exit(77);
  }
}

async function launch(chromium) {
  if (!fs.existsSync(CHROMIUM)) {
    console.error(`skipped: ${CHROMIUM} is missing (scripts/install-deps --tests installs it)`);
    process.exit(77);
  }
  return chromium.launch({
    executablePath: CHROMIUM, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
}

// Every request of `page` answered from the file `fileOf(url)` names, or 404.
async function serveFiles(page, fileOf) {
  await page.route('**/*', (route) => {
    const file = fileOf(route.request().url());
    if (!file || !fs.existsSync(file)) return route.fulfill({ status: 404, body: 'not here' });
    return route.fulfill({ body: fs.readFileSync(file), contentType: TYPES[path.extname(file)] });
  });
}

module.exports = { packages, launch, serveFiles };
