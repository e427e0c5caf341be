// The .usda and .usdc that the read-back suite (tests/read_back_test.cpp) had dustweave write,
// opened by USD itself: nothing said, and every array value for value what the module's chains
// make (left beside the layers as little-endian 32-bit numbers, one file an array), and the
// layer's time as the stage gives it: its time codes a second, first and last frame. Widths of the scene's choosing taper from each
// curve's first. Exit 77 (skipped) when the npm packages are missing.
'use strict';

const fs = require('fs');
const path = require('path');
const { loadUsd } = require('./usd_readers');

const failures = [];
function check(what, ok, detail) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}: ${detail}`);
  if (!ok) failures.push(what);
}

function expected(work, array) {
  const bytes = fs.readFileSync(path.join(work, array.file));
  const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length);
  return array.type === 'float' ? new Float32Array(buffer) : new Int32Array(buffer);
}

// The first value that differs, or the count when the lengths do; null when the same.
function firstDifference(read, want) {
  if (read.length !== want.length) return `${read.length} values, ${want.length} made`;
  let differ = 0, first = -1;
  for (let i = 0; i < want.length; ++i) {
    if (read[i] !== want[i]) {
      if (first < 0) first = i;
      ++differ;
    }
  }
  return differ === 0 ? null : `${differ} of ${want.length} values differ, the first at ${first}: ${read[first]}, made ${want[first]}`;
}

// Each curve's widths: its first vertex's, narrowing to nothing by its place along it.
function taperDifference(widths, counts, places) {
  let at = 0;
  for (const count of counts) {
    const full = widths[at];
    for (let i = 0; i < count; ++i, ++at) {
      if (Math.abs(widths[at] - full * (1 - places[at])) > full * 2 ** -22) return `vertex ${at}: width ${widths[at]} of ${full}`;
    }
  }
  return at === widths.length ? null : `${widths.length} widths, ${at} vertices`;
}

async function main() {
  const work = process.argv[2];
  const usd = await loadUsd();
  const cases = fs.readdirSync(work).filter((name) => name.endsWith('.json'));
  check('the read-back suite left its cases', cases.length >= 3, cases.join(', '));
  for (const name of cases) {
    const expectation = JSON.parse(fs.readFileSync(path.join(work, name)));
    for (const layer of expectation.layers) {
      const { stage, said } = usd.open(layer, fs.readFileSync(path.join(work, layer)));
      check(`USD opens ${layer}`, stage && said.length === 0, said.join('; ') || 'nothing said');
      if (!stage) continue;
      const read = (at) => {
        const [prim, attribute] = at.split('.');
        const value = stage.GetPrimAtPath(prim).GetAttribute(attribute).Get();
        return value ? value.flat() : [];
      };
      for (const [at, array] of Object.entries(expectation.arrays)) {
        const difference = firstDifference(read(at), expected(work, array));
        check(`${layer} ${at}`, difference === null, difference || `${expected(work, array).length} values`);
      }
      const time = expectation.time;
      const told = [stage.GetTimeCodesPerSecond(), stage.GetStartTimeCode(), stage.GetEndTimeCode()];
      check(`${layer} time`, `${told}` === `${[time.fps, time.start, time.end]}`,
            `timeCodesPerSecond, startTimeCode, endTimeCode: ${told.join(', ')}`);
      const curves = expectation.arrays['/chains/curves.curveVertexCounts'];
      if (expectation.taper && curves && !expectation.arrays['/chains/curves.widths']) {
        const difference = taperDifference(read('/chains/curves.widths'), expected(work, curves),
                                           expected(work, expectation.arrays['/chains/curves.primvars:u']));
        check(`${layer} widths taper`, difference === null, difference || 'each curve from its first');
      }
    }
  }
  console.log(failures.length === 0 ? 'USD reads every array as the chains make it' : `${failures.length} checks failed`);
  process.exit(failures.length === 0 ? 0 : 1);
}

main();
