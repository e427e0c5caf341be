// The worker script of USD's WebAssembly build, as node runs it (see usd_readers.js): the page
// location it reads and its data package handed in before the real script starts.
'use strict';
const fs = require('fs');
const path = require('path');

const real = process.env.DUSTWEAVE_USD_WORKER;
globalThis.location = { pathname: '/', href: __filename };
let made;
// The real script defines getUsdModule and calls it with its own options: they get the package.
Object.defineProperty(globalThis, 'getUsdModule', {
  configurable: true,
  set(value) { made = value; },
  get() {
    return (options, ...rest) => made(Object.assign(options, {
      getPreloadedPackage: () => fs.readFileSync(path.join(path.dirname(real), 'emHdBindings.data')).buffer,
    }), ...rest);
  },
});
require(real);
