// Every .usda and .usdc that dustweave writes for these cases, opened by USD itself and by
// tinyusdz (usd_readers.js): the demo (every fourth sample, start points, tapered, a width
// given, each point's frame at 30 frames a second), the demo as it comes, the demo smoothed and
// tapered from the particle, and a run whose chains are all of one point (in centimetres, with
// their frames); a run with no point writes no file. USD must open each with nothing to say; the demo's prims, counts and
// every vertex's width, colour, place and chain are what the chain ramp and the taper make; each
// .usdc opens to the very stage of its .usda, as does USD's own .usdc of that .usda; tinyusdz
// reads each, the .usdc as the .usda; a cut .usdc is refused. Animated layers (--animate) of
// tracks born and dying at other frames, one with a jump: USD opens them with nothing to say, at
// the rate given, from the first frame to the last, and every frame holds each living particle at
// its sample with its id and velocity, and its trail (thinned by --step to the kept samples and
// the particle's own); each animated .usdc, those past several of its
// writer's blocks, its batch of reps and a block a frame among them, opens to the stage of its .usda. Exit 77 (skipped) when the npm
// packages are missing.
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync, spawnSync } = require('child_process');
const { loadUsd, loadTinyusdz } = require('./usd_readers');

const WIDTH = 0.1;
const HEAD = [0x5b, 0x2a, 0x86], TAIL = [0xff, 0xf1, 0xc9];  // the chain ramp at 0 and at 1, sRGB
const CASES = [
  { name: 'chains', generate: [], convert: ['--step', '0.25', '--start-poly', '--taper', '--width', String(WIDTH), '--attributes', '--fps', '30'] },
  { name: 'plain', generate: [], convert: [] },
  { name: 'smooth', generate: [], convert: ['--step', '0.25', '--smooth', '--taper', 'comet', '--tubes', String(WIDTH)] },
  { name: 'singles', generate: ['--particles', '5', '--last', '0'], convert: ['--start-poly', '--meters-per-unit', '0.01', '--attributes'] },
  { name: 'empty', generate: ['--particles', '5', '--first', '5', '--last', '2'], convert: [], nothing: true },
];

function options(argv) {
  const given = {};
  for (let i = 0; i + 1 < argv.length; i += 2) given[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const name of ['dustweave', 'module', 'work']) {
    if (!given[name]) throw new Error('usage: read_test.js --dustweave PROGRAM --module MODULE --work FOLDER');
  }
  return given;
}

