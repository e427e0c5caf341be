// The command run through the stand-in host: the typical run, thinning, the index-limit jump and
// start-polygon restarts, the header questions, file names, and files that end early.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "chain_run.h"

namespace {

using pfxwrite::RuledTrack;
using standin::EditState;

pfxwrite::File OneTrack(int32_t lastIndex, int32_t indexLimit = 1000) {
  pfxwrite::File file;
  file.indexLimit = indexLimit;
  file.tracks.push_back(RuledTrack(0, lastIndex, 0, indexLimit));
  return file;
}

std::vector<double> KeptSamples(double step, int32_t span) {
  TempFile file(OneTrack(span));
  return ChainRun(file.path(), {.step = step}).Xs();
}

// ---- the typical run and the default options -------------------------------------------------

TEST(ChainRun, TypicalRunBuildsTwentySixPointsPerParticle) {
  pfxwrite::File file;
  file.indexLimit = 100;
  for (int i = 0; i < 200; ++i) file.tracks.push_back(RuledTrack(0, 100, 0, 100, i * 1000.0f));
  TempFile pfx(file);
  ChainRun run(pfx.path(), {.step = 0.25, .surface = "Sparks"});
  EXPECT_EQ(run.host.mesh.points.size(), 5200u);
  EXPECT_EQ(run.host.mesh.polygons.size(), 5000u);
  EXPECT_EQ(run.PolygonsOfSize(2), 5000u);
  for (const auto& polygon : run.host.mesh.polygons) EXPECT_EQ(polygon.surface, "Sparks");
  EXPECT_EQ(run.host.mesh.edit, EditState::Ended);
  EXPECT_EQ(run.host.mesh.doneError, 0);
  EXPECT_TRUE(run.host.boxes.empty());
  EXPECT_EQ(GetReadPosition(), static_cast<int>(pfxwrite::Encode(file).size()));
  EXPECT_EQ(run.host.calls(),
            (std::vector<std::string>{"editBegin", "mesh: 5200 points, 5000 polygons", "done", "close"}));
  EXPECT_EQ(run.allocationsLeft, 0);
}

TEST(ChainRun, DefaultOptionsJoinEverySampleInOrder) {
  TempFile file(OneTrack(4));
  ChainRun run(file.path());
  EXPECT_EQ(run.Xs(), (std::vector<double>{0, 1, 2, 3, 4}));
  ASSERT_EQ(run.host.mesh.polygons.size(), 4u);
  for (int64_t i = 0; i < 4; ++i) {
    EXPECT_EQ(run.host.mesh.polygons[i].points, (std::vector<int64_t>{i, i + 1}));  // earlier first
  }
}

TEST(ChainRun, StartPolygonLeadsEachChain) {
  pfxwrite::File file = OneTrack(4);
  file.tracks.push_back(RuledTrack(0, 2, 0, 1000, 100));
  TempFile pfx(file);
  ChainRun run(pfx.path(), {.startPolygon = 1});
  EXPECT_EQ(run.host.mesh.points.size(), 8u);
  EXPECT_EQ(run.PolygonsOfSize(1), 2u);
  EXPECT_EQ(run.PolygonsOfSize(2), 6u);
  EXPECT_EQ(run.host.mesh.polygons[0].points, (std::vector<int64_t>{0}));
  EXPECT_EQ(run.host.mesh.polygons[1].points, (std::vector<int64_t>{0, 1}));
  EXPECT_EQ(run.host.mesh.polygons[5].points, (std::vector<int64_t>{5}));  // second track
}

TEST(ChainRun, OnlyAStartFlagOfExactlyOneCounts) {
  TempFile file(OneTrack(2));
  EXPECT_EQ(ChainRun(file.path(), {.startPolygon = 2}).PolygonsOfSize(1), 0u);
  EXPECT_EQ(ChainRun(file.path(), {.startPolygon = -1}).PolygonsOfSize(1), 0u);
}

TEST(ChainRun, SingleSampleTrackIsOnePoint) {
  TempFile file(OneTrack(0));
  ChainRun plain(file.path(), {.step = 0.5});
  EXPECT_EQ(plain.host.mesh.points.size(), 1u);
  EXPECT_TRUE(plain.host.mesh.polygons.empty());
  ChainRun led(file.path(), {.startPolygon = 1});
  EXPECT_EQ(led.host.mesh.points.size(), 1u);
  EXPECT_EQ(led.PolygonsOfSize(1), 1u);
}

// ---- thinning --------------------------------------------------------------------------------

TEST(Thinning, KeepsEveryIntervalAndAlwaysTheLastSample) {
  EXPECT_EQ(KeptSamples(0.5, 10), (std::vector<double>{0, 2, 4, 6, 8, 10}));
  EXPECT_EQ(KeptSamples(0.5, 9), (std::vector<double>{0, 2, 4, 6, 8, 9}));
  EXPECT_EQ(KeptSamples(0.1, 3), (std::vector<double>{0, 3}));  // interval 9, not 10
  EXPECT_EQ(KeptSamples(0.1, 10), (std::vector<double>{0, 10}));
  EXPECT_EQ(KeptSamples(0.3, 10), (std::vector<double>{0, 3, 6, 9, 10}));
}

TEST(Thinning, IntervalIsTheDoubleQuotientTruncated) {
  EXPECT_EQ(StepInterval(3, 0.1), 9);
  EXPECT_EQ(StepInterval(10, 0.1), 10);
  EXPECT_EQ(StepInterval(100, 0.25), 4);
  EXPECT_EQ(StepInterval(0, 0.5), 0);
  EXPECT_EQ(StepInterval(-5, 0.5), 0);
  EXPECT_EQ(StepInterval(1000, std::ldexp(1.0, -31)), INT32_MAX);
  EXPECT_EQ(StepInterval(1000, 1e-300), INT32_MAX);
  EXPECT_EQ(StepInterval(INT32_MAX, 0.999999), 1);
}

TEST(Thinning, StepsOutsideTheOpenUnitIntervalKeepEverySample) {
  const std::vector<double> all = {0, 1, 2, 3, 4, 5};
  for (double step : std::vector<double>{0.0, -0.5, 1.0, 1.5, NAN, INFINITY, -INFINITY}) {
    EXPECT_EQ(KeptSamples(step, 5), all) << step;
  }
}

TEST(Thinning, TinyStepKeepsFirstAndLast) {
  EXPECT_EQ(KeptSamples(1e-12, 50), (std::vector<double>{0, 50}));
}

// ---- the index limit and resumeIndex ---------------------------------------------------------

TEST(IndexLimit, CounterJumpsToResumeIndexPastTheLimit) {
  pfxwrite::File file;
  file.indexLimit = 4;
  file.tracks.push_back(RuledTrack(0, 6, 6, 4));  // j = 0..4, then 6
  file.tracks.push_back(RuledTrack(0, 1, 0, 4, 50));
  ASSERT_EQ(file.tracks[0].samples.size(), 6u);
  TempFile pfx(file);
  ChainRun run(pfx.path(), {.step = 0.5});  // interval 2: j = 0, 2, 4 and the span, 6
  EXPECT_EQ(run.Xs(), (std::vector<double>{0, 2, 4, 5, 50, 51}));
  EXPECT_EQ(GetReadPosition(), static_cast<int>(pfxwrite::Encode(file).size()));
}

TEST(IndexLimit, StartPolygonRestartsAChainAfterAJumpToZero) {
  pfxwrite::File file;
  file.indexLimit = 2;
  file.tracks.push_back(RuledTrack(0, 5, 0, 2));  // j = 0 1 2 0 1 2, capped at span + 1
  ASSERT_EQ(file.tracks[0].samples.size(), 6u);
  TempFile pfx(file);

  ChainRun led(pfx.path(), {.startPolygon = 1});
  std::vector<std::vector<int64_t>> expected = {{0}, {0, 1}, {1, 2}, {3}, {3, 4}, {4, 5}};
  ASSERT_EQ(led.host.mesh.polygons.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(led.host.mesh.polygons[i].points, expected[i]);

  ChainRun plain(pfx.path());
  EXPECT_EQ(plain.PolygonsOfSize(2), 5u);  // one unbroken chain
  EXPECT_EQ(plain.host.mesh.polygons[2].points, (std::vector<int64_t>{2, 3}));
}

TEST(IndexLimit, JumpToTheLargestIndexEndsTheTrack) {
  pfxwrite::File file;
  file.indexLimit = 1;
  file.tracks.push_back(RuledTrack(0, 5, INT32_MAX, 1));
  ASSERT_EQ(file.tracks[0].samples.size(), 3u);  // j = 0, 1, then 2147483647
  file.tracks.push_back(RuledTrack(0, 0, 0, 1, 70));
  TempFile pfx(file);
  ChainRun run(pfx.path());
  EXPECT_EQ(run.Xs(), (std::vector<double>{0, 1, 2, 70}));
  EXPECT_TRUE(run.host.boxes.empty());
}

TEST(IndexLimit, TrackThatWouldNeverEndIsCappedAtSpanPlusOneSamples) {
  pfxwrite::File file;
  file.indexLimit = 3;
  file.tracks.push_back(RuledTrack(10, 20, -4, 3));  // resumes below the span forever
  ASSERT_EQ(file.tracks[0].samples.size(), 11u);
  file.tracks.push_back(RuledTrack(0, 1, 0, 3, 90));
  TempFile pfx(file);
  ChainRun run(pfx.path());
  EXPECT_EQ(run.host.mesh.points.size(), 13u);
  EXPECT_EQ(run.host.mesh.points.back()[0], 91);
  EXPECT_TRUE(run.host.boxes.empty());
}

TEST(IndexLimit, NegativeSpanCarriesNoSamples) {
  pfxwrite::File file;
  file.indexLimit = 10;
  file.tracks.push_back(RuledTrack(5, 2, 0, 10));
  file.tracks.push_back(RuledTrack(INT32_MIN, INT32_MAX, 0, 10));  // span wraps to -1
  file.tracks.push_back(RuledTrack(0, 2, 0, 10, 30));
  ASSERT_TRUE(file.tracks[0].samples.empty() && file.tracks[1].samples.empty());
  TempFile pfx(file);
  ChainRun run(pfx.path());
  EXPECT_EQ(run.Xs(), (std::vector<double>{30, 31, 32}));
  EXPECT_TRUE(run.host.boxes.empty());
}

// ---- the header questions ----------------------------------------------------------------------

TEST(HeaderQuestions, WrongVersionAsksAndOkGoesOn) {
  pfxwrite::File file = OneTrack(2);
  file.version = 2;
  TempFile pfx(file);
  ChainRun run(pfx.path());
  ASSERT_EQ(run.host.boxes.size(), 1u);
  EXPECT_EQ(run.host.boxes[0].kind, "okCancel");
  EXPECT_EQ(run.host.boxes[0].title, "Error !");
  EXPECT_EQ(run.host.boxes[0].text, "wrong pfx file version (2)\n continue ?");
  EXPECT_EQ(run.host.boxes[0].text2, std::nullopt);
  EXPECT_EQ(run.host.mesh.points.size(), 3u);
}

TEST(HeaderQuestions, ExtremeVersionFitsTheMessage) {
  pfxwrite::File file = OneTrack(0);
  file.version = INT32_MIN;
  TempFile pfx(file);
  ChainRun run(pfx.path());
  EXPECT_EQ(run.BoxTexts(), (std::vector<std::string>{"wrong pfx file version (-2147483648)\n continue ?"}));
}

TEST(HeaderQuestions, CancelEndsTheEditAndBuildsNothing) {
  pfxwrite::File file = OneTrack(2);
  file.version = 4;
  TempFile pfx(file);
  standin::HostScript cancel;
  cancel.answerOk = false;
  ChainRun run(pfx.path(), {.script = cancel});
  EXPECT_EQ(run.host.boxes.size(), 1u);
  EXPECT_TRUE(run.host.mesh.points.empty());
  EXPECT_EQ(run.host.mesh.edit, EditState::Ended);
  EXPECT_EQ(run.host.calls(),
            (std::vector<std::string>{"editBegin", "okCancel: wrong pfx file version (4)\n continue ?", "done",
                                      "close"}));
  EXPECT_EQ(run.allocationsLeft, 0);
}

TEST(HeaderQuestions, NoParticlesAsksAfterTheVersion) {
  pfxwrite::File file;
  file.version = 7;
  file.particleCount = 0;
  TempFile pfx(file);
  ChainRun run(pfx.path());
  EXPECT_EQ(run.BoxTexts(), (std::vector<std::string>{"wrong pfx file version (7)\n continue ?",
                                                      "no particles found\n continue ?"}));
  EXPECT_TRUE(run.host.mesh.points.empty());
  EXPECT_EQ(run.host.mesh.edit, EditState::Ended);

  file.particleCount = -3;
  file.version = 3;
  pfx.Write(pfxwrite::Encode(file));
  standin::HostScript cancel;
  cancel.answerOk = false;
  ChainRun cancelled(pfx.path(), {.script = cancel});
  EXPECT_EQ(cancelled.BoxTexts(), (std::vector<std::string>{"no particles found\n continue ?"}));
  EXPECT_EQ(cancelled.host.mesh.edit, EditState::Ended);
}

TEST(HeaderQuestions, AnyNonZeroAnswerIsOk) {
  // Both questions with tracks to follow, and both with none: a host's OK of 2, -1 or 2^31 - 1
  // goes on exactly as an OK of 1.
  pfxwrite::File tracks = OneTrack(3);
  tracks.version = 2;
  pfxwrite::File none;
  none.version = 5;
  none.particleCount = -3;
  for (const pfxwrite::File& file : {tracks, none}) {
    TempFile pfx(file);
    ChainRun one(pfx.path());
    for (int ok : {2, -1, 0x7fffffff}) {
      SCOPED_TRACE(testing::Message() << "OK is " << ok << ", version " << file.version);
      standin::HostScript script;
      script.okValue = ok;
      ChainRun run(pfx.path(), {.script = script});
      EXPECT_EQ(run.host.calls(), one.host.calls());
      EXPECT_EQ(run.host.mesh.points, one.host.mesh.points);
      EXPECT_EQ(run.host.mesh.polygons.size(), one.host.mesh.polygons.size());
      for (const auto& box : run.host.boxes) EXPECT_EQ(box.answer, ok);
    }
  }
}

// ---- file names and the mesh edit --------------------------------------------------------------

TEST(FileNames, NoneOpensNothingAndSaysNothing) {
  ChainRun run("none");
  EXPECT_TRUE(run.host.boxes.empty());
  EXPECT_EQ(run.host.mesh.editBegins, 0);
}

TEST(FileNames, EmptyOrMissingFileCannotBeOpened) {
  for (const std::string& name : {std::string(), std::string("/nonexistent/dir/x.pfx")}) {
    ChainRun run(name);
    ASSERT_EQ(run.host.boxes.size(), 1u);
    EXPECT_EQ(run.host.boxes[0].kind, "error");
    EXPECT_EQ(run.host.boxes[0].text, "could not open file");
    EXPECT_EQ(run.host.boxes[0].text2, std::nullopt);
    EXPECT_EQ(run.host.mesh.editBegins, 0);
  }
}

TEST(FileNames, LongPathOpensExactlyTheChosenFile) {
  auto dir = std::filesystem::temp_directory_path() / std::string(80, 'd');
  std::filesystem::create_directories(dir);
  std::string path = (dir / (std::string(60, 'f') + ".pfx")).string();
  ASSERT_GT(path.size(), 127u);  // longer than a 128-byte field, within Windows paths
  ASSERT_TRUE(pfxwrite::WriteBytes(path, pfxwrite::Encode(OneTrack(3)), nullptr));
  ChainRun run(path);
  EXPECT_EQ(run.host.mesh.points.size(), 4u);
  std::filesystem::remove_all(dir);
}

TEST(MeshEdit, DeclinedEditClosesTheFileSilently) {
  TempFile file(OneTrack(3));
  standin::HostScript decline;
  decline.declineEdit = true;
  ChainRun run(file.path(), {.script = decline});
  EXPECT_TRUE(run.host.boxes.empty());
  EXPECT_EQ(run.host.mesh.edit, EditState::None);
  EXPECT_EQ(run.host.calls(), (std::vector<std::string>{"editBegin declined", "close"}));
  EXPECT_EQ(run.allocationsLeft, 0) << "the reader's buffer was not freed";
}

TEST(MeshEdit, NullPointSuppressesThePolygonsThatWouldUseIt) {
  TempFile file(OneTrack(4));
  standin::HostScript script;
  script.nullPointAt = [](uint64_t number) { return number == 2; };
  ChainRun chain(file.path(), {.script = script});
  std::vector<std::vector<int64_t>> expected = {{0, 1}, {3, 4}};
  ASSERT_EQ(chain.host.mesh.polygons.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(chain.host.mesh.polygons[i].points, expected[i]);

  script.nullPointAt = [](uint64_t number) { return number == 0; };
  ChainRun led(file.path(), {.startPolygon = 1, .script = script});
  EXPECT_EQ(led.PolygonsOfSize(1), 0u);  // the lead point is none: no one-point polygon
  EXPECT_EQ(led.PolygonsOfSize(2), 3u);
}

// Files cut short, tracks that would never end and absurd headers: hostile_test.cpp.

}  // namespace
