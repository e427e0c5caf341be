// The reader's slow paths: opening and closing a pfx stream, refilling its block buffer, whole
// blocks, byte swapping and the position counter. The per-value path is inline in reader.h.
#include "pfx/reader.h"

#include "base/memory.h"

int32_t gReaderPosition = 0;

bool OpenPfxStream(PfxStream* stream, const char* path) {
  *stream = PfxStream{};
  stream->file = fopen(path, "rb");
  if (stream->file == nullptr) return false;
  // Without a buffer of our own the C stream's buffering serves, only more slowly.
  stream->buffer = static_cast<unsigned char*>(ModuleAlloc(PFX_BUFFER_SIZE));
  if (stream->buffer != nullptr) stream->capacity = PFX_BUFFER_SIZE;
  stream->next = stream->end = stream->buffer;
  return true;
}

void ClosePfxStream(PfxStream* stream) {
  ModuleCloseFile(stream->file);
  ModuleFree(stream->buffer);
  *stream = PfxStream{};
}

void SetReadPosition(int pos) { gReaderPosition = pos; }

int GetReadPosition() { return gReaderPosition; }

void SwapBytes(void* bytes, int width, int count) {
  unsigned char* element = static_cast<unsigned char*>(bytes);
  for (int i = 0; i < count; ++i, element += width) {
    for (int lo = 0, hi = width - 1; lo < hi; ++lo, --hi) {
      unsigned char kept = element[lo];
      element[lo] = element[hi];
      element[hi] = kept;
    }
  }
}

// Hands out the buffered bytes first, then refills the buffer (or, for a request at least as
// large as the buffer, reads straight into out). The C stream sees one block read per refill.
bool TakeBytesSlow(PfxStream* stream, void* out, size_t n) {
  unsigned char* to = static_cast<unsigned char*>(out);
  size_t buffered = static_cast<size_t>(stream->end - stream->next);
  if (buffered > n) buffered = n;
  if (buffered > 0) memcpy(to, stream->next, buffered);
  stream->next += buffered;
  to += buffered;
  n -= buffered;
  if (n == 0) return true;
  if (n >= stream->capacity) return fread(to, n, 1, stream->file) == 1;
  size_t got = fread(stream->buffer, 1, stream->capacity, stream->file);
  stream->next = stream->buffer;
  stream->end = stream->buffer + got;
  if (got < n) {
    stream->next = stream->end;  // the short read consumed what was left
    return false;
  }
  memcpy(to, stream->next, n);
  stream->next += n;
  return true;
}

bool ReadSampleSlow(PfxStream* stream, double xyz[3]) {
  xyz[0] = ReadFloat(stream);
  xyz[1] = ReadFloat(stream);
  xyz[2] = ReadFloat(stream);
  return gReaderPosition != READER_FAILED;
}

unsigned char* ReadBlock(PfxStream* stream, int n) {
  if (gReaderPosition == READER_FAILED) return nullptr;
  if (n <= 0) {
    gReaderPosition = READER_FAILED;
    return nullptr;
  }
  auto* block = static_cast<unsigned char*>(ModuleAlloc(static_cast<size_t>(n)));
  if (block == nullptr || !TakeBytesSlow(stream, block, static_cast<size_t>(n))) {
    ModuleFree(block);
    gReaderPosition = READER_FAILED;
    return nullptr;
  }
  AdvanceReadPosition(static_cast<uint32_t>(n));
  return block;
}
