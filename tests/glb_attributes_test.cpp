// The .glb's chain attributes, written as the real module's run streams through the writer: read
// back by tinygltf and compared with the chains of the OBJ written from the same run, the unlit
// material, the file otherwise unchanged, and the size limit counting the attributes' bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>
// As writers_test.cpp, which holds the implementation, includes it.
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>
#include <tiny_obj_loader.h>

#include "chain_model.h"
#include "glb_read.h"
#include "gltf/glb_writer.h"
#include "obj/obj_writer.h"
#include "pfxtools/pfx_generate.h"
#include "standin/loader.h"
#include "temp_file.h"
#include "writers/ramp.h"

namespace {

using nlohmann::json;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ModulePath() {
  const char* given = std::getenv("DUSTWEAVE_MODULE");
  return given != nullptr && *given != '\0' ? given : DUSTWEAVE_DEFAULT_MODULE;
}

// A pfx file and how the module is to run over it.
struct ModuleRun {
  ModuleRun(std::string file, bool start = false, std::optional<double> share = {})
      : pfx(std::move(file)), startPolygon(start), step(share) {}
  std::string pfx;
  bool startPolygon;
  std::optional<double> step;
};

void RunModule(const ModuleRun& run, standin::MeshSink* sink) {
  standin::HostScript script;
  script.file = run.pfx;
  script.startPolygon = run.startPolygon;
  script.step = run.step;
  script.sink = sink;
  standin::Host host(script);
  std::string error;
  std::optional<int> result = standin::RunCommandOnce(ModulePath(), host, COMMAND_INTERFACE_VERSION, &error);
  EXPECT_EQ(result.value_or(-1), 0) << error;
}

// A dust devil of 30 particles, tracks 0..40.
const std::string& Dust() {
  static TempFile file(".pfx");
  static bool made = [] {
    dustweave::DustSettings settings;
    settings.particles = 30;
    settings.indexLimit = 40;
    settings.lastIndex = 40;
    dustweave::GeneratedFile written;
    std::string error;
    return dustweave::GenerateDustFile(settings, file.path(), &written, &error);
  }();
  EXPECT_TRUE(made);
  return file.path();
}

// Tracks that restart after a jump past the index limit, and a track of one sample.
const std::string& Jumps() {
  static TempFile file([] {
    pfxwrite::File pfx;
    pfx.indexLimit = 7;
    pfx.tracks.push_back(pfxwrite::RuledTrack(0, 20, 0, 7));
    pfx.tracks.push_back(pfxwrite::RuledTrack(0, 0, 0, 7, 100));
    pfx.tracks.push_back(pfxwrite::RuledTrack(0, 1, 0, 7, 200));
    return pfx;
  }());
  return file.path();
}

// Writes the run as OBJ and as .glb with the chain attributes, both from the one run.
void WriteBoth(const ModuleRun& run, const std::string& obj, const std::string& glb) {
  dustweave::ObjWriter objWriter;
  dustweave::GlbWriter glbWriter(dustweave::GLB_MAX_FILE_BYTES, true);
  std::string error;
  ASSERT_TRUE(objWriter.Open(obj, &error)) << error;
  ASSERT_TRUE(glbWriter.Open(glb, &error)) << error;
  standin::FanOutSink both{&objWriter, &glbWriter};
  RunModule(run, &both);
  ASSERT_TRUE(objWriter.Finish(&error)) << error;
  ASSERT_TRUE(glbWriter.Finish(&error)) << error;
}

// The chains an OBJ file's points and lines make.
ChainModel ModelOfObj(const std::string& path) {
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warnings, errors;
  EXPECT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warnings, &errors, path.c_str(), nullptr, false))
      << errors;
  std::vector<std::array<int64_t, 2>> pairs;
  for (const tinyobj::shape_t& shape : shapes) {
    const auto& indices = shape.lines.indices;
    for (size_t i = 0; i + 1 < indices.size(); i += 2) pairs.push_back({indices[i].vertex_index, indices[i + 1].vertex_index});
  }
  return ChainModel::Of(attrib.vertices.size() / 3, pairs);
}

// ---- the attributes read back ---------------------------------------------------------------

