// Hostile pfx files and options through the command run: files cut at every byte, tracks that
// would never end, absurd counts and spans, NaN and infinite values, and a position counter at the
// edge of its range. Each must end, build only what whole samples give, and say so when cut short.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/memory.h"
#include "chain/command.h"
#include "chain_run.h"
#include "pfx/reader.h"

namespace {

using pfxwrite::RuledTrack;
using standin::EditState;
using Point = std::array<double, 3>;

// Runs the command on the given bytes with the given options; the host keeps what was built.
struct HostileRun : ChainRun {
  explicit HostileRun(const std::vector<uint8_t>& bytes, double step = 1.0, int startPolygon = 0)
      : ChainRun(bytes, {.step = step, .startPolygon = startPolygon}) {}
  explicit HostileRun(const pfxwrite::File& file, double step = 1.0, int startPolygon = 0)
      : HostileRun(pfxwrite::Encode(file), step, startPolygon) {}
};

const std::vector<std::string> ENDS_EARLY = {"error: unexpected end of pfx file"};

// The byte offset at which each sample of a file ends, in file order (every track carrying
// exactly the samples its head calls for).
std::vector<size_t> SampleEnds(const pfxwrite::File& file) {
  std::vector<size_t> ends;
  size_t offset = PFX_HEADER_SIZE;
  for (const pfxwrite::Track& track : file.tracks) {
    offset += PFX_TRACK_HEAD_SIZE;
    for (size_t k = 0; k < track.samples.size(); ++k) ends.push_back(offset += PFX_SAMPLE_SIZE);
  }
  return ends;
}

bool AtOrigin(const Point& p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

// ---- a file cut short ------------------------------------------------------------------------

pfxwrite::File ThreeTracks() {
  pfxwrite::File file;
  file.indexLimit = 4;
  file.tracks.push_back(RuledTrack(0, 3, 0, 4, 10));   // four samples
  file.tracks.push_back(RuledTrack(7, 2, 0, 4, 20));   // negative span: none
  file.tracks.push_back(RuledTrack(0, 6, 0, 4, 30));   // 0 .. 4, back to 0 .. : capped at seven
  file.tracks.push_back(RuledTrack(-3, -3, 0, 4, 40)); // one
  return file;
}

TEST(CutFile, EveryCutBuildsExactlyTheWholeSamplesAndSaysSo) {
  pfxwrite::File file = ThreeTracks();
  std::vector<uint8_t> bytes = pfxwrite::Encode(file);
  std::vector<size_t> ends = SampleEnds(file);
  HostileRun whole(bytes, 1.0, 1);
  ASSERT_EQ(whole.host.mesh.points.size(), ends.size());
  ASSERT_TRUE(whole.host.boxes.empty());
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE("cut at byte " + std::to_string(cut));
    HostileRun run(Cut(bytes, cut), 1.0, 1);
    size_t wholeSamples = 0;
    while (wholeSamples < ends.size() && ends[wholeSamples] <= cut) ++wholeSamples;
    const auto& points = run.host.mesh.points;
    ASSERT_EQ(points.size(), wholeSamples);
    for (size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ(points[i], whole.host.mesh.points[i]);
      EXPECT_FALSE(AtOrigin(points[i]));
    }
    // The polygons are those of the whole run that join only whole samples' points.
    size_t polygons = 0;
    for (const auto& polygon : whole.host.mesh.polygons) {
      bool kept = true;
      for (int64_t point : polygon.points) kept = kept && point < static_cast<int64_t>(wholeSamples);
      if (!kept) break;
      ASSERT_LT(polygons, run.host.mesh.polygons.size());
      EXPECT_EQ(run.host.mesh.polygons[polygons].points, polygon.points);
      ++polygons;
    }
    EXPECT_EQ(run.host.mesh.polygons.size(), polygons);
    EXPECT_EQ(run.Boxes(), ENDS_EARLY);
    EXPECT_EQ(run.host.mesh.edit, EditState::Ended);
    EXPECT_EQ(run.host.calls(), CutShortCalls(wholeSamples, polygons));
    EXPECT_EQ(run.allocationsLeft, 0);
  }
}

TEST(CutFile, TheEditIsEndedAndTheFileClosedBeforeTheBox) {
  pfxwrite::File file = ThreeTracks();
  std::vector<uint8_t> bytes = pfxwrite::Encode(file);
  // Cut inside the first track's third sample: two points and, with the start polygon, two
  // polygons; then in the header, before anything is built.
  HostileRun inTrack(Cut(bytes, PFX_HEADER_SIZE + PFX_TRACK_HEAD_SIZE + 2 * PFX_SAMPLE_SIZE + 5), 1.0, 1);
  EXPECT_EQ(inTrack.host.calls(),
            (std::vector<std::string>{"editBegin", "mesh: 2 points, 2 polygons", "done", "close",
                                      "error: unexpected end of pfx file"}));
  HostileRun inHeader(Cut(bytes, 7));
  EXPECT_EQ(inHeader.host.calls(),
            (std::vector<std::string>{"editBegin", "done", "close", "error: unexpected end of pfx file"}));
}

// ---- tracks that would never end ---------------------------------------------------------------

TEST(EndlessTrack, ACounterThatKeepsJumpingBackIsCappedAtSpanPlusOneSamples) {
  pfxwrite::File file;
  file.indexLimit = 4;
  // Past 4 the counter returns to 2 and would cycle 2, 3, 4 for ever.
  file.tracks.push_back(RuledTrack(0, 9, 2, 4, 100));
  file.tracks.push_back(RuledTrack(0, 1, 0, 4, 200));  // read from where the cap leaves off
  ASSERT_EQ(file.tracks[0].samples.size(), 10u);
  HostileRun run(file);
  EXPECT_EQ(run.Xs(), (std::vector<double>{100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 200,
                                           201}));
  EXPECT_TRUE(run.host.boxes.empty());
}

TEST(EndlessTrack, ACounterThatKeepsJumpingBackEndsAtTheEndOfTheFile) {
  pfxwrite::File file;
  file.indexLimit = 4;
  file.tracks.push_back(RuledTrack(0, 1000000, 2, 4, 100));
  file.tracks[0].samples.resize(7);
  HostileRun run(file);
  EXPECT_EQ(run.host.mesh.points.size(), 7u);
  EXPECT_EQ(run.Boxes(), ENDS_EARLY);
}

TEST(EndlessTrack, SpanOfTwoToTheThirtyOneMinusOneEndsAtTheEndOfTheFile) {
  pfxwrite::File file;
  file.indexLimit = INT32_MAX;
  pfxwrite::Track track{INT32_MIN, -1, 0, {0, 0, 0}, {}};  // span 2147483647 by wrap-around
  for (int k = 1; k <= 5; ++k) track.samples.push_back({float(k), 0, 0});
  file.tracks.push_back(track);
  HostileRun run(file, 0.5, 1);
  // Thinned with interval 2, the file's end comes before the track's last sample.
  EXPECT_EQ(run.Xs(), (std::vector<double>{1, 3, 5}));
  EXPECT_EQ(run.Boxes(), ENDS_EARLY);
}

TEST(EndlessTrack, AJumpToTwoToTheThirtyOneMinusOneIsTheTracksLastSample) {
  pfxwrite::File file;
  file.indexLimit = 2;
  file.tracks.push_back(RuledTrack(0, INT32_MAX, INT32_MAX, 2, 100));
  file.tracks.push_back(RuledTrack(0, 0, 0, 2, 200));
  // j = 0, 1, 2, then 3 jumps to 2147483647 = span: four samples, then the next track.
  ASSERT_EQ(file.tracks[0].samples.size(), 4u);
  HostileRun run(file);
  EXPECT_EQ(run.Xs(), (std::vector<double>{100, 101, 102, 103, 200}));
  EXPECT_TRUE(run.host.boxes.empty());
}

TEST(EndlessTrack, ALastIndexOfTwoToTheThirtyOneMinusOneFromZeroIsCappedToo) {
  pfxwrite::File file;
  file.indexLimit = 0;
  // Past 0 the counter returns to -5 and would climb through 0 again for ever.
  pfxwrite::Track track{0, INT32_MAX, -5, {0, 0, 0}, {}};
  for (int k = 0; k < 40; ++k) track.samples.push_back({float(k + 1), 0, 0});
  file.tracks.push_back(track);
  HostileRun run(file);
  EXPECT_EQ(run.host.mesh.points.size(), 40u);
  EXPECT_EQ(run.Boxes(), ENDS_EARLY);
}

// ---- absurd counts and spans --------------------------------------------------------------------

TEST(AbsurdHeader, ParticleCountOfTwoToTheThirtyOneMinusOneInAFewBytesEndsAtOnce) {
  pfxwrite::File file;
  file.indexLimit = 5;
  file.tracks.push_back(RuledTrack(0, 2, 0, 5, 1));
  file.particleCount = INT32_MAX;
  HostileRun run(file);
  EXPECT_EQ(run.Xs(), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(run.Boxes(), ENDS_EARLY);
  EXPECT_EQ(run.host.mesh.edit, EditState::Ended);
}

TEST(AbsurdHeader, ParticleCountOfTwoToTheThirtyOneMinusOneWithNoTrackAtAll) {
  pfxwrite::File file;
  file.particleCount = INT32_MAX;
  HostileRun run(file);
  EXPECT_TRUE(run.host.mesh.points.empty());
  EXPECT_EQ(run.Boxes(), ENDS_EARLY);
}

TEST(AbsurdHeader, NegativeSpansReadNoSamplesAndTheNextHeadFollowsDirectly) {
  pfxwrite::File file;
  file.indexLimit = 10;
  file.tracks.push_back(RuledTrack(5, 4, 0, 10, 100));              // span -1
  file.tracks.push_back(RuledTrack(0, INT32_MIN, 0, 10, 200));      // span -2^31
  file.tracks.push_back(RuledTrack(INT32_MIN, INT32_MAX, 0, 10, 300));  // wraps to -1
  file.tracks.push_back(RuledTrack(0, 2, 0, 10, 400));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(file.tracks[i].samples.empty());
  HostileRun run(file, 1.0, 1);
  EXPECT_EQ(run.Xs(), (std::vector<double>{400, 401, 402}));
  EXPECT_EQ(run.host.mesh.polygons.size(), 3u);  // the start polygon and two links
  EXPECT_TRUE(run.host.boxes.empty());
}

TEST(AbsurdHeader, NegativeIndexLimitJumpsAtOnce) {
  pfxwrite::File file;
  file.indexLimit = INT32_MIN;
  // Every pass jumps: to 3 = span, which ends the track, or to -7 each time, capped at four.
  file.tracks.push_back(RuledTrack(0, 3, 3, INT32_MIN, 100));
  file.tracks.push_back(RuledTrack(0, 3, -7, INT32_MIN, 200));
  HostileRun run(file, 1.0, 1);
  EXPECT_EQ(run.Xs(), (std::vector<double>{100, 200, 201, 202, 203}));
  // At j = -7 every sample starts a chain of its own.
  ASSERT_EQ(run.host.mesh.polygons.size(), 4u);
  for (const auto& polygon : run.host.mesh.polygons) EXPECT_EQ(polygon.points.size(), 1u);
  EXPECT_TRUE(run.host.boxes.empty());
}

// ---- coordinates and step percents -------------------------------------------------------------

TEST(OddValues, NanAndInfiniteCoordinatesArePassedOnUnchanged) {
  const float nanWithPayload = std::bit_cast<float>(0x7FC12345u);
  const float values[] = {NAN, -NAN, nanWithPayload, INFINITY, -INFINITY, -0.0f,
                          std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max()};
  pfxwrite::File file;
  file.indexLimit = 100;
  pfxwrite::Track track{0, 2, 0, {NAN, INFINITY, -INFINITY}, {}};
  track.samples = {{values[0], values[1], values[2]},
                   {values[3], values[4], values[5]},
                   {values[6], values[7], values[0]}};
  file.tracks.push_back(track);
  HostileRun run(file);
  ASSERT_EQ(run.host.mesh.points.size(), 3u);
  for (size_t i = 0; i < 9; ++i) {
    double expected = values[i % 8];
    double got = run.host.mesh.points[i / 3][i % 3];
    EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(expected)) << "value " << i;
  }
  EXPECT_EQ(run.host.mesh.polygons.size(), 2u);
}

TEST(OddValues, NanInfiniteAndNegativeStepPercentsKeepEverySample) {
  for (double step : {double(NAN), -double(NAN), double(INFINITY), -double(INFINITY), -0.25, -0.0, 0.0, 1.0, 7.5,
                      std::numeric_limits<double>::max()}) {
    SCOPED_TRACE(step);
    EXPECT_EQ(StepInterval(10, step), 0);
    pfxwrite::File file;
    file.indexLimit = 100;
    file.tracks.push_back(RuledTrack(0, 10, 0, 100));
    EXPECT_EQ(HostileRun(file, step).host.mesh.points.size(), 11u);
  }
}

TEST(OddValues, TinyStepPercentsKeepOnlyTheFirstAndLastSample) {
  for (double step : {0x1p-31, 0x1p-32, 1e-300, std::numeric_limits<double>::denorm_min()}) {
    SCOPED_TRACE(step);
    EXPECT_EQ(StepInterval(1, step), INT32_MAX);
    EXPECT_EQ(StepInterval(INT32_MAX, step), INT32_MAX);
    pfxwrite::File file;
    file.indexLimit = 100;
    file.tracks.push_back(RuledTrack(0, 50, 0, 100));
    EXPECT_EQ(HostileRun(file, step).Xs(), (std::vector<double>{0, 50}));
  }
  // Just above the clamp the interval is the truncated quotient.
  EXPECT_EQ(StepInterval(1, 0x1p-30), 1 << 30);
}

// ---- the position counter at the edge of its range ----------------------------------------------

class PositionCounter : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint8_t> bytes;
    for (int32_t v = 1; v <= 8; ++v) pfxwrite::PutInt(bytes, v);
    file_.Write(bytes);
    ASSERT_TRUE(OpenPfxStream(&stream_, file_.path().c_str()));
  }
  void TearDown() override {
    ClosePfxStream(&stream_);
    SetReadPosition(0);
  }
  TempFile file_;
  PfxStream stream_;
};

