// The SVG preview: fed straight through its sink calls, and once through the real module. Each
// picture is read back by an independent XML parser (tests/svg_read.py), which reports what it
// draws: a run within the budget is drawn whole, a large one stays within the budget and 10 MB
// with an even sample, what cannot be drawn is left out, and nothing is left of a failed preview.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pfxtools/pfx_generate.h"
#include "previews/preview_caption.h"
#include "previews/preview_sample.h"
#include "previews/svg_preview.h"
#include "standin/host.h"
#include "standin/loader.h"
#include "temp_file.h"

namespace {

using dustweave::PreviewSample;
using dustweave::SvgPreview;
using nlohmann::json;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// ---- feeding the sink as the host does --------------------------------------------------------

// Makes points and polygons in creation order, as the stand-in host streams them.
class Feed {
 public:
  explicit Feed(standin::MeshSink& sink) : sink_(sink) {}

  int64_t Point(double x, double y, double z) {
    double position[3] = {x, y, z};
    sink_.AddPoint(next_, position);
    return static_cast<int64_t>(next_++);
  }
  void Polygon(std::initializer_list<int64_t> points) {
    std::vector<int64_t> numbers(points);
    sink_.AddPolygon("Dust", static_cast<int>(numbers.size()), numbers.data());
  }
  // A chain through `positions`, led by a dot when asked: each point is made, then the polygon
  // from the one before it.
  void Chain(const std::vector<std::array<double, 3>>& positions, bool dot = false) {
    int64_t previous = -1;
    for (const auto& p : positions) {
      int64_t point = Point(p[0], p[1], p[2]);
      if (previous < 0 && dot) Polygon({point});
      if (previous >= 0) Polygon({previous, point});
      previous = point;
    }
  }

