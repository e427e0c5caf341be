// Fuzz target: the pfx reader on its own. A file and a sequence of reader calls are drawn from the
// input; every result and the position counter are held against a plain model of the reader
// (bytes taken from an offset, a 32-bit position that wraps, failure exactly when it reads -10).
// The same calls are run with and without the reader's block buffer, and around its refills.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

#include "base/memory.h"
#include "fuzz/fuzz_support.h"
#include "pfx/reader.h"

namespace {

using fuzzsupport::Check;

constexpr int32_t FAILED = -10;

// What the reader should do: the file's bytes, the offset of the next unread byte, the counter.
struct ReaderModel {
  std::vector<uint8_t> file;
  size_t offset = 0;
  uint32_t position = 0;

  bool failed() const { return static_cast<int32_t>(position) == FAILED; }
  void Fail() {
    position = static_cast<uint32_t>(FAILED);
  }
  // Takes n bytes, or fails and consumes what was left.
  bool Take(size_t n, uint8_t* out) {
    if (file.size() - offset < n) {
      offset = file.size();
      Fail();
      return false;
    }
    std::memcpy(out, file.data() + offset, n);
    offset += n;
    position += static_cast<uint32_t>(n);
    return true;
  }
  bool Word(uint32_t* word) {
    uint8_t b[4];
    if (!Take(4, b)) return false;
    *word = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    return true;
  }
};

int32_t PositionValue(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: return 0;
    case 1: return FAILED;
    case 2: return FAILED - in.ConsumeIntegralInRange<int32_t>(1, 12);  // reaches -10 by reading
    case 3: return INT32_MAX - in.ConsumeIntegralInRange<int32_t>(0, 12);
    case 4: return -1 - in.ConsumeIntegralInRange<int32_t>(0, 12);
    default: return in.ConsumeIntegral<int32_t>();
  }
}

int BlockLength(FuzzedDataProvider& in, size_t fileSize) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return in.ConsumeIntegralInRange<int>(-3, 16);
    case 1: return in.ConsumeIntegralInRange<int>(0, static_cast<int>(fileSize) + 8);
    case 2: return static_cast<int>(PFX_BUFFER_SIZE) + in.ConsumeIntegralInRange<int>(-8, 8);
    default: return in.ConsumeIntegral<int>() % (1 << 20);  // libFuzzer's malloc limit
  }
}

void CheckPosition(const ReaderModel& model) {
  Check(GetReadPosition() == static_cast<int32_t>(model.position), "position counter");
  Check(gReaderPosition == static_cast<int32_t>(model.position), "gReaderPosition");
}

void StepReadInt(PfxStream* stream, ReaderModel& model, bool sticky) {
  int32_t expected;
  if (model.failed()) {
    expected = sticky ? FAILED : 0;
  } else {
    uint32_t word;
    expected = model.Word(&word) ? static_cast<int32_t>(word) : 0;
  }
  int32_t got = sticky ? ReadIntSticky(stream) : ReadInt(stream);
  Check(got == expected, sticky ? "ReadIntSticky's value" : "ReadInt's value");
}

void StepReadFloat(PfxStream* stream, ReaderModel& model) {
  uint32_t expected = 0;
  if (!model.failed() && !model.Word(&expected)) expected = 0;
  float got = ReadFloat(stream);
  uint32_t bits;
  std::memcpy(&bits, &got, 4);
  Check(bits == expected, "ReadFloat's bits");
}

// A whole sample reads as three ReadFloat calls would, buffered in one step or not.
void StepReadSample(PfxStream* stream, ReaderModel& model) {
  uint32_t expected[3] = {0, 0, 0};
  for (uint32_t& word : expected) {
    if (!model.failed() && !model.Word(&word)) word = 0;
  }
  double xyz[3];
  bool whole = ReadSample(stream, xyz);
  Check(whole == !model.failed(), "ReadSample's result");
  for (int k = 0; k < 3; ++k) {
    float real;
    std::memcpy(&real, &expected[k], 4);
    double widened = real;
    Check(std::memcmp(&xyz[k], &widened, sizeof widened) == 0, "ReadSample's coordinates");
  }
}

