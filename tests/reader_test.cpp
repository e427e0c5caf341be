// The big-endian reader: byte order, the sticky failure and its two integer reads, the position
// counter, whole blocks, and reads across the block buffer's edge.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

#include "base/memory.h"
#include "pfx/reader.h"
#include "temp_file.h"

namespace {

std::vector<uint8_t> Words(std::initializer_list<int32_t> values) {
  std::vector<uint8_t> bytes;
  for (int32_t value : values) pfxwrite::PutInt(bytes, value);
  return bytes;
}

class ReaderTest : public ::testing::Test {
 protected:
  void Open(const std::vector<uint8_t>& bytes) {
    file_.Write(bytes);
    ASSERT_TRUE(OpenPfxStream(&stream_, file_.path().c_str()));
    SetReadPosition(0);
  }
  void TearDown() override { ClosePfxStream(&stream_); }

  TempFile file_;
  PfxStream stream_;
};

TEST_F(ReaderTest, ConvertsBigEndianIntegersAndReals) {
  Open({0x00, 0x00, 0x00, 0x03, 0x3F, 0x80, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFE});
  EXPECT_EQ(ReadInt(&stream_), 3);
  EXPECT_EQ(ReadFloat(&stream_), 1.0f);
  EXPECT_EQ(ReadIntSticky(&stream_), -2);
  EXPECT_EQ(GetReadPosition(), 12);
}

TEST(SwapBytes, ReversesEachElementInPlace) {
  uint8_t shorts[] = {1, 2, 3, 4};
  SwapBytes(shorts, 2, 2);
  EXPECT_EQ(std::vector<uint8_t>(shorts, shorts + 4), (std::vector<uint8_t>{2, 1, 4, 3}));
  uint8_t words[] = {1, 2, 3, 4, 5, 6, 7, 8};
  SwapBytes(words, 4, 2);
  EXPECT_EQ(std::vector<uint8_t>(words, words + 8), (std::vector<uint8_t>{4, 3, 2, 1, 8, 7, 6, 5}));
}

TEST_F(ReaderTest, ShortReadFailsAndTheFailureSticks) {
  Open({0, 0, 0, 7, 0, 0});
  EXPECT_EQ(ReadInt(&stream_), 7);
  EXPECT_EQ(ReadInt(&stream_), 0);  // two bytes left: the read fails
  EXPECT_EQ(GetReadPosition(), READER_FAILED);
  EXPECT_EQ(ReadInt(&stream_), 0);
  EXPECT_EQ(ReadIntSticky(&stream_), READER_FAILED);
  EXPECT_EQ(ReadFloat(&stream_), 0.0f);
  EXPECT_EQ(ReadBlock(&stream_, 4), nullptr);
  EXPECT_EQ(GetReadPosition(), READER_FAILED);
}

TEST_F(ReaderTest, StickyIntegerReadReturnsZeroOnTheFailingRead) {
  Open({0, 0});
  EXPECT_EQ(ReadIntSticky(&stream_), 0);
  EXPECT_EQ(ReadIntSticky(&stream_), READER_FAILED);
}

TEST_F(ReaderTest, FailedReaderConsumesNothingUntilThePositionIsSet) {
  Open(Words({11, 22, 33}));
  EXPECT_EQ(ReadBlock(&stream_, 0), nullptr);  // n = 0 fails without touching the stream
  EXPECT_EQ(ReadInt(&stream_), 0);
  EXPECT_EQ(ReadIntSticky(&stream_), READER_FAILED);
  SetReadPosition(0);
  EXPECT_EQ(ReadInt(&stream_), 11);
  EXPECT_EQ(ReadBlock(&stream_, -4), nullptr);
  SetReadPosition(0);
  EXPECT_EQ(ReadInt(&stream_), 22);
  EXPECT_EQ(GetReadPosition(), 4);
}

// Every way into the failure state with words still to come (each of them a non-zero integer and
// real): each read after it gives its failure value, twice over, and neither consumes nor returns
// any of the later bytes; they are all there once the position is set again.
TEST(StickyFailure, EveryReadAfterAFailureGivesItsFailureValueAndConsumesNothing) {
  const std::vector<uint8_t> bytes = Words({0x3F800000, 0x40000000, 0x40400000, 0x40800000, 0x40A00000});
  TempFile file(bytes);
  struct Failure {
    const char* name;
    int wordsTaken;  // by the failing read itself
    std::function<void(PfxStream*)> cause;
  };
  const Failure failures[] = {
      {"ReadBlock of 0 bytes", 0, [](PfxStream* s) { EXPECT_EQ(ReadBlock(s, 0), nullptr); }},
      {"ReadBlock of -4 bytes", 0, [](PfxStream* s) { EXPECT_EQ(ReadBlock(s, -4), nullptr); }},
      {"ReadBlock that cannot allocate", 0,
       [](PfxStream* s) {
         ModuleAllocFailOnly(1);
         EXPECT_EQ(ReadBlock(s, 4), nullptr);
         ModuleAllocFailOnly(0);
       }},
      {"the position set to the sentinel", 0, [](PfxStream*) { SetReadPosition(READER_FAILED); }},
      {"a count that lands on the sentinel", 1,
       [](PfxStream* s) {
         SetReadPosition(-14);
         EXPECT_EQ(ReadInt(s), 0x40000000);
       }},
  };
  struct Read {
    const char* name;
    std::function<void(PfxStream*)> expectFailed;
  };
  const Read reads[] = {
      {"ReadInt", [](PfxStream* s) { EXPECT_EQ(ReadInt(s), 0); }},
      {"ReadIntSticky", [](PfxStream* s) { EXPECT_EQ(ReadIntSticky(s), READER_FAILED); }},
      {"ReadFloat", [](PfxStream* s) { EXPECT_EQ(std::bit_cast<uint32_t>(ReadFloat(s)), 0u); }},
      {"ReadBlock", [](PfxStream* s) { EXPECT_EQ(ReadBlock(s, 4), nullptr); }},
      {"ReadSample",
       [](PfxStream* s) {
         double xyz[3] = {7, 7, 7};
         EXPECT_FALSE(ReadSample(s, xyz));
         for (double coordinate : xyz) EXPECT_EQ(std::bit_cast<uint64_t>(coordinate), 0u);
       }},
  };
  for (const Failure& failure : failures) {
    for (const Read& read : reads) {
      SCOPED_TRACE(std::string(read.name) + " after " + failure.name);
      PfxStream stream;
      ASSERT_TRUE(OpenPfxStream(&stream, file.path().c_str()));
      SetReadPosition(0);
      EXPECT_EQ(ReadInt(&stream), 0x3F800000);
      failure.cause(&stream);
      ASSERT_EQ(GetReadPosition(), READER_FAILED);
      long live = ModuleAllocLive();
      read.expectFailed(&stream);
      read.expectFailed(&stream);
      EXPECT_EQ(GetReadPosition(), READER_FAILED);
      EXPECT_EQ(ModuleAllocLive(), live);
      SetReadPosition(0);
      EXPECT_EQ(ReadInt(&stream), static_cast<int32_t>(PfxWordAt(&bytes[4 * (1 + failure.wordsTaken)])));
      ClosePfxStream(&stream);
    }
  }
}

// A block the file cannot fill fails whole: null, the failure state, and its memory released,
// whether the bytes run out within the block buffer's refill, in a block larger than the buffer,
// at the end of the file or without a buffer at all.
TEST(ReaderBlock, ABlockCutShortLeavesNothingAllocated) {
  struct Case {
    size_t fileSize;
    size_t before;  // bytes taken first
    int block;
    bool withBuffer;
  };
  const int big = static_cast<int>(PFX_BUFFER_SIZE) + 8;
  const Case cases[] = {
      {10, 0, 12, true},  {10, 4, 8, true},   {10, 10, 4, true},  {PFX_BUFFER_SIZE, 0, big, true},
      {PFX_BUFFER_SIZE + 16, 12, big, true}, {10, 0, 12, false}, {10, 10, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.block << "-byte block after " << c.before << " of " << c.fileSize
                                    << " bytes" << (c.withBuffer ? "" : ", without a buffer"));
    TempFile file(std::vector<uint8_t>(c.fileSize, 0x5A));
    PfxStream stream;
    if (!c.withBuffer) ModuleAllocFailOnly(1);
    ASSERT_TRUE(OpenPfxStream(&stream, file.path().c_str()));
    ModuleAllocFailOnly(0);
    ASSERT_EQ(stream.buffer != nullptr, c.withBuffer);
    SetReadPosition(0);
    if (c.before > 0) {
      unsigned char* first = ReadBlock(&stream, static_cast<int>(c.before));
      ASSERT_NE(first, nullptr);
      ModuleFree(first);
    }
    long live = ModuleAllocLive();
    EXPECT_EQ(ReadBlock(&stream, c.block), nullptr);
    EXPECT_EQ(GetReadPosition(), READER_FAILED);
    EXPECT_EQ(ModuleAllocLive(), live) << "the block's memory was not released";
    ClosePfxStream(&stream);
  }
}

TEST_F(ReaderTest, PositionCountsModuloTwoToThe32) {
  Open(Words({1, 2, 3}));
  SetReadPosition(INT32_MAX - 3);
  EXPECT_EQ(ReadInt(&stream_), 1);
  EXPECT_EQ(GetReadPosition(), INT32_MIN);
  SetReadPosition(-4);
  EXPECT_EQ(ReadFloat(&stream_), std::bit_cast<float>(2));
  EXPECT_EQ(GetReadPosition(), 0);
}

TEST_F(ReaderTest, BlocksAreWholeOrNothing) {
  Open(Words({0x01020304, 0x05060708}));
  unsigned char* block = ReadBlock(&stream_, 3);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(block, block + 3), (std::vector<uint8_t>{1, 2, 3}));
  ModuleFree(block);
  EXPECT_EQ(GetReadPosition(), 3);
  EXPECT_EQ(ReadBlock(&stream_, 6), nullptr);  // five bytes left
  EXPECT_EQ(GetReadPosition(), READER_FAILED);
}

