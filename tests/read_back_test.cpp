// Every output read back at sizes that cross each boundary its writer has: `dustweave convert`
// run on inputs sized from the writers' own blocks, batches and cached lengths, and each file
// held value for value against the module's chains from the same input (run here through the
// stand-in host) and the frames of its samples (chain_model.h): the .obj parsed, both .glb kinds
// read by tinygltf. For USD, the arrays and time each layer must hold are left beside the layers,
// for USD itself to read them (tests/usd/read_back.js).
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

#include "chain_model.h"
#include "glb_read.h"
#include "pfxtools/pfx_generate.h"
#include "pfxtools/pfx_writer.h"
#include "platform/file_handle.h"
#include "program_run.h"
#include "standin/host.h"
#include "standin/loader.h"
#include "usd/layer_writer.h"
#include "writers/batched_text.h"
#include "writers/ramp.h"
#include "writers/tube_rings.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Points a block of positions holds (the largest block a writer hands on), and the text the
// text writers have in flight at most: every case makes more than twice as much of each.
constexpr uint64_t BLOCK_POINTS = dustweave::WRITE_BLOCK_SIZE / 12;
constexpr uint64_t TEXT_IN_FLIGHT = dustweave::BatchedText::TEXT * dustweave::BatchedText::BATCHES;
constexpr uint64_t LEAST_POINTS = BLOCK_POINTS * 22 / 10;
constexpr double TUBE_WIDTH = 0.05;

// A case: its input, the module's answers, and the options of each output kind.
struct Case {
  std::string name;
  std::string pfx;
  bool startPolygon = false;
  std::optional<double> step;
  std::vector<std::string> usd;  // a width (--tubes), --taper [comet], --smooth, --fps
  std::vector<std::string> tubes;  // --taper and --smooth for the tubes: then the tubes alone are held
};

// The module's chains from the case's input, as the stand-in host keeps them.
struct Chains {
  standin::MeshRecord mesh;
  std::vector<std::array<int64_t, 2>> pairs;
  std::vector<int64_t> starts;
  ChainModel model;
  std::vector<int32_t> frames;  // each point's
};

Chains ModuleChains(const Case& c) {
  standin::HostScript script;
  script.file = c.pfx;
  script.startPolygon = c.startPolygon;
  script.step = c.step;
  standin::Host host(script);
  std::string error;
  std::optional<int> result = standin::RunCommandOnce(DUSTWEAVE_MODULE_FILE, host, COMMAND_INTERFACE_VERSION, &error);
  EXPECT_EQ(result.value_or(-1), 0) << error;
  std::ifstream in(c.pfx, std::ios::binary);
  Chains chains{std::move(host.mesh), {}, {}, {}, KeptFramesOf({std::istreambuf_iterator<char>(in), {}}, c.step)};
  EXPECT_EQ(chains.frames.size(), chains.mesh.points.size());
  for (const standin::Polygon& polygon : chains.mesh.polygons) {
    if (polygon.points.size() == 2) chains.pairs.push_back({polygon.points[0], polygon.points[1]});
    if (polygon.points.size() == 1) chains.starts.push_back(polygon.points[0]);
  }
  chains.model = ChainModel::Of(chains.mesh.points.size(), chains.pairs);
  return chains;
}

std::array<float, 3> Stored(const std::array<double, 3>& point) {
  return {static_cast<float>(point[0]), static_cast<float>(point[1]), static_cast<float>(point[2])};
}

fs::path Work() {
  fs::path work = DUSTWEAVE_READ_BACK_DIR;
  fs::create_directories(work);
  return work;
}

// ---- the inputs ---------------------------------------------------------------------------------

std::string Devil(const std::string& name, int32_t particles) {
  std::string path = Work() / name;
  dustweave::DustSettings settings;
  settings.particles = particles;
  settings.indexLimit = settings.lastIndex = 200;
  settings.seed = 5;
  dustweave::GeneratedFile written;
  std::string error;
  EXPECT_TRUE(dustweave::GenerateDustFile(settings, path, &written, &error)) << error;
  return path;
}

