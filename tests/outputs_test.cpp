// What dustweave's commands promise about the files they write, beside the fault search: names
// that cannot be written are refused before the module runs; a killed conversion's leftovers are
// swept by the next one; a full file system, a file-size limit or too little memory costs nothing;
// --quiet shows only errors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "program_run.h"
#include "temp_file.h"

namespace {

namespace fs = std::filesystem;

constexpr int NOT_DONE = 10, MISUSE = 64;

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Typical(const TempFolder& folder) {
  std::string path = folder.File("typical.pfx");
  EXPECT_EQ(Dustweave({"generate", path}).status, 0);
  return path;
}

// ---- a preview that cannot be written ---------------------------------------------------------

// A preview that cannot be written (a folder under its name) is found before the module runs,
// and the mesh file written before keeps its bytes.
TEST(OutputsCommit, FailingPreviewKeepsThePreviousMesh) {
  TempFolder folder;
  std::string pfx = Typical(folder);
  ASSERT_EQ(Dustweave({"convert", pfx, folder.File("out.glb"), "--step", "0.5"}).status, 0);
  std::string before = ReadText(folder.File("out.glb"));
  fs::create_directory(folder.File("prev.svg"));
  Outcome outcome = Dustweave({"convert", pfx, folder.File("out.glb"), "--svg", folder.File("prev.svg")});
  EXPECT_EQ(outcome.status, NOT_DONE);
  EXPECT_EQ(outcome.err, "dustweave: cannot write " + folder.File("prev.svg") + ": it is a folder\n");
  EXPECT_TRUE(ReadText(folder.File("out.glb")) == before);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"out.glb", "prev.svg", "typical.pfx"}));
}

// ---- the decision to write -------------------------------------------------------------------

// run writes its files only when the module did what they stand for, as convert does: a file it
// could not open, a question answered Cancel, a mesh edit the host declined, an activation that
// refused the host, a folder given as the file leave the older files as they were; the summary
// line says "nothing written" and why, and the exit status stays the activation's result.
TEST(OutputsDecision, RunWritesNothingWhenTheModuleDidNotFinish) {
  TempFolder folder;
  std::string pfx = Typical(folder);
  ASSERT_TRUE(pfxwrite::WriteBytes(folder.File("v2.pfx"), pfxwrite::Encode(SmallFile(2)), nullptr));
  std::string obj = folder.File("keep.obj"), svg = folder.File("keep.svg");
  WriteText(obj, "older mesh");
  WriteText(svg, "older preview");
  struct Case {
    std::vector<std::string> options;
    int status;
    std::string why;
  };
  const Case cases[] = {
      {{"--file", folder.File("missing.pfx")}, 0, "the module showed \"could not open file\""},
      {{"--file", folder.File("v2.pfx"), "--answer", "cancel"}, 0,
       "the question \"wrong pfx file version (2), continue ?\" was answered Cancel"},
      {{"--file", pfx, "--decline-edit"}, 0, ""},
      {{"--file", pfx, "--interface-version", "99"}, 1, "the module's activation failed with result 1"},
      {{"--file", folder.File("")}, 0, folder.File("") + " is a folder"},
      {{"--file", pfx, "--cancel-panel"}, 0, "the module began no mesh edit"},
  };
  std::vector<std::string> before = folder.Entries();
  for (const Case& c : cases) {
    std::vector<std::string> args = {"run", DUSTWEAVE_MODULE_FILE, "--obj", obj, "--svg", svg};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Outcome outcome = Dustweave(args);
    std::string what = c.options[0] + " " + c.options[1] + (c.options.size() > 2 ? " " + c.options[2] : "");
    EXPECT_EQ(outcome.status, c.status) << what << ": " << outcome.err;
    EXPECT_NE(outcome.out.find("; nothing written: " + c.why), std::string::npos) << what << ": " << outcome.out;
    EXPECT_EQ(outcome.out.find('\n'), outcome.out.size() - 1) << what << ": one line: " << outcome.out;
    EXPECT_EQ(ReadText(obj), "older mesh") << what;
    EXPECT_EQ(ReadText(svg), "older preview") << what;
    EXPECT_EQ(folder.Entries(), before) << what;
  }
  // The report says so too.
  Outcome report = Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--obj", obj, "--file", folder.File("missing.pfx"), "--json"});
  EXPECT_NE(report.out.find("\"nothingWritten\":\"the module showed \\\"could not open file\\\"\""), std::string::npos)
      << report.out;
  // --strict says it by the status, for a script; the activation's status is left to its result.
  Outcome strict = Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--obj", obj, "--file", folder.File("missing.pfx"), "--strict"});
  EXPECT_EQ(strict.status, 10) << strict.err;
  EXPECT_NE(strict.out.find("; nothing written: "), std::string::npos) << strict.out;
  // A file cut short keeps the chains of its whole samples: those are written.
  std::vector<uint8_t> cut = pfxwrite::Encode(SmallFile());
  cut.resize(cut.size() - 5);
  ASSERT_TRUE(pfxwrite::WriteBytes(folder.File("cut.pfx"), cut, nullptr));
  Outcome outcome =
      Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--file", folder.File("cut.pfx"), "--obj", obj, "--svg", svg, "--strict"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out.find("nothing written"), std::string::npos) << outcome.out;
  EXPECT_EQ(ReadText(obj).rfind("# mirod_dustweave chains", 0), 0u);
}

