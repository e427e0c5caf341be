// Every file operation of each command that writes, broken in turn. A command's operations are
// counted in a clean run (the file layer's seam logs each one); then for each operation N the
// command runs again with N failing once, with N and every later one failing, and stopped dead
// (killed) just before N, followed by the same command run clean. After each run: every output
// name holds its older bytes or the whole new ones, with the permission bits it had, and OUTPUT
// holds its new file only when every output does; nothing beside the names holds an older file's
// bytes. A command that ends on its own says what it did (status 0 and every new file, or status
// 10 and a line naming the failure and, once a name holds its new file, what each name holds),
// and leaves nothing beside the outputs but what it said it could not remove (nothing at all when
// one operation failed once); the next command after one that left a preview new and OUTPUT old,
// or after a kill, writes the whole new files and sweeps only what the earlier one left (a file
// killed before its mark is named instead), and a user's file named like a temporary one stays
// through every run. The
// commands are the program's own main, run in forked children (Linux). Under AddressSanitizer
// and in the 32-bit build under qemu (FAULT_SEARCH_ONCE_ONLY), where each run costs several times
// as much, the search breaks each operation once: the memory of every failure path and the 32-bit
// arithmetic of the cleanup after it are checked there, and kills here in the plain build.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "platform/file_seam.h"
#include "program_run.h"
#include "temp_file.h"

int DustweaveMain(int argc, char** argv);  // commands/main.cpp, compiled under this name here

#ifndef FAULT_SEARCH_ONCE_ONLY
#define FAULT_SEARCH_ONCE_ONLY BUILT_WITH_ASAN
#endif

