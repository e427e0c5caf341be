// The page's own base64 decoder (tools/viewer/src/base64.js, for browsers without
// Uint8Array.fromBase64) against node's: every length of final group, with and without padding,
// cut into lines of any width, and the texts it must refuse. Loaded as the browser loads it, an
// ES module with no imports.
// node base64_test.js
'use strict';

const { describe, it, before } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');

const SOURCE = path.join(__dirname, '..', '..', 'tools', 'viewer', 'src', 'base64.js');
let decodeBase64;  // the module's own decoder, whatever node has
before(async () => {
  const text = fs.readFileSync(SOURCE, 'utf8');
  ({ decodeBase64Here: decodeBase64 } = await import(`data:text/javascript,${encodeURIComponent(text)}`));
});

function bytes(n, seed) {
  const out = Buffer.alloc(n);
  for (let i = 0; i < n; ++i) out[i] = (i * 131 + seed * 17 + (i >> 3)) & 255;
  return out;
}

const cut = (text, width, separator) =>
  text.match(new RegExp(`.{1,${width}}`, 'g'))?.join(separator) ?? '';

describe('decoding', () => {
  it('gives the bytes back for every length up to 64, padded and not', () => {
    for (let n = 0; n <= 64; ++n) {
      const data = bytes(n, n), text = data.toString('base64');
      assert.deepEqual(Buffer.from(decodeBase64(text)), data, `${n} bytes, padded`);
      assert.deepEqual(Buffer.from(decodeBase64(text.replace(/=+$/, ''))), data, `${n} bytes, unpadded`);
    }
  });

  it('ignores whitespace anywhere, lines of any width and either line end', () => {
    const data = bytes(1001, 7), text = data.toString('base64');
    for (const [width, separator] of [[1, '\n'], [3, ' '], [76, '\r\n'], [77, '\n\t'], [4096, '\n']]) {
      assert.deepEqual(Buffer.from(decodeBase64(`\n ${cut(text, width, separator)} \n`)), data, `lines of ${width}`);
    }
  });

  it('returns bytes at the start of their buffer, for 4-byte views', () => {
    const floats = new Float32Array([1.5, -2.25, 3e38, -0]);
    const decoded = decodeBase64(Buffer.from(floats.buffer).toString('base64'));
    assert.equal(decoded.byteOffset, 0);
    assert.deepEqual(new Float32Array(decoded.buffer, 0, decoded.length / 4), floats);
  });
});

describe('refusing', () => {
  for (const [what, text] of [
    ['a character outside the alphabet', 'QUJD-A=='],
    ['a URL-safe character', 'QUJD_w=='],
    ['a lone character in the last group', 'QUJDR'],
    ['a full group then padding', 'QUJD='],
    ['too much padding', 'QQ==='],
    ['data after the padding', 'QQ==QUJD'],
    ['a character beyond Latin-1', 'QUJD\u2028'],
  ]) {
    it(`throws on ${what}`, () => assert.throws(() => decodeBase64(text)));
  }
});
