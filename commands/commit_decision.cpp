// The decision to write a command's files, from the activation's result, the boxes the module
// showed and the state of its mesh edit, as the stand-in host recorded them.
#include "commands/commit_decision.h"

#include "platform/path_queries.h"

namespace dustweave {

namespace {

constexpr const char* CUT_SHORT_TEXT = "unexpected end of pfx file";

bool IsDeclined(const standin::Box& box) { return box.kind == "okCancel" && (!box.answer || *box.answer == 0); }

}  // namespace

std::string Flattened(const std::string& text) {
  std::string flat;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') {
      flat += text[i];
      continue;
    }
    while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\n' || text[i + 1] == '\r')) ++i;
    if (!flat.empty() && i + 1 < text.size()) flat += ", ";
  }
  return flat;
}

CommitDecision DecideCommit(const standin::Host& host, int result, const std::string& input) {
  CommitDecision decision;
  auto holdBack = [&](Holdback holdback, std::string reason) {
    if (decision.holdback != Holdback::None) return;
    decision.holdback = holdback;
    decision.reason = std::move(reason);
  };
  if (result != 0) {
    holdBack(Holdback::Refused,
             "the module's activation failed with result " + std::to_string(result) + " (it refused this stand-in host)");
  }
  PathStatus status;
  if (!input.empty() && StatusOf(input, &status) == 0 && status.kind == PathKind::Folder) {
    holdBack(Holdback::NotAFile, input + " is a folder");
  }
  for (const standin::Box& box : host.boxes) {
    if (IsDeclined(box)) {
      holdBack(Holdback::Declined, "the question \"" + Flattened(box.text) + "\" was answered Cancel");
    } else if (box.kind != "okCancel" && box.text == CUT_SHORT_TEXT) {
      decision.cutShort = true;
    } else if (box.kind != "okCancel") {
      holdBack(Holdback::ErrorBox, "the module showed \"" + Flattened(box.text) + "\"");
    }
  }
  if (host.mesh.edit == standin::EditState::None) holdBack(Holdback::EditUnfinished, "the module began no mesh edit");
  if (host.mesh.edit == standin::EditState::Open) {
    holdBack(Holdback::EditUnfinished, "the module ended without completing its mesh edit");
  }
  return decision;
}

}  // namespace dustweave