 private:
  standin::MeshSink& sink_;
  uint64_t next_ = 0;
};

// A straight chain of `segments` segments at depth z, from x = 0 rising to x = segments.
std::vector<std::array<double, 3>> Line(int segments, double z, double y = 0) {
  std::vector<std::array<double, 3>> points;
  for (int j = 0; j <= segments; ++j) points.push_back({static_cast<double>(j), y + 0.01 * j, z});
  return points;
}

// ---- reading the picture back -----------------------------------------------------------------

json ReadPicture(const std::string& path) {
  std::string command = std::string(PYTHON) + " " + SVG_READER + " " + path;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return json();
  std::string text;
  char block[4096];
  for (size_t got; (got = fread(block, 1, sizeof block, pipe.get())) > 0;) text.append(block, got);
  return json::parse(text, nullptr, false);
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The caption line that says what share is shown, or "" when everything is.
std::string ShownLine(const json& picture) {
  for (const auto& caption : picture["captions"]) {
    if (caption.get<std::string>().rfind("showing", 0) == 0) return caption;
  }
  return "";
}

// The stroke group's text: the chains as drawn.
std::string Strokes(const std::string& svg) {
  size_t start = svg.find("<g fill=\"none\"");
  return svg.substr(start, svg.find("</g>", start) - start);
}

// The stroke colours in the order drawn, each once; true when each colour's paths lie left of
// (or touch) the next colour's, as along a chain drawn from x = 0 upwards.
bool ColoursFollowX(const json& picture, std::vector<std::string>* colours) {
  double lastMax = -1e300, currentMin = 1e300, currentMax = -1e300;
  bool ordered = true;
  for (const auto& stroke : picture["strokes"]) {
    std::string colour = stroke["colour"];
    if (colours->empty() || colours->back() != colour) {
      if (!colours->empty()) lastMax = currentMax;
      colours->push_back(colour);
      currentMin = 1e300, currentMax = -1e300;
    }
    currentMin = std::min(currentMin, stroke["x"][0].get<double>());
    currentMax = std::max(currentMax, stroke["x"][1].get<double>());
    if (currentMin < lastMax - 1e-6) ordered = false;
  }
  return ordered;
}

// An SVG preview in a fresh file, drawn from a finished sample and read back.
class Picture {
 public:
  Picture() : file_(".svg") {
    std::string error;
    EXPECT_TRUE(svg_.Open(file_.path(), &error)) << error;
  }
  json Finish(PreviewSample& sample) {
    std::string error;
    sample.Finish();
    EXPECT_TRUE(svg_.Finish(sample, &error)) << error;
    json picture = ReadPicture(file_.path());
    EXPECT_TRUE(picture.is_object()) << "not well-formed: " << file_.path();
    return picture;
  }
  SvgPreview& svg() { return svg_; }
  const std::string& path() const { return file_.path(); }

 private:
  TempFile file_;
  SvgPreview svg_;
};

// ---- the picture in any window, and what its caption says -------------------------------------

TEST(SvgCaption, PictureHasAViewBoxAndNoFixedSize) {
  // A fixed size cut the caption off behind scroll bars in a window smaller than the picture.
  PreviewSample sample;
  Picture picture;
  Feed(sample).Chain(Line(25, 0), true);
  json drawn = picture.Finish(sample);
  EXPECT_EQ(drawn["fixed size"], json::array({nullptr, nullptr}));
  ASSERT_EQ(drawn["viewBox"].size(), 4u);
  EXPECT_EQ(drawn["viewBox"][2], 1200);
  EXPECT_LE(drawn["extent"][3].get<double>(), drawn["viewBox"][3].get<double>());
}

TEST(SvgCaption, NamesTheInputAndTheAnswersAboveTheCountsAndAFileCutShort) {
  PreviewSample sample;
  Picture picture;
  picture.svg().SetSource("typical.pfx", "step 25 % \xC2\xB7 poly at start off");
  picture.svg().SetEndsEarly(2, 1200);
  Feed(sample).Chain(Line(1, 0));
  json drawn = picture.Finish(sample);
  EXPECT_EQ(drawn["captions"][0], "mirod_dustweave \xC2\xB7 2 points \xC2\xB7 1 polygon");
  EXPECT_EQ(drawn["captions"][1], "the file ends early: 2 of 1,200 tracks whole");
  EXPECT_EQ(drawn["captions"][2], "typical.pfx \xC2\xB7 step 25 % \xC2\xB7 poly at start off");
}

TEST(SvgCaption, NameOfAnyBytesOrCharactersStaysReadableXmlAndLongOnesAreCutInTheMiddle) {
  PreviewSample sample;
  Picture picture;
  // A name in a Western code page (not UTF-8), with XML's own characters and characters XML
  // cannot hold (U+FFFF and U+FFFE, valid UTF-8; a lone surrogate; a control), then a long one.
  picture.svg().SetSource("caf\xE9 <&> \"dust\"\xEF\xBF\xBF\xEF\xBF\xBE\xED\xA0\x80\x01.pfx", "every sample");
  Feed(sample).Chain(Line(1, 0));
  json drawn = picture.Finish(sample);  // the reader fails on malformed XML
  std::string unreadable = "\xEF\xBF\xBD";
  EXPECT_EQ(drawn["captions"][1], "caf" + unreadable + " <&> \"dust\"" + unreadable + unreadable + unreadable +
                                      unreadable + unreadable + unreadable + ".pfx \xC2\xB7 every sample");

  std::string longName = std::string(40, 'a') + "\xC3\xA9" + std::string(40, 'z') + ".pfx";
  std::string shown = dustweave::ShortenedName(longName);
  EXPECT_EQ(shown, std::string(29, 'a') + "\xE2\x80\xA6" + std::string(25, 'z') + ".pfx");
  EXPECT_EQ(dustweave::ShortenedName("typical.pfx"), "typical.pfx");
}

// ---- a run within the budget is drawn whole ---------------------------------------------------

TEST(SvgWithinBudget, EverySegmentAndDotIsDrawnAndNoShareIsGiven) {
  PreviewSample sample;
  Picture picture;
  Feed feed(sample);
  for (int c = 0; c < 200; ++c) feed.Chain(Line(25, c), true);
  json drawn = picture.Finish(sample);
  EXPECT_EQ(drawn["segments"], 5000);
  EXPECT_EQ(drawn["dots"], 200);
  EXPECT_TRUE(drawn["finite"]);
  EXPECT_EQ(drawn["captions"][0], "mirod_dustweave \xC2\xB7 5,200 points \xC2\xB7 5,200 polygons");
  EXPECT_EQ(ShownLine(drawn), "");
}

TEST(SvgWithinBudget, ChainIsOnePolylinePerColourBandFromStartToEnd) {
  // 32 segments over 16 colour bands: each band holds two consecutive segments as one subpath,
  // and the bands follow the chain from its start (smallest x) to its end.
  PreviewSample sample;
  Picture picture;
  Feed(sample).Chain(Line(32, 0));
  json drawn = picture.Finish(sample);
  ASSERT_EQ(drawn["strokes"].size(), 16u);
  for (const auto& stroke : drawn["strokes"]) {
    EXPECT_EQ(stroke["segments"], 2);
    EXPECT_EQ(stroke["subpaths"], 1);
  }
  std::vector<std::string> colours;
  EXPECT_TRUE(ColoursFollowX(drawn, &colours));
  EXPECT_EQ(std::set<std::string>(colours.begin(), colours.end()).size(), 16u);
}

TEST(SvgWithinBudget, StreamedRunEqualsTheKeptMeshDrawn) {
  // The typical dust devil through the real module: streamed into the preview, and kept by the
  // host then drawn, give the same picture with every segment.
  TempFile pfx;
  dustweave::GeneratedFile generated;
  std::string error;
  ASSERT_TRUE(dustweave::GenerateDustFile({}, pfx.path(), &generated, &error)) << error;
  standin::HostScript script;
  script.file = pfx.path();
  script.step = 0.25;
  script.startPolygon = true;

  PreviewSample sample;
  Picture streamed;
  script.sink = &sample;
  standin::Host streaming(script);
  ASSERT_EQ(standin::RunCommandOnce(DUSTWEAVE_MODULE, streaming, COMMAND_INTERFACE_VERSION, &error), 0) << error;
  json drawn = streamed.Finish(sample);

  script.sink = nullptr;
  standin::Host keeping(script);
  ASSERT_EQ(standin::RunCommandOnce(DUSTWEAVE_MODULE, keeping, COMMAND_INTERFACE_VERSION, &error), 0) << error;
  PreviewSample replayed;
  standin::ReplayMesh(keeping.mesh, replayed);
  Picture kept;
  kept.Finish(replayed);

  EXPECT_EQ(ReadText(streamed.path()), ReadText(kept.path()));
  EXPECT_EQ(drawn["segments"], 5000);
  EXPECT_EQ(drawn["dots"], 200);
  EXPECT_EQ(drawn["captions"][0], "mirod_dustweave \xC2\xB7 5,200 points \xC2\xB7 5,200 polygons");
  EXPECT_EQ(ShownLine(drawn), "");
}

// ---- a large run stays within the budget ------------------------------------------------------

TEST(SvgLargeRun, ThreeMillionSegmentsStayWithinTheBudgetAndTenMegabytes) {
  PreviewSample sample;
  Picture picture;
  Feed feed(sample);
  for (int c = 0; c < 30000; ++c) feed.Chain(Line(100, c * 0.01), true);
  json drawn = picture.Finish(sample);
  int segments = drawn["segments"], dots = drawn["dots"];
  EXPECT_LE(segments + dots, 200000);
  EXPECT_GE(segments + dots, 50000);
  EXPECT_LT(std::filesystem::file_size(picture.path()), 10u * 1000 * 1000);
  EXPECT_LE(drawn["longest_attribute"], 16 * 1024);
  std::ostringstream shown;
  auto grouped = [](int n) {  // 187500 as "187,500"
    std::string digits = std::to_string(n), text;
    for (size_t i = 0; i < digits.size(); ++i) {
      if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
      text.push_back(digits[i]);
    }
    return text;
  };
  shown << "showing " << grouped(segments) << " of 3,000,000 segments (";
  EXPECT_EQ(ShownLine(drawn).rfind(shown.str(), 0), 0u) << ShownLine(drawn);
  EXPECT_NE(ShownLine(drawn).find(" and " + grouped(dots) + " of 30,000 dots"), std::string::npos);
  EXPECT_EQ(drawn["captions"][0], "mirod_dustweave \xC2\xB7 3,030,000 points \xC2\xB7 3,030,000 polygons");
}

// A share under 0.1 % is written "< 0.1 %" in the caption, escaped, so the picture stays XML
// (the reader fails on anything malformed).
TEST(SvgLargeRun, ShareUnderATenthOfAPercentIsWellFormedText) {
  PreviewSample sample(PreviewSample::MIN_BUDGET);
  Picture picture;
  Feed feed(sample);
  for (int c = 0; c < 200; ++c) feed.Chain(Line(100, c * 0.01), false);
  json drawn = picture.Finish(sample);
  EXPECT_NE(ShownLine(drawn).find("of 20,000 segments (< 0.1 %)"), std::string::npos) << ShownLine(drawn);
}

TEST(SvgLargeRun, SampleSpansTheWholeRun) {
  // Chains side by side in depth: the kept ones reach from the first to the last few.
  PreviewSample sample(1000);
  Picture picture;
  Feed feed(sample);
  for (int c = 0; c < 5000; ++c) feed.Chain(Line(20, c));
  json drawn = picture.Finish(sample);
  json full;
  {
    PreviewSample everything(1000000);
    Picture whole;
    Feed all(everything);
    for (int c = 0; c < 5000; ++c) all.Chain(Line(20, c));
    full = whole.Finish(everything);
  }
  ASSERT_TRUE(drawn["extent"].is_array());
  double fullWidth = full["extent"][1].get<double>() - full["extent"][0].get<double>();
  double width = drawn["extent"][1].get<double>() - drawn["extent"][0].get<double>();
  EXPECT_GT(width, 0.98 * fullWidth);
  EXPECT_EQ(drawn["box"], full["box"]) << "the fit is that of every point";
}

// The chains among `chains` (one piece each) that the sample keeps at `stride`.
int KeptChains(int chains, uint64_t stride) {
  int kept = 0;
  for (int c = 0; c < chains; ++c) kept += PreviewSample::KeptAtStride(c, stride);
  return kept;
}

// The smallest power of two whose kept chains of `marks` marks each fit `budget`.
uint64_t FinalStride(int chains, int marks, size_t budget) {
  uint64_t stride = 1;
  while (KeptChains(chains, stride) * marks > static_cast<int>(budget)) stride *= 2;
  return stride;
}

TEST(SvgLargeRun, SampleIsTheChainsKeptAtTheFinalStrideWheneverItGrew) {
  // Chains of a few segments against a small budget: what is drawn is exactly the chains kept at
  // the smallest power-of-two stride whose chains fit the budget, whole, although the stride
  // doubled while chains were half made. Every chain spans the same box, so the picture of those
  // chains alone (the others left undrawable) has the same fit and must draw the same strokes.
  struct Run { int chains, segments; size_t budget; };
  for (Run run : {Run{95, 9, 100}, Run{300, 7, 64}, Run{1000, 5, 50}}) {
    auto chain = [&](int c, bool drawable) {
      std::vector<std::array<double, 3>> points{{0, 0, 0}};
      for (int j = 1; j < run.segments; ++j) {
        points.push_back({j / double(run.segments), (c + 1.0) / (run.chains + 1), drawable ? 0.5 : NaN});
      }
      points.push_back({1, 1, 1});
      return points;
    };
    uint64_t stride = FinalStride(run.chains, run.segments, run.budget);
    ASSERT_GT(stride, 1u) << run.chains;

    PreviewSample sampled(run.budget), chosen(run.budget);
    Picture picture, reference;
    Feed feed(sampled), only(chosen);
    for (int c = 0; c < run.chains; ++c) {
      feed.Chain(chain(c, true));
      only.Chain(chain(c, PreviewSample::KeptAtStride(c, stride)));
    }
    json drawn = picture.Finish(sampled), expected = reference.Finish(chosen);
    int shown = KeptChains(run.chains, stride) * run.segments;
    EXPECT_EQ(drawn["segments"], shown) << run.chains;
    EXPECT_EQ(expected["segments"], shown) << run.chains;
    EXPECT_EQ(ShownLine(drawn).rfind("showing " + std::to_string(shown) + " of ", 0), 0u) << ShownLine(drawn);
    EXPECT_EQ(Strokes(ReadText(picture.path())), Strokes(ReadText(reference.path()))) << run.chains;
  }
}

TEST(SvgLargeRun, RunOfDotsAloneIsSampledLikeChains) {
  // Tracks of one sample each, led by a dot: the dots kept at the stride that fits 100.
  PreviewSample sample(100);
  Picture picture;
  Feed feed(sample);
  for (int c = 0; c < 300; ++c) feed.Chain({{double(c), 0, 0}}, true);
  json drawn = picture.Finish(sample);
  int kept = KeptChains(300, FinalStride(300, 1, 100));
  EXPECT_GT(kept, 25);
  EXPECT_EQ(drawn["dots"], kept);
  EXPECT_EQ(drawn["segments"], 0);
  char share[16];
  std::snprintf(share, sizeof share, "%.1f %%", kept / 3.0);
  EXPECT_EQ(ShownLine(drawn), "showing " + std::to_string(kept) + " of 300 dots (" + share + ")");
}

TEST(SvgLargeRun, LongChainsWhosePiecesMatchTheStrideShowTheirLaterPiecesToo) {
  // 31 chains of 8 pieces of 256 segments against a budget that fits 31 pieces: the stride
  // becomes 8, as many as a chain has pieces, and the pieces kept still lie all along the chains.
  PreviewSample sample(8000);
  Feed feed(sample);
  for (int c = 0; c < 31; ++c) feed.Chain(Line(8 * 256, c));
  sample.Finish();
  std::set<uint64_t> placesAlong;  // which of its 8 pieces each kept segment lies in
  uint64_t segments = 0;
  sample.EachKeptSegment([&](const PreviewSample::KeptSegment& s) {
    placesAlong.insert(s.index / 256);
    ++segments;
  });
  EXPECT_GT(segments, 2000u);
  EXPECT_LE(segments, 8000u);
  EXPECT_GE(placesAlong.size(), 6u) << "kept pieces bunch at the chains' starts";
  EXPECT_GT(*placesAlong.rbegin(), 4u);
}

TEST(SvgLargeRun, LongChainIsSampledInPiecesAlongItsWholeLengthWithItsOwnColours) {
  // One chain of a million segments: pieces of it are kept from start to end, and each kept
  // segment takes its colour from its place along the whole chain.
  PreviewSample sample;
  Picture picture;
  Feed(sample).Chain(Line(1000000, 0));
  json drawn = picture.Finish(sample);
  EXPECT_LE(drawn["segments"], 200000);
  EXPECT_GE(drawn["segments"], 50000);
  std::vector<std::string> colours;
  EXPECT_TRUE(ColoursFollowX(drawn, &colours));
  EXPECT_EQ(std::set<std::string>(colours.begin(), colours.end()).size(), 16u);
  EXPECT_EQ(colours.size(), 16u);
  EXPECT_LT(drawn["subpaths"].get<int>(), drawn["segments"].get<int>() / 100);
}

// ---- what cannot be drawn ---------------------------------------------------------------------

TEST(SvgUndrawable, NonFinitePointsAreNeverDrawnAndLeaveTheFitAlone) {
  // A chain of 20 segments with a NaN at point 5 and an infinity at point 12 (and a NaN dot):
  // the four segments touching them are left out, and the box and fit are those of the clean
  // chain, whose points 5 and 12 lie inside its box.
  auto line = Line(20, 0);
  auto bad = line;
  bad[5][1] = NaN;
  bad[12][2] = -INF;
  PreviewSample clean, spoilt;
  Picture cleanPicture, spoiltPicture;
  Feed(clean).Chain(line);
  Feed spoiltFeed(spoilt);
  spoiltFeed.Chain(bad);
  spoiltFeed.Polygon({spoiltFeed.Point(NaN, 0, 0)});
  json expected = cleanPicture.Finish(clean), drawn = spoiltPicture.Finish(spoilt);
  EXPECT_EQ(drawn["segments"], 16);
  EXPECT_EQ(drawn["dots"], 0);
  EXPECT_TRUE(drawn["finite"]);
  EXPECT_EQ(drawn["box"], expected["box"]);
  std::string svg = ReadText(spoiltPicture.path());
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  EXPECT_EQ(ShownLine(drawn), "");
}

TEST(SvgUndrawable, PointsNeverMadeAreNotDrawnAndNothingButNaNGivesAnEmptyPicture) {
  PreviewSample sample;
  Picture picture;
  Feed feed(sample);
  int64_t a = feed.Point(NaN, NaN, NaN);
  feed.Polygon({-1, a});
  feed.Polygon({a, 7});
  feed.Polygon({a});
  feed.Polygon({});
  json drawn = picture.Finish(sample);
  EXPECT_EQ(drawn["segments"], 0);
  EXPECT_EQ(drawn["dots"], 0);
  EXPECT_TRUE(drawn["box"].is_null());
  EXPECT_EQ(drawn["captions"][0], "mirod_dustweave \xC2\xB7 1 point \xC2\xB7 4 polygons");
}

// ---- the file ---------------------------------------------------------------------------------

class SvgFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("dustweave-svg-" + std::filesystem::path(TempFile().path()).stem().string());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  std::filesystem::path folder_;
};

TEST_F(SvgFileTest, FolderThatDoesNotExistIsRefusedWithOneLine) {
  SvgPreview preview;
  PreviewSample sample;
  std::string path = (folder_ / "missing" / "chains.svg").string(), error;
  EXPECT_FALSE(preview.Open(path, &error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
  EXPECT_FALSE(preview.Finish(sample, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(Entries().empty());
}

TEST_F(SvgFileTest, UnfinishedPreviewLeavesNothing) {
  std::string error;
  {
    SvgPreview preview;
    PreviewSample sample;
    ASSERT_TRUE(preview.Open((folder_ / "chains.svg").string(), &error)) << error;
    Feed(sample).Chain(Line(10, 0));
  }
  EXPECT_TRUE(Entries().empty());
}

TEST_F(SvgFileTest, FinishedPreviewIsTheOnlyFileAndFinishesOnce) {
  std::string error;
  SvgPreview preview;
  PreviewSample sample;
  ASSERT_TRUE(preview.Open((folder_ / "chains.svg").string(), &error)) << error;
  Feed(sample).Chain(Line(10, 0));
  sample.Finish();
  ASSERT_TRUE(preview.Finish(sample, &error)) << error;
  EXPECT_EQ(Entries(), std::vector<std::string>{"chains.svg"});
  EXPECT_FALSE(preview.Finish(sample, &error));
  EXPECT_EQ(Entries(), std::vector<std::string>{"chains.svg"});
}

}  // namespace
