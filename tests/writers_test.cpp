// The streaming writers: OBJ and glTF binary (lines or tubes) and USD text, fed directly and
// through the real module (DUSTWEAVE_MODULE, or the native build's), each OBJ and glTF output read
// back by an independent reader (tinyobjloader, tinygltf). Runs on Windows too.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <stdexcept>

#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "chain_model.h"
#include "gltf/glb_writer.h"
#include "gltf/tube_glb_writer.h"
#include "kept_mesh.h"
#include "obj/obj_writer.h"
#include "obj/tube_obj_writer.h"
#include "pfxtools/pfx_count.h"
#include "pfxtools/pfx_frames.h"
#include "pfxtools/pfx_track_index.h"
#include "pfxtools/pfx_generate.h"
#include "platform/file_seam.h"
#include "standin/loader.h"
#include "temp_file.h"
#include "usd/usda_writer.h"
#include "usd/usdc_writer.h"
#include "writers/number_text.h"
#include "writers/version.h"

namespace {

namespace fs = std::filesystem;
using standin::MeshRecord;

// ---- scratch folders, files and module runs -------------------------------------------------

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ModulePath() {
  const char* given = std::getenv("DUSTWEAVE_MODULE");
  return given != nullptr && *given != '\0' ? given : DUSTWEAVE_DEFAULT_MODULE;
}

// A dust devil of 60 particles, tracks 0..100: 6060 samples.
const std::string& DustFile() {
  static TempFile file(".pfx");
  static bool made = [] {
    dustweave::DustSettings settings;
    settings.particles = 60;
    dustweave::GeneratedFile written;
    std::string error;
    return dustweave::GenerateDustFile(settings, file.path(), &written, &error);
  }();
  EXPECT_TRUE(made);
  return file.path();
}

// Runs the module over the dust file, the mesh kept (sink null) or streamed to `sink`.
MeshRecord RunModule(bool startPolygon, standin::MeshSink* sink = nullptr, const std::string& surface = "") {
  standin::HostScript script;
  script.file = DustFile();
  script.startPolygon = startPolygon;
  script.sink = sink;
  if (!surface.empty()) script.surfaces = {surface};
  standin::Host host(script);
  std::string error;
  std::optional<int> result = standin::RunCommandOnce(ModulePath(), host, COMMAND_INTERFACE_VERSION, &error);
  EXPECT_TRUE(result.has_value()) << error;
  EXPECT_EQ(result.value_or(-1), 0);
  return host.mesh;
}

// Feeds a chain of `count` points along x, with a two-point polygon between neighbours.
template <typename Writer>
void FeedChain(Writer& writer, uint64_t count, const char* surface = "Dust") {
  for (uint64_t i = 0; i < count; ++i) {
    double position[3] = {static_cast<float>(i) * 0.25f, static_cast<float>(i % 7) * 0.1f, -1.5};
    writer.AddPoint(i, position);
    if (i > 0) {
      int64_t pair[2] = {static_cast<int64_t>(i - 1), static_cast<int64_t>(i)};
      writer.AddPolygon(surface, 2, pair);
    }
  }
}

// ---- numbers as text ------------------------------------------------------------------------

// A float's text is std::to_chars' byte for byte, over a sample of every sign, size and digit count
// and where its layout turns (`make check-floats` takes every float).
TEST(NumberTextTest, FloatsAreWrittenAsToCharsWritesThem) {
  std::vector<uint32_t> sample = {0x00000001, 0x80000000, 0x7f7fffff, 0x4ceb79a3 /* 123456792 */,
                                  0x3727c5ac /* 1e-05 */, 0x38d1b717 /* 1e-04 */, 0x47c35000 /* 1e+05 */,
                                  0x5368d4a5 /* 1e+12 */, 0x3a83126f /* 0.001 */};
  for (uint64_t bits = 0; bits < (uint64_t{1} << 32); bits += 65537) sample.push_back(static_cast<uint32_t>(bits));
  for (uint32_t bits : sample) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    char expected[64], text[dustweave::NUMBER_TEXT_ROOM];
    ASSERT_EQ(std::string(text, dustweave::PutShortest(text, value)),
              std::string(expected, std::to_chars(expected, expected + sizeof expected, value).ptr))
        << std::hex << bits;
  }
}

// ---- OBJ ------------------------------------------------------------------------------------

TEST(ObjWriterTest, WritesLinesAsTheMeshComesWithCountsAtTheEnd) {
  TempFolder folder;
  dustweave::ObjWriter obj;
  std::string error;
  ASSERT_TRUE(obj.Open(folder.File("a.obj"), &error)) << error;
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  double p0[3] = {0.1f, -2.5f, 1e-7f};
  double p1[3] = {1.0 / 3.0, nan, -inf};  // 1/3 is no float32: written in full
  double p2[3] = {-0.0, 3e38f, 16777217.0};
  int64_t line[2] = {0, 1}, dot[1] = {2}, foreign[2] = {0, -1}, face[3] = {0, 1, 2};
  obj.AddPoint(0, p0);
  obj.AddPoint(1, p1);
  obj.AddPolygon("Dust", 2, line);
  obj.AddPoint(2, p2);
  obj.AddPolygon("Dust", 1, dot);
  obj.AddPolygon("Dust", 2, foreign);
  obj.AddPolygon("Rock\nv 9 9 9", 3, face);
  obj.AddPolygon("Dust", 0, nullptr);
  ASSERT_TRUE(obj.Finish(&error)) << error;
  EXPECT_EQ(ReadAll(folder.File("a.obj")),
            "# mirod_dustweave chains, written by dustweave " DUSTWEAVE_VERSION "\n"
            "v 0.1 -2.5 1e-07\n"
            "v 0.3333333333333333 nan -inf\n"
            "usemtl Dust\n"
            "l 1 2\n"
            "v -0 3e+38 16777217\n"
            "p 3\n"
            "# polygon 3 left out: it has no point made in this run\n"
            "usemtl Rock v 9 9 9\n"
            "f 1 2 3\n"
            "# polygon 5 left out: it has no point made in this run\n"
            "# 3 points, 5 polygons\n");
}

TEST(ObjWriterTest, StreamedRunEqualsTheRecordedMeshOfTheSameRun) {
  for (bool startPolygon : {false, true}) {
    TempFolder folder;
    dustweave::ObjWriter streamed;
    std::string error;
    ASSERT_TRUE(streamed.Open(folder.File("streamed.obj"), &error)) << error;
    MeshRecord counts = RunModule(startPolygon, &streamed);
    ASSERT_TRUE(streamed.Finish(&error)) << error;
    MeshRecord kept = RunModule(startPolygon);
    ASSERT_TRUE(WriteKeptMesh<dustweave::ObjWriter>(kept, folder.File("kept.obj"), &error)) << error;
    EXPECT_EQ(counts.pointCount, kept.points.size());
    std::string text = ReadAll(folder.File("streamed.obj"));
    EXPECT_GT(text.size(), 100000u);
    EXPECT_EQ(text, ReadAll(folder.File("kept.obj"))) << startPolygon;
  }
}

