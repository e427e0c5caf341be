// The built module end to end, loaded by path as the host loads it (DUSTWEAVE_MODULE, or the
// native build's module) and reached only through `_mod_descrip` and the host's records: the
// descriptor, the activation's result codes, the panel as the host receives it, surface choices,
// and the typical run with its OBJ read back by an independent reader. Runs on Windows too.
#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <fstream>

#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>

#include "kept_mesh.h"
#include "obj/obj_writer.h"
#include "pfxtools/pfx_writer.h"
#include "standin/host.h"
#include "standin/loader.h"
#include "temp_file.h"

namespace {

using standin::EditState;
using standin::Host;
using standin::HostScript;
using standin::ListEntry;

constexpr LWID FILE_ID = 0x8001, STEP_ID = 0x8002, START_POLY_ID = 0x8003, SURFACE_ID = 0x8004;
const std::vector<std::string> SERVICES = {"Info Messages 2", "LWXPanel", "Surface Functions 4"};

std::string ModulePath() {
  const char* given = std::getenv("DUSTWEAVE_MODULE");
  return given != nullptr && *given != '\0' ? given : DUSTWEAVE_DEFAULT_MODULE;
}

// ---- the typical file: 200 particles, index limit 100, tracks 0..100 ------------------------

float SampleCoordinate(int particle, int sample, int axis) {
  switch (axis) {
    case 0: return static_cast<float>(particle) * 0.37f + static_cast<float>(sample) * 0.1f;
    case 1: return static_cast<float>(sample) * 0.013f;
    default: return -static_cast<float>(sample) * 0.7f;
  }
}

pfxwrite::File TypicalFile() {
  pfxwrite::File file;
  file.indexLimit = 100;
  for (int p = 0; p < 200; ++p) {
    pfxwrite::Track track;
    track.lastIndex = 100;
    track.resumeIndex = 100;
    for (int k = 0; k <= 100; ++k) {
      track.samples.push_back({SampleCoordinate(p, k, 0), SampleCoordinate(p, k, 1), SampleCoordinate(p, k, 2)});
    }
    file.tracks.push_back(track);
  }
  return file;
}

// ---- the loaded module, once per suite --------------------------------------------------------

class LoadedModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = standin::LoadedModule::Load(ModulePath(), &loadError_);
    if (module_) serverData_ = module_->Startup();
    typical_ = std::make_unique<TempFile>(TypicalFile());
  }
  static void TearDownTestSuite() {
    if (module_) module_->Shutdown(serverData_);
    module_.reset();
    typical_.reset();
  }
  void SetUp() override { ASSERT_TRUE(module_) << loadError_; }

  static int Activate(Host& host, int version = COMMAND_INTERFACE_VERSION) {
    return module_->Activate(host, version, serverData_);
  }
  // A script that would read the typical file if the panel's answers were taken.
  static HostScript WithTypicalFile() {
    HostScript script;
    script.file = typical_->path();
    return script;
  }

  static std::unique_ptr<standin::LoadedModule> module_;
  static std::string loadError_;
  static void* serverData_;
  static std::unique_ptr<TempFile> typical_;
};

std::unique_ptr<standin::LoadedModule> LoadedModuleTest::module_;
std::string LoadedModuleTest::loadError_;
void* LoadedModuleTest::serverData_ = nullptr;
std::unique_ptr<TempFile> LoadedModuleTest::typical_;

// Nothing of the run happened: no box, no mesh edit, no geometry.
void ExpectNothingRan(const Host& host) {
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(host.mesh.edit, EditState::None);
  EXPECT_EQ(host.mesh.editBegins, 0);
  EXPECT_EQ(host.mesh.pointCount, 0u);
  EXPECT_EQ(host.mesh.polygonCount, 0u);
}

// ---- what the host reads from the module ------------------------------------------------------

using ModuleDescriptorTest = LoadedModuleTest;

TEST_F(ModuleDescriptorTest, HoldsTheThreeWordsAndOneCommandServer) {
  const ModuleDescriptor& descriptor = module_->descriptor();
  EXPECT_EQ(descriptor.sync, 0x04121994u);
  EXPECT_EQ(descriptor.sysVersion, 3u);
  EXPECT_EQ(descriptor.machine, 0x300u);
  ASSERT_NE(descriptor.startup, nullptr);
  ASSERT_NE(descriptor.shutdown, nullptr);
  const ServerRecord* servers = descriptor.serverDefs;
  ASSERT_NE(servers, nullptr);
  EXPECT_STREQ(servers[0].className, "CommandSequence");
  EXPECT_STREQ(servers[0].name, "mirod_dustweave");
  EXPECT_NE(servers[0].activate, nullptr);
  EXPECT_EQ(servers[0].tagInfo, nullptr);
  EXPECT_EQ(servers[1].className, nullptr);
  EXPECT_EQ(servers[1].name, nullptr);
  EXPECT_EQ(servers[1].activate, nullptr);
  EXPECT_EQ(servers[1].tagInfo, nullptr);
}