// ---- names checked before the module runs ----------------------------------------------------

TEST(OutputsNames, RunAndConvertRefuseWhatCannotBeWritten) {
  TempFolder folder;
  std::string pfx = Typical(folder);
  std::string before = ReadText(pfx);
  fs::create_directory(folder.File("dir.obj"));
  fs::create_directory(folder.File("dir.pfx"));
  fs::create_symlink("gone/real.obj", folder.File("link.obj"));
  std::string module = DUSTWEAVE_MODULE_FILE;
  const std::string longest(251, 'n'), tooLong(252, 'n');  // with ".obj": 255 and 256 bytes
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {{"run", module, "--file", pfx, "--obj", pfx}, MISUSE, "--obj must end in .obj"},
      {{"run", module, "--file", pfx, "--obj", folder.File("x.txt")}, MISUSE, "--obj must end in .obj"},
      {{"run", module, "--file", pfx, "--svg", folder.File("x.obj")}, MISUSE, "--svg must end in .svg"},
      {{"run", module, "--file", pfx, "--obj", folder.File("same.obj"), "--svg", folder.File("same.obj")}, MISUSE,
       "--svg must end in .svg"},
      {{"run", module, "--file", pfx, "--obj", folder.File("dir.obj")}, NOT_DONE, "it is a folder"},
      {{"run", module, "--file", pfx, "--obj", folder.File("none/x.obj")}, NOT_DONE, "does not exist"},
      {{"run", module, "--file", pfx, "--obj", folder.File(tooLong + ".obj")}, NOT_DONE, "256 bytes long"},
      {{"convert", pfx, folder.File("dir.obj")}, NOT_DONE, "it is a folder"},
      {{"convert", pfx, folder.File("link.obj")}, NOT_DONE,
       "the folder " + folder.File("gone/") + " does not exist (where the link " + folder.File("link.obj") + " leads)"},
      {{"convert", pfx, folder.File(tooLong + ".obj")}, NOT_DONE, "256 bytes long"},
      {{"generate", folder.File("dir.pfx")}, NOT_DONE, "it is a folder"},
      {{"generate", folder.File("dir.obj")}, MISUSE, "OUT must end in .pfx"},
      {{"generate", folder.File("dir.pfx"), "--particles", "0"}, MISUSE, "--particles"},
  };
  for (const Case& c : cases) {
    Outcome outcome = Dustweave(c.args);
    EXPECT_EQ(outcome.status, c.status) << c.args.back() << ": " << outcome.err;
    EXPECT_NE(outcome.err.find(c.says), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_TRUE(ReadText(pfx) == before);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"dir.obj", "dir.pfx", "link.obj", "typical.pfx"}));
  // The longest name the folder holds works, although its temporary name would be longer.
  EXPECT_EQ(Dustweave({"convert", pfx, folder.File(longest + ".glb")}).status, 0);
  EXPECT_EQ(Dustweave({"run", module, "--file", pfx, "--obj", folder.File(longest + ".obj")}).status, 0);
}

// ---- a killed conversion, then the next one --------------------------------------------------