TEST(ObjWriterTest, TinyObjLoaderReadsEveryPositionAsTheSameFloat) {
  TempFolder folder;
  dustweave::ObjWriter obj;
  std::string error;
  ASSERT_TRUE(obj.Open(folder.File("dust.obj"), &error)) << error;
  MeshRecord kept = RunModule(true);
  standin::ReplayMesh(kept, obj);
  ASSERT_TRUE(obj.Finish(&error)) << error;
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warnings, errors;
  ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warnings, &errors, folder.File("dust.obj").c_str(),
                               nullptr, false))
      << errors;
  ASSERT_EQ(attrib.vertices.size(), 3 * kept.points.size());
  for (size_t i = 0; i < kept.points.size(); ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      float read = attrib.vertices[3 * i + axis];
      ASSERT_EQ(static_cast<double>(read), kept.points[i][axis]) << i;  // exactly, not nearly
    }
  }
  std::vector<int64_t> lines, dots, keptLines, keptDots;
  for (const tinyobj::shape_t& shape : shapes) {
    for (const tinyobj::index_t& index : shape.lines.indices) lines.push_back(index.vertex_index);
    for (const tinyobj::index_t& index : shape.points.indices) dots.push_back(index.vertex_index);
  }
  for (const standin::Polygon& polygon : kept.polygons) {
    auto& into = polygon.points.size() == 2 ? keptLines : keptDots;
    into.insert(into.end(), polygon.points.begin(), polygon.points.end());
  }
  EXPECT_EQ(lines, keptLines);  // every point number, across 9 to 10, 99 to 100 and 999 to 1000
  EXPECT_EQ(dots, keptDots);
  EXPECT_GT(kept.points.size(), 1000u);
  EXPECT_FALSE(dots.empty());
}

// Text made in batches (each formatted on a worker while the next is packed) comes out in the
// order the mesh came, with the comments and `usemtl` lines between: line for line as written by
// hand with std::to_chars.
TEST(ObjWriterTest, ManyBatchesComeOutInTheMeshsOrder) {
  TempFolder folder;
  dustweave::ObjWriter obj;
  std::string error, expected = "# mirod_dustweave chains, written by dustweave " DUSTWEAVE_VERSION "\n";
  ASSERT_TRUE(obj.Open(folder.File("many.obj"), &error)) << error;
  const int64_t count = 200000;
  for (int64_t i = 0; i < count; ++i) {
    float position[3] = {static_cast<float>(i) * 0.37f, static_cast<float>(i % 7) * -0.1f, 1e-7f * static_cast<float>(i)};
    double widened[3] = {position[0], position[1], position[2]};
    obj.AddPoint(static_cast<uint64_t>(i), widened);
    expected += "v " + dustweave::ShortestText(position[0]) + " " + dustweave::ShortestText(position[1]) + " " +
                dustweave::ShortestText(position[2]) + "\n";
    int64_t pair[2] = {i - 1, i - (i % 5000 == 7 ? 20 * count : 0)};
    if (i == 0) continue;
    obj.AddPolygon(i % 60000 < 30000 ? "Dust" : "Rock", 2, pair);
    if (i % 30000 == 0 || i == 1) expected += i % 60000 < 30000 ? "usemtl Dust\n" : "usemtl Rock\n";
    expected += i % 5000 == 7 ? "# polygon " + std::to_string(i) + " left out: it has no point made in this run\n"
                              : "l " + std::to_string(i) + " " + std::to_string(i + 1) + "\n";
  }
  ASSERT_TRUE(obj.Finish(&error)) << error;
  expected += "# 200000 points, 199999 polygons\n";
  EXPECT_TRUE(ReadAll(folder.File("many.obj")) == expected);
}

TEST(ObjWriterTest, MissingFolderFailsAtOpenAndLeavesNothing) {
  TempFolder folder;
  dustweave::ObjWriter obj;
  std::string error;
  EXPECT_FALSE(obj.Open(folder.File("missing") + "/a.obj", &error));
  EXPECT_NE(error.find("cannot write "), std::string::npos);
  FeedChain(obj, 10);  // the run may still stream; nothing is written anywhere
  EXPECT_FALSE(obj.Finish(&error));
  EXPECT_TRUE(folder.Entries().empty());
}

// ---- glTF binary: read back by tinygltf -----------------------------------------------------

struct GlbRead {
  tinygltf::Model model;
  std::string error, warning;
  bool ok = false;
};

GlbRead ReadGlb(const std::string& path) {
  GlbRead read;
  std::string bytes = ReadAll(path);
  tinygltf::TinyGLTF loader;
  read.ok = loader.LoadBinaryFromMemory(&read.model, &read.error, &read.warning,
                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<unsigned int>(bytes.size()));
  return read;
}

// The bytes an accessor covers, checked against its buffer.
template <typename T>
std::vector<T> AccessorValues(const tinygltf::Model& model, int accessorIndex, size_t perElement) {
  const tinygltf::Accessor& accessor = model.accessors.at(accessorIndex);
  const tinygltf::BufferView& view = model.bufferViews.at(accessor.bufferView);
  const tinygltf::Buffer& buffer = model.buffers.at(view.buffer);
  size_t count = accessor.count * perElement;
  size_t start = view.byteOffset + accessor.byteOffset;
  EXPECT_LE(start + count * sizeof(T), buffer.data.size());
  EXPECT_LE(count * sizeof(T), view.byteLength);
  std::vector<T> values(count);
  if (start + count * sizeof(T) <= buffer.data.size()) std::memcpy(values.data(), &buffer.data[start], count * sizeof(T));
  return values;
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The .glb read back holds exactly the kept mesh: every position's float bits, the two-point
// polygons as index pairs and the one-point polygons as indices, in creation order.
void ExpectGlbHolds(const std::string& path, const MeshRecord& mesh, const std::string& surface) {
  GlbRead read = ReadGlb(path);
  ASSERT_TRUE(read.ok) << read.error;
  const tinygltf::Model& model = read.model;
  EXPECT_EQ(model.asset.version, "2.0");
  EXPECT_EQ(model.asset.generator, "dustweave " DUSTWEAVE_VERSION);
  ASSERT_EQ(model.meshes.size(), 1u);
  ASSERT_EQ(model.materials.size(), 1u);
  EXPECT_EQ(model.materials[0].name, surface);
  std::vector<uint32_t> lines, dots;
  for (const standin::Polygon& polygon : mesh.polygons) {
    if (polygon.points.size() == 2) lines.insert(lines.end(), polygon.points.begin(), polygon.points.end());
    if (polygon.points.size() == 1) dots.push_back(static_cast<uint32_t>(polygon.points[0]));
  }
  std::vector<uint32_t> readLines, readDots;
  int position = -1;
  for (const tinygltf::Primitive& primitive : model.meshes[0].primitives) {
    ASSERT_EQ(primitive.attributes.count("POSITION"), 1u);
    EXPECT_TRUE(position < 0 || position == primitive.attributes.at("POSITION"));  // one shared accessor
    position = primitive.attributes.at("POSITION");
    EXPECT_EQ(model.accessors.at(primitive.indices).componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
    auto indices = AccessorValues<uint32_t>(model, primitive.indices, 1);
    ASSERT_TRUE(primitive.mode == TINYGLTF_MODE_LINE || primitive.mode == TINYGLTF_MODE_POINTS);
    (primitive.mode == TINYGLTF_MODE_LINE ? readLines : readDots) = indices;
  }
  EXPECT_EQ(readLines, lines);
  EXPECT_EQ(readDots, dots);
  ASSERT_GE(position, 0);
  const tinygltf::Accessor& accessor = model.accessors[position];
  EXPECT_EQ(accessor.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
  EXPECT_EQ(accessor.type, TINYGLTF_TYPE_VEC3);
  auto floats = AccessorValues<float>(model, position, 3);
  ASSERT_EQ(floats.size(), 3 * mesh.points.size());
  for (size_t i = 0; i < mesh.points.size(); ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      ASSERT_EQ(FloatBits(floats[3 * i + axis]), FloatBits(static_cast<float>(mesh.points[i][axis]))) << i;
    }
  }
  for (int axis = 0; axis < 3; ++axis) {
    float low = std::numeric_limits<float>::infinity(), high = -low;
    for (size_t i = 0; i < mesh.points.size(); ++i) {
      low = std::min(low, floats[3 * i + axis]);
      high = std::max(high, floats[3 * i + axis]);
    }
    ASSERT_EQ(accessor.minValues.size(), 3u);
    EXPECT_EQ(static_cast<float>(accessor.minValues[axis]), low);  // the JSON text reads back to the float
    EXPECT_EQ(static_cast<float>(accessor.maxValues[axis]), high);
  }
}

MeshRecord RecordChain(uint64_t count, const char* surface = "Dust") {
  MeshRecord mesh;
  standin::MeshRecorder recorder(mesh);
  FeedChain(recorder, count, surface);
  return mesh;
}

TEST(GlbWriterTest, StreamedRunHoldsTheRunsLinesPointsAndExactPositions) {
  for (bool startPolygon : {false, true}) {
    TempFolder folder;
    dustweave::GlbWriter glb;
    std::string error;
    ASSERT_TRUE(glb.Open(folder.File("dust.glb"), &error)) << error;
    RunModule(startPolygon, &glb, "Dust devil");
    ASSERT_TRUE(glb.Finish(&error)) << error;
    EXPECT_EQ(glb.leftOut(), 0u);
    MeshRecord kept = RunModule(startPolygon, nullptr, "Dust devil");
    ExpectGlbHolds(folder.File("dust.glb"), kept, "Dust devil");
    ASSERT_TRUE(WriteKeptMesh<dustweave::GlbWriter>(kept, folder.File("kept.glb"), &error)) << error;
    EXPECT_EQ(ReadAll(folder.File("dust.glb")), ReadAll(folder.File("kept.glb")));
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"dust.glb", "kept.glb"}));
  }
}

