// The output layer: the atomic file and the commit of several outputs in order (a failure made
// at each stage through the file seam leaves every name whole and nothing else, and says what
// each name holds), blocks written behind, temporary names within the folder's limit, and on
// POSIX the temporary file's bits, the interrupt and the sweep of what a killed run left.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <set>
#endif

#include "pfxtools/pfx_generate.h"
#include "platform/block_writer.h"
#include "platform/output_file.h"
#include "platform/path_queries.h"
#include "platform/temp_files.h"
#include "temp_file.h"

namespace {

using dustweave::OutputFile;
using dustweave::FileOp;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The seam made to fail one stage for the paths that contain `name`, from its `after`-th
// question on, `times` times (or from then on).
struct Fault {
  FileOp stage;
  std::string name;
  int after = 0;
  int times = -1;
};
constexpr size_t MOST_FAULTS = 4;
std::vector<Fault> gFaults;
std::atomic<int> gAsked[MOST_FAULTS];
const std::string IO_ERROR_TEXT = dustweave::SystemReason(dustweave::SYSTEM_IO_ERROR);
#ifdef _WIN32
constexpr dustweave::SystemError MISSING_FOLDER = ERROR_PATH_NOT_FOUND;
#else
constexpr dustweave::SystemError MISSING_FOLDER = ENOENT;
#endif

dustweave::SystemError Inject(FileOp stage, const std::string& path) {
  for (size_t i = 0; i < gFaults.size(); ++i) {
    const Fault& fault = gFaults[i];
    if (stage != fault.stage || path.find(fault.name) == std::string::npos) continue;
    int asked = gAsked[i]++;
    if (asked >= fault.after && (fault.times < 0 || asked < fault.after + fault.times)) return dustweave::SYSTEM_IO_ERROR;
  }
  return 0;
}

class FaultScope {
 public:
  explicit FaultScope(Fault fault) : FaultScope(std::vector<Fault>{std::move(fault)}) {}
  explicit FaultScope(std::vector<Fault> faults) {
    gFaults = std::move(faults);
    for (std::atomic<int>& asked : gAsked) asked = 0;
    dustweave::SetFileFault(Inject);
  }
  ~FaultScope() { dustweave::SetFileFault(nullptr); }
};

// ---- one atomic file ------------------------------------------------------------------------

TEST(OutputFileTest, CommitPutsTheBytesUnderTheNameReplacingTheOlderFile) {
  TempFolder folder;
  WriteText(folder.File("mesh.obj"), "older and longer text");
  OutputFile out;
  std::string error;
  ASSERT_TRUE(out.Create(folder.File("mesh.obj"), &error)) << error;
  out.Write("abc", 3);
  out.WriteAt(6, "ghi", 3);
  out.WriteAt(3, "def", 3);
  EXPECT_EQ(dustweave::FolderOf(out.temporary()), dustweave::FolderOf(folder.File("mesh.obj")));
  EXPECT_EQ(ReadAll(folder.File("mesh.obj")), "older and longer text");  // until the commit
  ASSERT_TRUE(dustweave::CommitTogether({&out}, &error)) << error;
  EXPECT_EQ(ReadAll(folder.File("mesh.obj")), "abcdefghi");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"mesh.obj"});
}

TEST(OutputFileTest, WhatIsNotCommittedIsRemovedAndTheOlderFileStays) {
  TempFolder folder;
  WriteText(folder.File("mesh.obj"), "older");
  {
    OutputFile dropped;
    std::string error;
    ASSERT_TRUE(dropped.Create(folder.File("mesh.obj"), &error)) << error;
    dropped.Write("half", 4);
  }
  OutputFile abandoned;
  std::string error;
  ASSERT_TRUE(abandoned.Create(folder.File("mesh.obj"), &error)) << error;
  abandoned.Write("half", 4);
  abandoned.Abandon();
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"mesh.obj"});
  EXPECT_EQ(ReadAll(folder.File("mesh.obj")), "older");
}

TEST(OutputFileTest, MissingFolderFailsAtCreateNamingThePathAndTheReason) {
  TempFolder folder;
  std::string path = folder.File("missing") + "/mesh.glb";
  OutputFile out;
  std::string error;
  EXPECT_FALSE(out.Create(path, &error));
  // The system's words: "No such file or directory", or on Windows its message for a missing path.
  EXPECT_EQ(error, "cannot write " + path + ": " + dustweave::SystemReason(MISSING_FOLDER));
  EXPECT_TRUE(folder.Entries().empty());
}

