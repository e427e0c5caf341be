// The preview page is built to the same bytes wherever the sources lie: tools/viewer copied
// into two temporary folders of different names and depths, built in each from a different
// working folder, and the four outputs (both page halves as HTML and as C++) compared.
// node same_bundle_test.js
'use strict';

const { it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');

const VIEWER = path.join(__dirname, '..', '..', 'tools', 'viewer');
const OUTPUTS = ['viewer_page_before.html', 'viewer_page_after.html', 'viewer_page.h', 'viewer_page.cpp'];

// three.js's sources and examples, which the bundle does not read, are left out of the copies.
const UNREAD = /node_modules\/three\/(src|examples\/(?!jsm$|jsm\/controls(\/|$)))/;

// A copy of tools/viewer, its installed packages included, built into `out` from `cwd`.
function buildCopy(folder, out, cwd) {
  fs.cpSync(VIEWER, folder, { recursive: true, filter: (from) => !UNREAD.test(from) });
  fs.mkdirSync(cwd, { recursive: true });
  execFileSync(process.execPath, [path.join(folder, 'build.js'), '--out', out], { cwd, stdio: 'inherit' });
  return Object.fromEntries(OUTPUTS.map((name) => [name, fs.readFileSync(path.join(out, name))]));
}

it('gives the same bytes from two copies in different folders', () => {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'dustweave-same-bundle-'));
  try {
    const first = buildCopy(path.join(work, 'a'), path.join(work, 'out-a'), work);
    const second = buildCopy(path.join(work, 'second', 'one-level-deeper', 'viewer-copy'),
                             path.join(work, 'second', 'out'), path.join(work, 'second'));
    for (const name of OUTPUTS) {
      assert.ok(first[name].equals(second[name]), `${name} differs between the two copies`);
    }
    const after = first['viewer_page_after.html'].toString('utf8');
    assert.ok(!after.includes(work), 'the page holds the folder it was built in');
    assert.equal(after.split('Permission is hereby granted').length - 1, 1, 'three.js\'s license is not in the page once');
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
});