TEST(GlbWriterTest, LargeMeshSpoolsBesideTheOutputAndRemovesItsScratchFiles) {
  // 400,000 lines pass the index block: the indices go through a scratch file.
  TempFolder folder;
  dustweave::GlbWriter glb;
  std::string error;
  ASSERT_TRUE(glb.Open(folder.File("big.glb"), &error)) << error;
  FeedChain(glb, 400001);
  EXPECT_GT(folder.Entries().size(), 1u);
  ASSERT_TRUE(glb.Finish(&error)) << error;
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"big.glb"});
  ExpectGlbHolds(folder.File("big.glb"), RecordChain(400001), "Dust");
}

// Feeds the chain of FeedChain with a start (one-point polygon) at every 1000th point.
template <typename Writer>
void FeedChainWithStarts(Writer& writer, uint64_t count) {
  FeedChain(writer, count);
  for (uint64_t i = 0; i < count; i += 1000) {
    int64_t start[1] = {static_cast<int64_t>(i)};
    writer.AddPolygon("Dust", 1, start);
  }
}

// Whether a scratch file stands beside the output being written (and the committed `others`).
bool HasScratchFile(const TempFolder& folder, size_t others) { return folder.Entries().size() > others + 1; }

TEST(GlbWriterTest, ExpectedPointCountGivesTheSameFileWhateverTheRunMakes) {
  // Line indices written in place behind room for the expected points: as many points as
  // expected, more (the indices move to a scratch file mid-run) or fewer (moved down at the end)
  // all give the bytes of the writer that spools them, with blocks on both sides of the room.
  const uint64_t made = 400001;
  TempFolder folder;
  std::string error;
  dustweave::GlbWriter spooled;
  ASSERT_TRUE(spooled.Open(folder.File("spooled.glb"), &error)) << error;
  FeedChainWithStarts(spooled, made);
  ASSERT_TRUE(spooled.Finish(&error)) << error;
  const std::string expected = ReadAll(folder.File("spooled.glb"));
  for (uint64_t expectation : {made, made + 1, made + 250000, made - 1, made - 250000, uint64_t{0}}) {
    dustweave::GlbWriter glb;
    ASSERT_TRUE(glb.Open(folder.File("placed.glb"), &error)) << error;
    glb.ExpectPoints(expectation);
    FeedChain(glb, made);
    if (expectation >= made) {
      EXPECT_FALSE(HasScratchFile(folder, expectation == made ? 1 : 2)) << "expecting " << expectation;
    }
    for (uint64_t i = 0; i < made; i += 1000) {
      int64_t start[1] = {static_cast<int64_t>(i)};
      glb.AddPolygon("Dust", 1, start);
    }
    ASSERT_TRUE(glb.Finish(&error)) << error;
    EXPECT_TRUE(ReadAll(folder.File("placed.glb")) == expected) << "expecting " << expectation << " points";
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"placed.glb", "spooled.glb"}));
  }
}

TEST(GlbWriterTest, ExpectedPointCountKeepsRefusalsWhole) {
  TempFolder folder;
  dustweave::GlbWriter glb;
  std::string error;
  ASSERT_TRUE(glb.Open(folder.File("out.glb"), &error)) << error;
  glb.ExpectPoints(300010);
  FeedChain(glb, 300000);
  int64_t pair[2] = {299998, 299999};
  glb.AddPolygon("Other", 2, pair);
  EXPECT_FALSE(glb.Finish(&error));
  EXPECT_NE(error.find("its polygons lie on two surfaces"), std::string::npos) << error;
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(GlbWriterTest, LongOrOddSurfaceNamesAreTheMaterialsName) {
  // A long name, and one with quotes, a backslash, a control character and a byte that is no
  // UTF-8 (which becomes U+FFFD).
  const std::string names[] = {std::string(2000, 'n'), "a \"b\" \\c\x01 \xc3\xa9 \xff"};
  const std::string expected[] = {names[0], "a \"b\" \\c\x01 \xc3\xa9 \xef\xbf\xbd"};
  for (int i = 0; i < 2; ++i) {
    TempFolder folder;
    dustweave::GlbWriter glb;
    std::string error;
    ASSERT_TRUE(glb.Open(folder.File("named.glb"), &error)) << error;
    FeedChain(glb, 50, names[i].c_str());
    ASSERT_TRUE(glb.Finish(&error)) << error;
    ExpectGlbHolds(folder.File("named.glb"), RecordChain(50, names[i].c_str()), expected[i]);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"named.glb"});
  }
}

TEST(GlbWriterTest, RunWithoutPolygonsGivesAValidFileWithoutMesh) {
  for (uint64_t points : {0, 5}) {
    TempFolder folder;
    dustweave::GlbWriter glb;
    std::string error;
    ASSERT_TRUE(glb.Open(folder.File("empty.glb"), &error)) << error;
    for (uint64_t i = 0; i < points; ++i) {
      double position[3] = {1, 2, 3};
      glb.AddPoint(i, position);
    }
    ASSERT_TRUE(glb.Finish(&error)) << error;
    GlbRead read = ReadGlb(folder.File("empty.glb"));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_TRUE(read.model.meshes.empty());
    EXPECT_TRUE(read.model.buffers.empty());
    EXPECT_EQ(read.model.scenes.size(), 1u);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"empty.glb"});
  }
}