#ifdef _WIN32
// A name the system refuses is said in the system's own words (FormatMessage), as it refuses the
// name when asked directly, and not in the words of some error number it was mapped to.
TEST(OutputFileTest, ARefusedNameIsSaidInTheSystemsOwnWords) {
  TempFolder folder;
  for (const char* name : {"what?.obj", "a|b.obj"}) {
    std::string path = folder.File(name);
    HANDLE refused = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(refused, INVALID_HANDLE_VALUE) << name;
    dustweave::SystemError code = static_cast<dustweave::SystemError>(GetLastError());
    OutputFile out;
    std::string error;
    EXPECT_FALSE(out.Create(path, &error));
    EXPECT_EQ(error, "cannot write " + path + ": " + dustweave::SystemReason(code));
    EXPECT_EQ(dustweave::SystemReason(code).find("Windows error"), std::string::npos) << error;  // a text, not a number
    EXPECT_NE(dustweave::SystemReason(code), "Input/output error");
  }
  EXPECT_TRUE(folder.Entries().empty());
}
#endif

// ---- several outputs committed together -----------------------------------------------------

struct Stage {
  const char* what;
  Fault fault;
};

// Two outputs with older files under their names (or the second without), and a failure made at
// each stage before the first rename: both names keep what they held, and no temporary file is
// left.
TEST(CommitTogetherTest, FailureBeforeTheRenamesLeavesEveryOlderFileAndNothingElse) {
  const Stage stages[] = {
      {"creating the first", {FileOp::Create, "mesh.obj"}},
      {"creating the second", {FileOp::Create, "prev.svg"}},
      {"a write in the middle", {FileOp::Write, "mesh.obj", 3}},
      {"flushing the second", {FileOp::Sync, "prev.svg"}},
      {"renaming the first", {FileOp::Rename, "mesh.obj"}},
  };
  for (bool olderSecond : {true, false}) {
    for (const Stage& stage : stages) {
      TempFolder folder;
      std::string mesh = folder.File("mesh.obj"), preview = folder.File("prev.svg");
      WriteText(mesh, "older mesh");
      if (olderSecond) WriteText(preview, "older preview");
      std::string error;
      bool committed = false;
      {
        FaultScope fault(stage.fault);
        OutputFile a, b;
        if (a.Create(mesh, &error) && b.Create(preview, &error)) {
          for (int block = 0; block < 6; ++block) a.Write("mesh block ", 11), b.Write("svg ", 4);
          committed = dustweave::CommitTogether({&a, &b}, &error);
        }
      }
      EXPECT_FALSE(committed) << stage.what;
      EXPECT_NE(error.find(IO_ERROR_TEXT), std::string::npos) << stage.what << ": " << error;
      EXPECT_EQ(error.find("holds"), std::string::npos) << stage.what << ": " << error;
      EXPECT_EQ(ReadAll(mesh), "older mesh") << stage.what;
      std::vector<std::string> left = {"mesh.obj"};
      if (olderSecond) {
        EXPECT_EQ(ReadAll(preview), "older preview") << stage.what;
        left.push_back("prev.svg");
      }
      EXPECT_EQ(folder.Entries(), left) << stage.what;
    }
  }
}

// The second rename fails: the first name holds its new file, the second its older one (or none),
// the reason says so, and nothing is left beside them.
TEST(CommitTogetherTest, AFailedRenameStopsTheCommitAndSaysWhatEachNameHolds) {
  for (bool olderSecond : {true, false}) {
    TempFolder folder;
    std::string preview = folder.File("prev.svg"), mesh = folder.File("mesh.obj");
    WriteText(preview, "older preview");
    if (olderSecond) WriteText(mesh, "older mesh");
    std::string error;
    bool committed = true;
    {
      FaultScope fault({FileOp::Rename, "mesh.obj"});
      OutputFile a, b;
      ASSERT_TRUE(a.Create(preview, &error) && b.Create(mesh, &error)) << error;
      a.Write("new preview", 11);
      b.Write("new mesh", 8);
      committed = dustweave::CommitTogether({&a, &b}, &error);
    }
    EXPECT_FALSE(committed);
    EXPECT_EQ(error, "cannot write " + mesh + ": " + IO_ERROR_TEXT + "; " + preview + " holds its new file; " + mesh +
                         (olderSecond ? " holds its older file" : " is not written"));
    EXPECT_EQ(ReadAll(preview), "new preview");
    EXPECT_EQ(ReadAll(mesh), olderSecond ? "older mesh" : "");
    EXPECT_EQ(folder.Entries(), olderSecond ? (std::vector<std::string>{"mesh.obj", "prev.svg"})
                                            : std::vector<std::string>{"prev.svg"});
  }
}

