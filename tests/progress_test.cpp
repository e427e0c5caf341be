// The converter's progress line and summary as text (share, MB/s, points, time left), and the
// output format chosen by OUTPUT's extension.
#include <gtest/gtest.h>

#include "tools/dustweave/mesh_outputs.h"
#include "tools/dustweave/progress.h"

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
            " 42%  100.8 of 240.0 MB  50.4 MB/s  8,400,000 points  0:03 left");
  EXPECT_EQ(ProgressLine(State(1000000, 1000000000, 999, 1)),
            "  0%  1.0 of 1000.0 MB  1.0 MB/s  999 points  16:39 left");
}

TEST(ProgressText, LongRunsCountHours) {
  EXPECT_EQ(ProgressLine(State(1000000000, 1000000000000, 1000, 100)),
            "  0%  1000.0 of 1000000.0 MB  10.0 MB/s  1,000 points  27:45:00 left");
}

TEST(ProgressText, ReadsPastTheSizeShowTheWholeFile) {
  // The process may read more than the input (the module's own file, say): never past 100 %.
  EXPECT_EQ(ProgressLine(State(300, 200, 5, 1)), "100%  0.0 of 0.0 MB  0.0 MB/s  5 points  0:00 left");
}

TEST(ProgressText, UnknownSizeOrNoTimeYetLeavesOutWhatCannotBeKnown) {
  EXPECT_EQ(ProgressLine(State(12000000, 0, 1000, 2)), "12.0 MB  6.0 MB/s  1,000 points");
  EXPECT_EQ(ProgressLine(State(0, 5000000, 0, 0)), "  0%  0.0 of 5.0 MB  0.0 MB/s  0 points");
}

TEST(ProgressText, SummaryGivesSizeTimeRateAndPoints) {
  EXPECT_EQ(ProgressSummary(State(240000000, 240000000, 20000000, 4.8)),
            "240.0 MB in 4.8 s, 50.0 MB/s, 20,000,000 points");
}

TEST(OutputFormat, ExtensionNamesTheFormatInAnyCase) {
  using dustweave::MeshFormat;
  EXPECT_EQ(dustweave::MeshFormatOf("chains.obj"), MeshFormat::Obj);
  EXPECT_EQ(dustweave::MeshFormatOf("C:\\out\\CHAINS.OBJ"), MeshFormat::Obj);
  EXPECT_EQ(dustweave::MeshFormatOf("a.b/chains.Glb"), MeshFormat::Glb);
  for (const char* other : {"chains.gltf", "chains.obj.txt", "chains", "obj", "chains.stl", "chainsobj"}) {
    EXPECT_FALSE(dustweave::MeshFormatOf(other)) << other;
  }
}

}  // namespace