TEST_F(ModuleDescriptorTest, StartupGivesFourAndShutdownChangesNothing) {
  EXPECT_EQ(serverData_, reinterpret_cast<void*>(uintptr_t{4}));
  EXPECT_EQ(module_->Startup(), reinterpret_cast<void*>(uintptr_t{4}));
  module_->Shutdown(nullptr);
  module_->Shutdown(reinterpret_cast<void*>(uintptr_t{4}));
  HostScript script = WithTypicalFile();
  script.step = 0.25;
  Host host(script);
  EXPECT_EQ(Activate(host), 0);
  EXPECT_EQ(host.mesh.pointCount, 5200u);
}

// ---- the activation's result codes ----------------------------------------------------------

using ActivationTest = LoadedModuleTest;

TEST_F(ActivationTest, AnotherInterfaceVersionReturnsOneBeforeAnyLookup) {
  for (int version : {2, 4, 0, -3, INT_MIN}) {
    Host host(WithTypicalFile());
    EXPECT_EQ(Activate(host, version), 1) << version;
    EXPECT_TRUE(host.lookups.empty()) << version;
    EXPECT_EQ(host.panelsCreated, 0);
    ExpectNothingRan(host);
  }
}

TEST_F(ActivationTest, LooksUpTheThreeServicesInOrderWithUseCodeZero) {
  Host host;
  EXPECT_EQ(Activate(host), 0);
  EXPECT_EQ(host.lookups, SERVICES);
  EXPECT_EQ(host.lookupCodes, std::vector<int>(3, 0));
}

TEST_F(ActivationTest, EachMissingServiceReturnsTwoWithoutPanel) {
  for (const std::string& missing : SERVICES) {
    HostScript script = WithTypicalFile();
    script.withoutServices = {missing};
    Host host(script);
    EXPECT_EQ(Activate(host), 2) << missing;
    EXPECT_EQ(host.panelsCreated, 0) << missing;
    ExpectNothingRan(host);
  }
}

TEST_F(ActivationTest, SurfaceListThatCannotBeBuiltReturnsTwoWithoutPanel) {
  const std::vector<std::vector<std::optional<std::string>>> hosts = {
      {std::nullopt}, {"A", std::nullopt, "C"}, {"A", "B", std::nullopt}};
  for (const auto& surfaces : hosts) {
    HostScript script = WithTypicalFile();
    script.surfaces = surfaces;
    Host host(script);
    EXPECT_EQ(Activate(host), 2) << surfaces.size();
    EXPECT_EQ(host.panelsCreated, 0);
    ExpectNothingRan(host);
  }
}

TEST_F(ActivationTest, PanelThatCannotBeCreatedEndsQuietlyWithZero) {
  HostScript script = WithTypicalFile();
  script.failPanelCreate = true;
  Host host(script);
  EXPECT_EQ(Activate(host), 0);
  EXPECT_FALSE(host.panel.has_value());
  ExpectNothingRan(host);
}

TEST_F(ActivationTest, CancelReturnsZeroAndOpensNoFile) {
  // A file that cannot be opened would show "could not open file"; a readable one would begin
  // the mesh edit. Cancel does neither.
  for (const std::string& file : {typical_->path(), typical_->path() + ".missing"}) {
    HostScript script;
    script.file = file;
    script.cancelPanel = true;
    Host host(script);
    EXPECT_EQ(Activate(host), 0);
    ASSERT_TRUE(host.panel.has_value());
    EXPECT_TRUE(host.panel->posted());
    EXPECT_TRUE(host.panel->reads.empty());
    EXPECT_TRUE(host.panel->destroyed());
    ExpectNothingRan(host);
  }
}

