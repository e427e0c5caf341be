// The .usda read back by an independent USD text reader (@kroxilon/usda-parser, a grammar-based
// reader of the text format; its ES modules import without file extensions, so esbuild bundles it
// first). The demo's file (`dustweave generate`, every fourth sample, start points, tapered, a
// width given) is converted and read: the prims' types, the curves' and points' counts, and each
// vertex's width, colour, place and chain against what the chain ramp and the taper make of it.
// Exit 77 (skipped) when the npm packages are missing.
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

const SKIPPED = 77;
const WIDTH = 0.1;
const HEAD = [0x5b, 0x2a, 0x86], TAIL = [0xff, 0xf1, 0xc9];  // the chain ramp at 0 and at 1, sRGB

function options(argv) {
  const given = {};
  for (let i = 0; i + 1 < argv.length; i += 2) given[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const name of ['dustweave', 'module', 'work']) {
    if (!given[name]) throw new Error('usage: read_test.js --dustweave PROGRAM --module MODULE --work FOLDER');
  }
  return given;
}

function reader(work) {
  let esbuild, entry;
  try {
    esbuild = require('esbuild');
    entry = require.resolve('@kroxilon/usda-parser/lib/index.js');
  } catch (e) {
    console.log('skipped: the npm packages of tests/usd are missing (npm ci there)');
    process.exit(SKIPPED);
  }
  const bundle = path.join(work, 'usda-parser.js');
  esbuild.buildSync({ entryPoints: [entry], bundle: true, platform: 'node', format: 'cjs', outfile: bundle,
                      logLevel: 'warning' });
  return require(bundle);
}

const failures = [];
function check(what, ok, detail) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}: ${detail}`);
  if (!ok) failures.push(what);
}

const definitions = (node) => (node.statements || []).filter((s) => s.type === 'definition');
const declared = (prim, name) => (prim.statements.find((s) => s.type === 'declaration' && s.reference === name) || {});
const srgb = (linear) => Math.round(255 * (linear <= 0.0031308 ? 12.92 * linear : 1.055 * linear ** (1 / 2.4) - 0.055));
const near = (a, b, tolerance) => Math.abs(a - b) <= tolerance;

// Every vertex of every curve: width tapering from WIDTH to 0, place i / (n - 1), the chain's
// number, and the ramp's ends at each curve's ends.
function checkVertices(curves) {
  const counts = declared(curves, 'curveVertexCounts').value;
  const widths = declared(curves, 'widths').value, colours = declared(curves, 'primvars:displayColor').value;
  const places = declared(curves, 'primvars:u').value, chains = declared(curves, 'primvars:chain').value;
  let at = 0, wrong = [];
  counts.forEach((count, chain) => {
    for (let i = 0; i < count; ++i, ++at) {
      const place = i / (count - 1);
      if (!near(places[at], place, 1e-6) || !near(widths[at], WIDTH * (1 - place), 1e-6) || chains[at] !== chain) {
        wrong.push(`vertex ${at}: u ${places[at]}, width ${widths[at]}, chain ${chains[at]}`);
      }
    }
    const head = colours[at - count].map(srgb), tail = colours[at - 1].map(srgb);
    if (head.some((c, k) => !near(c, HEAD[k], 1)) || tail.some((c, k) => !near(c, TAIL[k], 1))) {
      wrong.push(`curve ${chain}: head ${head}, tail ${tail}`);
    }
  });
  check('each vertex has its width, place and chain, each curve the ramp at its ends', wrong.length === 0,
        wrong.length === 0 ? `${at} vertices` : wrong.slice(0, 3).join('; '));
  for (const [name, values] of [['widths', widths], ['primvars:displayColor', colours], ['primvars:u', places],
                                ['primvars:chain', chains]]) {
    const interpolation = (declared(curves, name).descriptor || {}).assignments || [];
    check(`${name} has a value a vertex, interpolated by vertex`,
          values.length === at && interpolation.some((a) => a.identifier === 'interpolation' && a.value === 'vertex'),
          `${values.length} values, ${JSON.stringify(interpolation.map((a) => [a.identifier, a.value]))}`);
  }
}

function main() {
  const given = options(process.argv.slice(2));
  fs.mkdirSync(given.work, { recursive: true });
  const { parse } = reader(given.work);
  const pfx = path.join(given.work, 'typical.pfx'), usda = path.join(given.work, 'chains.usda');
  execFileSync(given.dustweave, ['generate', pfx, '--force'], { stdio: 'ignore' });
  const summary = execFileSync(given.dustweave, ['convert', pfx, usda, '--module', given.module, '--step', '0.25',
                                                 '--start-poly', '--taper', '--tubes', String(WIDTH)]).toString();
  const made = /: ([\d,]+) points/.exec(summary);
  const stage = parse(fs.readFileSync(usda, 'utf8'));
  const metadata = Object.fromEntries(stage.descriptor.assignments.map((a) => [a.identifier, a.value]));
  check('the stage is Y up', metadata.upAxis === 'Y', `upAxis ${metadata.upAxis}`);
  const root = definitions(stage)[0];
  const prims = definitions(root);
  const curves = prims.find((p) => p.defType === 'BasisCurves'), starts = prims.find((p) => p.defType === 'Points');
  check('one BasisCurves prim and one Points prim', prims.length === 2 && curves && starts,
        prims.map((p) => `${p.defType} ${p.name}`).join(', '));
  if (!curves || !starts) process.exit(1);
  check('the curves are linear', declared(curves, 'type').value === 'linear', `type ${declared(curves, 'type').value}`);
  const counts = declared(curves, 'curveVertexCounts').value, points = declared(curves, 'points').value;
  const total = counts.reduce((a, b) => a + b, 0);
  check('a curve a chain, a point a point made', counts.length === 200 && points.length === Number(made[1].replaceAll(',', '')) &&
        total === points.length, `${counts.length} curves of ${total} vertices, ${points.length} points; ${summary.trim()}`);
  check('a start point a chain', declared(starts, 'points').value.length === counts.length,
        `${declared(starts, 'points').value.length} start points`);
  const [low, high] = declared(curves, 'extent').value;
  const inside = points.every((p) => p.every((v, k) => v >= low[k] && v <= high[k]));
  check('the extent holds every point', inside, `${JSON.stringify(low)} to ${JSON.stringify(high)}`);
  checkVertices(curves);
  console.log(failures.length === 0 ? 'the USD reader reads the .usda as written' : `${failures.length} checks failed`);
  process.exit(failures.length === 0 ? 0 : 1);
}

main();