const failures = [];
function check(what, ok, detail) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}: ${detail}`);
  if (!ok) failures.push(what);
}

const srgb = (linear) => Math.round(255 * (linear <= 0.0031308 ? 12.92 * linear : 1.055 * linear ** (1 / 2.4) - 0.055));
const near = (a, b, tolerance) => Math.abs(a - b) <= tolerance;

// The stage as USD composes it: its text (the file's own name taken out) and every authored
// attribute's value by path ("/chains/curves.points"), from the layer's own list of paths.
function contents(stage, name) {
  const paths = [];
  stage.GetRootLayer().Traverse('/', (at) => paths.push(String(at)));
  const values = {};
  for (const at of paths.filter((p) => p.includes('.'))) {
    const [prim, attribute] = at.split('.');
    values[at] = stage.GetPrimAtPath(prim).GetAttribute(attribute).Get();
  }
  return { text: stage.ExportToString().replaceAll(name, 'LAYER'), values, paths };
}

// The interpolation of each primvar and of the widths of the prim `name`, as USD reads them.
function interpolations(text, name) {
  const found = {};
  const prim = text.slice(text.indexOf(`"${name}"`)).split('\n    def ')[0];
  for (const [, name, how] of prim.matchAll(/\[\] (primvars:\w+|widths) = \[[^\]]*\] \(\s*interpolation = "(\w+)"/g)) {
    found[name] = how;
  }
  return found;
}

// The extent of `points` with half `width` around them, as float32s.
function extentOf(points, width) {
  const low = [0, 1, 2].map((k) => Math.fround(Math.min(...points.map((p) => p[k])) - width / 2));
  const high = [0, 1, 2].map((k) => Math.fround(Math.max(...points.map((p) => p[k])) + width / 2));
  return JSON.stringify([low, high]);
}

// The demo's curves: every vertex's width tapering from WIDTH to 0, place i / (n - 1), each
// curve's chain number, the ramp's ends at each curve's ends; the start points' own extent.
function checkDemo(read, made) {
  const v = read.values;
  const counts = v['/chains/curves.curveVertexCounts'], points = v['/chains/curves.points'];
  const widths = v['/chains/curves.widths'], colours = v['/chains/curves.primvars:displayColor'];
  const places = v['/chains/curves.primvars:u'], chains = v['/chains/curves.primvars:chain'];
  const starts = v['/chains/starts.points'];
  check('the stage is in metres, Y up, its root a component',
        /metersPerUnit = 1\n/.test(read.text) && /upAxis = "Y"/.test(read.text) && /kind = "component"/.test(read.text),
        read.text.slice(0, read.text.indexOf('{')).replace(/\s+/g, ' '));
  const total = counts.reduce((a, b) => a + b, 0);
  check('a curve a chain, a point a point made', counts.length === 200 && points.length === made && total === made,
        `${counts.length} curves of ${total} vertices, ${points.length} points, ${made} made`);
  check('a start point a chain, in its own extent', starts.length === counts.length &&
        JSON.stringify(v['/chains/starts.extent']) === extentOf(starts, WIDTH),
        `${starts.length} start points, extent ${JSON.stringify(v['/chains/starts.extent'])}`);
  check('the curves\' extent is their points\' with half the width around them',
        JSON.stringify(v['/chains/curves.extent']) === extentOf(points, WIDTH), JSON.stringify(v['/chains/curves.extent']));
  let at = 0;
  const wrong = [];
  counts.forEach((count, chain) => {
    for (let i = 0; i < count; ++i, ++at) {
      const place = i / (count - 1);
      if (!near(places[at], place, 1e-6) || !near(widths[at], WIDTH * (1 - place), 1e-6)) {
        wrong.push(`vertex ${at}: u ${places[at]}, width ${widths[at]}`);
      }
    }
    const head = colours[at - count].map(srgb), tail = colours[at - 1].map(srgb);
    if (chains[chain] !== chain || head.some((c, k) => !near(c, HEAD[k], 1)) || tail.some((c, k) => !near(c, TAIL[k], 1))) {
      wrong.push(`curve ${chain}: chain ${chains[chain]}, head ${head}, tail ${tail}`);
    }
  });
  check('each vertex has its width and place, each curve its chain and the ramp at its ends', wrong.length === 0,
        wrong.length === 0 ? `${at} vertices` : wrong.slice(0, 3).join('; '));
  const tinyHas = ['def BasisCurves "curves"', 'def Points "starts"', 'primvars:displayColor', 'primvars:chain',
                   'primvars:u', 'primvars:frame', 'metersPerUnit = 1', 'timeCodesPerSecond = 30'].filter((what) => !read.tiny.includes(what));
  check('tinyusdz reads the prims and primvars', tinyHas.length === 0, tinyHas.length ? `no ${tinyHas}` : 'all there');
  const how = interpolations(read.text, 'curves');
  const frames = v['/chains/curves.primvars:frame'];
  check('each vertex\'s frame, every fourth of the demo\'s 0 to 100 along each curve', frames.length === total &&
        frames.every((f, i) => f === 4 * (i % 26)), JSON.stringify(frames.slice(0, 28)));
  check('widths, colours, places and frames by vertex, the chain by curve', how.widths === 'vertex' &&
        how['primvars:displayColor'] === 'vertex' && how['primvars:u'] === 'vertex' && how['primvars:chain'] === 'uniform' &&
        how['primvars:frame'] === 'vertex' &&
        chains.length === counts.length && [widths, colours, places].every((a) => a.length === total), JSON.stringify(how));
}

// The other cases: one width for all, the chains of one point as points.
function checkOthers(reads) {
  const plain = reads.plain.values, singles = reads.singles.values;
  check('without --taper the width is one value, constant', plain['/chains/curves.widths'].length === 1 &&
        interpolations(reads.plain.text, 'curves').widths === 'constant', JSON.stringify(plain['/chains/curves.widths']));
  const points = singles['/chains/singles.points'];
  check('chains of one point are points of "singles", each its chain\'s number',
        points.length === 5 && JSON.stringify(singles['/chains/singles.primvars:chain']) === '[0,1,2,3,4]' &&
        JSON.stringify(singles['/chains/singles.primvars:frame']) === '[0,0,0,0,0]' &&
        !reads.singles.paths.includes('/chains/curves'),
        `${points.length} points, chains ${JSON.stringify(singles['/chains/singles.primvars:chain'])}`);
  const time = ['endTimeCode = 100', 'framesPerSecond = 30', 'startTimeCode = 0', 'timeCodesPerSecond = 30'];
  check('the demo\'s layer says its rate, first and last frame', time.every((line) => reads.chains.text.includes(`    ${line}\n`)),
        time.filter((line) => !reads.chains.text.includes(`    ${line}\n`)).join(', ') || 'all said');
  check('--meters-per-unit sets the stage\'s unit', /metersPerUnit = 0.01\n/.test(reads.singles.text),
        (/metersPerUnit = [^\n]*/.exec(reads.singles.text) || ['none'])[0]);
  const smooth = reads.smooth.values, counts = smooth['/chains/curves.curveVertexCounts'];
  const widths = smooth['/chains/curves.widths'];
  check('smoothed, the curves are cubic Catmull-Rom, to USD and to tinyusdz', /token type = "cubic"/.test(reads.smooth.text) &&
        /token basis = "catmullRom"/.test(reads.smooth.text) && reads.smooth.tiny.includes('catmullRom') &&
        reads.smooth.tiny.includes('cubic'), (/uniform token basis = [^\n]*/.exec(reads.smooth.text) || ['no basis'])[0]);
  check('each end point given twice, the widths growing from nothing to the width at the particle',
        counts.length === 200 && counts.every((n) => n === 28) && widths.length === 28 * 200 &&
        widths.every((w, i) => near(w, WIDTH * Math.max(0, Math.min(25, (i % 28) - 1)) / 25, 1e-6)),
        `counts ${counts[0]}, widths ${widths.slice(0, 4)} .. ${widths.slice(26, 28)}`);
}

// ---- animated layers --------------------------------------------------------------------------

// Tracks as [first, last, resume] under the index limit 6: born and dying at other frames, the
// third jumping back to frame 6 after frame 8, nobody alive at frames 10 to 13.
const LIMIT = 6, TRACKS = [[0, 5, 0], [3, 9, 0], [2, 12, 4], [14, 15, 0]];
const sampleOf = (track, k) => [track * 10 + k * 0.37, k * k, -1.1 * k].map(Math.fround);

// The frames of a track's samples by the sample rule.
function framesOf([first, last, resume]) {
  const frames = [];
  for (let j = 0, passes = 0; j <= last - first && passes <= last - first; ++passes) {
    if (j > LIMIT) j = resume;
    frames.push(first + j++);
  }
  return frames;
}

function writeAnimatedPfx(file) {
  const words = [3, TRACKS.length, LIMIT];
  const floats = new DataView(new ArrayBuffer(4));
  TRACKS.forEach((t, track) => {
    words.push(...t, 0, 0, 0);
    framesOf(t).forEach((_, k) => sampleOf(track, k).forEach((v) => { floats.setFloat32(0, v); words.push(floats.getUint32(0)); }));
  });
  const bytes = Buffer.alloc(4 * words.length);
  words.forEach((w, i) => bytes.writeUInt32BE(w >>> 0, 4 * i));
  fs.writeFileSync(file, bytes);
}

// Each particle at `frame`: the file's last sample there, and the run of samples one frame apart around it.
function livingAt(frame) {
  const living = [];
  TRACKS.forEach((t, track) => {
    const frames = framesOf(t), k = frames.lastIndexOf(frame);
    if (k < 0) return;
    let first = k, last = k;
    while (first > 0 && frames[first - 1] === frames[first] - 1) --first;
    while (last + 1 < frames.length && frames[last + 1] === frames[last] + 1) ++last;
    living.push({ track, k, first, last, at: (i) => sampleOf(track, i) });
  });
  return living;
}

// Every attribute's time samples as USD writes them back: {"particles.points": {frame: numbers}}.
function timeSamples(text) {
  const samples = {};
  for (const prim of text.split('\n    def ').slice(1)) {
    const name = /^\w+ "(\w+)"/.exec(prim)[1];
    for (const [, attribute, body] of prim.matchAll(/ ([\w:]+)\.timeSamples = \{\n([\s\S]*?)\n\s*\}/g)) {
      const frames = (samples[`${name}.${attribute}`] = {});
      for (const [, frame, values] of body.matchAll(/^\s*(-?\d+): \[(.*)\],?$/gm)) {
        frames[frame] = (values.match(/-?[\d.]+(?:e[-+]?\d+)?/g) || []).map(Number);
      }
    }
  }
  return samples;
}

const velocity = (p, q, apart, fps) => p.map((v, i) => (q[i] - v) / apart * fps);
const sameNumbers = (a, b) => a.length === b.length && a.every((v, i) => near(v, b[i], 1e-5 * Math.max(1, Math.abs(b[i]))));

// A trail's samples at sample k of a run from `first`: those before k that thinning at every
// `every`-th sample keeps (1: all), then k, the particle's own.
function trailOf(first, k, trailFrames, every) {
  const start = trailFrames ? Math.max(first, k - trailFrames + 1) : first, kept = [];
  for (let q = start; q < k; ++q) if (q % every === 0) kept.push(q);
  return [...kept, k];
}

// What each frame must hold: the particles' points, ids and velocities, the trails' counts, points
// and velocities (each vertex to where it lies in the next frame's trail, the head to its head).
function expectedFrame(frame, fps, trailFrames, every) {
  const e = { points: [], ids: [], velocities: [], counts: [], trail: [], trailVelocities: [] };
  for (const p of livingAt(frame)) {
    const before = Math.max(p.first, p.k - 1), after = Math.min(p.last, p.k + 1);
    e.points.push(...p.at(p.k));
    e.ids.push(p.track);
    e.velocities.push(...(after > before ? velocity(p.at(before), p.at(after), after - before, fps) : [0, 0, 0]));
    const trail = trailOf(p.first, p.k, trailFrames, every);
    if (trail.length < 2) continue;
    const goesOn = livingAt(frame + 1).some((n) => n.track === p.track && n.first === p.first);
    const next = goesOn ? trailOf(p.first, p.k + 1, trailFrames, every) : trail;
    e.counts.push(trail.length);
    trail.forEach((q, i) => {
      const to = i + 1 < trail.length && i + 1 < next.length ? next[i] : next[next.length - 1];
      e.trail.push(...p.at(q));
      e.trailVelocities.push(...(goesOn && to !== q ? velocity(p.at(q), p.at(to), 1, fps) : [0, 0, 0]));
    });
  }
  return e;
}

// Generated simulations whose .usdc runs past several of the writer's 1 MiB blocks, frames
// straddling them; whose frames pass its batch of 4,096 reps; and whose frames each pass a block
// (20,000 particles): each .usdc opens to the stage of its .usda.
function checkAnimatedBlocks(usd, given) {
  const cases = [['blocks', ['--particles', '300', '--last', '150'], ['--trail-frames', '5']],
                 ['frames', ['--particles', '3', '--last', '4500'], ['--trail-frames', '2']],
                 ['wide', ['--particles', '20000', '--last', '3'], []]];
  for (const [name, made, options] of cases) {
    const pfx = path.join(given.work, `${name}.pfx`);
    execFileSync(given.dustweave, ['generate', pfx, '--force', ...made], { stdio: 'ignore' });
    const [text, crate] = ['usda', 'usdc'].map((extension) => {
      const file = path.join(given.work, `${name}.${extension}`);
      execFileSync(given.dustweave, ['convert', pfx, file, '--animate', ...options]);
      const { stage, said } = usd.open(`${name}.${extension}`, fs.readFileSync(file));
      return stage && said.length === 0 ? stage.ExportToString().replaceAll(`${name}.${extension}`, 'LAYER') : said.join('; ');
    });
    check(`the animated .usdc of ${name}.pfx opens to the stage of its .usda`, text === crate && text.includes('timeSamples'),
          `${fs.statSync(path.join(given.work, `${name}.usdc`)).size} bytes`);
  }
}

function checkAnimated(usd, given) {
  const pfx = path.join(given.work, 'animated.pfx');
  writeAnimatedPfx(pfx);
  // --step 50% thins every track here to every second sample.
  for (const [fps, trailFrames, every] of [[24, 0, 1], [30, 3, 1], [25, 4, 2]]) {
    const name = `animated${fps}.usda`, file = path.join(given.work, name);
    const options = fps === 24 ? [] : ['--fps', String(fps), '--trail-frames', String(trailFrames)];
    if (every > 1) options.push('--step', `${100 / every}%`);
    execFileSync(given.dustweave, ['convert', pfx, file, '--animate', '--tubes', String(WIDTH), ...options]);
    const { stage, said } = usd.open(name, fs.readFileSync(file));
    check(`USD opens ${name}`, stage && said.length === 0, stage ? said.join('; ') || 'nothing said' : said.join('; '));
    if (!stage) continue;
    const text = stage.ExportToString(), samples = timeSamples(text);
    const timing = [stage.GetStartTimeCode(), stage.GetEndTimeCode(), stage.GetTimeCodesPerSecond(),
                    Number(/framesPerSecond = ([\d.]+)/.exec(text)[1])];
    check(`${name}: frames 0 to 15 at ${fps} a second`, JSON.stringify(timing) === JSON.stringify([0, 15, fps, fps]),
          JSON.stringify(timing));
    const wrong = [];
    for (let frame = 0; frame <= 15; ++frame) {
      const e = expectedFrame(frame, fps, trailFrames, every);
      const read = (attribute) => (samples[attribute] || {})[frame];
      const pairs = [['particles.points', e.points], ['particles.ids', e.ids], ['particles.velocities', e.velocities],
                     ['trails.curveVertexCounts', e.counts], ['trails.points', e.trail], ['trails.velocities', e.trailVelocities]];
      for (const [attribute, expected] of pairs) {
        if (!read(attribute) || !sameNumbers(read(attribute), expected)) wrong.push(`${attribute} at ${frame}: ${read(attribute)}`);
      }
      const colours = read('trails.primvars:displayColor') || [];
      if (colours.length !== e.trail.length) wrong.push(`colours at ${frame}: ${colours.length / 3} of ${e.trail.length / 3}`);
    }
    check(`${name}: each frame's particles at their samples with their ids and velocities, and their trails`,
          wrong.length === 0, wrong.length ? wrong.slice(0, 3).join('; ') : '16 frames');
    const crate = file.replace(/a$/, 'c');
    execFileSync(given.dustweave, ['convert', pfx, crate, '--animate', '--tubes', String(WIDTH), ...options]);
    const written = usd.open(`animated${fps}.usdc`, fs.readFileSync(crate));
    check(`animated${fps}.usdc opens, with nothing said, to the stage of ${name}`, written.stage && written.said.length === 0 &&
          written.stage.ExportToString().replaceAll('.usdc', '.usda') === text, written.said.join('; ') || `${fs.statSync(crate).size} bytes`);
    const own = usd.exportCrate(stage, `animated${fps}.own.usdc`);
    const again = usd.open(`animated${fps}.own.usdc`, own);
    check(`USD's own .usdc of ${name} holds the same time samples`,
          again.stage && JSON.stringify(timeSamples(again.stage.ExportToString())) === JSON.stringify(samples), `${own.length} bytes`);
  }
}