TEST(GlbWriterTest, PolygonsWithoutAPrimitiveAreLeftOutAndCounted) {
  TempFolder folder;
  dustweave::GlbWriter glb;
  std::string error;
  ASSERT_TRUE(glb.Open(folder.File("some.glb"), &error)) << error;
  FeedChain(glb, 4);
  int64_t face[3] = {0, 1, 2}, foreign[2] = {1, -1}, lone[1] = {-1};
  glb.AddPolygon("Dust", 3, face);
  glb.AddPolygon("Dust", 2, foreign);
  glb.AddPolygon("Dust", 1, lone);
  glb.AddPolygon("Dust", 0, nullptr);
  ASSERT_TRUE(glb.Finish(&error)) << error;
  EXPECT_EQ(glb.leftOut(), 4u);
  ExpectGlbHolds(folder.File("some.glb"), RecordChain(4), "Dust");
}

// ---- glTF binary: what it cannot hold is refused, and nothing is left -----------------------

// Finish fails with a message containing `reason`, and the folder is empty.
void ExpectRefused(dustweave::GlbWriter& glb, const TempFolder& folder, const std::string& reason) {
  std::string error;
  EXPECT_FALSE(glb.Finish(&error));
  EXPECT_EQ(error.find("cannot write " + folder.File("out.glb") + ": "), 0u) << error;
  EXPECT_NE(error.find(reason), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(GlbRefusalTest, PolygonsOnTwoSurfacesAreRefused) {
  TempFolder folder;
  dustweave::GlbWriter glb;
  std::string error;
  ASSERT_TRUE(glb.Open(folder.File("out.glb"), &error)) << error;
  FeedChain(glb, 10, "Dust");
  FeedChain(glb, 10, "Rock");
  ExpectRefused(glb, folder, "two surfaces, \"Dust\" and \"Rock\"");
}

// A run that makes more points than the input has frames for (the input changed under it): the
// .glb with its frames and the USD layer are refused, and nothing is left.
TEST(GlbRefusalTest, PointsWithoutFramesAreRefused) {
  TempFolder folder;
  ListedFrames frames({3, 4, 5});
  dustweave::GlbWriter glb(dustweave::GLB_MAX_FILE_BYTES, true, &frames);
  std::string error;
  ASSERT_TRUE(glb.Open(folder.File("out.glb"), &error)) << error;
  FeedChain(glb, 5);
  ExpectRefused(glb, folder, "the frames of its points: the input holds fewer samples than points were made");
  ListedFrames few({3, 4, 5});
  dustweave::UsdaWriter usda(1, {}, 1, {24, &few, false});
  ASSERT_TRUE(usda.Open(folder.File("out.usda"), &error)) << error;
  FeedChain(usda, 5);
  EXPECT_FALSE(usda.Finish(&error));
  EXPECT_NE(error.find("the frames of its points"), std::string::npos) << error;
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(GlbRefusalTest, SurfaceNameTooLongForTheHeadIsRefused) {
  TempFolder folder;
  dustweave::GlbWriter glb;
  std::string error;
  ASSERT_TRUE(glb.Open(folder.File("out.glb"), &error)) << error;
  FeedChain(glb, 10, std::string(6000, 'n').c_str());
  ExpectRefused(glb, folder, "its surface name is 6000 bytes long");
}

TEST(GlbRefusalTest, FilePastTheLengthLimitIsRefusedExactlyThere) {
  TempFolder folder;
  uint64_t size = 0;
  {
    dustweave::GlbWriter glb;
    std::string error;
    ASSERT_TRUE(glb.Open(folder.File("sized.glb"), &error)) << error;
    FeedChain(glb, 1000);
    ASSERT_TRUE(glb.Finish(&error)) << error;
    size = fs::file_size(folder.File("sized.glb"));
    fs::remove(folder.File("sized.glb"));
  }
  dustweave::GlbWriter atLimit(size);
  std::string error;
  ASSERT_TRUE(atLimit.Open(folder.File("out.glb"), &error)) << error;
  FeedChain(atLimit, 1000);
  ASSERT_TRUE(atLimit.Finish(&error)) << error;
  EXPECT_EQ(fs::file_size(folder.File("out.glb")), size);
  fs::remove(folder.File("out.glb"));
  dustweave::GlbWriter placedAtLimit(size);
  ASSERT_TRUE(placedAtLimit.Open(folder.File("out.glb"), &error)) << error;
  placedAtLimit.ExpectPoints(1000);
  FeedChain(placedAtLimit, 1000);
  ASSERT_TRUE(placedAtLimit.Finish(&error)) << error;
  EXPECT_EQ(fs::file_size(folder.File("out.glb")), size);
  fs::remove(folder.File("out.glb"));
  dustweave::GlbWriter pastLimit(size - 1);
  ASSERT_TRUE(pastLimit.Open(folder.File("out.glb"), &error)) << error;
  FeedChain(pastLimit, 1000);
  ExpectRefused(pastLimit, folder, "passes the 4 GiB that a .glb can hold; keep fewer samples");
}

TEST(GlbRefusalTest, MissingFolderFailsAtOpenAndLeavesNothing) {
  TempFolder folder;
  dustweave::GlbWriter glb;
  std::string error;
  EXPECT_FALSE(glb.Open(folder.File("missing") + "/out.glb", &error));
  // The system's words for a missing path (ERROR_PATH_NOT_FOUND on Windows, ENOENT elsewhere).
#ifdef _WIN32
  const std::string missing = dustweave::SystemReason(3);
#else
  const std::string missing = dustweave::SystemReason(ENOENT);
#endif
  EXPECT_EQ(error, "cannot write " + folder.File("missing") + "/out.glb: " + missing);
  FeedChain(glb, 10);
  EXPECT_FALSE(glb.Finish(&error));
  EXPECT_TRUE(folder.Entries().empty());
}

// ---- tubes and curves: the shapes a chain takes --------------------------------------------

// Three chains, each led by a start point: straight along x; one that turns straight back, stays
// on one spot and turns square; and one of a single point.
const std::vector<std::vector<std::array<double, 3>>> SHAPES = {
    {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}},
    {{0, 2, 0}, {1, 2, 0}, {0, 2, 0}, {0, 2, 0}, {0, 3, 0}},
    {{5, 5, 5}},
};
constexpr double SHAPE_WIDTH = 0.5;

template <typename Writer>
void FeedShapes(Writer& writer) {
  int64_t number = 0;
  for (const auto& chain : SHAPES) {
    for (size_t i = 0; i < chain.size(); ++i, ++number) {
      writer.AddPoint(static_cast<uint64_t>(number), chain[i].data());
      int64_t pair[2] = {number - 1, number}, start[1] = {number};
      if (i == 0) writer.AddPolygon("Dust", 1, start);
      if (i > 0) writer.AddPolygon("Dust", 2, pair);
    }
  }
}

const std::array<double, 3>& ShapePoint(size_t number) {
  for (const auto& chain : SHAPES) {
    if (number < chain.size()) return chain[number];
    number -= chain.size();
  }
  throw std::out_of_range("no such point");
}

// The tubes as tinygltf reads them: a ring of three vertices a point, each at half the width from
// its point, its normal the unit vector from the point to it; triangles joining each chain's
// consecutive rings, wound outwards; the straight tube's rings turned alike (no twist); the
// attributes of each ring its point's; the start points at their points.
TEST(TubeWriterTest, GlbTubesOfEveryShapeAreSound) {
  TempFolder folder;
  std::string error;
  dustweave::TubeGlbWriter glb(SHAPE_WIDTH, true);
  ASSERT_TRUE(glb.Open(folder.File("tubes.glb"), &error)) << error;
  FeedShapes(glb);
  ASSERT_TRUE(glb.Finish(&error)) << error;
  GlbRead read = ReadGlb(folder.File("tubes.glb"));
  ASSERT_TRUE(read.ok) << read.error;
  const auto& primitives = read.model.meshes.at(0).primitives;
  ASSERT_EQ(primitives.size(), 2u);
  const tinygltf::Primitive& tubes = primitives[0];
  EXPECT_EQ(tubes.mode, TINYGLTF_MODE_TRIANGLES);
  auto positions = AccessorValues<float>(read.model, tubes.attributes.at("POSITION"), 3);
  auto normals = AccessorValues<float>(read.model, tubes.attributes.at("NORMAL"), 3);
  auto places = AccessorValues<float>(read.model, tubes.attributes.at("_U"), 1);
  auto chains = AccessorValues<float>(read.model, tubes.attributes.at("_CHAIN"), 1);
  auto indices = AccessorValues<uint32_t>(read.model, tubes.indices, 1);
  ASSERT_EQ(positions.size(), 3 * 3 * 11u);
  // Two chains of four segments, six triangles each, and the one-point chain's ring closed both ways.
  EXPECT_EQ(indices.size(), 3 * (6 * 8u + 2));
  for (size_t vertex = 0; vertex < 33; ++vertex) {
    const auto& point = ShapePoint(vertex / 3);
    double length = 0;
    for (int axis = 0; axis < 3; ++axis) {
      float n = normals[3 * vertex + axis];
      ASSERT_TRUE(std::isfinite(n)) << vertex;
      length += n * n;
      EXPECT_NEAR(positions[3 * vertex + axis], point[axis] + SHAPE_WIDTH / 2 * n, 1e-5) << vertex;
    }
    EXPECT_NEAR(length, 1, 1e-5) << vertex;
    EXPECT_EQ(places[vertex], places[vertex / 3 * 3]);
    EXPECT_EQ(chains[vertex], static_cast<float>(vertex < 15 ? 0 : vertex < 30 ? 1 : 2));
  }
  EXPECT_EQ(places[4 * 3], 1.0f);
  for (size_t vertex = 3; vertex < 15; ++vertex) {  // the straight tube: each side the same way
    for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(normals[3 * vertex + axis], normals[3 * (vertex % 3) + axis], 1e-6);
  }
  for (size_t t = 0; t < indices.size(); t += 3) {  // outwards: the face turns with its vertices' normals
    const float* a = &positions[3 * indices[t]];
    const float* b = &positions[3 * indices[t + 1]];
    const float* c = &positions[3 * indices[t + 2]];
    double u[3], v[3], facing = 0;
    for (int axis = 0; axis < 3; ++axis) u[axis] = b[axis] - a[axis], v[axis] = c[axis] - a[axis];
    double face[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    for (uint32_t corner : {indices[t], indices[t + 1], indices[t + 2]}) {
      for (int axis = 0; axis < 3; ++axis) facing += face[axis] * normals[3 * corner + axis];
    }
    if (indices[t] < 15) {  // the straight tube's (the other has triangles of no area where it stays)
      EXPECT_GT(facing, 0) << "triangle " << t / 3;
    }
    bool alone = std::max({indices[t], indices[t + 1], indices[t + 2]}) / 3 == 10;  // the one-point chain's
    EXPECT_EQ(alone, t >= 3 * 6 * 8u) << "triangle " << t / 3;
  }
  auto starts = AccessorValues<float>(read.model, primitives[1].attributes.at("POSITION"), 3);
  EXPECT_EQ(starts, (std::vector<float>{0, 0, 0, 0, 2, 0, 5, 5, 5}));
}

// The centre of a ring of three vertices, and their distance from it.
std::pair<std::array<double, 3>, double> RingAbout(const std::vector<float>& positions, size_t ring) {
  std::array<double, 3> centre{};
  for (int axis = 0; axis < 3; ++axis) {
    for (size_t side = 0; side < 3; ++side) centre[axis] += positions[9 * ring + 3 * side + axis] / 3.0;
  }
  double squared = 0;
  for (int axis = 0; axis < 3; ++axis) squared += std::pow(positions[9 * ring + axis] - centre[axis], 2);
  return {centre, std::sqrt(squared)};
}

// Smoothed and tapered both ways: four rings a segment, those between two points on the spline
// (evenly along the straight chain's inner segments), each ring's radius its place's share of the width (0 at the
// thin end, its normals still of length 1), _U its place; the one-point chain full.
TEST(TubeWriterTest, ShapedGlbTubesNarrowAlongTheSpline) {
  for (dustweave::Taper taper : {dustweave::Taper::Start, dustweave::Taper::Comet}) {
    TempFolder folder;
    std::string error;
    dustweave::TubeGlbWriter glb(SHAPE_WIDTH, true, dustweave::GLB_MAX_FILE_BYTES, nullptr, {taper, 4});
    ASSERT_TRUE(glb.Open(folder.File("tubes.glb"), &error)) << error;
    FeedShapes(glb);
    ASSERT_TRUE(glb.Finish(&error)) << error;
    GlbRead read = ReadGlb(folder.File("tubes.glb"));
    ASSERT_TRUE(read.ok) << read.error;
    const tinygltf::Primitive& tubes = read.model.meshes.at(0).primitives.at(0);
    auto positions = AccessorValues<float>(read.model, tubes.attributes.at("POSITION"), 3);
    auto normals = AccessorValues<float>(read.model, tubes.attributes.at("NORMAL"), 3);
    auto places = AccessorValues<float>(read.model, tubes.attributes.at("_U"), 1);
    ASSERT_EQ(positions.size(), 3 * 3 * (17 + 17 + 1u));
    ASSERT_EQ(places.size(), 3 * (17 + 17 + 1u));
    for (size_t vertex = 0; vertex < places.size(); ++vertex) {
      double length = 0;
      for (int axis = 0; axis < 3; ++axis) length += std::pow(normals[3 * vertex + axis], 2);
      EXPECT_NEAR(length, 1, 1e-5) << vertex;
    }
    for (size_t ring = 0; ring < 35; ++ring) {
      double place = ring == 34 ? 0 : (ring % 17) / 16.0;
      double share = ring == 34 ? 1 : taper == dustweave::Taper::Comet ? place : 1 - place;
      auto [centre, radius] = RingAbout(positions, ring);
      EXPECT_NEAR(radius, SHAPE_WIDTH / 2 * share, 1e-6) << "ring " << ring;
      EXPECT_FLOAT_EQ(places[3 * ring], static_cast<float>(place)) << "ring " << ring;
      if (ring % 17 % 4 == 0 && ring < 34) {
        const auto& point = ShapePoint(ring / 17 * 5 + ring % 17 / 4);
        for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(centre[axis], point[axis], 1e-6) << "ring " << ring;
      }
      if (ring > 4 && ring < 12) {  // the end segments, whose end point stands in beyond it, are not even
        EXPECT_NEAR(centre[0], ring / 4.0, 1e-6) << "ring " << ring;
      }
    }
  }
}

// A tapered chain longer than the points held in memory waits in a scratch file: its rings, in
// the .obj as in the .glb, narrow from the first point's to nothing, each about its point.
TEST(TubeWriterTest, ATaperedChainPastMemoryIsDrawnWhole) {
  const uint64_t made = 2 * dustweave::ChainHold::IN_MEMORY + 5000;
  TempFolder folder;
  std::string error;
  dustweave::TubeObjWriter obj(SHAPE_WIDTH, {dustweave::Taper::Start});
  dustweave::TubeGlbWriter glb(SHAPE_WIDTH, false, dustweave::GLB_MAX_FILE_BYTES, nullptr, {dustweave::Taper::Start});
  ASSERT_TRUE(obj.Open(folder.File("tubes.obj"), &error)) << error;
  ASSERT_TRUE(glb.Open(folder.File("tubes.glb"), &error)) << error;
  FeedChain(obj, made);
  FeedChain(glb, made);
  ASSERT_TRUE(obj.Finish(&error) && glb.Finish(&error)) << error;
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"tubes.glb", "tubes.obj"}));
  tinyobj::ObjReader reader;
  ASSERT_TRUE(reader.ParseFromFile(folder.File("tubes.obj"))) << reader.Error();
  GlbRead read = ReadGlb(folder.File("tubes.glb"));
  ASSERT_TRUE(read.ok) << read.error;
  auto positions = AccessorValues<float>(read.model, read.model.meshes.at(0).primitives.at(0).attributes.at("POSITION"), 3);
  EXPECT_EQ(reader.GetAttrib().vertices, positions);
  ASSERT_EQ(positions.size(), 9 * made);
  for (uint64_t i = 0; i < made; i += 997) {
    auto [centre, radius] = RingAbout(positions, i);
    double rounding = 1e-6 * (1 + 0.25 * static_cast<double>(i));  // float32 positions' last bits
    EXPECT_NEAR(centre[0], static_cast<float>(i) * 0.25f, rounding) << "ring " << i;
    EXPECT_NEAR(radius, SHAPE_WIDTH / 2 * (1 - static_cast<double>(i) / (made - 1)), rounding) << "ring " << i;
  }
}