// Chains longer than the values a USD writer keeps for a length, with tracks of one sample
// before, between and after them, chains of two and three points, and a track that jumps; each
// track born at a frame of its own, before 0 too.
std::string LongAndSingles() {
  const int32_t longest = 2 * static_cast<int32_t>(dustweave::USD_CACHED_LENGTH) + 3;
  const auto longTracks = static_cast<int>((LEAST_POINTS + longest - 1) / longest);
  pfxwrite::File file;
  file.indexLimit = longest;
  auto add = [&](int32_t last, int32_t resume) {
    int32_t first = 7 * static_cast<int32_t>(file.tracks.size()) - 40;
    pfxwrite::Track track = pfxwrite::RuledTrack(first, first + last, resume, file.indexLimit);
    for (size_t k = 0; k < track.samples.size(); ++k) {
      double turn = 0.001 * static_cast<double>(k) + static_cast<double>(file.tracks.size());
      track.samples[k] = {static_cast<float>(std::cos(turn) * (1 + 0.1 * turn)), static_cast<float>(0.01 * k),
                          static_cast<float>(std::sin(turn) * 3)};
    }
    file.tracks.push_back(track);
  };
  for (int t = 0; t < longTracks; ++t) {
    for (int single = 0; single < 8; ++single) add(0, 0);
    add(longest - 1, 0);
  }
  add(1, 0);
  add(2, 0);
  add(longest + 20, 5);  // on past the index limit: the counter jumps back
  for (int single = 0; single < 8; ++single) add(0, 0);
  std::string path = Work() / "long.pfx";
  std::string error;
  EXPECT_TRUE(pfxwrite::WriteBytes(path, pfxwrite::Encode(file), &error)) << error;
  return path;
}

// ---- the outputs read back ----------------------------------------------------------------------

void Convert(const Case& c, const std::string& output, std::vector<std::string> options) {
  std::vector<std::string> args = {"convert", c.pfx, (Work() / output).string(), "--module", DUSTWEAVE_MODULE_FILE, "-q"};
  if (c.startPolygon) args.push_back("--start-poly");
  if (c.step) args.insert(args.end(), {"--step", std::to_string(*c.step)});
  args.insert(args.end(), options.begin(), options.end());
  Outcome outcome = Dustweave(args);
  ASSERT_EQ(outcome.status, 0) << output << ": " << outcome.err;
}

// The .obj's points, bit for bit, and its polygons, line for line, parsed as they stream by.
void ExpectObjHolds(const fs::path& path, const Chains& chains) {
  EXPECT_GT(fs::file_size(path), 2 * TEXT_IN_FLIGHT) << path;
  std::ifstream in(path);
  std::string line;
  size_t point = 0, polygon = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.starts_with("usemtl")) continue;
    std::vector<std::string_view> words;  // the line's numbers, after its letter
    for (size_t at = line.find(' '); at != std::string::npos; at = line.find(' ', at + 1)) {
      size_t end = std::min(line.find(' ', at + 1), line.size());
      words.emplace_back(line.data() + at + 1, end - at - 1);
    }
    if (line[0] == 'v') {
      ASSERT_LT(point, chains.mesh.points.size());
      std::array<float, 3> read{};
      for (int axis = 0; axis < 3; ++axis) std::from_chars(words[axis].begin(), words[axis].end(), read[axis]);
      ASSERT_EQ(read, Stored(chains.mesh.points[point])) << "point " << point;
      ++point;
      continue;
    }
    ASSERT_LT(polygon, chains.mesh.polygons.size()) << line;
    std::vector<int64_t> numbers;
    for (std::string_view word : words) {
      int64_t number = 0;
      std::from_chars(word.begin(), word.end(), number);
      numbers.push_back(number - 1);
    }
    ASSERT_EQ(line[0], numbers.size() == 1 ? 'p' : 'l') << line;
    ASSERT_EQ(numbers, chains.mesh.polygons[polygon].points) << "polygon " << polygon;
    ++polygon;
  }
  EXPECT_EQ(point, chains.mesh.points.size());
  EXPECT_EQ(polygon, chains.mesh.polygons.size());
}

