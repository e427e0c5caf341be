// The chain attributes worked out as the mesh streams by: each point's chain number, its place
// along the chain and its colour, compared with a model of the whole mesh, over the real module's
// runs and over streams the module never makes; the preview sample sees the same chains; and the
// chain count float32 numbers exactly.
#include <gtest/gtest.h>

#include <cstring>

#include "chain_model.h"
#include "pfxtools/pfx_generate.h"
#include "previews/preview_sample.h"
#include "standin/loader.h"
#include "temp_file.h"
#include "writers/chain_attributes.h"
#include "writers/ramp.h"

namespace {

using dustweave::ChainAttributes;
using dustweave::ChainStream;

// The three streams as handed on, read back into values.
struct Streams {
  std::vector<std::array<uint8_t, 4>> colours;
  std::vector<float> chains, places;
  std::vector<size_t> blockSizes;  // of the colour stream, in points

  ChainAttributes::BlockSink Sink() {
    return [this](ChainStream stream, const char* bytes, size_t size) {
      EXPECT_EQ(size % 4, 0u);
      for (size_t at = 0; at < size; at += 4) {
        if (stream == ChainStream::Colour) {
          colours.push_back({});
          std::memcpy(colours.back().data(), bytes + at, 4);
        } else {
          float value;
          std::memcpy(&value, bytes + at, 4);
          (stream == ChainStream::Chain ? chains : places).push_back(value);
        }
      }
      if (stream == ChainStream::Colour) blockSizes.push_back(size / 4);
    };
  }
};

// The streams a mesh record's replay hands on, with blocks of `blockPoints`.
Streams StreamsOf(const standin::MeshRecord& mesh, size_t blockPoints = 1 << 16) {
  Streams streams;
  ChainAttributes attributes(streams.Sink(), blockPoints);
  standin::ReplayMesh(mesh, attributes);
  attributes.Finish();
  EXPECT_EQ(attributes.points(), mesh.points.size());
  return streams;
}

ChainModel ModelOf(const standin::MeshRecord& mesh) {
  std::vector<std::array<int64_t, 2>> pairs;
  for (const auto& polygon : mesh.polygons) {
    if (polygon.points.size() == 2) pairs.push_back({polygon.points[0], polygon.points[1]});
  }
  return ChainModel::Of(mesh.points.size(), pairs);
}

// Every point's values equal the model's, the colour the linear ramp at the point's place.
void ExpectModel(const Streams& streams, const ChainModel& model) {
  ASSERT_EQ(streams.chains.size(), model.chain.size());
  ASSERT_EQ(streams.places.size(), model.place.size());
  ASSERT_EQ(streams.colours.size(), model.place.size());
  for (size_t p = 0; p < model.chain.size(); ++p) {
    ASSERT_EQ(streams.chains[p], static_cast<float>(model.chain[p])) << "point " << p;
    ASSERT_EQ(streams.places[p], model.place[p]) << "point " << p;
    dustweave::Rgb8 ramp = dustweave::LinearRampColour(model.place[p]);
    std::array<uint8_t, 4> expected = {ramp.r, ramp.g, ramp.b, 255};
    ASSERT_EQ(streams.colours[p], expected) << "point " << p;
  }
}

std::string ModulePath() {
  const char* given = std::getenv("DUSTWEAVE_MODULE");
  return given != nullptr && *given != '\0' ? given : DUSTWEAVE_DEFAULT_MODULE;
}

standin::MeshRecord RunModule(const std::string& pfx, bool startPolygon, std::optional<double> step = {},
                              std::function<bool(uint64_t)> nullPointAt = {}) {
  standin::HostScript script;
  script.file = pfx;
  script.startPolygon = startPolygon;
  script.step = step;
  script.nullPointAt = std::move(nullPointAt);
  standin::Host host(script);
  std::string error;
  std::optional<int> result = standin::RunCommandOnce(ModulePath(), host, COMMAND_INTERFACE_VERSION, &error);
  EXPECT_EQ(result.value_or(-1), 0) << error;
  return host.mesh;
}

// 40 particles, tracks 0..60.
const std::string& DustFile() {
  static TempFile file(".pfx");
  static bool made = [] {
    dustweave::DustSettings settings;
    settings.particles = 40;
    settings.indexLimit = 60;
    settings.lastIndex = 60;
    dustweave::GeneratedFile written;
    std::string error;
    return dustweave::GenerateDustFile(settings, file.path(), &written, &error);
  }();
  EXPECT_TRUE(made);
  return file.path();
}

// ---- over the module's runs -----------------------------------------------------------------

TEST(ChainAttributesOfTheModule, OneChainPerTrackEachFromZeroToOne) {
  standin::MeshRecord mesh = RunModule(DustFile(), false);
  Streams streams = StreamsOf(mesh);
  ChainModel model = ModelOf(mesh);
  EXPECT_EQ(model.chains, 40u);
  ExpectModel(streams, model);
  EXPECT_EQ(streams.places[0], 0.0f);
  EXPECT_EQ(streams.places[60], 1.0f);
  EXPECT_EQ(streams.chains[61], 1.0f);
}

TEST(ChainAttributesOfTheModule, StartPolygonsNeitherJoinNorBreakChains) {
  standin::MeshRecord plain = RunModule(DustFile(), false);
  standin::MeshRecord led = RunModule(DustFile(), true);
  ASSERT_GT(led.polygons.size(), plain.polygons.size());
  Streams streams = StreamsOf(led);
  ExpectModel(streams, ModelOf(led));
  EXPECT_EQ(streams.chains, StreamsOf(plain).chains);
}

TEST(ChainAttributesOfTheModule, ThinnedTracksKeepTheirEndsAtZeroAndOne) {
  standin::MeshRecord mesh = RunModule(DustFile(), true, 0.25);
  Streams streams = StreamsOf(mesh, 7);
  ExpectModel(streams, ModelOf(mesh));
}

// A track passing its index limit resumes at 0: led by a one-point polygon, it starts afresh.
TEST(ChainAttributesOfTheModule, ATrackRestartedAfterAJumpStartsANewChain) {
  pfxwrite::File file;
  file.indexLimit = 7;
  file.tracks.push_back(pfxwrite::RuledTrack(0, 20, 0, 7));
  file.tracks.push_back(pfxwrite::RuledTrack(0, 0, 0, 7));  // one sample: a chain of one point
  TempFile pfx(file);
  standin::MeshRecord mesh = RunModule(pfx.path(), true);
  Streams streams = StreamsOf(mesh);
  ChainModel model = ModelOf(mesh);
  EXPECT_EQ(model.chains, 4u);  // 0..7, 0..7, 0..4, and the one sample
  ExpectModel(streams, model);
  EXPECT_EQ(streams.places.back(), 0.0f);
}

// The host makes point 30 but hands the module null for it: the module joins nothing to it, so
// it stands alone between the first track's two halves.
TEST(ChainAttributesOfTheModule, APointTheModuleNeverGotStandsAlone) {
  standin::MeshRecord mesh = RunModule(DustFile(), false, {}, [](uint64_t n) { return n == 30; });
  Streams streams = StreamsOf(mesh);
  ChainModel model = ModelOf(mesh);
  EXPECT_EQ(model.chains, 42u);
  ExpectModel(streams, model);
  EXPECT_EQ(std::vector<float>(streams.chains.begin() + 29, streams.chains.begin() + 32), (std::vector<float>{0, 1, 2}));
  EXPECT_EQ(streams.places[29], 1.0f);
  EXPECT_EQ(streams.places[30], 0.0f);
}

// ---- streams the module never makes ---------------------------------------------------------

struct Feed {
  Streams streams;
  ChainAttributes attributes{streams.Sink(), 3};
  uint64_t next = 0;