TEST_F(ActivationTest, ActivationsAreIndependent) {
  // What one activation answered is not carried into the next: each starts from the initial
  // values and the host's surfaces of the moment.
  HostScript first = WithTypicalFile();
  first.surfaces = {"A", "B"};
  first.pick = 1;
  first.step = 0.5;
  first.startPolygon = true;
  {
    Host host(first);
    EXPECT_EQ(Activate(host), 0);
  }
  Host host;
  EXPECT_EQ(Activate(host), 0);
  ASSERT_TRUE(host.panel.has_value());
  EXPECT_EQ(host.panel->choices, std::vector<std::string>{"Default"});
  ASSERT_EQ(host.panel->initialValues.size(), 4u);
  EXPECT_EQ(host.panel->initialValues[0].text, "none");
  EXPECT_EQ(host.panel->initialValues[1].real, 1.0);
  EXPECT_EQ(host.panel->initialValues[2].integer, 0);
  ExpectNothingRan(host);
}

// ---- the panel as the host receives it ------------------------------------------------------

using PanelTest = LoadedModuleTest;

TEST_F(PanelTest, ControlAndDataListsAreExact) {
  Host host;
  ASSERT_EQ(Activate(host), 0);
  ASSERT_TRUE(host.panel.has_value());
  EXPECT_EQ(host.panel->createType, 2);
  const std::vector<ListEntry> controls = {{FILE_ID, "pfx file", "sFileName"},
                                           {START_POLY_ID, "poly at start", "iBoolean"},
                                           {STEP_ID, "step percent", "percent"},
                                           {SURFACE_ID, "surface", "iPopChoice"},
                                           {0, std::nullopt, std::nullopt}};
  const std::vector<ListEntry> data = {{FILE_ID, "pfx file", "string"},
                                       {START_POLY_ID, "poly at start", "integer"},
                                       {STEP_ID, "step percent", "float"},
                                       {SURFACE_ID, "surface", "integer"},
                                       {0, std::nullopt, std::nullopt}};
  EXPECT_EQ(host.panel->controls, controls);
  EXPECT_EQ(host.panel->data, data);
}

TEST_F(PanelTest, HintListGivesTheTitleAndThePopupChoices) {
  HostScript script;
  script.surfaces = {"Dust", "Ground"};
  Host host(script);
  ASSERT_EQ(Activate(host), 0);
  ASSERT_TRUE(host.panel.has_value());
  const std::vector<LWXPHint>& hints = host.panel->hints;
  ASSERT_EQ(hints.size(), 12u);
  EXPECT_EQ(hints[0], 0x3D000B03u);
  EXPECT_EQ(hints[1], 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(hints[2]), "mirod_dustweave");
  EXPECT_EQ(hints[3], 0u);
  EXPECT_EQ(hints[4], 0x3D021481u);
  EXPECT_EQ(hints[5], FILE_ID);
  EXPECT_EQ(hints[6], 0u);
  EXPECT_EQ(hints[7], 0x3D014503u);
  EXPECT_EQ(hints[8], SURFACE_ID);
  EXPECT_NE(hints[9], 0u);
  EXPECT_EQ(hints[10], 0u);
  EXPECT_EQ(hints[11], 0u);
  EXPECT_EQ(host.panel->title, "mirod_dustweave");
  EXPECT_EQ(host.panel->choices, (std::vector<std::string>{"Dust", "Ground"}));
}

TEST_F(PanelTest, InitialValuesAreSetInOrderBetweenHintsAndPost) {
  Host host;
  ASSERT_EQ(Activate(host), 0);
  ASSERT_TRUE(host.panel.has_value());
  const auto& sets = host.panel->initialValues;
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[0].id, FILE_ID);
  EXPECT_FALSE(sets[0].isNull);
  EXPECT_EQ(sets[0].text, "none");
  EXPECT_EQ(sets[1].id, STEP_ID);
  EXPECT_FALSE(sets[1].isNull);
  EXPECT_EQ(sets[1].real, 1.0);
  EXPECT_EQ(sets[2].id, START_POLY_ID);
  EXPECT_FALSE(sets[2].isNull);
  EXPECT_EQ(sets[2].integer, 0);
  EXPECT_EQ(sets[3].id, SURFACE_ID);
  EXPECT_TRUE(sets[3].isNull);
  const std::vector<std::string> calls = {"create", "describe", "hint",    "formSet", "formSet", "formSet",
                                          "formSet", "post",    "formGet", "formGet", "formGet", "formGet",
                                          "destroy"};
  EXPECT_EQ(host.panel->calls, calls);
}