void StepReadBlock(PfxStream* stream, ReaderModel& model, int n, bool starved) {
  std::vector<uint8_t> expected;
  bool ok = false;
  if (!model.failed()) {
    if (n <= 0 || starved) {
      model.Fail();  // nothing is read
    } else {
      expected.resize(static_cast<size_t>(n));
      ok = model.Take(expected.size(), expected.data());
    }
  }
  long liveBefore = ModuleAllocLive();
  if (starved) ModuleAllocFailOnly(1);
  unsigned char* block = ReadBlock(stream, n);
  ModuleAllocFailOnly(0);
  Check((block != nullptr) == ok, "ReadBlock succeeds exactly when all n bytes arrive");
  if (block != nullptr) {
    Check(std::memcmp(block, expected.data(), expected.size()) == 0, "ReadBlock's bytes");
    ModuleFree(block);
  }
  Check(ModuleAllocLive() == liveBefore, "ReadBlock keeps nothing it does not hand out");
}

void RunCalls(FuzzedDataProvider& in, PfxStream* stream, ReaderModel& model) {
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
      case 0: {
        int32_t pos = PositionValue(in);
        SetReadPosition(pos);
        model.position = static_cast<uint32_t>(pos);
        break;
      }
      case 1: StepReadInt(stream, model, false); break;
      case 2: StepReadInt(stream, model, true); break;
      case 3: StepReadFloat(stream, model); break;
      case 4: StepReadBlock(stream, model, BlockLength(in, model.file.size()), false); break;
      case 5: StepReadBlock(stream, model, in.ConsumeIntegralInRange<int>(1, 64), true); break;
      case 6: StepReadSample(stream, model); break;
      default: {
        uint8_t bytes[8];
        in.ConsumeData(bytes, sizeof bytes);
        uint8_t swapped[8];
        std::memcpy(swapped, bytes, sizeof bytes);
        bool wide = in.ConsumeBool();
        SwapBytes(swapped, wide ? 4 : 2, wide ? 2 : 4);
        int width = wide ? 4 : 2;
        for (int i = 0; i < 8; ++i) {
          int element = i / width, within = i % width;
          Check(swapped[i] == bytes[element * width + width - 1 - within], "SwapBytes");
        }
        break;
      }
    }
    CheckPosition(model);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzsupport::ScratchFile scratch;
  FuzzedDataProvider in(data, size);
  bool unbuffered = in.ConsumeBool();
  // Optionally lead the file with nearly a buffer's worth of filler, so reads straddle a refill.
  size_t filler = in.ConsumeBool() ? PFX_BUFFER_SIZE - in.ConsumeIntegralInRange<size_t>(0, 16) : 0;
  ReaderModel model;
  model.file.resize(filler);
  for (size_t i = 0; i < filler; ++i) model.file[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> tail = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 512));
  model.file.insert(model.file.end(), tail.begin(), tail.end());
  scratch.Fill(model.file.data(), model.file.size());

  long liveBefore = ModuleAllocLive();
  int freeBefore = fuzzsupport::LowestFreeDescriptor();
  PfxStream stream;
  if (unbuffered) ModuleAllocFailOnly(1);
  Check(OpenPfxStream(&stream, scratch.path().c_str()), "the scratch file opens");
  ModuleAllocFailOnly(0);
  Check((stream.buffer == nullptr) == unbuffered, "a buffer exactly when one could be had");
  SetReadPosition(0);
  RunCalls(in, &stream, model);
  ClosePfxStream(&stream);
  Check(fuzzsupport::LowestFreeDescriptor() == freeBefore, "the file was closed");
  Check(ModuleAllocLive() == liveBefore, "the buffer was released");
  return 0;
}
