// The .usda and .usdc that the read-back suite (tests/read_back_test.cpp) had dustweave write,
// opened by USD itself: nothing said, and every array value for value what the module's chains
// make (left beside the layers as little-endian 32-bit numbers, one file an array), and the
// layer's time as the stage gives it: its time codes a second, first and last frame. Widths of the scene's choosing taper from each
// curve's first (or, from the particle, to its last). Smoothed curves are cubic Catmull-Rom, and
// the curve USD's points make passes through every kept sample: each segment of four points
// begins at its second. Exit 77 (skipped) when the npm packages are missing.
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

// Each curve's widths: its first vertex's, narrowing to nothing by its place along it; from the
// particle, its last vertex's, narrowing to nothing at its first.
function taperDifference(widths, counts, places, comet) {
  let at = 0;
  for (const count of counts) {
    const full = comet ? widths[at + count - 1] : widths[at];
    for (let i = 0; i < count; ++i, ++at) {
      const share = comet ? places[at] : 1 - places[at];
      if (Math.abs(widths[at] - full * share) > full * 2 ** -22) return `vertex ${at}: width ${widths[at]} of ${full}`;
    }
  }
  return at === widths.length ? null : `${widths.length} widths, ${at} vertices`;
}

// The uniform Catmull-Rom segment of points a, b, c, d at t, as USD's basis weighs them.
const catmullRom = (a, b, c, d, t) => a.map((_, k) => 0.5 * ((2 * b[k]) + (-a[k] + c[k]) * t +
  (2 * a[k] - 5 * b[k] + 4 * c[k] - d[k]) * t * t + (-a[k] + 3 * b[k] - 3 * c[k] + d[k]) * t * t * t));

// The curves' segments (a curve of n points has n - 3, each from four points in a row) begin and
// end at the kept samples, in order; null when they do.
function splineDifference(points, counts, samples) {
  const point = (i) => [points[3 * i], points[3 * i + 1], points[3 * i + 2]];
  let at = 0, sample = 0;
  for (const count of counts) {
    for (let s = 0; s + 3 < count; ++s) {
      const ends = [catmullRom(...[0, 1, 2, 3].map((k) => point(at + s + k)), 0)];
      if (s + 4 === count) ends.push(catmullRom(...[0, 1, 2, 3].map((k) => point(at + s + k)), 1));
      for (const end of ends) {
        const want = [samples[3 * sample], samples[3 * sample + 1], samples[3 * sample + 2]];
        if (end.some((v, k) => Math.abs(v - want[k]) > 1e-6 * (1 + Math.abs(want[k])))) return `sample ${sample}: ${end}, kept ${want}`;
        ++sample;
      }
    }
    at += count;
  }
  return 3 * sample === samples.length ? null : `${sample} samples on the curves, ${samples.length / 3} kept`;
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
                                           expected(work, expectation.arrays['/chains/curves.primvars:u']),
                                           expectation.taper === 'comet');
        check(`${layer} widths taper`, difference === null, difference || 'each curve from its first');
      }
      if (expectation.samples) {
        const prim = stage.GetPrimAtPath('/chains/curves');
        const shape = ['type', 'basis', 'wrap'].map((name) => String(prim.GetAttribute(name).Get())).join(' ');
        check(`${layer} curves are cubic Catmull-Rom`, shape === 'cubic catmullRom nonperiodic', shape);
        const difference = splineDifference(read('/chains/curves.points'), read('/chains/curves.curveVertexCounts'),
                                            expected(work, expectation.samples));
        check(`${layer} curves pass through every kept sample`, difference === null, difference || 'each in order');
      }
    }
  }
  console.log(failures.length === 0 ? 'USD reads every array as the chains make it' : `${failures.length} checks failed`);
  process.exit(failures.length === 0 ? 0 : 1);
}

main();