TEST_F(PositionCounter, CountsThroughTwoToTheThirtyTwoAndOnFromZero) {
  SetReadPosition(-8);  // 2^32 - 8
  EXPECT_EQ(ReadInt(&stream_), 1);
  EXPECT_EQ(GetReadPosition(), -4);
  EXPECT_EQ(ReadIntSticky(&stream_), 2);
  EXPECT_EQ(GetReadPosition(), 0);
  double xyz[3];
  EXPECT_TRUE(ReadSample(&stream_, xyz));
  EXPECT_EQ(GetReadPosition(), 12);
}

TEST_F(PositionCounter, CountsThroughTwoToTheThirtyOneWithoutOverflow) {
  SetReadPosition(INT32_MAX - 1);
  EXPECT_EQ(ReadInt(&stream_), 1);
  EXPECT_EQ(GetReadPosition(), INT32_MIN + 2);
  unsigned char* block = ReadBlock(&stream_, 8);
  ASSERT_NE(block, nullptr);
  ModuleFree(block);
  EXPECT_EQ(GetReadPosition(), INT32_MIN + 10);
  EXPECT_EQ(ReadFloat(&stream_), std::bit_cast<float>(4));
}

TEST_F(PositionCounter, ACountThatLandsOnTheSentinelReadsAsAFailure) {
  // The counter doubles as the failure flag: only a run's own counting from 0 never meets -10.
  SetReadPosition(-14);
  EXPECT_EQ(ReadInt(&stream_), 1);
  EXPECT_EQ(GetReadPosition(), READER_FAILED);
  EXPECT_EQ(ReadIntSticky(&stream_), READER_FAILED);
  SetReadPosition(0);
  EXPECT_EQ(ReadInt(&stream_), 2);  // nothing was consumed while failed
}

}  // namespace
