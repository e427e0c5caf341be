// One command run through the stand-in host, for the tests of the chain command: the options
// are set directly, RunChainCommand runs on a file, and the host keeps what was built.
#pragma once

#include <string>
#include <vector>

#include "base/memory.h"
#include "chain/command.h"
#include "standin/host.h"
#include "temp_file.h"

struct RunSettings {
  double step = 1.0;
  int startPolygon = 0;
  std::string surface = "Dust";
  standin::HostScript script = {};
};

class ChainRun {
 public:
  explicit ChainRun(const std::string& path, RunSettings settings = {}) : host(settings.script) {
    gMessages = host.messages();
    ChainOptions options;
    options.fileName = ModuleCopyText(path.c_str());
    options.surfaceName = ModuleCopyText(settings.surface.c_str());
    options.startPolygon = settings.startPolygon;
    options.stepPercent = settings.step;
    RunChainCommand(host.command(), &options);
    FreeChainOptions(&options);
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
};
