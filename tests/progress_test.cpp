// The converter's progress line and summary as text (share, MB/s, points, time left), and the
// output format chosen by OUTPUT's extension.
#include <gtest/gtest.h>

#include "commands/plan.h"
#include "commands/progress.h"
#include "pfxtools/pfx_count.h"

namespace {

using dustweave::ProgressLine;
using dustweave::ProgressState;
using dustweave::ProgressSummary;

ProgressState State(uint64_t bytesRead, uint64_t inputBytes, uint64_t points, double seconds) {
  ProgressState state;
  state.bytesRead = bytesRead;
  state.inputBytes = inputBytes;
  state.points = points;
  state.seconds = seconds;
  return state;
}

TEST(ProgressText, LineShowsShareRatePointsAndTimeLeft) {
  EXPECT_EQ(ProgressLine(State(100800000, 240000000, 8400000, 2)),
            " 42%  101 of 240 MB  50.4 MB/s  8,400,000 points  0:03 left");
  EXPECT_EQ(ProgressLine(State(1000000, 1000000000, 999, 1)),
            "  0%  1 of 1000 MB  1.0 MB/s  999 points  16:39 left");
  EXPECT_EQ(ProgressLine(State(4200000, 60000000, 1, 1)), "  7%  4.2 of 60.0 MB  4.2 MB/s  1 point  0:13 left");
}

TEST(ProgressText, LongRunsCountHours) {
  EXPECT_EQ(ProgressLine(State(1000000000, 1000000000000, 1000, 100)),
            "  0%  1000 of 1000000 MB  10.0 MB/s  1,000 points  27:45:00 left");
}

TEST(ProgressText, ReadsPastTheSizeShowTheWholeFile) {
  // The process may read more than the input (the module's own file, say): never past 100 %.
  EXPECT_EQ(ProgressLine(State(300, 200, 5, 1)), "100%  0.0 of 0.0 MB  0.0 MB/s  5 points  0:00 left");
}

TEST(ProgressText, UnknownSizeOrNoTimeYetLeavesOutWhatCannotBeKnown) {
  EXPECT_EQ(ProgressLine(State(12000000, 0, 1000, 2)), "12.0 MB  6.0 MB/s  1,000 points");
  EXPECT_EQ(ProgressLine(State(0, 5000000, 0, 0)), "  0%  0.0 of 5.0 MB  0.0 MB/s  0 points");
}

TEST(ProgressText, OutputsSizeSoFarIsShownAndTheLineFitsATerminal) {
  // The case: a 1.5 GB pfx file becoming a 7 GB .obj, with hours to go, in 80 columns.
  ProgressState state = State(656500000, 1563100000, 84000000, 13);
  state.outputBytes = 2950000000;
  EXPECT_EQ(ProgressLine(state), " 42%  656 of 1563 MB  50.5 MB/s  84,000,000 points  out 2.95 GB  0:18 left");
  state = State(9999000000, 10000000000, 999999999, 2000);
  state.outputBytes = 99990000000;
  EXPECT_LT(ProgressLine(state).size(), 80u) << ProgressLine(state);
  state = State(5000000, 60000000, 100, 1);
  state.outputBytes = 0;
  EXPECT_EQ(ProgressLine(state), "  8%  5.0 of 60.0 MB  5.0 MB/s  100 points  out 0.0 MB  0:11 left");
  state.outputBytes = 512300000;
  EXPECT_EQ(ProgressSummary(state), "5.0 MB in 1.0 s, 5.0 MB/s, 100 points, 512 MB written");
}

TEST(ProgressText, NarrowTerminalLeavesOutFieldsOneByOneAndNeverFillsTheLastColumn) {
  ProgressState state = State(656500000, 1563100000, 84000000, 13);
  state.outputBytes = 2950000000;
  EXPECT_EQ(ProgressLine(state, 74), " 42%  656 of 1563 MB  50.5 MB/s  84,000,000 points  0:18 left");
  EXPECT_EQ(ProgressLine(state, 60), " 42%  50.5 MB/s  84,000,000 points  0:18 left");
  EXPECT_EQ(ProgressLine(state, 40), " 42%  84,000,000 points  0:18 left");
  EXPECT_EQ(ProgressLine(state, 20), " 42%  0:18 left");
  EXPECT_EQ(ProgressLine(state, 4), " 42");
  EXPECT_EQ(ProgressSummary(state, 60), "656.5 MB in 13.0 s, 84,000,000 points, 2.95 GB written");
  EXPECT_EQ(ProgressSummary(state, 40), "656.5 MB in 13.0 s, 84,000,000 points");
}

TEST(ProgressText, SummaryGivesSizeTimeRateAndPoints) {
  EXPECT_EQ(ProgressSummary(State(240000000, 240000000, 20000000, 4.8)),
            "240.0 MB in 4.8 s, 50.0 MB/s, 20,000,000 points");
}

TEST(ProgressShare, PointsToExpectFollowTheStepsThinning) {
  using dustweave::PointsToExpect;
  EXPECT_EQ(PointsToExpect(20200, std::nullopt), 20200u);
  EXPECT_EQ(PointsToExpect(20200, 1.0), 20200u);
  EXPECT_EQ(PointsToExpect(20200, 0.75), 20200u);  // an interval of 1 keeps every sample
  EXPECT_EQ(PointsToExpect(20200, 0.25), 5050u);   // the module makes 5200: about a quarter
  EXPECT_EQ(PointsToExpect(20200, 0.3), 6733u);    // every 3rd
  EXPECT_EQ(PointsToExpect(0, 0.25), 0u);
}

TEST(OutputFormat, ExtensionNamesTheFormatInAnyCase) {
  using dustweave::OutputFormat;
  const std::vector<OutputFormat> mesh = {OutputFormat::Obj, OutputFormat::Glb};
  EXPECT_EQ(dustweave::FormatNamed("chains.obj", mesh), OutputFormat::Obj);
  EXPECT_EQ(dustweave::FormatNamed("C:\\out\\CHAINS.OBJ", mesh), OutputFormat::Obj);
  EXPECT_EQ(dustweave::FormatNamed("a.b/chains.Glb", mesh), OutputFormat::Glb);
  for (const char* other : {"chains.gltf", "chains.obj.txt", "chains", "obj", "chains.stl", "chainsobj", "c.svg"}) {
    EXPECT_FALSE(dustweave::FormatNamed(other, mesh)) << other;
  }
  EXPECT_EQ(dustweave::FormatNamed("sim.PFX", {OutputFormat::Pfx}), OutputFormat::Pfx);
}

}  // namespace