namespace {

namespace fs = std::filesystem;

constexpr int NOT_DONE = 10;
constexpr const char* SUMMARY_FILE = "fault-search-summary.txt";  // in the folder the tests run in
constexpr mode_t OLDER_MODE = 0640;  // the older files' bits, which the new files must keep

// ---- the commands searched ------------------------------------------------------------------

// A command writing into the folder OUT (its outputs named there, OUTPUT first) from the inputs
// in IN.
struct Command {
  std::string title;
  std::vector<std::string> args;
  std::vector<std::string> outputs;
};

std::vector<Command> Commands() {
  std::vector<Command> commands;
  for (const char* mesh : {"chains.obj", "chains.glb", "chains.glb --attributes"}) {
    for (bool preview : {false, true}) {
      for (bool thinned : {false, true}) {
        std::string name = std::string(mesh).substr(0, 10);
        Command c{std::string("convert ") + mesh + (preview ? " --svg" : "") + (thinned ? " --step 0.25" : ""),
                  {"convert", "IN/small.pfx", "OUT/" + name, "--module", DUSTWEAVE_MODULE_FILE},
                  {name}};
        if (std::string(mesh).find("--attributes") != std::string::npos) c.args.push_back("--attributes");
        if (preview) c.args.insert(c.args.end(), {"--svg", "OUT/preview.svg"}), c.outputs.push_back("preview.svg");
        if (thinned) c.args.insert(c.args.end(), {"--step", "0.25"});
        commands.push_back(c);
      }
    }
  }
  // A file cut short, whose size promises fewer samples than it holds: the .glb's streams, laid
  // out for that many points, move into scratch files once more come, and are copied back.
  commands.push_back({"convert chains.glb --attributes, the input cut short",
                      {"convert", "IN/cut.pfx", "OUT/chains.glb", "--module", DUSTWEAVE_MODULE_FILE, "--attributes"},
                      {"chains.glb"}});
  // The tubes and the USD curves, each with its parts beside the output until the end.
  commands.push_back({"convert chains.glb --tubes --attributes --start-poly",
                      {"convert", "IN/small.pfx", "OUT/chains.glb", "--module", DUSTWEAVE_MODULE_FILE, "--tubes",
                       "--attributes", "--start-poly"},
                      {"chains.glb"}});
  commands.push_back({"convert chains.usda --start-poly",
                      {"convert", "IN/small.pfx", "OUT/chains.usda", "--module", DUSTWEAVE_MODULE_FILE, "--start-poly"},
                      {"chains.usda"}});
  // The crate: its colours and places laid out in place behind the points, its head written last.
  commands.push_back({"convert chains.usdc --taper",
                      {"convert", "IN/small.pfx", "OUT/chains.usdc", "--module", DUSTWEAVE_MODULE_FILE, "--taper"},
                      {"chains.usdc"}});
  // Tapered tubes whose chains pass the points held in memory: each waits in a scratch file.
  commands.push_back({"convert chains.obj --tubes --taper comet, chains past memory",
                      {"convert", "IN/long.pfx", "OUT/chains.obj", "--module", DUSTWEAVE_MODULE_FILE, "--tubes", "--taper", "comet"},
                      {"chains.obj"}});
  // The animated layers: read through the input's index, the crate's value reps put back.
  for (const char* name : {"animated.usda", "animated.usdc"}) {
    commands.push_back({std::string("convert ") + name + " --animate",
                        {"convert", "IN/small.pfx", std::string("OUT/") + name, "--animate", "--trail-frames", "3"},
                        {name}});
  }
  commands.push_back({"run --obj --svg --html",
                      {"run", DUSTWEAVE_MODULE_FILE, "--file", "IN/small.pfx", "--obj", "OUT/chains.obj", "--svg",
                       "OUT/preview.svg", "--html", "OUT/preview.html"},
                      {"chains.obj", "preview.svg", "preview.html"}});
  commands.push_back({"generate", {"generate", "OUT/dust.pfx", "--particles", "30", "--force"}, {"dust.pfx"}});
  return commands;
}

// ---- a run in a child -----------------------------------------------------------------------

struct Ran {
  int status = -1;      // the exit status when it ended on its own
  bool killed = false;  // stopped dead by the plan
  std::string out, err;
};

// The places of one search, removed with all they hold at its end: the inputs, the outputs'
// folder, what a child prints. On a tmpfs where there is one that keeps the program's marks:
// flushing to a disk would only make the search slower.
struct Places {
  Places() {
    bool shm = access("/dev/shm", W_OK) == 0 && HoldsMarks("/dev/shm/dustweave-marks-" + std::to_string(getpid()));
    std::string base = shm ? "/dev/shm" : fs::temp_directory_path().string();
    root = base + "/dustweave-fault-search-" + std::to_string(getpid()) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    in = root + "/in";
    out = root + "/out";
    fs::create_directories(in);
    fs::create_directories(out);
    marks = HoldsMarks(out + "/probe");
  }
  ~Places() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  Places(const Places&) = delete;
  Places& operator=(const Places&) = delete;
  std::string Output(const std::string& name) const { return out + "/" + name; }

  std::string root, in, out;
  bool marks = true;  // no leftover of a kill is removed where the file system keeps no mark
};

std::vector<std::string> Resolved(const std::vector<std::string>& args, const Places& places) {
  std::vector<std::string> resolved;
  for (const std::string& arg : args) {
    if (arg.rfind("IN/", 0) == 0) resolved.push_back(places.in + arg.substr(2));
    else if (arg.rfind("OUT/", 0) == 0) resolved.push_back(places.out + arg.substr(3));
    else resolved.push_back(arg);
  }
  return resolved;
}

Ran RunChild(const Command& command, const Places& places, const std::string& plan) {
  std::vector<std::string> args = {"dustweave", "--test-file-faults", plan};
  for (const std::string& arg : Resolved(command.args, places)) args.push_back(arg);
  std::string outPath = places.root + "/stdout", errPath = places.root + "/stderr";
  std::cout.flush();
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int status = DustweaveMain(static_cast<int>(args.size()), argv.data());
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    _exit(status);
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  Ran ran;
  ran.killed = WIFSIGNALED(raw) && WTERMSIG(raw) == SIGKILL;
  ran.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  ran.out = ReadText(outPath);
  ran.err = ReadText(errPath);
  return ran;
}

// ---- the folder before and after ------------------------------------------------------------

std::string OlderBytes(const std::string& name) { return "the older " + name + ", which must not be lost\n"; }

// A user's own file beside OUTPUT, named like one of its temporary files, which every run leaves.
std::string UsersFile(const Command& command) { return "." + command.outputs[0] + ".partial-2024-05"; }
const std::string USERS_BYTES = "the user's own file\n";

// The outputs' folder as each run finds it: every output name holding its older file, and the
// user's file beside them.
void PutOlderFiles(const Command& command, const Places& places) {
  fs::remove_all(places.out);
  fs::create_directories(places.out);
  for (const std::string& name : command.outputs) {
    std::ofstream(places.Output(name), std::ios::binary) << OlderBytes(name);
    chmod(places.Output(name).c_str(), OLDER_MODE);
  }
  std::ofstream(places.Output(UsersFile(command)), std::ios::binary) << USERS_BYTES;
}

std::vector<std::string> Leftovers(const Command& command, const Places& places) {
  std::set<std::string> outputs(command.outputs.begin(), command.outputs.end());
  outputs.insert(UsersFile(command));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(places.out)) {
    std::string name = entry.path().filename().string();
    if (outputs.count(name) == 0) left.push_back(name);
  }
  return left;
}