TEST_F(PanelTest, AnswersAreReadInOrderBeforeTheDestroy) {
  Host host(WithTypicalFile());
  ASSERT_EQ(Activate(host), 0);
  ASSERT_TRUE(host.panel.has_value());
  EXPECT_EQ(host.panel->reads, (std::vector<LWID>{FILE_ID, START_POLY_ID, STEP_ID, SURFACE_ID}));
  EXPECT_TRUE(host.panel->destroyed());
  EXPECT_EQ(host.panel->calls.back(), "destroy");
}

TEST_F(PanelTest, AnyNonZeroPostIsOk) {
  // A host's OK of 2, -1 or 2^31 - 1 takes the answers and runs exactly as an OK of 1.
  HostScript script = WithTypicalFile();
  script.step = 0.5;
  script.surfaces = {"A", "B"};
  script.pick = 1;
  Host one(script);
  ASSERT_EQ(Activate(one), 0);
  ASSERT_EQ(one.mesh.pointCount, 200u * 51);
  for (int ok : {2, -1, 0x7fffffff}) {
    SCOPED_TRACE(testing::Message() << "OK is " << ok);
    script.okValue = ok;
    Host host(script);
    EXPECT_EQ(Activate(host), 0);
    ASSERT_TRUE(host.panel.has_value());
    EXPECT_EQ(host.panel->calls, one.panel->calls);
    EXPECT_EQ(host.panel->reads, one.panel->reads);
    EXPECT_EQ(host.calls(), one.calls());
    EXPECT_EQ(host.mesh.points, one.mesh.points);
    ASSERT_EQ(host.mesh.polygons.size(), one.mesh.polygons.size());
    for (size_t i = 0; i < host.mesh.polygons.size(); ++i) {
      ASSERT_EQ(host.mesh.polygons[i].points, one.mesh.polygons[i].points);
      ASSERT_EQ(host.mesh.polygons[i].surface, "B");
    }
  }
}

TEST_F(PanelTest, OkWithoutAnswersReadsNoFile) {
  // The file answer stays "none": nothing is opened, nothing is shown.
  Host host;
  EXPECT_EQ(Activate(host), 0);
  ExpectNothingRan(host);
}

TEST_F(PanelTest, NullAnswerIsTakenAsCancel) {
  for (LWID id : {FILE_ID, START_POLY_ID, STEP_ID, SURFACE_ID}) {
    HostScript script = WithTypicalFile();
    script.nullAnswers = {id};
    Host host(script);
    EXPECT_EQ(Activate(host), 0) << id;
    ASSERT_TRUE(host.panel.has_value());
    EXPECT_TRUE(host.panel->destroyed());
    ExpectNothingRan(host);
  }
}

// ---- surfaces -------------------------------------------------------------------------------

class SurfaceChoiceTest : public LoadedModuleTest {
 protected:
  // Runs the typical file with the host's `surfaces` and popup entry `pick`: the popup offers
  // `choices` and every polygon takes `surface`.
  void ExpectChoiceTaken(const std::vector<std::optional<std::string>>& surfaces, int pick,
                         const std::vector<std::string>& choices, const std::string& surface) {
    HostScript script = WithTypicalFile();
    script.surfaces = surfaces;
    script.pick = pick;
    Host host(script);
    ASSERT_EQ(Activate(host), 0);
    ASSERT_TRUE(host.panel.has_value());
    EXPECT_EQ(host.panel->choices, choices);
    ASSERT_EQ(host.mesh.polygons.size(), 20000u);
    for (const auto& polygon : host.mesh.polygons) ASSERT_EQ(polygon.surface, surface);
  }
};

TEST_F(SurfaceChoiceTest, NoSurfacesOfferOnlyDefault) { ExpectChoiceTaken({}, 0, {"Default"}, "Default"); }

TEST_F(SurfaceChoiceTest, ThirdOfThreeSurfacesIsTaken) {
  ExpectChoiceTaken({"A", "B", "C"}, 2, {"A", "B", "C"}, "C");
}

TEST_F(SurfaceChoiceTest, DuplicateNamesStaySeparateChoices) {
  ExpectChoiceTaken({"Dust", "Dust", "Rock"}, 1, {"Dust", "Dust", "Rock"}, "Dust");
}

TEST_F(SurfaceChoiceTest, PopupIndexOutsideTheListIsTakenAsCancel) {
  for (int pick : {3, -1, INT_MAX, INT_MIN}) {
    HostScript script = WithTypicalFile();
    script.surfaces = {"A", "B", "C"};
    script.pick = pick;
    Host host(script);
    EXPECT_EQ(Activate(host), 0) << pick;
    ASSERT_TRUE(host.panel.has_value());
    EXPECT_TRUE(host.panel->destroyed());
    ExpectNothingRan(host);
  }
}

