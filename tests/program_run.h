// Running the built dustweave program through the shell, as a user or a script does, and
// reading what it left: its exit status, standard output and standard error (Linux builds).
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temp_file.h"

struct Outcome {
  int status = -1;
  std::string out, err;
};

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// `program` with `args`, each quoted, after `prelude` (shell commands such as "cd DIR &&").
inline Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::string& prelude = "") {
  TempFile out(".out"), err(".err");
  std::string command = prelude + Quote(program);
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " >" + Quote(out.path()) + " 2>" + Quote(err.path()) + " </dev/null";
  int raw = std::system(command.c_str());
  Outcome outcome;
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  outcome.out = ReadText(out.path());
  outcome.err = ReadText(err.path());
  return outcome;
}

inline Outcome Dustweave(const std::vector<std::string>& args) { return RunProgram(DUSTWEAVE_PROGRAM, args); }