TEST(CommitTogetherTest, AllRenamedWhenNothingFails) {
  TempFolder folder;
  WriteText(folder.File("mesh.obj"), "older mesh");
  OutputFile a, b;
  std::string error;
  ASSERT_TRUE(a.Create(folder.File("mesh.obj"), &error) && b.Create(folder.File("prev.svg"), &error)) << error;
  a.Write("new mesh", 8);
  b.Write("new svg", 7);
  ASSERT_TRUE(dustweave::CommitTogether({&a, &b}, &error)) << error;
  EXPECT_EQ(ReadAll(folder.File("mesh.obj")), "new mesh");
  EXPECT_EQ(ReadAll(folder.File("prev.svg")), "new svg");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"mesh.obj", "prev.svg"}));
}

// generate writes through the same protocol: a failed write leaves the older pfx file.
TEST(CommitTogetherTest, GenerateKeepsTheOlderFileOnAFailedWrite) {
  TempFolder folder;
  std::string path = folder.File("dust.pfx");
  WriteText(path, "older pfx");
  dustweave::DustSettings settings;
  settings.particles = 400;
  dustweave::GeneratedFile written;
  std::string error;
  for (FileOp stage : {FileOp::Write, FileOp::Sync, FileOp::Rename}) {
    FaultScope fault({stage, "dust.pfx", 0});
    EXPECT_FALSE(dustweave::GenerateDustFile(settings, path, &written, &error));
    EXPECT_EQ(error, "cannot write " + path + ": " + IO_ERROR_TEXT);
    EXPECT_EQ(ReadAll(path), "older pfx");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"dust.pfx"});
  }
}

// ---- blocks written behind ------------------------------------------------------------------

// Blocks reach the file in the order handed over, between plain appends, and each hand-over
// gives back a block of the same capacity to fill next.
TEST(BlockWriterTest, BlocksKeepTheirOrderAmongPlainWrites) {
  TempFolder folder;
  constexpr size_t CAPACITY = 1 << 16;
  OutputFile out;
  std::string error;
  ASSERT_TRUE(out.Create(folder.File("blocks.bin"), &error)) << error;
  std::string expected;
  {
    dustweave::BlockWriter behind(out);
    std::unique_ptr<char[]> block(new char[CAPACITY]);
    for (int n = 0; n < 9; ++n) {
      size_t size = CAPACITY - static_cast<size_t>(n);
      std::memset(block.get(), 'a' + n, size);
      expected.append(size, static_cast<char>('a' + n));
      ASSERT_TRUE(behind.Append(block, CAPACITY, size));
      ASSERT_NE(block.get(), nullptr);
      if (n % 3 == 2) {
        out.Write("|", 1);
        expected += '|';
      }
    }
    ASSERT_TRUE(behind.Drain());
  }
  ASSERT_TRUE(dustweave::CommitTogether({&out}, &error)) << error;
  EXPECT_TRUE(ReadAll(folder.File("blocks.bin")) == expected);
}

std::string gFailureSeen;
void NoteFailure(const std::string& reason) { gFailureSeen += reason + ";"; }

// A write that fails on the writing thread stops the writer at the next block, not at the end,
// and the program's handler hears of it once.
TEST(BlockWriterTest, AFailedWriteStopsTheWriterWithinOneBlock) {
  TempFolder folder;
  OutputFile out;
  std::string error;
  ASSERT_TRUE(out.Create(folder.File("full.glb"), &error)) << error;
  gFailureSeen.clear();
  dustweave::SetWriteFailureHandler(NoteFailure);
  int accepted = 0;
  {
    FaultScope fault({FileOp::Write, "full.glb", 2});
    dustweave::BlockWriter behind(out);
    std::unique_ptr<char[]> block(new char[1 << 16]);
    for (int n = 0; n < 50 && behind.Append(block, 1 << 16, 1 << 16); ++n) ++accepted;
  }
  dustweave::SetWriteFailureHandler(nullptr);
  EXPECT_LE(accepted, 2 + 2);  // the blocks written, and at most the queue's two behind them
  EXPECT_TRUE(out.failed());
  EXPECT_EQ(gFailureSeen, "cannot write " + folder.File("full.glb") + ": " + IO_ERROR_TEXT + ";");
  EXPECT_FALSE(dustweave::CommitTogether({&out}, &error));
  EXPECT_TRUE(folder.Entries().empty());
}

// ---- temporary names ------------------------------------------------------------------------

