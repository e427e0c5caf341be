// The run's reports, built from what the stand-in host recorded.
#include "commands/report.h"

#include <nlohmann/json.hpp>

#include "writers/number_text.h"

namespace dustweave {

namespace {

using Json = nlohmann::ordered_json;

Json OptionalText(const std::optional<std::string>& text) { return text ? Json(*text) : Json(nullptr); }

const char* EditText(standin::EditState state) {
  switch (state) {
    case standin::EditState::Open: return "open";
    case standin::EditState::Ended: return "ended";
    case standin::EditState::None: break;
  }
  return "none";
}

Json PanelJson(const std::optional<standin::PanelRecord>& panel) {
  if (!panel) return nullptr;
  return Json{{"title", OptionalText(panel->title)}, {"choices", panel->choices}};
}

}  // namespace

std::string SummaryLine(const standin::Host& host, int result, const std::string& nothingWritten) {
  std::string line = Counted(host.mesh.pointCount, "point", "points") + ", " +
                     Counted(host.mesh.polygonCount, "polygon", "polygons") + ", result " + std::to_string(result);
  return nothingWritten.empty() ? line : line + "; nothing written: " + nothingWritten;
}

std::string JsonReport(const standin::Host& host, int result, const std::string& nothingWritten) {
  Json boxes = Json::array();
  for (const standin::Box& box : host.boxes) {
    boxes.push_back(Json{{"kind", box.kind},
                         {"title", OptionalText(box.title)},
                         {"text", box.text},
                         {"answer", box.answer ? Json(*box.answer) : Json(nullptr)}});
  }
  Json report{{"result", result},
              {"boxes", boxes},
              {"panel", PanelJson(host.panel)},
              {"edit", EditText(host.mesh.edit)},
              {"points", host.mesh.pointCount},
              {"polygons", host.mesh.polygonCount}};
  if (!nothingWritten.empty()) report["nothingWritten"] = nothingWritten;
  // Texts are the host's 8-bit bytes: anything that is not UTF-8 is replaced, not refused.
  return report.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string BoxLine(const standin::Box& box) {
  auto quoted = [](const std::string& text) {
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
  };
  std::string line = "box ";
  line += box.kind;
  if (box.title) {
    line += ' ';
    line += quoted(*box.title);
  }
  line += ": ";
  line += quoted(box.text);
  if (box.answer) line += *box.answer != 0 ? " -> ok" : " -> cancel";
  return line;
}

}  // namespace dustweave