TEST(OutputsStale, NextConversionSweepsWhatAKilledOneLeftAndNothingElse) {
  TempFolder folder;
  if (!HoldsMarks(folder.File("probe"))) GTEST_SKIP() << "the temporary folder keeps no extended attributes";
  std::string pfx = folder.File("large.pfx");
  ASSERT_EQ(Dustweave({"generate", pfx, "--particles", "20000"}).status, 0);
  WriteText(folder.File(".out.obj.partial-notes"), "theirs");
  WriteText(folder.File("out.obj.partial-1-1"), "theirs");
  std::vector<std::string> args = LaunchedArgs({DUSTWEAVE_PROGRAM, "convert", pfx, folder.File("out.obj"), "-q"});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  // Killed once its output has begun, and is marked.
  auto start = std::chrono::steady_clock::now();
  auto begun = [&] {
    for (const std::string& name : folder.Entries()) {
      bool marked = getxattr(folder.File(name).c_str(), "user.dustweave.temporary", nullptr, 0) > 0;
      if (name.rfind(".out.obj.partial-", 0) == 0 && marked) return true;
    }
    return false;
  };
  while (!begun() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the conversion ended before it could be killed";
  ASSERT_TRUE(begun());

  // The next one reads an input named like a temporary file of its output, beside a user's file
  // named like one of its preview's: both are left, and the user's is named with how to remove it.
  std::string input = folder.File(".out.obj.partial-7-7"), users = folder.File(".out.svg.partial-2024-05");
  std::filesystem::rename(pfx, input);
  WriteText(users, "the user's own");
  Outcome outcome = Dustweave({"convert", input, folder.File("out.obj"), "--svg", folder.File("out.svg")});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "dustweave: removed 1 temporary file left beside " + folder.File("out.obj") + " by an earlier run\n"
                         "dustweave: " + users + " is named like a temporary file of an earlier run but carries no mark "
                         "this program made for it, so it is left; if it is one, remove it: rm -- '" + users + "'\n");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{".out.obj.partial-7-7", ".out.obj.partial-notes",
                                                        ".out.svg.partial-2024-05", "out.obj", "out.obj.partial-1-1", "out.svg"}));
  std::string obj = ReadText(folder.File("out.obj"));
  EXPECT_NE(obj.find("# 2020000 points, 2000000 polygons\n"), std::string::npos);
}

// ---- a real full file system ------------------------------------------------------------------

