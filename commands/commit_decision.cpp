// The decision to write a command's files, from the activation's result, the boxes the module
// showed and the state of its mesh edit, as the stand-in host recorded them.
#include "commands/commit_decision.h"

#include "commands/exit_status.h"
#include "platform/path_queries.h"

namespace dustweave {

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
  auto holdBack = [&](int status, std::string reason, bool boxSaid = false) {
    if (decision.status != 0) return;
    decision = {status, std::move(reason), boxSaid, decision.cutShort};
  };
  if (result != 0) {
    holdBack(EXIT_NOT_DONE,
             "the module's activation failed with result " + std::to_string(result) + " (it refused this stand-in host)");
  }
  PathStatus status;
  if (!input.empty() && StatusOf(input, &status) == 0 && status.kind == PathKind::Folder) {
    holdBack(EXIT_NOT_DONE, input + " is a folder");
  }
  for (const standin::Box& box : host.boxes) {
    bool question = box.kind == "okCancel";
    if (question && (!box.answer || *box.answer == 0)) {
      holdBack(EXIT_DECLINED, "the question \"" + Flattened(box.text) + "\" was answered Cancel", true);
    } else if (!question && box.text == "unexpected end of pfx file") {
      decision.cutShort = true;
    } else if (!question) {
      holdBack(EXIT_NOT_DONE, "the module showed \"" + Flattened(box.text) + "\"", true);
    }
  }
  if (host.mesh.edit == standin::EditState::None) holdBack(EXIT_NOT_DONE, "the module began no mesh edit");
  if (host.mesh.edit == standin::EditState::Open) {
    holdBack(EXIT_NOT_DONE, "the module ended without completing its mesh edit");
  }
  return decision;
}

}  // namespace dustweave
