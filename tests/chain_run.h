// One command run through the stand-in host, for the tests of the chain command: the options
// are set directly, RunChainCommand runs on a file, and the host keeps what was built, with the
// module's close of its file in the host's call log.
#pragma once

#include <string>
#include <vector>

#include "base/memory.h"
#include "chain/command.h"
#include "standin/host.h"
#include "temp_file.h"

// While it lives, each file the module closes is noted as "close" in the host's call log.
class FileClosesNoted {
 public:
  explicit FileClosesNoted(standin::Host& host) { ModuleOnFileClosed(Noted, &host); }
  ~FileClosesNoted() { ModuleOnFileClosed(nullptr, nullptr); }
  FileClosesNoted(const FileClosesNoted&) = delete;
  FileClosesNoted& operator=(const FileClosesNoted&) = delete;

 private:
  static void Noted(void* host) { static_cast<standin::Host*>(host)->Note("close"); }
};

// The call log of a run that ended with the file cut short, having made `points` points and
// `polygons` polygons: the edit ended and the file closed before the box.
inline std::vector<std::string> CutShortCalls(uint64_t points, uint64_t polygons) {
  std::vector<std::string> calls = {"editBegin"};
  if (points != 0 || polygons != 0) {
    calls.push_back("mesh: " + std::to_string(points) + " points, " + std::to_string(polygons) + " polygons");
  }
  for (const char* call : {"done", "close", "error: unexpected end of pfx file"}) calls.push_back(call);
  return calls;
}

struct RunSettings {
  double step = 1.0;
  int startPolygon = 0;
  std::string surface = "Dust";
  standin::HostScript script = {};
};

class ChainRun {
 public:
  explicit ChainRun(const std::string& path, RunSettings settings = {}) : host(settings.script) {
    FileClosesNoted closes(host);
    gMessages = host.messages();
    long live = ModuleAllocLive();
    ChainOptions options;
    options.fileName = ModuleCopyText(path.c_str());
    options.surfaceName = ModuleCopyText(settings.surface.c_str());
    options.startPolygon = settings.startPolygon;
    options.stepPercent = settings.step;
    RunChainCommand(host.command(), &options);
    FreeChainOptions(&options);
    allocationsLeft = ModuleAllocLive() - live;
  }
  // Runs on a scratch file holding these bytes.
  explicit ChainRun(const std::vector<uint8_t>& bytes, RunSettings settings = {})
      : ChainRun(TempFile(bytes).path(), std::move(settings)) {}

  // The x coordinate of every point, which RuledTrack makes base + sample number.
  std::vector<double> Xs() const {
    std::vector<double> xs;
    for (const auto& point : host.mesh.points) xs.push_back(point[0]);
    return xs;
  }
  size_t PolygonsOfSize(size_t size) const {
    size_t count = 0;
    for (const auto& polygon : host.mesh.polygons) count += polygon.points.size() == size;
    return count;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : host.boxes) texts.push_back(box.text);
    return texts;
  }
  // Each box as "kind: text".
  std::vector<std::string> Boxes() const {
    std::vector<std::string> boxes;
    for (const auto& box : host.boxes) boxes.push_back(box.kind + ": " + box.text);
    return boxes;
  }

  standin::Host host;
  long allocationsLeft = 0;  // module allocations the run left live
};