// Laid out in place for the points expected (as many, more or fewer) or spooled, the same bytes,
// over several blocks of every part.
TEST(TubeWriterTest, GlbTubesExpectedPointCountGivesTheSameFile) {
  const uint64_t made = 100001;
  TempFolder folder;
  std::string error, expected;
  for (uint64_t expectation : {uint64_t{0}, made, made + 1, made - 1, made - 40000}) {
    dustweave::TubeGlbWriter glb(0.1, true);
    ASSERT_TRUE(glb.Open(folder.File("tubes.glb"), &error)) << error;
    if (expectation > 0) glb.ExpectPoints(expectation);
    FeedChainWithStarts(glb, made);
    ASSERT_TRUE(glb.Finish(&error)) << error;
    if (expectation == 0) expected = ReadAll(folder.File("tubes.glb"));
    EXPECT_TRUE(ReadAll(folder.File("tubes.glb")) == expected) << "expecting " << expectation << " points";
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"tubes.glb"});
  }
}

// The crate's arrays of a vertex laid out in place for the curve points expected (as many, more or
// fewer, or a count that also holds a chain of one point) or spooled: the same bytes, over several
// blocks of every part, tapered (a width a vertex) or not.
TEST(UsdcWriterTest, ExpectedPointCountGivesTheSameFile) {
  const uint64_t made = 200001;
  TempFolder folder;
  std::string error;
  for (bool taper : {true, false}) {
    std::string expected;
    for (uint64_t expectation : {uint64_t{0}, made, made + 1, made - 1, made - 90000}) {
      dustweave::UsdcWriter usdc(0.1, {taper ? dustweave::Taper::Start : dustweave::Taper::None});
      ASSERT_TRUE(usdc.Open(folder.File("chains.usdc"), &error)) << error;
      if (expectation > 0) usdc.ExpectPoints(expectation);
      FeedChainWithStarts(usdc, made);
      double alone[3] = {1, 2, 3};
      usdc.AddPoint(made, alone);
      ASSERT_TRUE(usdc.Finish(&error)) << error;
      if (expectation == 0) expected = ReadAll(folder.File("chains.usdc"));
      EXPECT_TRUE(ReadAll(folder.File("chains.usdc")) == expected) << "expecting " << expectation << " points";
      EXPECT_EQ(folder.Entries(), std::vector<std::string>{"chains.usdc"});
    }
  }
}

