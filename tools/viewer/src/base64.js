// Base64 (standard alphabet, padded or not) decoded straight into bytes, whitespace anywhere
// ignored: by the browser's own Uint8Array.fromBase64 where it has one, else in one pass over
// the text's character codes, with no string per byte.

const SKIP = -2;
const PAD = -3;
const CODES = codeTable();

function codeTable() {
  const codes = new Int8Array(256).fill(-1);
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
  for (let i = 0; i < alphabet.length; ++i) codes[alphabet.charCodeAt(i)] = i;
  for (const c of ' \t\n\r\f') codes[c.charCodeAt(0)] = SKIP;
  codes['='.charCodeAt(0)] = PAD;
  return codes;
}

// The bytes that `text` encodes, in a Uint8Array whose buffer starts with them (so that typed
// views of 4-byte values can be laid over it). Throws on any other character or a cut group.
export function decodeBase64(text) {
  return typeof Uint8Array.fromBase64 === 'function' ? Uint8Array.fromBase64(text) : decodeBase64Here(text);
}

// The same, by this script's own decoder.
export function decodeBase64Here(text) {
  const out = new Uint8Array(Math.ceil(text.length / 4) * 3);
  let bits = 0, held = 0, length = 0, padding = 0;
  for (let i = 0; i < text.length; ++i) {
    const c = text.charCodeAt(i);
    const code = c < 256 ? CODES[c] : -1;
    if (code >= 0) {
      if (padding > 0) throw new Error('base64 text goes on after its padding');
      bits = (bits << 6) | code;
      if (++held === 4) {
        out[length] = bits >>> 16;
        out[length + 1] = (bits >>> 8) & 255;
        out[length + 2] = bits & 255;
        length += 3;
        bits = 0;
        held = 0;
      }
    } else if (code === PAD) {
      ++padding;
    } else if (code !== SKIP) {
      throw new Error(`not base64: character ${c} at ${i}`);
    }
  }
  length += lastGroup(out, length, bits, held, padding);
  return new Uint8Array(out.buffer, 0, length);
}

// Writes the bytes of a final group of 2 or 3 characters; returns how many.
function lastGroup(out, at, bits, held, padding) {
  if (held === 0 && padding === 0) return 0;
  if (held < 2 || (padding > 0 && held + padding !== 4)) {
    throw new Error('base64 text ends inside a group');
  }
  if (held === 2) {
    out[at] = bits >>> 4;
    return 1;
  }
  out[at] = bits >>> 10;
  out[at + 1] = (bits >>> 2) & 255;
  return 2;
}