// The line a run says of a file named like a temporary file that it leaves, lacking the mark.
std::string UnprovenSaid(const std::string& path) { return "dustweave: " + path + " is named like a temporary file"; }

// What one search knows: the command, its places, and the whole new bytes of each output.
struct Search {
  Command command;
  Places places;
  std::vector<std::string> newBytes;
  int cleanStatus = 0;                  // and its exit status
  std::string cleanOut;                 // what a clean run prints
  std::vector<std::string> operations;  // the clean run's log: "N op path"
  bool mixedSeen = false;               // a run ended with a preview new and OUTPUT older

  std::string Where(uint64_t n, const std::string& how) const {
    std::string operation = n >= 1 && n <= operations.size() ? operations[n - 1] : std::to_string(n);
    return command.title + ", " + how + " at " + operation;
  }

  // Each name holds its older bytes or the whole new ones, with the older file's bits, and OUTPUT
  // the new ones only when every name does; nothing beside them holds older bytes (the only copy
  // of a user's file). Which names hold the new bytes.
  std::vector<bool> CheckNames(const std::string& where) const {
    std::vector<bool> isNew;
    for (size_t i = 0; i < command.outputs.size(); ++i) {
      std::string path = places.Output(command.outputs[i]);
      struct stat info{};
      bool there = stat(path.c_str(), &info) == 0;
      EXPECT_TRUE(there) << where << ": " << command.outputs[i] << " holds nothing";
      std::string bytes = ReadText(path);
      bool fresh = bytes == newBytes[i];
      EXPECT_TRUE(fresh || bytes == OlderBytes(command.outputs[i]))
          << where << ": " << command.outputs[i] << " holds " << bytes.size() << " bytes, neither the older nor the new ones";
      EXPECT_TRUE(!there || (info.st_mode & 0777) == OLDER_MODE) << where << ": " << command.outputs[i] << "'s bits";
      isNew.push_back(fresh);
    }
    for (size_t i = 1; i < isNew.size(); ++i) {
      EXPECT_TRUE(isNew[i] || !isNew[0]) << where << ": " << command.outputs[0] << " is new, " << command.outputs[i] << " older";
    }
    EXPECT_EQ(ReadText(places.Output(UsersFile(command))), USERS_BYTES) << where << ": the user's " << UsersFile(command);
    for (const std::string& name : Leftovers(command, places)) {
      for (const std::string& output : command.outputs) {
        EXPECT_NE(ReadText(places.Output(name)), OlderBytes(output)) << where << ": " << name << " holds the older " << output;
      }
    }
    return isNew;
  }