// tinyobjloader reads the same tubes from the .obj: every face a triangle of valid vertices and
// normals, the start points as points of their own.
TEST(TubeWriterTest, ObjTubesOfEveryShapeAreRead) {
  TempFolder folder;
  std::string error;
  dustweave::TubeObjWriter obj(SHAPE_WIDTH);
  ASSERT_TRUE(obj.Open(folder.File("tubes.obj"), &error)) << error;
  FeedShapes(obj);
  ASSERT_TRUE(obj.Finish(&error)) << error;
  tinyobj::ObjReader reader;
  ASSERT_TRUE(reader.ParseFromFile(folder.File("tubes.obj"))) << reader.Error();
  const tinyobj::attrib_t& attrib = reader.GetAttrib();
  EXPECT_EQ(attrib.vertices.size(), 3 * (33 + 3u));
  EXPECT_EQ(attrib.normals.size(), 3 * 33u);
  for (float n : attrib.normals) EXPECT_TRUE(std::isfinite(n));
  size_t faces = 0, points = 0;
  for (const tinyobj::shape_t& shape : reader.GetShapes()) {
    faces += shape.mesh.num_face_vertices.size();
    for (unsigned char corners : shape.mesh.num_face_vertices) EXPECT_EQ(corners, 3);
    for (const tinyobj::index_t& index : shape.mesh.indices) {
      EXPECT_LT(static_cast<size_t>(index.vertex_index), 36u);
      EXPECT_LT(static_cast<size_t>(index.normal_index), 33u);
    }
    points += shape.points.indices.size();
  }
  EXPECT_EQ(faces, 50u);  // the one-point chain's ring closed both ways
  EXPECT_EQ(points, 3u);
}

// A long chain's tubes, their text made in many batches, hold in the .obj the .glb's vertices,
// normals and triangles, in its order.
TEST(TubeWriterTest, ObjTubesOfALongChainAreTheGlbs) {
  TempFolder folder;
  std::string error;
  dustweave::TubeObjWriter obj(SHAPE_WIDTH);
  dustweave::TubeGlbWriter glb(SHAPE_WIDTH, false);
  ASSERT_TRUE(obj.Open(folder.File("tubes.obj"), &error)) << error;
  ASSERT_TRUE(glb.Open(folder.File("tubes.glb"), &error)) << error;
  FeedChain(obj, 20000);
  FeedChain(glb, 20000);
  ASSERT_TRUE(obj.Finish(&error) && glb.Finish(&error)) << error;
  tinyobj::ObjReader reader;
  ASSERT_TRUE(reader.ParseFromFile(folder.File("tubes.obj"))) << reader.Error();
  GlbRead read = ReadGlb(folder.File("tubes.glb"));
  ASSERT_TRUE(read.ok) << read.error;
  const tinygltf::Primitive& tubes = read.model.meshes.at(0).primitives.at(0);
  EXPECT_EQ(reader.GetAttrib().vertices, AccessorValues<float>(read.model, tubes.attributes.at("POSITION"), 3));
  EXPECT_EQ(reader.GetAttrib().normals, AccessorValues<float>(read.model, tubes.attributes.at("NORMAL"), 3));
  std::vector<uint32_t> corners;
  for (const tinyobj::shape_t& shape : reader.GetShapes()) {
    for (const tinyobj::index_t& index : shape.mesh.indices) {
      EXPECT_EQ(index.normal_index, index.vertex_index);
      corners.push_back(static_cast<uint32_t>(index.vertex_index));
    }
  }
  EXPECT_EQ(corners, AccessorValues<uint32_t>(read.model, tubes.indices, 1));
  EXPECT_EQ(corners.size(), 3 * 6 * 19999u);
}