// A small tmpfs in a mount namespace of the test's own: the conversion fails with the system's
// reason, the older file under the name stays, and nothing else is left.
TEST(OutputsFull, FullFileSystemKeepsTheOlderFile) {
  if (std::system("unshare -rm true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespace here (unshare -rm)";
  TempFolder folder;
  std::string pfx = Typical(folder);
  fs::create_directory(folder.File("small"));
  std::string small = folder.File("small");
  for (std::string name : {"out.obj", "out.glb"}) {
    std::string script = "mount -t tmpfs -o size=64k tmpfs " + Quote(small) + " && echo older > " +
                         Quote(small + "/" + name) + " && " + Launched(DUSTWEAVE_PROGRAM) + " convert " + Quote(pfx) +
                         " " + Quote(small + "/" + name) + " 2>&1; echo status $?; cat " + Quote(small + "/" + name) +
                         "; ls -a " + Quote(small);
    Outcome outcome = RunCommand("unshare -rm sh -c " + Quote(script));
    EXPECT_NE(outcome.out.find("No space left on device"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("status 10\nolder\n.\n..\n" + name + "\n"), std::string::npos) << outcome.out;
  }
}

// ---- limits on memory and on file size --------------------------------------------------------

// The kinds of output a conversion writes: the options after the input (names of files in the
// test's folder), and the names written, OUTPUT first.
struct Kind {
  std::vector<std::string> options, outputs;
};
const Kind KINDS[] = {
    {{"out.obj"}, {"out.obj"}},
    {{"out.glb"}, {"out.glb"}},
    {{"out.glb", "--tubes"}, {"out.glb"}},
    {{"out.obj", "--tubes"}, {"out.obj"}},
    {{"out.usda"}, {"out.usda"}},
    {{"out.usdc"}, {"out.usdc"}},
    {{"out.glb", "--svg", "out.svg", "--html", "out.html"}, {"out.glb", "out.svg", "out.html"}},
};

// dustweave run with `args` and the system's `resource` limited to `limit` bytes from its start
// (setrlimit in the child, before exec): its exit status, or 128 + the signal that ended it.
Outcome Limited(std::vector<std::string> args, int resource, rlim_t limit) {
  TempFile out(".out"), err(".err");
  args.insert(args.begin(), DUSTWEAVE_PROGRAM);
  std::vector<std::string> words = LaunchedArgs(args);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = fork();
  if (child == 0) {
    rlimit bound{limit, limit};
    dup2(open("/dev/null", O_RDONLY), 0);
    dup2(open(out.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(err.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    if (setrlimit(resource, &bound) == 0) execv(argv[0], argv.data());
    _exit(127);
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), ReadText(out.path()), ReadText(err.path())};
}

// The conversion of the folder's typical.pfx to `kind`.
std::vector<std::string> ConvertArgs(const TempFolder& folder, const Kind& kind) {
  std::vector<std::string> args = {"convert", folder.File("typical.pfx"), "-q"};
  for (const std::string& option : kind.options) args.push_back(option.find('.') == std::string::npos ? option : folder.File(option));
  return args;
}

// The bytes each output of `kind` holds after a conversion without limits.
std::vector<std::string> FreshBytes(const TempFolder& folder, const Kind& kind) {
  std::vector<std::string> fresh;
  EXPECT_EQ(Dustweave(ConvertArgs(folder, kind)).status, 0);
  for (const std::string& name : kind.outputs) fresh.push_back(ReadText(folder.File(name)));
  return fresh;
}

// The conversion to `kind`, over older files, with `resource` limited to `limit`: it writes every
// output whole (status 0, each holding `fresh`'s bytes) or none (status 10 and one line, each
// output holding its older bytes), and leaves nothing else beside them; it never ends by a signal.
Outcome ConvertUnder(const TempFolder& folder, const Kind& kind, const std::vector<std::string>& fresh, int resource,
                     rlim_t limit) {
  std::string where = "limit " + std::to_string(limit) + ", " + kind.options[0] + (kind.options.size() > 1 ? " ..." : "");
  for (const std::string& name : kind.outputs) WriteText(folder.File(name), "older " + name);
  Outcome outcome = Limited(ConvertArgs(folder, kind), resource, limit);
  EXPECT_TRUE(outcome.status == 0 || outcome.status == NOT_DONE) << where << ": status " << outcome.status << ": " << outcome.err;
  EXPECT_EQ(outcome.out, "") << where;
  EXPECT_TRUE(outcome.status == 0 || (outcome.err.rfind("dustweave: ", 0) == 0 && outcome.err.find('\n') == outcome.err.size() - 1))
      << where << ": " << outcome.err;
  std::vector<std::string> left = {"typical.pfx"};
  for (size_t i = 0; i < kind.outputs.size(); ++i) {
    std::string bytes = ReadText(folder.File(kind.outputs[i]));
    EXPECT_TRUE(bytes == (outcome.status == 0 ? fresh[i] : "older " + kind.outputs[i]))
        << where << ": " << kind.outputs[i] << " holds " << bytes.size() << " bytes, status " << outcome.status;
    left.push_back(kind.outputs[i]);
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(folder.Entries(), left) << where << ": " << outcome.err;
  return outcome;
}

// From 20 to 130 MB of address space, every kind of output converts or says why. Where no thread
// can be started the work goes on without it; memory running out anywhere, under the module's
// frames too, ends the command with "out of memory" and its temporary files removed.
TEST(OutputsLimits, EveryAddressSpaceConvertsOrEndsWithALine) {
  if (BUILT_WITH_ASAN) GTEST_SKIP() << "AddressSanitizer's shadow takes more address space than any limit leaves";
  if (!std::string(DUSTWEAVE_LAUNCHER).empty()) GTEST_SKIP() << "the emulator takes the 32-bit program's address space as it starts";
  int outOfMemory = 0;
  for (const Kind& kind : KINDS) {
    TempFolder folder;
    Typical(folder);
    std::vector<std::string> fresh = FreshBytes(folder, kind);
    for (rlim_t megabytes = 20; megabytes <= 130; megabytes += 5) {
      Outcome outcome = ConvertUnder(folder, kind, fresh, RLIMIT_AS, megabytes << 20);
      outOfMemory += outcome.err.rfind("dustweave: out of memory: nothing written", 0) == 0;
      EXPECT_TRUE(megabytes < 130 || outcome.status == 0) << kind.options[0] << ": " << outcome.err;
    }
  }
  EXPECT_GT(outOfMemory, 0) << "no limit searched was felt";
}

// A file-size limit below an output's size fails its write as a full disk does, for every output,
// whichever thread writes it.
TEST(OutputsLimits, FileSizeLimitIsAWriteFailure) {
  for (const Kind& kind : KINDS) {
    TempFolder folder;
    Typical(folder);
    std::vector<std::string> fresh = FreshBytes(folder, kind);
    size_t largest = 0;
    for (const std::string& bytes : fresh) largest = std::max(largest, bytes.size());
    for (double share : {0.05, 0.25, 0.5, 0.75, 0.95}) {
      Outcome outcome = ConvertUnder(folder, kind, fresh, RLIMIT_FSIZE, static_cast<rlim_t>(share * static_cast<double>(largest)));
      EXPECT_EQ(outcome.status, NOT_DONE) << kind.options[0] << " at " << share;
      EXPECT_NE(outcome.err.find(": File too large\n"), std::string::npos) << outcome.err;
    }
  }
}

// ---- --quiet ----------------------------------------------------------------------------------

TEST(OutputsQuiet, QuestionsAnsweredByYesAreNoErrors) {
  TempFolder folder;
  ASSERT_TRUE(pfxwrite::WriteBytes(folder.File("v2.pfx"), pfxwrite::Encode(SmallFile(2)), nullptr));
  Outcome outcome = Dustweave({"convert", folder.File("v2.pfx"), folder.File("out.obj"), "--yes", "--quiet"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "");
  outcome = Dustweave({"convert", folder.File("v2.pfx"), folder.File("out.obj"), "--quiet"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_NE(outcome.err.find("wrong pfx file version (2)"), std::string::npos);  // declined: an error
}

}  // namespace
