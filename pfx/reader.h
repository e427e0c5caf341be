// The big-endian reader of pfx files: 32-bit integers and floats pulled one at a time from a
// stream, with one module-wide position counter that doubles as the sticky failure flag
// (READER_FAILED). The stream keeps a block buffer of its own, so the per-value path is a bounds
// check, a load and a byte swap; a read succeeds only when all its bytes arrived.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "pfx/format.h"

inline constexpr int32_t READER_FAILED = -10;

// Bytes consumed from the current file, modulo 2^32, or READER_FAILED once a read failed.
extern int32_t gReaderPosition;

// An open pfx file: the C stream (opened "rb") and the block buffer in front of it. The buffer is
// owned by the stream and released with it; without one (its allocation failed) every read goes
// to the C stream directly, with the same results.
struct PfxStream {
  FILE* file = nullptr;
  unsigned char* buffer = nullptr;
  size_t capacity = 0;
  const unsigned char* next = nullptr;  // first unread buffered byte
  const unsigned char* end = nullptr;   // one past the last buffered byte
};

inline constexpr size_t PFX_BUFFER_SIZE = 256 * 1024;

bool OpenPfxStream(PfxStream* stream, const char* path);  // false: the file cannot be opened
void ClosePfxStream(PfxStream* stream);                    // releases the file and the buffer

void SetReadPosition(int pos);
int GetReadPosition();
void SwapBytes(void* bytes, int width, int count);  // width 2 or 4, in place

int32_t ReadInt(PfxStream* stream);        // 0 when failed (now or before)
int32_t ReadIntSticky(PfxStream* stream);  // 0 when this read fails, -10 when failed before
float ReadFloat(PfxStream* stream);        // 0.0 when failed (now or before)
unsigned char* ReadBlock(PfxStream* stream, int n);  // caller frees with ModuleFree; null = failed

// ---- the per-value path -------------------------------------------------------------------

// Copies n bytes that straddle the buffer's end (refilling it) into out; false on a short read.
bool TakeBytesSlow(PfxStream* stream, void* out, size_t n);

inline void AdvanceReadPosition(uint32_t n) {
  gReaderPosition = static_cast<int32_t>(static_cast<uint32_t>(gReaderPosition) + n);
}

// The next big-endian 32-bit word, or false (and the failure state) on a short read.
inline bool ReadWord(PfxStream* stream, uint32_t* word) {
  unsigned char bytes[4];
  if (stream->end - stream->next >= 4) {
    memcpy(bytes, stream->next, 4);
    stream->next += 4;
  } else if (!TakeBytesSlow(stream, bytes, 4)) {
    gReaderPosition = READER_FAILED;
    return false;
  }
  *word = PfxWordAt(bytes);
  AdvanceReadPosition(4);
  return true;
}

inline int32_t ReadInt(PfxStream* stream) {
  uint32_t word;
  if (gReaderPosition == READER_FAILED || !ReadWord(stream, &word)) return 0;
  return static_cast<int32_t>(word);
}

inline int32_t ReadIntSticky(PfxStream* stream) {
  if (gReaderPosition == READER_FAILED) return READER_FAILED;
  uint32_t word;
  return ReadWord(stream, &word) ? static_cast<int32_t>(word) : 0;
}

inline float ReadFloat(PfxStream* stream) {
  uint32_t word;
  if (gReaderPosition == READER_FAILED || !ReadWord(stream, &word)) return 0.0f;
  float value;
  memcpy(&value, &word, sizeof value);
  return value;
}

inline float FloatAt(const unsigned char* bytes) {
  uint32_t word = PfxWordAt(bytes);
  float value;
  memcpy(&value, &word, sizeof value);
  return value;
}

// Reads a sample as three ReadFloat calls; false when the reader has failed.
bool ReadSampleSlow(PfxStream* stream, double xyz[3]);

// One sample's x, y, z: exactly what three ReadFloat calls give, in one step when the sample is
// buffered whole. A position that is a multiple of 4 can be neither READER_FAILED nor pass it
// within the three reads. Returns false when the reader has failed.
inline bool ReadSample(PfxStream* stream, double xyz[3]) {
  if ((gReaderPosition & 3) == 0 && stream->end - stream->next >= PFX_SAMPLE_SIZE) [[likely]] {
    xyz[0] = FloatAt(stream->next);
    xyz[1] = FloatAt(stream->next + 4);
    xyz[2] = FloatAt(stream->next + 8);
    stream->next += PFX_SAMPLE_SIZE;
    AdvanceReadPosition(PFX_SAMPLE_SIZE);
    return true;
  }
  return ReadSampleSlow(stream, xyz);
}