// The curves of the three shapes: a chain of one point is a point of the prim "singles" (a curve
// of one point draws nothing), which keeps its chain's number; every prim has its own extent, its
// points' bounds with half the width around them; nothing is NaN, the widths taper to nothing.
TEST(UsdaWriterTest, CurvesOfEveryShapeAreWholeCurves) {
  TempFolder folder;
  std::string error;
  dustweave::UsdaWriter usda(SHAPE_WIDTH, {dustweave::Taper::Start});
  ASSERT_TRUE(usda.Open(folder.File("chains.usda"), &error)) << error;
  FeedShapes(usda);
  ASSERT_TRUE(usda.Finish(&error)) << error;
  std::string text = ReadAll(folder.File("chains.usda"));
  EXPECT_EQ(text.find("nan"), std::string::npos);
  for (const char* expected :
       {"int[] curveVertexCounts = [5, 5]\n",
        "point3f[] points = [(0, 0, 0), (1, 0, 0), (2, 0, 0), (3, 0, 0), (4, 0, 0), (0, 2, 0), (1, 2, 0), (0, 2, 0), "
        "(0, 2, 0), (0, 3, 0)]\n",
        "float[] widths = [0.5, 0.375, 0.25, 0.125, 0, 0.5, 0.375, 0.25, 0.125, 0] (\n",
        "float[] primvars:u = [0, 0.25, 0.5, 0.75, 1, 0, 0.25, 0.5, 0.75, 1] (\n",
        "int[] primvars:chain = [0, 1] (\n            interpolation = \"uniform\"",
        "float3[] extent = [(-0.25, -0.25, -0.25), (4.25, 3.25, 0.25)]\n",
        "def Points \"singles\"\n    {\n        point3f[] points = [(5, 5, 5)]\n",
        "int[] primvars:chain = [2] (\n            interpolation = \"vertex\"",
        "float3[] extent = [(4.75, 4.75, 4.75), (5.25, 5.25, 5.25)]\n",
        "def Points \"starts\"\n    {\n        point3f[] points = [(0, 0, 0), (0, 2, 0), (5, 5, 5)]\n",
        "float3[] extent = [(-0.25, -0.25, -0.25), (5.25, 5.25, 5.25)]\n"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin\n" << text;
  }
}

// ---- the samples of a pfx file, told by its size ---------------------------------------------

// The samples SamplesBySize tells of a file of these bytes, from its start and its size.
std::optional<uint64_t> SamplesOfBytes(const std::vector<uint8_t>& bytes) {
  std::string start(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(bytes.size(), 64)));
  return dustweave::SamplesBySize(start, bytes.size());
}

TEST(PfxCountTest, SizeTellsTheSamplesOfAWholeFile) {
  pfxwrite::File file;
  file.indexLimit = 100;
  uint64_t samples = 0;
  // Tracks of 1 sample, none (span below 0), one whose counter jumps past the index limit.
  const int32_t tracks[][3] = {{0, 0, 0}, {10, 3, 0}, {0, 150, 20}, {7, 9, 0}};
  for (const auto& t : tracks) {
    file.tracks.push_back(pfxwrite::RuledTrack(t[0], t[1], t[2], file.indexLimit));
    samples += pfxwrite::SamplesOf(t[0], t[1], t[2], file.indexLimit);
  }
  EXPECT_EQ(SamplesOfBytes(pfxwrite::Encode(file)), samples);
  file.trailing = {1, 2, 3};  // less than a sample after the last track: still exact
  EXPECT_EQ(SamplesOfBytes(pfxwrite::Encode(file)), samples);
  pfxwrite::File none;
  none.particleCount = 0;
  EXPECT_EQ(SamplesOfBytes(pfxwrite::Encode(none)), 0u);
}

TEST(PfxCountTest, NothingIsToldOfAFileTooShortForItsHeads) {
  pfxwrite::File file;
  file.particleCount = 1000;  // more track heads than the file holds
  file.tracks.push_back(pfxwrite::RuledTrack(0, 50, 0, 100));
  EXPECT_EQ(SamplesOfBytes(pfxwrite::Encode(file)), std::nullopt);
  EXPECT_EQ(SamplesOfBytes(std::vector<uint8_t>{0, 0, 0, 3, 0, 0}), std::nullopt);
}

// ---- the frames of the samples the plug-in keeps ---------------------------------------------

// A track whose every sample holds its frame (firstIndex + j, 32-bit, j as the plainly written
// sample rule gives it), kept whole in x (low 16 bits) and y (high 16 bits).
pfxwrite::Track FramedTrack(int32_t first, int32_t last, int32_t resume, int32_t limit) {
  pfxwrite::Track track{first, last, resume, {0, 0, 0}, {}};
  for (int32_t j : SampleCounters(first, last, resume, limit)) {
    auto frame = static_cast<uint32_t>(first) + static_cast<uint32_t>(j);
    track.samples.push_back({static_cast<float>(frame & 0xFFFF), static_cast<float>(frame >> 16), 0});
  }
  return track;
}

// The frames the module's points carry, read back from x and y (held against the plain model's
// too), and the walker's frames of the same file, every one it gives.
std::pair<std::vector<int32_t>, std::vector<int32_t>> ModuleAndWalkedFrames(const std::vector<uint8_t>& bytes,
                                                                           std::optional<double> step, bool starts) {
  TempFile pfx(bytes);
  standin::HostScript script;
  script.file = pfx.path();
  script.step = step;
  script.startPolygon = starts;
  standin::Host host(script);
  std::string error;
  EXPECT_TRUE(standin::RunCommandOnce(ModulePath(), host, COMMAND_INTERFACE_VERSION, &error).has_value()) << error;
  std::vector<int32_t> made, walked(host.mesh.points.size() + 8);
  for (const auto& point : host.mesh.points) {
    made.push_back(static_cast<int32_t>(static_cast<uint32_t>(point[0]) | static_cast<uint32_t>(point[1]) << 16));
  }
  EXPECT_EQ(KeptFramesOf(bytes, step), made);
  dustweave::KeptFrames frames;
  EXPECT_TRUE(frames.Open(pfx.path(), step, &error)) << error;
  size_t taken = 0;
  for (size_t got = 1; got > 0; taken += got) got = frames.Take(walked.data() + taken, std::min<size_t>(3, walked.size() - taken));
  walked.resize(taken);
  EXPECT_EQ(frames.error(), "");
  return {made, walked};
}