TEST(GlbAttributes, TinyGltfReadsEveryAttributeAsTheObjOfTheSameRunSays) {
  const std::vector<ModuleRun> runs = {{Dust()}, {Dust(), true, 0.5}, {Jumps(), true}};
  for (const ModuleRun& run : runs) {
    SCOPED_TRACE(run.pfx + (run.startPolygon ? " with start polygons" : ""));
    TempFile obj(".obj"), glb(".glb");
    WriteBoth(run, obj.path(), glb.path());
    ChainModel chains = ModelOfObj(obj.path());
    tinygltf::Model model = ReadGlbModel(glb.path());
    ASSERT_EQ(model.meshes.size(), 1u);
    const auto& primitives = model.meshes[0].primitives;
    ASSERT_EQ(primitives.size(), run.startPolygon ? 2u : 1u);
    for (const tinygltf::Primitive& primitive : primitives) {
      EXPECT_EQ(primitive.attributes, primitives[0].attributes);  // one accessor of each for both
    }
    const auto& attributes = primitives[0].attributes;
    ASSERT_EQ(attributes.size(), 4u);
    auto colours = Attribute<uint8_t, 4>(model, attributes.at("COLOR_0"), TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                                         TINYGLTF_TYPE_VEC4, true);
    auto numbers = Attribute<float, 1>(model, attributes.at("_CHAIN"), TINYGLTF_COMPONENT_TYPE_FLOAT,
                                       TINYGLTF_TYPE_SCALAR, false);
    auto places = Attribute<float, 1>(model, attributes.at("_U"), TINYGLTF_COMPONENT_TYPE_FLOAT,
                                      TINYGLTF_TYPE_SCALAR, false);
    ASSERT_EQ(numbers.size(), chains.chain.size());
    ASSERT_EQ(places.size(), chains.place.size());
    ASSERT_EQ(colours.size(), chains.place.size());
    for (size_t p = 0; p < chains.chain.size(); ++p) {
      ASSERT_EQ(numbers[p][0], static_cast<float>(chains.chain[p])) << "point " << p;
      ASSERT_EQ(places[p][0], chains.place[p]) << "point " << p;
      dustweave::Rgb8 ramp = dustweave::LinearRampColour(places[p][0]);
      ASSERT_EQ(colours[p], (std::array<uint8_t, 4>{ramp.r, ramp.g, ramp.b, 255})) << "point " << p;
    }
    EXPECT_GT(chains.chains, 3u);
  }
}

TEST(GlbAttributes, MaterialShowsVertexColoursUnlitOnWhite) {
  TempFile obj(".obj"), glb(".glb");
  WriteBoth({Dust()}, obj.path(), glb.path());
  tinygltf::Model model = ReadGlbModel(glb.path());
  EXPECT_EQ(model.extensionsUsed, std::vector<std::string>{"KHR_materials_unlit"});
  ASSERT_EQ(model.materials.size(), 1u);
  const tinygltf::Material& material = model.materials[0];
  EXPECT_EQ(material.name, "Default");
  EXPECT_EQ(material.extensions.count("KHR_materials_unlit"), 1u);
  EXPECT_EQ(material.pbrMetallicRoughness.baseColorFactor, (std::vector<double>{1, 1, 1, 1}));
  EXPECT_EQ(material.pbrMetallicRoughness.metallicFactor, 0.0);
}

// ---- the rest of the file -------------------------------------------------------------------

struct GlbChunks {
  json head;
  std::string bin;
};

GlbChunks ChunksOf(const std::string& bytes) {
  uint32_t jsonBytes = 0, binBytes = 0;
  std::memcpy(&jsonBytes, bytes.data() + 12, 4);
  std::memcpy(&binBytes, bytes.data() + 20 + jsonBytes, 4);
  return {json::parse(bytes.substr(20, jsonBytes)), bytes.substr(28 + jsonBytes, binBytes)};
}

// The JSON of a file with the chain attributes, less what they add; the index views moved back
// over the attributes' 12 bytes a point.
json WithoutAttributes(json head, uint64_t points) {
  head.erase("extensionsUsed");
  for (json& primitive : head["meshes"][0]["primitives"]) {
    for (const char* name : {"COLOR_0", "_CHAIN", "_U"}) primitive["attributes"].erase(name);
  }
  head["materials"][0].erase("extensions");
  head["materials"][0].erase("pbrMetallicRoughness");
  for (const char* list : {"bufferViews", "accessors"}) {
    for (int i = 0; i < 3; ++i) head[list].erase(head[list].size() - 1);
  }
  for (size_t view = 1; view < head["bufferViews"].size(); ++view) {
    head["bufferViews"][view]["byteOffset"] = head["bufferViews"][view]["byteOffset"].get<uint64_t>() - 12 * points;
  }
  head["buffers"][0]["byteLength"] = head["buffers"][0]["byteLength"].get<uint64_t>() - 12 * points;
  return head;
}

// The attributes lie between the positions and the indices; the rest is the same bytes.
TEST(GlbAttributes, NothingElseOfTheFileChanges) {
  for (bool startPolygon : {false, true}) {
    TempFile obj(".obj"), shaded(".glb"), plain(".glb");
    WriteBoth({Dust(), startPolygon}, obj.path(), shaded.path());
    dustweave::GlbWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(plain.path(), &error)) << error;
    RunModule({Dust(), startPolygon}, &writer);
    ASSERT_TRUE(writer.Finish(&error)) << error;

    GlbChunks with = ChunksOf(ReadBytes(shaded.path())), without = ChunksOf(ReadBytes(plain.path()));
    uint64_t points = with.head["accessors"][0]["count"];
    ASSERT_EQ(with.bin.size(), without.bin.size() + 12 * points);
    EXPECT_TRUE(with.bin.compare(0, 12 * points, without.bin, 0, 12 * points) == 0);
    EXPECT_TRUE(with.bin.compare(24 * points, std::string::npos, without.bin, 12 * points) == 0);
    EXPECT_EQ(WithoutAttributes(with.head, points), without.head);
  }
}