// A sample taken in one step reads as its three coordinates read one at a time, whatever the
// position counter says, including a count that runs into the failure value on the way.
TEST(ReadSample, MatchesThreeSingleReads) {
  std::vector<uint8_t> bytes;
  for (float value : {1.5f, -2.0f, 3.25f, 4.0f, NAN, INFINITY, 7.0f}) pfxwrite::PutFloat(bytes, value);
  TempFile file(bytes);
  for (int start : {0, 8, -14, -22, 2, INT32_MAX - 7}) {
    SCOPED_TRACE(start);
    for (size_t skip = 0; skip <= 16; skip += 4) {
      PfxStream one, three;
      ASSERT_TRUE(OpenPfxStream(&one, file.path().c_str()));
      ASSERT_TRUE(OpenPfxStream(&three, file.path().c_str()));
      SetReadPosition(0);
      ModuleFree(ReadBlock(&one, static_cast<int>(skip)));
      ModuleFree(ReadBlock(&three, static_cast<int>(skip)));
      SetReadPosition(start);
      double sample[3];
      bool whole = ReadSample(&one, sample);
      int afterOne = GetReadPosition();
      SetReadPosition(start);
      double expected[3] = {ReadFloat(&three), ReadFloat(&three), ReadFloat(&three)};
      EXPECT_EQ(GetReadPosition(), afterOne);
      EXPECT_EQ(whole, afterOne != READER_FAILED);
      for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(sample[i] == expected[i] || (std::isnan(sample[i]) && std::isnan(expected[i])));
      }
      ClosePfxStream(&one);
      ClosePfxStream(&three);
    }
  }
}

