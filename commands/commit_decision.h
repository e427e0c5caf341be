// Whether a command's files are written once the module has run: the one decision `run` and
// `convert` share. They are written only when the activation succeeded, the module ended its
// mesh edit, showed no error box but "unexpected end of pfx file" (a file cut short keeps the
// chains of its whole samples) and no question was answered Cancel; and the file it read was a
// file (a folder opens where the system lets it, and reads as a file cut short before its start).
#pragma once

#include <string>

#include "standin/host.h"

namespace dustweave {

// What keeps the files from being written.
enum class Holdback {
  None,          // they are written
  Refused,       // the activation failed (it refused this host)
  NotAFile,      // the file answered is a folder
  Declined,      // a question was answered Cancel
  ErrorBox,      // the module showed an error other than the file's early end
  EditUnfinished // the module began no mesh edit, or did not end the one it began
};

struct CommitDecision {
  Holdback holdback = Holdback::None;
  std::string reason;     // why not, as a clause: "the module showed \"could not open file\""
  bool cutShort = false;  // the file ended early (the files are written all the same)
  bool commit() const { return holdback == Holdback::None; }
};

// `input` is the file the panel was answered with (empty: none).
CommitDecision DecideCommit(const standin::Host& host, int result, const std::string& input);

// A box's text on one line: "wrong pfx file version (2)\n continue ?" -> "wrong pfx file
// version (2), continue ?"
std::string Flattened(const std::string& text);

}  // namespace dustweave
