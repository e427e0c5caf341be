// Running the built dustweave program through the shell, as a user or a script does, and
// reading what it left: its exit status, standard output and standard error (Linux builds);
// and the small pfx file the program suites run it on.
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

// Whether the programs built here run under AddressSanitizer (the asan build), whose shadow
// memory takes more address space than any limit on it leaves.
#if defined(__SANITIZE_ADDRESS__)
#define BUILT_WITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BUILT_WITH_ASAN 1
#endif
#endif
#ifndef BUILT_WITH_ASAN
#define BUILT_WITH_ASAN 0
#endif

// What starts a program built here: nothing natively; in a build for another processor the
// emulator's command (DUSTWEAVE_LAUNCHER, qemu-i386-static for 32-bit Linux).
#ifndef DUSTWEAVE_LAUNCHER
#define DUSTWEAVE_LAUNCHER ""
#endif

// `program` (one built here) as a shell command's start.
inline std::string Launched(const std::string& program) {
  const std::string launcher = DUSTWEAVE_LAUNCHER;
  return launcher.empty() ? Quote(program) : Quote(launcher) + " " + Quote(program);
}

// The argument list that starts `args[0]` (one built here) with the rest as its arguments.
inline std::vector<std::string> LaunchedArgs(std::vector<std::string> args) {
  const std::string launcher = DUSTWEAVE_LAUNCHER;
  if (!launcher.empty()) args.insert(args.begin(), launcher);
  return args;
}

// A shell command's status and what it wrote, with no standard input.
inline Outcome RunCommand(const std::string& command) {
  TempFile out(".out"), err(".err");
  std::string redirected = command + " >" + Quote(out.path()) + " 2>" + Quote(err.path()) + " </dev/null";
  int raw = std::system(redirected.c_str());
  Outcome outcome;
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  outcome.out = ReadText(out.path());
  outcome.err = ReadText(err.path());
  return outcome;
}

// `program` (one built here) with `args`, each quoted, after `prelude` (shell commands such as
// "cd DIR &&").
inline Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::string& prelude = "") {
  std::string command = prelude + Launched(program);
  for (const std::string& arg : args) command += " " + Quote(arg);
  return RunCommand(command);
}

// A small pfx file: three tracks 0..4 with index limit 4, five samples each, 84 bytes a track,
// 264 bytes in all.
inline pfxwrite::File SmallFile(int32_t version = 3) {
  pfxwrite::File file;
  file.version = version;
  file.indexLimit = 4;
  for (int t = 0; t < 3; ++t) file.tracks.push_back(pfxwrite::RuledTrack(0, 4, 4, 4, static_cast<float>(t)));
  return file;
}

inline Outcome Dustweave(const std::vector<std::string>& args) { return RunProgram(DUSTWEAVE_PROGRAM, args); }