TEST(GlbAttributes, ARunWithoutPolygonsIsWrittenAsWithout) {
  TempFile shaded(".glb"), plain(".glb");
  std::string error;
  for (const std::string* path : {&shaded.path(), &plain.path()}) {
    dustweave::GlbWriter writer(dustweave::GLB_MAX_FILE_BYTES, path == &shaded.path());
    ASSERT_TRUE(writer.Open(*path, &error)) << error;
    for (uint64_t n = 0; n < 5; ++n) {
      double at[3] = {1.0 * n, 0, 0};
      writer.AddPoint(n, at);
    }
    ASSERT_TRUE(writer.Finish(&error)) << error;
  }
  EXPECT_EQ(ReadBytes(shaded.path()), ReadBytes(plain.path()));
}

// A chain of `count` points along x, each joined to the one before.
void FeedChain(dustweave::GlbWriter& writer, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i) {
    double at[3] = {0.5 * static_cast<double>(i), 1, 2};
    writer.AddPoint(i, at);
    int64_t pair[2] = {static_cast<int64_t>(i) - 1, static_cast<int64_t>(i)};
    if (i > 0) writer.AddPolygon("Dust", 2, pair);
  }
}

// Chains of 1000 points along x, each led by a one-point polygon.
void FeedChains(dustweave::GlbWriter& writer, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i) {
    double at[3] = {0.5 * static_cast<double>(i), 1, 2};
    writer.AddPoint(i, at);
    int64_t pair[2] = {static_cast<int64_t>(i) - 1, static_cast<int64_t>(i)};
    if (i % 1000 == 0) {
      writer.AddPolygon("Dust", 1, pair + 1);
    } else {
      writer.AddPolygon("Dust", 2, pair);
    }
  }
}

// The attributes are written in place with the line indices, behind room for the expected
// positions: as many points as expected (nothing beside the output), more (the streams move to
// scratch files mid-run) or fewer (moved down at the end) all give the bytes of the writer that
// spools them.
TEST(GlbAttributes, ExpectedPointCountGivesTheSameFileWhateverTheRunMakes) {
  const uint64_t made = 400001;
  TempFolder folder;
  std::string error;
  dustweave::GlbWriter spooled(dustweave::GLB_MAX_FILE_BYTES, true);
  ASSERT_TRUE(spooled.Open(folder.File("spooled.glb"), &error)) << error;
  FeedChains(spooled, made);
  ASSERT_TRUE(spooled.Finish(&error)) << error;
  const std::string expected = ReadBytes(folder.File("spooled.glb"));
  for (uint64_t expectation : {made, made + 1, made + 250000, made - 1, made - 250000, uint64_t{0}}) {
    SCOPED_TRACE(expectation);
    dustweave::GlbWriter glb(dustweave::GLB_MAX_FILE_BYTES, true);
    ASSERT_TRUE(glb.Open(folder.File("placed.glb"), &error)) << error;
    glb.ExpectPoints(expectation);
    FeedChains(glb, made);
    if (expectation == made) {
      EXPECT_EQ(folder.Entries().size(), 2u);  // the spooled file and the output's temporary file
    }
    ASSERT_TRUE(glb.Finish(&error)) << error;
    EXPECT_TRUE(ReadBytes(folder.File("placed.glb")) == expected);
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"placed.glb", "spooled.glb"}));
  }
}

// The head (4096 bytes), 12 bytes a position, 8 a line and 12 a point for the attributes: a
// chain of 300,000 points passes the limit only with its attributes, also when the limit is
// checked a block at a time before the end.
TEST(GlbAttributes, TheSizeLimitCountsTwelveBytesMoreAPoint) {
  constexpr uint64_t POINTS = 300000;
  const uint64_t withAttributes = 4096 + 12 * POINTS + 8 * (POINTS - 1) + 12 * POINTS;
  for (uint64_t limit : {withAttributes, withAttributes - 1, withAttributes - 12 * POINTS}) {
    SCOPED_TRACE(limit);
    TempFile glb(".glb");
    dustweave::GlbWriter writer(limit, true);
    std::string error;
    ASSERT_TRUE(writer.Open(glb.path(), &error)) << error;
    FeedChain(writer, POINTS);
    bool written = writer.Finish(&error);
    EXPECT_EQ(written, limit == withAttributes) << error;
    if (written) {
      EXPECT_EQ(ReadBytes(glb.path()).size(), withAttributes);
    } else {
      EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
    }
    EXPECT_EQ(written, std::filesystem::exists(glb.path()));
  }
}

// Refused by the block-wise check while the positions still stream in, with or without the
// attributes: nothing more is written, not even into the full block.
TEST(GlbAttributes, ARefusalWhileThePositionsStreamWritesNothingMore) {
  for (bool attributes : {false, true}) {
    SCOPED_TRACE(attributes);
    TempFile glb(".glb");
    dustweave::GlbWriter writer(2 << 20, attributes);
    std::string error;
    ASSERT_TRUE(writer.Open(glb.path(), &error)) << error;
    FeedChain(writer, 300000);  // 3.6 MB of positions
    EXPECT_FALSE(writer.Finish(&error));
    EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(glb.path()));
  }
}

}  // namespace