  // A run that ended on its own: its status and lines say what it did; what is left beside the
  // outputs was said (and nothing is, when `once`). After one that left a preview new and OUTPUT
  // older, the next command.
  void CheckEnded(const Ran& ran, bool once, const std::string& where) {
    std::vector<bool> isNew = CheckNames(where);
    if (ran.status == cleanStatus) {
      EXPECT_EQ(ran.out, cleanOut) << where << ": the summary";
      for (size_t i = 0; i < isNew.size(); ++i) {
        EXPECT_TRUE(isNew[i]) << where << ": status " << ran.status << ", " << command.outputs[i] << " not new";
      }
    } else {
      EXPECT_EQ(ran.status, NOT_DONE) << where << ": " << ran.err;
      EXPECT_EQ(ran.out, "") << where << ": a summary of files not written";
      EXPECT_EQ(ran.err.rfind("dustweave: ", 0), 0u) << where << ": " << ran.err;
      EXPECT_NE(ran.err.find(": " + dustweave::SystemReason(dustweave::SYSTEM_IO_ERROR)), std::string::npos)
          << where << ": no line names the failure: " << ran.err;
      bool anyNew = std::find(isNew.begin(), isNew.end(), true) != isNew.end();
      for (size_t i = 0; i < isNew.size() && anyNew; ++i) {
        std::string said = places.Output(command.outputs[i]) + (isNew[i] ? " holds its new file" : " holds its older file");
        EXPECT_NE(ran.err.find(said), std::string::npos) << where << ": " << command.outputs[i] << " unsaid: " << ran.err;
      }
    }
    for (const std::string& name : Leftovers(command, places)) {
      EXPECT_FALSE(once) << where << ": " << name << " is left beside the outputs: " << ran.err;
      EXPECT_NE(ran.err.find(name), std::string::npos) << where << ": " << name << " is left unsaid: " << ran.err;
    }
    if (!isNew[0] && std::find(isNew.begin(), isNew.end(), true) != isNew.end()) {
      mixedSeen = true;
      CheckNext(where);
    }
  }

  // The next command, run clean: it writes the whole new files and leaves nothing beside them
  // but, after a kill between a temporary file's creation and its mark (`unmarked`), that file,
  // which it names with the user's.
  void CheckNext(const std::string& where, bool unmarked = false) const {
    Ran next = RunChild(command, places, "none");
    std::string then = where + ", then the next command";
    EXPECT_EQ(next.status, cleanStatus) << then << ": " << next.err;
    std::vector<bool> isNew = CheckNames(then);
    for (size_t i = 0; i < isNew.size(); ++i) {
      EXPECT_TRUE(isNew[i]) << then << ": " << command.outputs[i] << " not new";
    }
    EXPECT_NE(next.err.find(UnprovenSaid(places.Output(UsersFile(command)))), std::string::npos) << then << ": " << next.err;
    std::vector<std::string> left = Leftovers(command, places);
    EXPECT_TRUE(left.size() <= (unmarked ? 1u : 0u) || !places.marks) << then << ": " << next.err;
    for (const std::string& name : left) {
      EXPECT_NE(next.err.find(UnprovenSaid(places.Output(name))), std::string::npos) << then << ": " << next.err;
    }
  }

  // After a kill: the names hold older or new files; then the next command.
  void CheckKilledThenNext(const std::string& where, bool unmarked) const {
    CheckNames(where);
    CheckNext(where, unmarked);
  }
};

// Whether the operation changes what a folder holds or a file's bytes: only after those can a kill
// leave anything new to see.
bool Changes(const std::string& logLine) {
  std::istringstream words(logLine);
  std::string number, op;
  words >> number >> op;
  return op == "create" || op == "mark" || op == "write" || op == "copy" || op == "truncate" || op == "set-mode" ||
         op == "rename" || op == "remove";
}