async function main() {
  const given = options(process.argv.slice(2));
  fs.mkdirSync(given.work, { recursive: true });
  const usd = await loadUsd();
  const tinyusdz = await loadTinyusdz(given.work);
  const reads = {};
  let made = 0;
  for (const c of CASES) {
    const pfx = path.join(given.work, `${c.name}.pfx`);
    execFileSync(given.dustweave, ['generate', pfx, '--force', ...c.generate], { stdio: 'ignore' });
    for (const extension of ['usda', 'usdc']) {
      const name = `${c.name}.${extension}`, file = path.join(given.work, name);
      if (c.nothing) {
        fs.rmSync(file, { force: true });
        const run = spawnSync(given.dustweave, ['convert', pfx, file, '--module', given.module, ...c.convert]);
        check(`a run with no point writes no ${name}`, run.status === 3 && !fs.existsSync(file), `exit ${run.status}`);
        continue;
      }
      const summary = execFileSync(given.dustweave, ['convert', pfx, file, '--module', given.module, ...c.convert]).toString();
      if (c.name === 'chains') made = Number(/ of ([\d,]+) vertices/.exec(summary)[1].replaceAll(',', ''));
      const bytes = fs.readFileSync(file);
      const { stage, said } = usd.open(name, bytes);
      check(`USD opens ${name}`, stage && said.length === 0, stage ? said.join('; ') || 'nothing said' : said.join('; '));
      if (!stage) continue;
      const read = contents(stage, name);
      const tiny = tinyusdz.read(name, bytes);
      check(`tinyusdz reads ${name}`, !tiny.error, tiny.error || `${tiny.text.length} characters of text`);
      if (extension === 'usda') {
        reads[c.name] = Object.assign(read, { tiny: tiny.text });
        const own = usd.exportCrate(stage, `${c.name}.own.usdc`);
        fs.writeFileSync(path.join(given.work, `${c.name}.own.usdc`), own);
        const again = usd.open(`${c.name}.own.usdc`, own);
        check(`USD's own .usdc of ${name} opens to the same stage`,
              again.stage && contents(again.stage, `${c.name}.own.usdc`).text === read.text, `${own.length} bytes`);
      } else {
        const text = reads[c.name].text;
        check(`${name} opens to the stage of ${c.name}.usda`, read.text === text,
              `${bytes.length} bytes, the .usda ${fs.statSync(file.replace(/c$/, 'a')).size}`);
        check(`tinyusdz reads ${name} as ${c.name}.usda`, tiny.text === reads[c.name].tiny, '');
      }
    }
  }
  if (!reads.chains || !reads.plain || !reads.smooth || !reads.singles) process.exit(1);
  checkDemo(reads.chains, made);
  checkOthers(reads);
  checkAnimated(usd, given);
  checkAnimatedBlocks(usd, given);
  const whole = fs.readFileSync(path.join(given.work, 'chains.usdc'));
  for (const cut of [1, 200, whole.length >> 1]) {
    const { stage, said } = usd.open(`cut${cut}.usdc`, whole.subarray(0, whole.length - cut));
    check(`USD refuses chains.usdc without its last ${cut} bytes`, !stage, said[0] || 'nothing said');
  }
  console.log(failures.length === 0 ? 'USD and tinyusdz read every file as written' : `${failures.length} checks failed`);
  process.exit(failures.length === 0 ? 0 : 1);
}

main();
