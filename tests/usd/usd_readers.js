// The two USD readers the tests open files with, loaded in node: USD itself (Pixar's USD 0.22
// compiled to WebAssembly, from npm three-usdz-loader; its three.js side is not used) and
// tinyusdz (a second, independent reader). Each is a browser build, given here what it looks
// for: a page location, its .wasm and data package handed in, its worker script wrapped
// (usd_worker.js). Exits 77 (skipped), saying why, when the npm packages are missing.
'use strict';
const fs = require('fs');
const path = require('path');

const SKIPPED = 77;

function packageFile(name) {
  try {
    return require.resolve(name);
  } catch (e) {
    console.log(`skipped: the npm packages of tests/usd are missing (npm ci there): ${name}`);
    process.exit(SKIPPED);
  }
}

// Lines USD 0.22's build prints on its first open: schema types registered without their plug-in.
const REGISTRATION = /Failed to find plugin for schema type 'UsdVol/;

// USD: open(name, bytes) gives the stage (null when refused) and what USD said of the file.
async function loadUsd() {
  const script = packageFile('three-usdz-loader/external/emHdBindings.js');
  const folder = path.dirname(script);
  globalThis.location = { pathname: '/', href: 'file:///' };
  process.env.DUSTWEAVE_USD_WORKER = path.join(folder, 'emHdBindings.worker.js');
  let said = [];
  const usd = await require(script)({
    wasmBinary: fs.readFileSync(path.join(folder, 'emHdBindings.wasm')),
    getPreloadedPackage: () => fs.readFileSync(path.join(folder, 'emHdBindings.data')).buffer,
    locateFile: (file) => file.endsWith('.worker.js') ? path.join(__dirname, 'usd_worker.js') : path.join(folder, file),
    print: () => {},
    printErr: (line) => { if (!REGISTRATION.test(line)) said.push(line); },
  });
  usd.FS.mkdir('/written');
  return {
    usd,
    open(name, bytes) {
      said = [];
      usd.FS.writeFile(`/written/${name}`, bytes);
      const stage = usd.UsdStage.Open(`/written/${name}`);
      return { stage, said };
    },
    // The stage written by USD itself as a crate file (its default version).
    exportCrate(stage, name) {
      stage.Export(`/written/${name}`, false);
      return usd.FS.readFile(`/written/${name}`);
    },
  };
}

// tinyusdz: read(name, bytes) gives its text of the layer, or its error.
async function loadTinyusdz(work) {
  const script = packageFile('tinyusdz/tinyusdz.js');
  // An ES module in a package node takes for CommonJS: imported from a copy named .mjs.
  const copy = path.join(work, 'tinyusdz.mjs');
  fs.copyFileSync(script, copy);
  globalThis.window = globalThis;
  process.type = 'renderer';
  const { default: make } = await import(copy);
  const tiny = await make({ wasmBinary: fs.readFileSync(path.join(path.dirname(script), 'tinyusdz.wasm')) });
  return {
    read(name, bytes) {
      const layer = new tiny.TinyUSDZLoaderNative();
      return layer.loadAsLayerFromBinary(new Uint8Array(bytes), name) ? { text: layer.layerToString() }
                                                                      : { error: layer.error() || 'refused' };
    },
  };
}

module.exports = { loadUsd, loadTinyusdz };