// Values straddling the edge of the block buffer, and a block larger than the buffer, read the
// same as values inside it; so do all of them when the buffer could not be allocated.
void ReadAcrossTheBufferEdge(bool withBuffer) {
  const int32_t count = static_cast<int32_t>(PFX_BUFFER_SIZE / 4) * 3;
  std::vector<uint8_t> bytes = {0xAA, 0xBB};  // shifts every word off the buffer's alignment
  for (int32_t i = 0; i < count; ++i) pfxwrite::PutInt(bytes, i * 7 - 5);
  TempFile file(bytes);
  PfxStream stream;
  if (!withBuffer) ModuleAllocFailOnly(1);
  ASSERT_TRUE(OpenPfxStream(&stream, file.path().c_str()));
  ModuleAllocFailFrom(0);
  EXPECT_EQ(stream.buffer != nullptr, withBuffer);
  SetReadPosition(0);
  unsigned char* head = ReadBlock(&stream, 2);
  ASSERT_NE(head, nullptr);
  ModuleFree(head);
  int32_t i = 0;
  for (; i < count / 3; ++i) ASSERT_EQ(ReadInt(&stream), i * 7 - 5) << i;
  unsigned char* big = ReadBlock(&stream, static_cast<int>(PFX_BUFFER_SIZE + 8));
  ASSERT_NE(big, nullptr);
  i += static_cast<int32_t>(PFX_BUFFER_SIZE / 4) + 2;
  ModuleFree(big);
  for (; i < count; ++i) ASSERT_EQ(ReadIntSticky(&stream), i * 7 - 5) << i;
  EXPECT_EQ(GetReadPosition(), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(ReadInt(&stream), 0);
  EXPECT_EQ(GetReadPosition(), READER_FAILED);
  ClosePfxStream(&stream);
}

TEST(ReaderBuffer, ReadsAcrossTheBufferEdge) { ReadAcrossTheBufferEdge(true); }
TEST(ReaderBuffer, ReadsTheSameWithoutABuffer) { ReadAcrossTheBufferEdge(false); }

}  // namespace