  void Point() {
    double at[3] = {0, 0, 0};
    attributes.AddPoint(next++, at);
  }
  void Polygon(std::vector<int64_t> points) {
    attributes.AddPolygon("Dust", static_cast<int>(points.size()), points.data());
  }
  void Join() { Polygon({static_cast<int64_t>(next) - 2, static_cast<int64_t>(next) - 1}); }
};

TEST(ChainAttributesOfAStream, PointsThatNothingJoinsAreChainsOfOneAtZero) {
  Feed feed;
  feed.Point();
  feed.Point();
  feed.Point();
  feed.Join();
  feed.Point();
  feed.attributes.Finish();
  EXPECT_EQ(feed.streams.chains, (std::vector<float>{0, 1, 1, 2}));
  EXPECT_EQ(feed.streams.places, (std::vector<float>{0, 0, 1, 0}));
  EXPECT_EQ(feed.attributes.chains(), 3u);
}

TEST(ChainAttributesOfAStream, OnlyATwoPointPolygonOfTheNewestPointAndTheOneBeforeJoins) {
  Feed feed;
  feed.Point();
  feed.Point();
  feed.Polygon({-1, 1});    // a point never made
  feed.Polygon({1});        // a start mark
  feed.Polygon({0, 1, 1});  // three points
  feed.Polygon({1, 1});
  feed.Point();
  feed.Polygon({0, 2});     // not neighbours
  feed.Point();
  feed.Polygon({3, 2});     // the other way round
  feed.Point();
  feed.Point();
  feed.Polygon({3, 4});     // too late: 5 is the newest
  feed.attributes.Finish();
  EXPECT_EQ(feed.streams.chains, (std::vector<float>{0, 1, 2, 2, 3, 4}));
}

TEST(ChainAttributesOfAStream, AChainLongerThanABlockComesInPointOrder) {
  Feed feed;  // blocks of 3 points
  for (int i = 0; i < 11; ++i) {
    feed.Point();
    if (i > 0) feed.Join();
  }
  feed.Point();
  feed.attributes.Finish();
  ASSERT_EQ(feed.streams.places.size(), 12u);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(feed.streams.places[i], static_cast<float>(i / 10.0));
  EXPECT_EQ(feed.streams.chains.back(), 1.0f);
  EXPECT_EQ(feed.streams.blockSizes, (std::vector<size_t>{3, 3, 3, 3}));
  dustweave::Rgb8 head = dustweave::LinearRampColour(0), tail = dustweave::LinearRampColour(1);
  EXPECT_EQ(feed.streams.colours[0], (std::array<uint8_t, 4>{head.r, head.g, head.b, 255}));
  EXPECT_EQ(feed.streams.colours[10], (std::array<uint8_t, 4>{tail.r, tail.g, tail.b, 255}));
}

TEST(ChainAttributesOfAStream, AnEmptyRunHandsOnNothing) {
  Feed feed;
  feed.attributes.Finish();
  EXPECT_TRUE(feed.streams.blockSizes.empty());
  EXPECT_EQ(feed.attributes.chains(), 0u);
}

// ---- one rule for the preview and the attributes ---------------------------------------------

// The chain attributes and the preview sample fed the same stream, each point at x = its number.
struct BothFed {
  Streams streams;
  ChainAttributes attributes{streams.Sink(), 3};
  dustweave::PreviewSample sample;
  standin::FanOutSink both{&attributes, &sample};
  uint64_t next = 0;

