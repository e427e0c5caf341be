// dustweave convert --attributes as a user runs it: the .glb grows by 20 bytes a point and the
// summary says its frames; asking for them with an OBJ is misuse; a run of more chains than
// _CHAIN numbers exactly, or a frame _FRAME cannot hold, is refused with exit 10, one line, and
// nothing left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "program_run.h"

namespace {

namespace fs = std::filesystem;

constexpr int NOT_DONE = 10, MISUSE = 64;

bool IsOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

TEST(ConvertAttributes, GlbGrowsByTwentyBytesAPointAndTheSummarySaysItsFrames) {
  TempFolder dir;
  ASSERT_EQ(Dustweave({"generate", dir.File("typical.pfx")}).status, 0);
  Outcome plain = Dustweave({"convert", dir.File("typical.pfx"), dir.File("plain.glb")});
  Outcome shaded = Dustweave({"convert", dir.File("typical.pfx"), dir.File("shaded.glb"), "--attributes"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(shaded.status, 0) << shaded.err;
  EXPECT_EQ(shaded.out, "wrote " + dir.File("shaded.glb") + ": 20,200 points, 20,000 polygons; frames 0 to 100\n");
  EXPECT_EQ(fs::file_size(dir.File("shaded.glb")), fs::file_size(dir.File("plain.glb")) + 20 * 20200);
}

TEST(ConvertAttributes, WithObjIsMisuseAndWritesNothing) {
  TempFolder dir;
  ASSERT_TRUE(pfxwrite::WriteBytes(dir.File("small.pfx"), pfxwrite::Encode(SmallFile()), nullptr));
  for (std::string name : {"out.obj", "OUT.OBJ"}) {
    Outcome outcome = Dustweave({"convert", dir.File("small.pfx"), dir.File(name), "--attributes"});
    EXPECT_EQ(outcome.status, MISUSE);
    EXPECT_TRUE(IsOneLine(outcome.err)) << outcome.err;
    EXPECT_NE(outcome.err.find("--attributes needs a .glb, .usda or .usdc"), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"small.pfx"});
}

// One track whose every sample restarts it (its index limit lies below its first index), each
// sample led by a one-point polygon: 16,777,217 chains of one point. Its samples are all zero,
// left to the file system as a hole.
void WriteRestartingTrack(const std::string& path, uint32_t samples) {
  std::vector<uint8_t> head;
  for (int32_t value : {3, 1, -1, 0, static_cast<int32_t>(samples - 1), 0}) pfxwrite::PutInt(head, value);
  for (int i = 0; i < 3; ++i) pfxwrite::PutFloat(head, 0);
  ASSERT_TRUE(pfxwrite::WriteBytes(path, head, nullptr));
  fs::resize_file(path, head.size() + 12ull * samples);
}

TEST(ConvertAttributes, MoreChainsThanChainNumbersHoldExactlyIsRefused) {
  TempFolder dir;
  WriteRestartingTrack(dir.File("restarts.pfx"), (1u << 24) + 1);
  Outcome outcome = Dustweave({"convert", dir.File("restarts.pfx"), dir.File("out.glb"), "--start-poly", "--attributes"});
  EXPECT_EQ(outcome.status, NOT_DONE);
  EXPECT_EQ(outcome.out, "");
  EXPECT_TRUE(IsOneLine(outcome.err)) << outcome.err;
  EXPECT_NE(outcome.err.find("more than 16,777,216 chains"), std::string::npos) << outcome.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"restarts.pfx"});
}

// A track recorded from frame 16,777,215 on: its third sample's frame is past what a float32
// holds exactly, so its .glb is refused; USD's int[] holds it.
TEST(ConvertAttributes, FramePastWhatFloatsHoldIsRefusedInTheGlbAlone) {
  TempFolder dir;
  pfxwrite::File file;
  file.indexLimit = 10;
  file.tracks.push_back(pfxwrite::RuledTrack((1 << 24) - 1, (1 << 24) + 3, 0, 10));
  ASSERT_TRUE(pfxwrite::WriteBytes(dir.File("late.pfx"), pfxwrite::Encode(file), nullptr));
  Outcome outcome = Dustweave({"convert", dir.File("late.pfx"), dir.File("out.glb"), "--attributes"});
  EXPECT_EQ(outcome.status, NOT_DONE);
  EXPECT_TRUE(IsOneLine(outcome.err)) << outcome.err;
  EXPECT_NE(outcome.err.find("point 2 is at frame 16777217, past the 16777216 that _FRAME's"), std::string::npos) << outcome.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"late.pfx"});
  outcome = Dustweave({"convert", dir.File("late.pfx"), dir.File("out.usda"), "--attributes"});
  EXPECT_NE(outcome.out.find("frames 16777215 to 16777219 at 24 fps"), std::string::npos) << outcome.err;
}

}  // namespace
