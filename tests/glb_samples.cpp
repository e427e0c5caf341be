// Writes a few .glb files through the built module into the folder given, for the Khronos glTF
// validator to check (tests/gltf/validate.js): chains alone, chains led by one-point polygons, a
// run without polygons, an odd surface name, and a large mesh with its line indices passing
// through scratch files, or written in place from the sample count told by the file's size;
// and with the chain attributes and frames: chains of one, two and many points, led by one-point
// polygons or not, a run without polygons and a large mesh; and as tubes: lit, with and without
// the attributes, led by start points, chains of one point closed both ways, and smoothed and
// tapered to nothing (rings of radius 0) both ways.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "chain_model.h"
#include "kept_mesh.h"
#include "gltf/glb_writer.h"
#include "gltf/tube_glb_writer.h"
#include "pfxtools/pfx_generate.h"
#include "standin/loader.h"

namespace {

struct Sample {
  const char* name;
  int particles, first, last;
  bool startPolygon;
  const char* surface;  // null: the host has none
  bool counted = false;  // the writer told the point count beforehand
  bool attributes = false;  // with COLOR_0, _CHAIN, _U, _FRAME and TEXCOORD_0
  bool tubes = false;       // the chains as tubes 0.05 wide
  dustweave::ChainShape shape = {};  // the tubes' taper and smoothing
};

bool Write(const Sample& sample, const std::string& folder, std::string* error) {
  dustweave::DustSettings settings;
  settings.particles = sample.particles;
  settings.indexLimit = 1000;
  settings.firstIndex = sample.first;
  settings.lastIndex = sample.last;
  dustweave::GeneratedFile written;
  std::string pfx = folder + "/" + sample.name + ".pfx";
  if (!dustweave::GenerateDustFile(settings, pfx, &written, error)) return false;
  std::ifstream in(pfx, std::ios::binary);
  ListedFrames frames(KeptFramesOf({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}, {}));
  std::unique_ptr<dustweave::GlbFile> writer;
  if (sample.tubes) {
    writer = std::make_unique<dustweave::TubeGlbWriter>(0.05, sample.attributes, dustweave::GLB_MAX_FILE_BYTES, &frames, sample.shape);
  } else {
    writer = std::make_unique<dustweave::GlbWriter>(dustweave::GLB_MAX_FILE_BYTES, sample.attributes, &frames);
  }
  dustweave::GlbFile& glb = *writer;
  if (!glb.Open(folder + "/" + sample.name + ".glb", error)) return false;
  if (sample.counted) {
    glb.ExpectPoints(written.samples);  // what the file's size tells, as convert finds it
  }
  standin::HostScript script;
  script.file = pfx;
  script.startPolygon = sample.startPolygon;
  script.sink = &glb;
  if (sample.surface != nullptr) script.surfaces = {sample.surface};
  standin::Host host(script);
  std::optional<int> result = standin::RunCommandOnce(DUSTWEAVE_DEFAULT_MODULE, host, COMMAND_INTERFACE_VERSION, error);
  std::remove(pfx.c_str());
  if (!result) return false;
  return glb.Finish(error);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: glb_samples FOLDER\n");
    return 64;
  }
  std::string folder = argv[1];
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const Sample samples[] = {
      {"chains", 200, 0, 100, false, nullptr},
      {"chains-led-by-points", 200, 0, 100, true, "Dust"},
      {"no-polygons", 50, 7, 7, false, nullptr},
      {"odd-surface-name", 20, 0, 30, true, "d\xc3\xbcst \"devil\" \\ \x01 \xff"},
      {"large", 3000, 0, 299, true, nullptr},
      {"large-counted", 3000, 0, 299, true, nullptr, true},
      {"attributes-chains", 200, 0, 100, false, nullptr, false, true},
      {"attributes-led-by-points", 200, 0, 100, true, "Dust", true, true},
      {"attributes-chains-of-one", 50, 7, 7, true, nullptr, false, true},
      {"attributes-chains-of-two", 50, 3, 4, false, nullptr, false, true},
      {"attributes-no-polygons", 50, 7, 7, false, nullptr, false, true},
      {"attributes-large", 3000, 0, 299, true, nullptr, true, true},
      {"tubes", 200, 0, 100, false, nullptr, true, false, true},
      {"tubes-attributes-led-by-points", 200, 0, 100, true, "Dust", true, true, true},
      {"tubes-chains-of-one", 50, 7, 7, true, nullptr, false, true, true},
      {"tubes-smooth-tapered", 200, 0, 100, true, nullptr, false, true, true, {dustweave::Taper::Start, 4}},
      {"tubes-smooth-comet", 200, 0, 100, false, nullptr, false, false, true, {dustweave::Taper::Comet, 3}},
  };
  for (const Sample& sample : samples) {
    std::string error;
    if (!Write(sample, folder, &error)) {
      std::fprintf(stderr, "glb_samples: %s: %s\n", sample.name, error.c_str());
      return 1;
    }
  }
  std::printf("%zu .glb files in %s\n", std::size(samples), folder.c_str());
  return 0;
}