  void Point() {
    double at[3] = {static_cast<double>(next), 0, 0};
    both.AddPoint(next++, at);
  }
  void Polygon(std::vector<int64_t> points) { both.AddPolygon("Dust", static_cast<int>(points.size()), points.data()); }
  void Finish() {
    attributes.Finish();
    sample.Finish();
  }
};

// Each segment the preview keeps joins two points of one chain of the attributes and lies at the
// middle of their places along it, and there is one for every two neighbours in a chain.
void ExpectSameChains(const BothFed& fed) {
  const Streams& streams = fed.streams;
  size_t neighbours = 0, drawn = 0;
  for (size_t p = 1; p < streams.chains.size(); ++p) neighbours += streams.chains[p] == streams.chains[p - 1];
  fed.sample.EachSegment([&](const dustweave::PreviewSample::Point& from, const dustweave::PreviewSample::Point& to,
                             double place) {
    auto a = static_cast<size_t>(from[0]), b = static_cast<size_t>(to[0]);
    ASSERT_LT(std::max(a, b), streams.chains.size());
    EXPECT_EQ(streams.chains[a], streams.chains[b]) << a << "-" << b;
    EXPECT_NEAR(place, (streams.places[a] + streams.places[b]) / 2.0, 1e-6) << a << "-" << b;
    ++drawn;
  });
  EXPECT_EQ(drawn, neighbours);
  EXPECT_EQ(fed.sample.counts().segments, neighbours);
}

TEST(OneChainRule, PreviewAndAttributesSeeTheSameChainsOfTheModule) {
  BothFed fed;
  standin::MeshRecord mesh = RunModule(DustFile(), true, 0.25);
  for (size_t p = 0; p < mesh.points.size(); ++p) mesh.points[p] = {static_cast<double>(p), 0, 0};
  standin::ReplayMesh(mesh, fed.both);
  fed.Finish();
  ExpectSameChains(fed);
  EXPECT_EQ(fed.sample.counts().dots, fed.attributes.chains());  // each chain led by its start dot
}

TEST(OneChainRule, PreviewAndAttributesSeeTheSameChainsOfAnyStream) {
  BothFed fed;
  fed.Point();
  fed.Point();
  fed.Polygon({-1, 1});  // a point never made
  fed.Polygon({1, 0});   // the other way round: joins
  fed.Polygon({0, 1});   // joined already
  fed.Polygon({1});      // a dot inside a chain
  fed.Point();
  fed.Polygon({0, 2});   // not neighbours
  fed.Point();
  fed.Polygon({2, 3});
  fed.Point();
  fed.Point();
  fed.Polygon({3, 4});   // too late: 5 is the newest
  fed.Polygon({4, 5});
  fed.Finish();
  EXPECT_EQ(fed.streams.chains, (std::vector<float>{0, 0, 1, 1, 2, 2}));
  ExpectSameChains(fed);
  EXPECT_EQ(fed.sample.counts().dots, 0u);
}

// ---- the chain count ------------------------------------------------------------------------

// Counts what is handed on and keeps the last chain number.
struct Tally {
  uint64_t chainBytes = 0;
  float lastChain = -1;