// Whether a kill before operation `n` comes after a temporary file's creation and before its mark.
bool BetweenCreateAndMark(const std::vector<std::string>& operations, uint64_t n) {
  for (uint64_t i = n - 1; i > 0; --i) {
    std::string op = operations[i - 1].substr(operations[i - 1].find(' ') + 1);
    if (op.rfind("create ", 0) == 0 || op.rfind("mark ", 0) == 0) return op.rfind("create ", 0) == 0;
  }
  return false;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// ---- the search -----------------------------------------------------------------------------

class FaultSearch : public testing::TestWithParam<size_t> {};

TEST_P(FaultSearch, EveryNameHoldsItsOlderOrItsWholeNewFile) {
  auto started = std::chrono::steady_clock::now();
  // The module stays loaded in this process, so that each child finds it there.
  ASSERT_NE(dlopen(DUSTWEAVE_MODULE_FILE, RTLD_NOW), nullptr) << dlerror();
  Search s;
  s.command = Commands()[GetParam()];
  ASSERT_EQ(Dustweave({"generate", s.places.in + "/small.pfx", "--particles", "12"}).status, 0);
  if (s.command.args[1] == "IN/cut.pfx") {
    // 700 tracks of 101 samples cut to 850,000 bytes: 69,456 points, more than a block of each
    // chain attribute.
    std::string whole = s.places.in + "/whole.pfx";
    ASSERT_EQ(Dustweave({"generate", whole, "--particles", "700"}).status, 0);
    fs::copy_file(whole, s.places.in + "/cut.pfx");
    fs::resize_file(s.places.in + "/cut.pfx", 850000);
  }
  if (s.command.args[1] == "IN/long.pfx") {  // two chains of 20,001 points
    ASSERT_EQ(Dustweave({"generate", s.places.in + "/long.pfx", "--particles", "2", "--index-limit", "20001", "--last", "20000"}).status, 0);
  }

  // The whole new bytes, written where no file was.
  Ran clean = RunChild(s.command, s.places, "none");
  s.cleanStatus = s.command.args[1] == "IN/cut.pfx" ? 1 : 0;  // the input ended early
  ASSERT_EQ(clean.status, s.cleanStatus) << clean.err;
  for (const std::string& name : s.command.outputs) s.newBytes.push_back(ReadText(s.places.Output(name)));
  s.cleanOut = clean.out;
  // The operations of a clean run over older files.
  PutOlderFiles(s.command, s.places);
  std::string log = s.places.root + "/operations";
  clean = RunChild(s.command, s.places, "none,log=" + log);
  ASSERT_EQ(clean.status, s.cleanStatus) << clean.err;
  s.CheckEnded(clean, true, s.command.title + ", no fault");
  s.operations = Lines(ReadText(log));
  ASSERT_FALSE(s.operations.empty());

  uint64_t points = 0;
  for (uint64_t n = 1; n <= s.operations.size() && !HasFailure(); ++n) {
    for (const char* how : {"once", "from"}) {
      if (FAULT_SEARCH_ONCE_ONLY && std::string(how) == "from") continue;
      PutOlderFiles(s.command, s.places);
      Ran ran = RunChild(s.command, s.places, how + (":" + std::to_string(n)));
      ++points;
      EXPECT_FALSE(ran.killed) << s.Where(n, how);
      s.CheckEnded(ran, std::string(how) == "once", s.Where(n, std::string(how) == "once" ? "failing once" : "failing from then on"));
    }
    if (FAULT_SEARCH_ONCE_ONLY) continue;
    if (n > 1 && !Changes(s.operations[n - 2])) continue;  // the same files as a kill one operation sooner
    PutOlderFiles(s.command, s.places);
    Ran ran = RunChild(s.command, s.places, "dead:" + std::to_string(n));
    ++points;
    std::string where = s.Where(n, "killed");
    if (ran.killed) {
      s.CheckKilledThenNext(where, BetweenCreateAndMark(s.operations, n));
    } else {
      s.CheckEnded(ran, true, where + " (not reached)");
    }
  }
  // A failed rename of OUTPUT after its previews' leaves them new and OUTPUT older.
  EXPECT_EQ(s.mixedSeen, s.command.outputs.size() > 1) << s.command.title;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  char line[512];
  std::snprintf(line, sizeof line, "fault search: %s: %zu file operations, %llu fault points tried in %.1f s\n",
                s.command.title.c_str(), s.operations.size(), static_cast<unsigned long long>(points), seconds);
  std::fputs(line, stdout);
  // Also for `make test`, which adds up the lines of every case (each runs in a process of its own).
  std::ofstream(SUMMARY_FILE, std::ios::app) << line;
}

std::string NameOf(const testing::TestParamInfo<size_t>& info) {
  std::string title = Commands()[info.param].title, name;
  for (char c : title) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryFileOperationBroken, FaultSearch, testing::Range<size_t>(0, Commands().size()), NameOf);

}  // namespace