// Tracks born and dying at different frames (before 0 too), counters that jump back (to the
// track's start, into it, past its end, to the last index there is), a span past the index
// limit that the cap ends, a frame that wraps past 2^31, tracks of one sample and none: the
// walker gives the frame of every point the module makes, in its order, whatever the step,
// with start points or not, and of a file cut at any byte just the points made before its end.
TEST(PfxFramesTest, EveryPointsFrameAsTheModuleMakesIt) {
  pfxwrite::File file;
  file.indexLimit = 12;
  const int32_t tracks[][3] = {{0, 10, 0},   {-7, 3, 0},    {30, 52, 0},  {5, 40, 4},  {100, 120, 25},
                               {9, 9, 0},    {20, 10, 0},   {-3, 30, INT32_MAX},     {1000, 1013, 13},
                               {INT32_MAX - 2, INT32_MIN + 2, 0}, {2, 60, -1}, {40, 47, 3}};
  for (const auto& t : tracks) file.tracks.push_back(FramedTrack(t[0], t[1], t[2], file.indexLimit));
  std::vector<uint8_t> bytes = pfxwrite::Encode(file);
  for (std::optional<double> step : {std::optional<double>{}, {0.5}, {0.3}, {0.37}, {0.05}}) {
    for (bool starts : {false, true}) {
      auto [made, walked] = ModuleAndWalkedFrames(bytes, step, starts);
      EXPECT_GT(made.size(), 20u);
      EXPECT_EQ(walked, made) << "step " << step.value_or(1) << (starts ? ", start points" : "");
    }
  }
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    auto [made, walked] = ModuleAndWalkedFrames({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)}, 0.3, false);
    ASSERT_EQ(walked, made) << "cut at " << cut;
  }
}

// ---- a pfx file over time -------------------------------------------------------------------------

using dustweave::AddPieces;
using dustweave::FrameReader;
using dustweave::PfxFrameIndex;
using dustweave::RunsOf;
using dustweave::TrackPiece;

// Where a track shows at a frame, walked sample by sample: the file's last sample at that frame,
// with the run of samples one frame apart around it; none where no sample lies, nor where the
// last one is the sample left out (`dropped`), which breaks its run.
struct ShownAt {
  uint64_t sample = 0, runFirst = 0, runLast = 0;
  bool operator==(const ShownAt&) const = default;
};
std::map<int64_t, ShownAt> WalkedFrames(const PfxTrack& track, int32_t indexLimit, uint64_t present,
                                        uint64_t dropped = UINT64_MAX) {
  std::vector<int64_t> frames;
  SampleWalk walk = BeginSampleWalk(track, indexLimit);
  for (int32_t j = 0; frames.size() < present && NextSample(walk, &j);) frames.push_back(int64_t{track.firstIndex} + j);
  std::map<int64_t, std::optional<ShownAt>> shown;
  for (uint64_t k = 0; k < frames.size(); ++k) {
    ShownAt at{k, k, k};
    while (at.runFirst > 0 && at.runFirst - 1 != dropped && frames[at.runFirst - 1] == frames[at.runFirst] - 1) --at.runFirst;
    while (at.runLast + 1 < frames.size() && at.runLast + 1 != dropped && frames[at.runLast + 1] == frames[at.runLast] + 1) ++at.runLast;
    shown[frames[k]] = k == dropped ? std::nullopt : std::optional<ShownAt>(at);
  }
  std::map<int64_t, ShownAt> kept;
  for (const auto& [frame, at] : shown) {
    if (at) kept[frame] = *at;
  }
  return kept;
}

TEST(PfxFramesTest, PiecesShowTheFilesLastSampleAtEachFrameWhateverTheJump) {
  for (int32_t span = -1; span <= 9; ++span) {
    for (int32_t limit = -2; limit <= 10; ++limit) {
      for (int32_t resume : {-3, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, INT32_MAX}) {
        PfxTrack track{-3, span - 3, resume, {0, 0, 0}};
        uint64_t all = pfxwrite::SamplesOf(track.firstIndex, track.lastIndex, resume, limit);
        for (uint64_t present : {all, all / 2, uint64_t{1}}) {
          // Each sample left out in turn (a NaN with --bad-samples drop), or none.
          for (uint64_t dropped = 0; dropped <= std::min(present, all); ++dropped) {
            std::map<int64_t, ShownAt> walked = WalkedFrames(track, limit, present, dropped), pieced;
            std::vector<TrackPiece> pieces;
            std::vector<std::pair<uint64_t, int64_t>> removed;
            AddPieces(RunsOf(track, limit, std::min(present, all)), 0, 0, &pieces);
            dustweave::PiecesWithout(&pieces, 0, {dropped}, &removed);
            for (const TrackPiece& piece : pieces) {
              for (int64_t frame = piece.shownFrom; frame <= piece.shownTo; ++frame) {
                EXPECT_EQ(pieced.count(frame), 0u) << "a frame shown twice";
                pieced[frame] = {piece.SampleAt(frame), piece.runFirst, piece.runLast};
              }
            }
            ASSERT_EQ(pieced, walked) << "span " << span << ", limit " << limit << ", resume " << resume << ", " << present
                                      << " samples, " << dropped << " left out";
          }
        }
      }
    }
  }
}

TEST(PfxFramesTest, IndexTellsTheLivingParticlesAndReadsTheirSamples) {
  pfxwrite::File file;
  file.indexLimit = 6;
  file.tracks = {pfxwrite::RuledTrack(0, 3, 0, 6, 100),    // frames 0-3
                 pfxwrite::RuledTrack(2, 10, 3, 6, 200),   // frames 2-8, then jumps back to 5 and 6
                 pfxwrite::RuledTrack(5, 5, 0, 6, 300),    // frame 5 alone
                 pfxwrite::RuledTrack(4, 3, 0, 6, 400)};   // no sample
  TempFile pfx(file);
  PfxFrameIndex index;
  std::string error;
  ASSERT_TRUE(index.Build(pfx.path(), &error)) << error;
  EXPECT_EQ(index.firstFrame(), 0);
  EXPECT_EQ(index.lastFrame(), 8);
  EXPECT_FALSE(index.endsEarly());
  FrameReader reader;
  ASSERT_TRUE(reader.Open(pfx.path(), index.tracks(), &error)) << error;
  // At frame 5 the second track shows its sample after the jump, whose trail begins at frame 5.
  std::vector<std::array<float, 4>> living;
  uint64_t trailPoints = 0;
  dustweave::LivingWalk walk(index);
  for (int64_t frame = index.firstFrame(); frame <= index.lastFrame(); ++frame) {
    for (const TrackPiece* each : walk.At(frame)) {
      const TrackPiece& piece = *each;
      uint64_t length = piece.SampleAt(frame) - piece.runFirst + 1;
      trailPoints += length >= 2 ? std::min<uint64_t>(length, 3) : 0;
      if (frame != 5) continue;
      float xyz[3];
      ASSERT_TRUE(reader.Sample(piece, piece.SampleAt(frame), xyz));
      living.push_back({static_cast<float>(piece.track), xyz[0], static_cast<float>(piece.runFirst), static_cast<float>(length)});
    }
  }
  std::vector<std::array<float, 4>> expected = {{1, 207, 7, 1}, {2, 300, 0, 1}};
  EXPECT_EQ(living, expected);
  EXPECT_EQ(index.TrailPoints(3), trailPoints);
  EXPECT_EQ(index.ParticlePoints(), 4u + 9u + 1u - 2u);  // frames 5 and 6 of the first run are the jump's
  // Cut inside the second track: its whole samples stay.
  std::vector<uint8_t> bytes = pfxwrite::Encode(file);
  bytes.resize(12 + 24 + 4 * 12 + 24 + 3 * 12 + 5);
  pfx.Write(bytes);
  ASSERT_TRUE(index.Build(pfx.path(), &error)) << error;
  EXPECT_TRUE(index.endsEarly());
  EXPECT_EQ(index.lastFrame(), 4);
  EXPECT_EQ(index.tracks(), 2u);
}

}  // namespace