TEST(TemporaryNameTest, StaysWithinTheNameLimitAndApartForLongNames) {
  TempFolder folder;
  std::string stem(200, 'a');
  std::string first = folder.File(stem + std::string(46, 'b') + ".obj"), second = folder.File(stem + std::string(46, 'c') + ".obj");
  for (const std::string& path : {first, second}) {
    std::string temporary = dustweave::TemporaryNameFor(path);
    EXPECT_LE(dustweave::FileNameOf(temporary).size(), 255u) << temporary;
    EXPECT_EQ(dustweave::FolderOf(temporary), dustweave::FolderOf(path));
#ifdef _WIN32
    continue;  // a test program has no long-path manifest: its whole paths stop at 260 characters
#endif
    OutputFile out;
    std::string error;
    ASSERT_TRUE(out.Create(path, &error)) << error;
    out.Write("x", 1);
    ASSERT_TRUE(dustweave::CommitTogether({&out}, &error)) << error;
  }
  EXPECT_NE(dustweave::TemporaryPrefixFor(first), dustweave::TemporaryPrefixFor(second));
#ifndef _WIN32
  EXPECT_EQ(folder.Entries().size(), 2u);
#endif
  // A short name keeps its whole self, so a user recognises the file.
  EXPECT_EQ(dustweave::FileNameOf(dustweave::TemporaryPrefixFor(folder.File("m.glb"))), ".m.glb.partial-");
}

#ifndef _WIN32
// ---- what the user had set up ---------------------------------------------------------------

// While it is written, only its owner can read the temporary file, whatever the older file
// allows; the new file then takes the older one's permission bits (a private output stays
// private), or where no file was, the bits any new file gets under the umask.
TEST(OutputFileTest, OnlyTheOwnerReadsTheTemporaryAndTheNewFileKeepsTheOlderBits) {
  TempFolder folder;
  mode_t umasked = umask(022);
  umask(umasked);
  std::string path = folder.File("mesh.obj");
  for (mode_t mode : {0600, 0640, 0755, 0}) {
    if (mode != 0) WriteText(path, "older"), chmod(path.c_str(), mode);
    if (mode == 0) unlink(path.c_str());
    OutputFile out;
    std::string error;
    ASSERT_TRUE(out.Create(path, &error)) << error;
    out.Write("new", 3);
    struct stat info{};
    ASSERT_EQ(stat(out.temporary().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << std::oct << mode;
    ASSERT_TRUE(dustweave::CommitTogether({&out}, &error)) << error;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, mode != 0 ? mode : 0666 & ~umasked);
    EXPECT_EQ(ReadAll(path), "new");
  }
}

// An output that is a symbolic link is written through: the file it names (through a relative
// link into another folder, or a link to a link) gets the new bytes and the link stays. A link
// to nothing makes the file it names.
TEST(OutputFileTest, ASymbolicLinkIsWrittenThroughAndStays) {
  TempFolder folder;
  std::string elsewhere = folder.File("elsewhere");
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  WriteText(elsewhere + "/real.obj", "older");
  ASSERT_EQ(symlink("elsewhere/real.obj", folder.File("hop.obj").c_str()), 0);
  ASSERT_EQ(symlink("hop.obj", folder.File("mesh.obj").c_str()), 0);
  ASSERT_EQ(symlink("elsewhere/made.svg", folder.File("prev.svg").c_str()), 0);
  OutputFile mesh, preview;
  std::string error;
  ASSERT_TRUE(mesh.Create(folder.File("mesh.obj"), &error) && preview.Create(folder.File("prev.svg"), &error)) << error;
  EXPECT_EQ(dustweave::FolderOf(mesh.temporary()), elsewhere + "/");
  mesh.Write("new mesh", 8);
  preview.Write("new preview", 11);
  ASSERT_TRUE(dustweave::CommitTogether({&mesh, &preview}, &error)) << error;
  for (const char* link : {"mesh.obj", "hop.obj", "prev.svg"}) {
    struct stat info{};
    ASSERT_EQ(lstat(folder.File(link).c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
  }
  EXPECT_EQ(ReadAll(folder.File("mesh.obj")), "new mesh");
  EXPECT_EQ(ReadAll(elsewhere + "/real.obj"), "new mesh");
  EXPECT_EQ(ReadAll(elsewhere + "/made.svg"), "new preview");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"elsewhere", "hop.obj", "mesh.obj", "prev.svg"}));
}

// ---- interrupts and what a kill leaves ------------------------------------------------------

