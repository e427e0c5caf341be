// Whether a command's files are written once the module has run: the one decision `run` and
// `convert` share. They are written only when the activation succeeded, the module ended its
// mesh edit, showed no error box but "unexpected end of pfx file" (a file cut short keeps the
// chains of its whole samples) and no question was answered Cancel; and the file it read was a
// file (a folder opens where the system lets it, and reads as a file cut short before its start).
#pragma once

#include <string>

#include "standin/host.h"

namespace dustweave {

struct CommitDecision {
  int status = 0;         // 0: the files are written; else the exit status of a command that stops
  std::string reason;     // why not, as a clause: "the module showed \"could not open file\""
  bool boxSaid = false;   // the module's own box has said why on standard error
  bool cutShort = false;  // the file ended early (the files are written all the same)
  bool commit() const { return status == 0; }
};

// `input` is the file the panel was answered with (empty: none).
CommitDecision DecideCommit(const standin::Host& host, int result, const std::string& input);

// A box's text on one line: "wrong pfx file version (2)\n continue ?" -> "wrong pfx file
// version (2), continue ?"
std::string Flattened(const std::string& text);

}  // namespace dustweave