  ChainAttributes::BlockSink Sink() {
    return [this](ChainStream stream, const char* bytes, size_t size) {
      if (stream != ChainStream::Chain) return;
      chainBytes += size;
      std::memcpy(&lastChain, bytes + size - 4, 4);
    };
  }
};

void FeedLonePoints(ChainAttributes& attributes, uint64_t count) {
  double at[3] = {0, 0, 0};
  for (uint64_t n = 0; n < count; ++n) attributes.AddPoint(n, at);
  attributes.Finish();
}

TEST(ChainAttributesCount, EveryChainNumberUpToTheLimitIsExact) {
  Tally tally;
  ChainAttributes attributes(tally.Sink());
  FeedLonePoints(attributes, ChainAttributes::MAX_CHAINS);
  EXPECT_FALSE(attributes.tooManyChains());
  EXPECT_EQ(tally.chainBytes, 4 * ChainAttributes::MAX_CHAINS);
  EXPECT_EQ(tally.lastChain, 16777215.0f);
}

TEST(ChainAttributesCount, OneChainMoreIsTooMany) {
  Tally tally;
  ChainAttributes attributes(tally.Sink());
  FeedLonePoints(attributes, ChainAttributes::MAX_CHAINS + 1);
  EXPECT_TRUE(attributes.tooManyChains());
  EXPECT_LT(tally.chainBytes, 4 * ChainAttributes::MAX_CHAINS);
}

}  // namespace