// An interrupted program removes the temporary files of its open outputs and ends by the same
// signal; what was committed before stays.
TEST(TemporaryFilesTest, InterruptRemovesTemporaryFilesButNotCommittedOnes) {
  TempFolder folder;
  std::string done = folder.File("done.obj"), open = folder.File("open.glb");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dustweave::EndOnInterrupts(nullptr);
    OutputFile committed, unfinished;
    std::string error;
    bool ready = committed.Create(done, &error) && dustweave::CommitTogether({&committed}, &error) &&
                 unfinished.Create(open, &error);
    dustweave::BlockWriter behind(unfinished);
    std::unique_ptr<char[]> block(new char[1 << 16]);
    behind.Append(block, 1 << 16, 1 << 16);
    if (ready) std::raise(SIGINT);
    _exit(3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"done.obj"});
}

// A child that creates a temporary file for `path` (marked, or as where the file system holds no
// mark) and then either dies by SIGKILL or holds it until killed; returns once the file exists.
pid_t ChildWithTemporary(const std::string& path, bool holds, bool marked = true) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    std::optional<FaultScope> noMark;
    if (!marked) noMark.emplace(Fault{FileOp::Mark, ""});
    OutputFile file;
    std::string error;
    file.Create(path, &error);
    file.Write("partial", 7);
    if (write(ready[1], "r", 1) != 1) _exit(2);
    if (holds) pause();
    raise(SIGKILL);
  }
  char c;
  if (read(ready[0], &c, 1) != 1) return -1;
  close(ready[0]);
  close(ready[1]);
  return child;
}

void KillAndWait(pid_t child) {
  int status = 0;
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
}

// What a killed run left beside an output goes, whatever its age or process ID and whether the
// name holds a file: its name, its mark and its lock all say it is a temporary file of this
// program's. What has only the name stays and is listed: a user's own file, one left where the
// file system held no mark, a copy of a leftover that carries the mark along. A file still held by
// a running writer (in another process or this one), the names the command was given (its input
// here) and strangers' files of similar names stay unlisted.
TEST(TemporaryFilesTest, SweepRemovesOnlyWhatThisProgramProvablyLeft) {
  TempFolder folder;
  std::string out = folder.File("out.glb"), input = folder.File(".out.glb.partial-1-1");
  pid_t killed = ChildWithTemporary(out, false);
  ASSERT_GT(killed, 0);
  KillAndWait(killed);
  std::string leftover = folder.File(folder.Entries().at(0)), copy = folder.File(".out.glb.partial-9-9");
  char mark[32] = {};
  ssize_t marked = getxattr(leftover.c_str(), "user.dustweave.temporary", mark, sizeof mark);
  if (marked < 0) GTEST_SKIP() << "the temporary folder's file system holds no extended attributes: " << std::strerror(errno);
  WriteText(copy, "partial");
  ASSERT_EQ(setxattr(copy.c_str(), "user.dustweave.temporary", mark, static_cast<size_t>(marked), 0), 0);
  std::vector<std::string> earlier = folder.Entries();
  KillAndWait(ChildWithTemporary(out, false, false));
  std::string unmarkedLeftover;
  for (const std::string& name : folder.Entries()) {
    if (std::find(earlier.begin(), earlier.end(), name) == earlier.end()) unmarkedLeftover = folder.File(name);
  }
  WriteText(input, "the input, named like a temporary file");
  WriteText(folder.File(".out.glb.partial-2024-05"), "the user's");
  std::vector<std::string> strangers = {".out.glb.partial-notes", "out.glb.partial-1-1", ".out.glb.partial-1-1.bak",
                                        ".out.glb2.partial-1-1", ".other.glb.partial-999999-1"};
  for (const std::string& name : strangers) WriteText(folder.File(name), "theirs");
  pid_t holder = ChildWithTemporary(out, true);
  ASSERT_GT(holder, 0);
  OutputFile held;
  std::string error;
  ASSERT_TRUE(held.Create(out, &error)) << error;
  size_t before = folder.Entries().size();

  dustweave::Sweep sweep = dustweave::SweepTemporaries(out, {out, input});
  EXPECT_EQ(sweep.removed, 1u);
  EXPECT_EQ(std::set<std::string>(sweep.unproven.begin(), sweep.unproven.end()),
            (std::set<std::string>{folder.File(".out.glb.partial-2024-05"), copy, unmarkedLeftover}));
  EXPECT_EQ(folder.Entries().size(), before - 1);
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_EQ(ReadAll(input), "the input, named like a temporary file");
  for (const std::string& name : strangers) EXPECT_EQ(ReadAll(folder.File(name)), "theirs") << name;
  KillAndWait(holder);
  EXPECT_EQ(dustweave::SweepTemporaries(out, {out, input}).removed, 1u);  // the holder's, now that it is gone
  held.Abandon();
  EXPECT_EQ(folder.Entries().size(), before - 3);
}
#endif

}  // namespace