// ---- the typical run ------------------------------------------------------------------------

// The typical run's kept samples: j = 0, 4, ..., 100 of each track.
std::array<double, 3> KeptSample(int particle, int kept) {
  return {SampleCoordinate(particle, 4 * kept, 0), SampleCoordinate(particle, 4 * kept, 1),
          SampleCoordinate(particle, 4 * kept, 2)};
}

class TypicalRun : public LoadedModuleTest {
 protected:
  void SetUp() override {
    LoadedModuleTest::SetUp();
    HostScript script = WithTypicalFile();
    script.step = 0.25;
    host_ = std::make_unique<Host>(script);
    result_ = Activate(*host_);
  }
  std::unique_ptr<Host> host_;
  int result_ = -1;
};

TEST_F(TypicalRun, Makes5200PointsAnd5000PolygonsInOneEndedEdit) {
  const standin::MeshRecord& mesh = host_->mesh;
  EXPECT_EQ(result_, 0);
  EXPECT_TRUE(host_->boxes.empty());
  EXPECT_EQ(mesh.editBegins, 1);
  EXPECT_EQ(mesh.edit, EditState::Ended);
  EXPECT_EQ(mesh.doneError, 0);
  EXPECT_EQ(mesh.doneSelectMode, 0);
  ASSERT_EQ(mesh.points.size(), 5200u);
  ASSERT_EQ(mesh.polygons.size(), 5000u);
  for (int p = 0; p < 200; ++p) {
    for (int k = 0; k < 26; ++k) ASSERT_EQ(mesh.points[p * 26 + k], KeptSample(p, k)) << p << " " << k;
    for (int k = 0; k < 25; ++k) {
      const standin::Polygon& polygon = mesh.polygons[p * 25 + k];
      ASSERT_EQ(polygon.surface, "Default");
      ASSERT_EQ(polygon.points, (std::vector<int64_t>{p * 26 + k, p * 26 + k + 1}));
    }
  }
}

struct ObjRead {
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<std::string> materials;  // usemtl names in order
  std::string warnings, errors;
  bool ok = false;
};

ObjRead ReadWithTinyObj(const std::string& path) {
  ObjRead read;
  std::vector<tinyobj::material_t> materials;
  read.ok = tinyobj::LoadObj(&read.attrib, &read.shapes, &materials, &read.warnings, &read.errors, path.c_str(),
                             nullptr, false);
  std::ifstream in(path, std::ios::binary);
  tinyobj::callback_t callback;
  callback.usemtl_cb = [](void* names, const char* name, int) {
    static_cast<std::vector<std::string>*>(names)->push_back(name);
  };
  std::string ignored;
  tinyobj::LoadObjWithCallback(in, callback, &read.materials, nullptr, &ignored, &ignored);
  return read;
}

TEST_F(TypicalRun, ObjIsReadBackByAnIndependentReader) {
  TempFile obj(".obj");
  std::string error;
  ASSERT_TRUE(WriteKeptMesh<dustweave::ObjWriter>(host_->mesh, obj.path(), &error)) << error;
  ObjRead read = ReadWithTinyObj(obj.path());
  ASSERT_TRUE(read.ok) << read.errors;
  ASSERT_EQ(read.attrib.vertices.size(), 3u * 5200u);
  for (size_t i = 0; i < 5200; ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      ASSERT_FLOAT_EQ(read.attrib.vertices[3 * i + axis], static_cast<float>(host_->mesh.points[i][axis]));
    }
  }
  std::vector<int> lineEnds;
  for (const tinyobj::shape_t& shape : read.shapes) {
    for (int count : shape.lines.num_line_vertices) ASSERT_EQ(count, 2);
    for (const tinyobj::index_t& index : shape.lines.indices) lineEnds.push_back(index.vertex_index);
    EXPECT_TRUE(shape.points.indices.empty());
  }
  ASSERT_EQ(lineEnds.size(), 2u * 5000u);
  for (size_t k = 0; k < 5000; ++k) {
    ASSERT_EQ(lineEnds[2 * k], host_->mesh.polygons[k].points[0]);
    ASSERT_EQ(lineEnds[2 * k + 1], host_->mesh.polygons[k].points[1]);
  }
  EXPECT_EQ(read.materials, std::vector<std::string>{"Default"});
}