// A point's chain attributes and frame, as a .glb stores them, `copies` times.
void ExpectAttributes(const tinygltf::Model& model, const std::map<std::string, int>& attributes, const Chains& made,
                      size_t copies) {
  const ChainModel& chains = made.model;
  auto colours = Attribute<uint8_t, 4>(model, attributes.at("COLOR_0"), TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE, TINYGLTF_TYPE_VEC4, true);
  auto numbers = Attribute<float, 1>(model, attributes.at("_CHAIN"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, false);
  auto places = Attribute<float, 1>(model, attributes.at("_U"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, false);
  auto frames = Attribute<float, 1>(model, attributes.at("_FRAME"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, false);
  auto uvs = Attribute<float, 2>(model, attributes.at("TEXCOORD_0"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, false);
  ASSERT_EQ(numbers.size(), copies * chains.chain.size());
  ASSERT_EQ(places.size(), numbers.size());
  ASSERT_EQ(colours.size(), numbers.size());
  ASSERT_EQ(frames.size(), numbers.size());
  ASSERT_EQ(uvs.size(), numbers.size());
  for (size_t v = 0; v < numbers.size(); ++v) {
    size_t p = v / copies;
    ASSERT_EQ(numbers[v][0], static_cast<float>(chains.chain[p])) << "vertex " << v;
    ASSERT_EQ(places[v][0], chains.place[p]) << "vertex " << v;
    ASSERT_EQ(frames[v][0], static_cast<float>(made.frames[p])) << "vertex " << v;
    ASSERT_EQ(uvs[v], (std::array<float, 2>{static_cast<float>(made.frames[p]), 0})) << "vertex " << v;
    dustweave::Rgb8 ramp = dustweave::LinearRampColour(chains.place[p]);
    ASSERT_EQ(colours[v], (std::array<uint8_t, 4>{ramp.r, ramp.g, ramp.b, 255})) << "vertex " << v;
  }
}

// The lines' .glb: every position bit for bit, the segments and starts as indices, and each
// point's chain attributes.
void ExpectLinesGlbHolds(const fs::path& path, const Chains& chains) {
  tinygltf::Model model = ReadGlbModel(path);
  ASSERT_EQ(model.meshes.size(), 1u);
  std::vector<int64_t> lines, dots;
  for (const tinygltf::Primitive& primitive : model.meshes[0].primitives) {
    for (auto index : Attribute<uint32_t, 1>(model, primitive.indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, false)) {
      (primitive.mode == TINYGLTF_MODE_LINE ? lines : dots).push_back(index[0]);
    }
  }
  std::vector<int64_t> pairs;
  for (const auto& pair : chains.pairs) pairs.insert(pairs.end(), pair.begin(), pair.end());
  EXPECT_TRUE(lines == pairs) << lines.size() << " line indices, " << pairs.size() << " made";
  EXPECT_TRUE(dots == chains.starts) << dots.size() << " start indices, " << chains.starts.size() << " made";
  const auto& attributes = model.meshes[0].primitives.at(0).attributes;
  auto positions = Attribute<float, 3>(model, attributes.at("POSITION"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, false);
  ASSERT_EQ(positions.size(), chains.mesh.points.size());
  for (size_t p = 0; p < positions.size(); ++p) ASSERT_EQ(positions[p], Stored(chains.mesh.points[p])) << "point " << p;
  ExpectAttributes(model, attributes, chains, 1);
}

// The tubes' .glb: a ring about each point (its centre the point), each vertex with its point's
// chain attributes, two triangles a side for each segment and two closing a ring alone, and
// the start points at their points.
void ExpectTubesGlbHolds(const fs::path& path, const Chains& chains) {
  tinygltf::Model model = ReadGlbModel(path);
  ASSERT_EQ(model.meshes.size(), 1u);
  const tinygltf::Primitive& tubes = model.meshes[0].primitives.at(0);
  auto positions = Attribute<float, 3>(model, tubes.attributes.at("POSITION"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, false);
  const size_t S = dustweave::TUBE_SIDES;
  ASSERT_EQ(positions.size(), S * chains.mesh.points.size());
  for (size_t p = 0; p < chains.mesh.points.size(); ++p) {
    for (int axis = 0; axis < 3; ++axis) {
      double centre = 0;
      for (size_t side = 0; side < S; ++side) centre += positions[S * p + side][axis] / static_cast<double>(S);
      ASSERT_NEAR(centre, chains.mesh.points[p][axis], 1e-5 * (1 + std::fabs(centre))) << "ring " << p;
    }
  }
  ExpectAttributes(model, tubes.attributes, chains, S);
  auto corners = Attribute<uint32_t, 1>(model, tubes.indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, false);
  size_t alone = 0;
  for (size_t p = 0; p < chains.model.chain.size(); ++p) {
    bool first = p == 0 || chains.model.chain[p - 1] != chains.model.chain[p];
    bool last = p + 1 == chains.model.chain.size() || chains.model.chain[p + 1] != chains.model.chain[p];
    alone += first && last;
  }
  EXPECT_EQ(corners.size(), 3 * (2 * S * chains.pairs.size() + 2 * alone));
  EXPECT_TRUE(std::all_of(corners.begin(), corners.end(), [&](auto c) { return c[0] < positions.size(); }));
  if (chains.starts.empty()) return;
  const tinygltf::Primitive& dots = model.meshes[0].primitives.at(1);
  auto starts = Attribute<float, 3>(model, dots.attributes.at("POSITION"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, false);
  ASSERT_EQ(starts.size(), chains.starts.size());
  for (size_t s = 0; s < starts.size(); ++s) ASSERT_EQ(starts[s], Stored(chains.mesh.points[chains.starts[s]])) << "start " << s;
}

// Smoothed (`rings` a segment) and tapered from the particle: a ring a point and rings-1 between
// it and the next, each chain's rings about its points, widening from nothing to the width at the
// particle (a chain of one point full), each vertex its ring's place and, at a point, its frame.
void ExpectShapedTubesGlbHolds(const fs::path& path, const Chains& chains, uint32_t rings) {
  tinygltf::Model model = ReadGlbModel(path);
  const tinygltf::Primitive& tubes = model.meshes.at(0).primitives.at(0);
  auto positions = Attribute<float, 3>(model, tubes.attributes.at("POSITION"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, false);
  auto places = Attribute<float, 1>(model, tubes.attributes.at("_U"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, false);
  auto frames = Attribute<float, 1>(model, tubes.attributes.at("_FRAME"), TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, false);
  const size_t S = dustweave::TUBE_SIDES;
  const ChainModel& m = chains.model;
  size_t ring = 0;
  for (size_t first = 0, last = 0; first < m.chain.size(); first = last + 1) {
    for (last = first; last + 1 < m.chain.size() && m.chain[last + 1] == m.chain[first];) ++last;
    size_t length = last - first + 1, made = (length - 1) * rings + 1;
    ASSERT_LE(S * (ring + made), positions.size());
    for (size_t k = 0; k < made; ++k, ++ring) {
      double place = length == 1 ? 0 : static_cast<double>(k) / static_cast<double>(made - 1);
      ASSERT_NEAR(places[S * ring][0], place, 1e-6) << "ring " << ring;
      if (k % rings != 0) continue;
      const std::array<double, 3>& point = chains.mesh.points[first + k / rings];
      double radius = 0, share = length == 1 ? 1 : place;
      for (int axis = 0; axis < 3; ++axis) {
        double centre = 0;
        for (size_t side = 0; side < S; ++side) centre += positions[S * ring + side][axis] / static_cast<double>(S);
        ASSERT_NEAR(centre, point[axis], 1e-5 * (1 + std::fabs(centre))) << "ring " << ring;
        radius += std::pow(positions[S * ring][axis] - centre, 2);
      }
      ASSERT_NEAR(std::sqrt(radius), TUBE_WIDTH / 2 * share, 1e-5 * (1 + std::fabs(point[0]))) << "ring " << ring;
      ASSERT_EQ(frames[S * ring][0], static_cast<float>(chains.frames[first + k / rings])) << "ring " << ring;
    }
  }
  EXPECT_EQ(S * ring, positions.size());
}

// ---- what USD must read -------------------------------------------------------------------------

// An array's values as little-endian 32-bit numbers, in a file of its own beside the layers.
template <typename T>
json ArrayFile(const std::string& name, const std::vector<T>& values, int perElement) {
  std::ofstream out(Work() / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(values.size() * sizeof(T)));
  return {{"file", name}, {"type", std::is_same_v<T, float> ? "float" : "int"}, {"per", perElement}};
}

// Every array of the layer the chains make: the curves (chains of two or more points; smoothed,
// each end point given twice), the chains of one point as points, each point's frame, the start
// points; with a width given and taper, each vertex's width. Its time: the rate, the least and
// greatest frame.
void WriteUsdExpectation(const Case& c, const Chains& chains, std::optional<double> width, const std::string& taper,
                         bool smooth, double fps) {
  std::vector<float> curvePoints, samples, colours, places, widths, singlePoints, startPoints;
  std::vector<int32_t> counts, curveChains, singleChains, curveFrames, singleFrames;
  const ChainModel& model = chains.model;
  for (size_t p = 0; p < model.chain.size(); ++p) {
    std::array<float, 3> point = Stored(chains.mesh.points[p]);
    bool alone = (p == 0 || model.chain[p - 1] != model.chain[p]) &&
                 (p + 1 == model.chain.size() || model.chain[p + 1] != model.chain[p]);
    if (alone) {
      singlePoints.insert(singlePoints.end(), point.begin(), point.end());
      singleChains.push_back(static_cast<int32_t>(model.chain[p]));
      singleFrames.push_back(chains.frames[p]);
      continue;
    }
    bool first = p == 0 || model.chain[p - 1] != model.chain[p];
    if (first) {
      counts.push_back(0);
      curveChains.push_back(static_cast<int32_t>(model.chain[p]));
    }
    samples.insert(samples.end(), point.begin(), point.end());
    bool end = first || p + 1 == model.chain.size() || model.chain[p + 1] != model.chain[p];
    for (int copy = smooth && end ? 2 : 1; copy > 0; --copy) {
      ++counts.back();
      curvePoints.insert(curvePoints.end(), point.begin(), point.end());
      dustweave::Rgb8 ramp = dustweave::LinearRampColour(model.place[p]);
      for (uint8_t channel : {ramp.r, ramp.g, ramp.b}) colours.push_back(static_cast<float>(channel / 255.0));
      places.push_back(model.place[p]);
      curveFrames.push_back(chains.frames[p]);
      double share = taper == "comet" ? model.place[p] : 1.0 - model.place[p];
      if (width) widths.push_back(static_cast<float>(*width * share));
    }
  }
  for (int64_t start : chains.starts) {
    std::array<float, 3> point = Stored(chains.mesh.points[static_cast<size_t>(start)]);
    startPoints.insert(startPoints.end(), point.begin(), point.end());
  }
  json arrays;
  if (!counts.empty()) {
    arrays["/chains/curves.points"] = ArrayFile(c.name + ".curve-points", curvePoints, 3);
    arrays["/chains/curves.curveVertexCounts"] = ArrayFile(c.name + ".counts", counts, 1);
    arrays["/chains/curves.primvars:chain"] = ArrayFile(c.name + ".curve-chains", curveChains, 1);
    arrays["/chains/curves.primvars:displayColor"] = ArrayFile(c.name + ".colours", colours, 3);
    arrays["/chains/curves.primvars:u"] = ArrayFile(c.name + ".places", places, 1);
    arrays["/chains/curves.primvars:frame"] = ArrayFile(c.name + ".curve-frames", curveFrames, 1);
    if (!taper.empty() && width) arrays["/chains/curves.widths"] = ArrayFile(c.name + ".widths", widths, 1);
  }
  if (!singleChains.empty()) {
    arrays["/chains/singles.points"] = ArrayFile(c.name + ".single-points", singlePoints, 3);
    arrays["/chains/singles.primvars:chain"] = ArrayFile(c.name + ".single-chains", singleChains, 1);
    arrays["/chains/singles.primvars:frame"] = ArrayFile(c.name + ".single-frames", singleFrames, 1);
  }
  if (!startPoints.empty()) arrays["/chains/starts.points"] = ArrayFile(c.name + ".start-points", startPoints, 3);
  auto [first, last] = std::minmax_element(chains.frames.begin(), chains.frames.end());
  json time = {{"fps", fps}, {"start", *first}, {"end", *last}};
  json expectation = {{"layers", {c.name + ".usda", c.name + ".usdc"}}, {"taper", taper}, {"time", time}, {"arrays", arrays}};
  if (smooth) expectation["samples"] = ArrayFile(c.name + ".samples", samples, 3);
  std::ofstream(Work() / (c.name + ".json")) << expectation.dump(1);
}

// ---- the cases ----------------------------------------------------------------------------------

void ReadEveryOutputBack(const Case& c) {
  SCOPED_TRACE(c.name);
  Chains chains = ModuleChains(c);
  ASSERT_GT(chains.mesh.points.size(), LEAST_POINTS);
  auto taperAt = std::find(c.usd.begin(), c.usd.end(), "--taper");
  std::string taper = taperAt == c.usd.end() ? "" : taperAt + 1 != c.usd.end() && taperAt[1] == "comet" ? "comet" : "start";
  bool smooth = std::count(c.usd.begin(), c.usd.end(), "--smooth") > 0;
  std::optional<double> width;
  if (c.usd.size() > 1 && c.usd[0] == "--tubes") width = std::stod(c.usd[1]);
  auto fps = std::find(c.usd.begin(), c.usd.end(), "--fps");
  std::vector<std::string> usd = c.usd;
  usd.push_back("--attributes");
  for (const char* layer : {".usda", ".usdc"}) ASSERT_NO_FATAL_FAILURE(Convert(c, c.name + layer, usd));
  WriteUsdExpectation(c, chains, width, taper, smooth, fps == c.usd.end() ? 24 : std::stod(*(fps + 1)));
  if (!c.tubes.empty()) {
    std::vector<std::string> tubes = {"--tubes", std::to_string(TUBE_WIDTH), "--attributes"};
    tubes.insert(tubes.end(), c.tubes.begin(), c.tubes.end());
    ASSERT_NO_FATAL_FAILURE(Convert(c, c.name + ".tubes.glb", tubes));
    return ExpectShapedTubesGlbHolds(Work() / (c.name + ".tubes.glb"), chains, 3);
  }
  ASSERT_NO_FATAL_FAILURE(Convert(c, c.name + ".obj", {}));
  ExpectObjHolds(Work() / (c.name + ".obj"), chains);
  ASSERT_NO_FATAL_FAILURE(Convert(c, c.name + ".glb", {"--attributes"}));
  ExpectLinesGlbHolds(Work() / (c.name + ".glb"), chains);
  ASSERT_NO_FATAL_FAILURE(Convert(c, c.name + ".tubes.glb", {"--tubes", std::to_string(TUBE_WIDTH), "--attributes"}));
  ExpectTubesGlbHolds(Work() / (c.name + ".tubes.glb"), chains);
}

// Every sample kept, so the writers lay parts out in place for the points the input's size tells;
// tapered with the scene's width, and a start point a chain.
TEST(ReadBack, EverySampleWithStartPoints) {
  std::string pfx = Devil("devil.pfx", static_cast<int32_t>(LEAST_POINTS / 201 + 1));
  ReadEveryOutputBack({"devil", pfx, true, {}, {"--taper", "--fps", "23.976"}, {}});
}

// A step that thins: no count is known before the run, every part is spooled.
TEST(ReadBack, ThinnedByAStep) {
  std::string pfx = Devil("thinned.pfx", static_cast<int32_t>(LEAST_POINTS / 201 / 0.37 + 1));
  ReadEveryOutputBack({"thinned", pfx, false, 0.37, {}, {}});
}

// Chains longer than a USD writer's kept values beside chains of one point, which are no curve
// points: the count the input's size tells is wrong for the curves, and the parts move.
TEST(ReadBack, LongChainsBesideChainsOfOnePoint) {
  ReadEveryOutputBack({"long", LongAndSingles(), true, {}, {"--tubes", "0.05", "--taper", "--fps", "30"}, {}});
}

// The same chains smoothed and tapered from the particle: USD's curves each end point given
// twice, with widths growing to the particle; the tubes three rings a segment, a chain longer
// than the points a tapered tube holds in memory among them.
TEST(ReadBack, SmoothedFromTheParticle) {
  ReadEveryOutputBack({"smooth", LongAndSingles(), true, {},
                       {"--tubes", "0.05", "--taper", "comet", "--smooth", "--fps", "30"}, {"--smooth", "3", "--taper", "comet"}});
}

}  // namespace