TEST_F(TypicalRun, ObjCoordinatesReadBackToTheSameFloats) {
  // Every coordinate the module passes is a float32 widened exactly: read as a float32, its text
  // widens back to the very double the host received.
  TempFile obj(".obj");
  std::string error;
  ASSERT_TRUE(WriteKeptMesh<dustweave::ObjWriter>(host_->mesh, obj.path(), &error)) << error;
  std::ifstream lines(obj.path(), std::ios::binary);
  std::string line;
  size_t point = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("v ", 0) != 0) continue;
    const char* at = line.data() + 2;
    const char* end = line.data() + line.size();
    ASSERT_LT(point, host_->mesh.points.size());
    for (int axis = 0; axis < 3; ++axis) {
      float value = 0;
      auto parsed = std::from_chars(at, end, value);
      ASSERT_EQ(parsed.ec, std::errc()) << line;
      ASSERT_EQ(static_cast<double>(value), host_->mesh.points[point][axis]) << line;
      at = parsed.ptr + (parsed.ptr < end ? 1 : 0);
    }
    ++point;
  }
  EXPECT_EQ(point, 5200u);
}

// ---- the last point ID ------------------------------------------------------------------------
// A point ID is pointer-sized, so the host can number UINTPTR_MAX points (4,294,967,295 in a
// 32-bit build). The seam starts the numbering that close to its end.

class PointLimit : public LoadedModuleTest {
 protected:
  // The typical run at step 0.25 (26 points, 25 polygons a particle) with IDs left for `room`.
  std::unique_ptr<Host> RunWithRoomFor(uint64_t room, bool discard = false) {
    HostScript script = WithTypicalFile();
    script.step = 0.25;
    script.discardMesh = discard;
    script.pointIdsTaken = UINTPTR_MAX - room;
    auto host = std::make_unique<Host>(script);
    EXPECT_EQ(Activate(*host), 0);
    return host;
  }
};

TEST_F(PointLimit, PointsPastTheLastIdAreRefusedAndSaidOnce) {
  std::unique_ptr<Host> host = RunWithRoomFor(60);  // two whole chains and 8 points of the third
  const standin::MeshRecord& mesh = host->mesh;
  EXPECT_TRUE(mesh.pointLimitReached);
  EXPECT_EQ(mesh.pointCount, 60u);
  ASSERT_EQ(mesh.points.size(), 60u);
  ASSERT_EQ(host->boxes.size(), 1u);
  EXPECT_EQ(host->boxes[0].kind, "host");
  EXPECT_EQ(host->boxes[0].text, standin::POINT_LIMIT_TEXT);
  EXPECT_EQ(mesh.edit, EditState::Ended);
  EXPECT_EQ(mesh.points[59], KeptSample(2, 7));
}

TEST_F(PointLimit, NoPolygonNamesARefusedOrWrongPoint) {
  std::unique_ptr<Host> host = RunWithRoomFor(60);
  const standin::MeshRecord& mesh = host->mesh;
  ASSERT_EQ(mesh.polygons.size(), 25u + 25u + 7u);
  for (size_t k = 0; k < mesh.polygons.size(); ++k) {
    int64_t chain = static_cast<int64_t>(k) / 25, link = static_cast<int64_t>(k) % 25;
    ASSERT_EQ(mesh.polygons[k].points, (std::vector<int64_t>{chain * 26 + link, chain * 26 + link + 1})) << k;
  }
}

TEST_F(PointLimit, IdsEndingAtTheLastOneNameTheRightPoints) {
  std::unique_ptr<Host> host = RunWithRoomFor(5200);  // exactly the run's points
  const standin::MeshRecord& mesh = host->mesh;
  EXPECT_FALSE(mesh.pointLimitReached);
  EXPECT_TRUE(host->boxes.empty());
  ASSERT_EQ(mesh.points.size(), 5200u);
  ASSERT_EQ(mesh.polygons.size(), 5000u);
  EXPECT_EQ(mesh.polygons.back().points, (std::vector<int64_t>{5198, 5199}));
}

TEST_F(PointLimit, ACountedRunIsRefusedAtTheSamePoint) {
  std::unique_ptr<Host> host = RunWithRoomFor(60, true);
  EXPECT_TRUE(host->mesh.pointLimitReached);
  EXPECT_EQ(host->mesh.pointCount, 60u);
  EXPECT_EQ(host->mesh.polygonCount, 57u);
  EXPECT_EQ(host->boxes.size(), 1u);
}

}  // namespace
