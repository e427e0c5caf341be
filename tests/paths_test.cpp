// Paths kept as the bytes they are: split into folder and name and joined again unchanged,
// whatever the script or encoding of their names; the module found beside a program in such a
// folder; the system's answers about files; UTF-8 read as characters only where it is valid; and
// text for a console cut only between characters.
// Runs natively and under wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "commands/console_text.h"
#include "commands/module_path.h"
#include "platform/path_queries.h"
#include "platform/path_text.h"
#include "platform/temp_files.h"
#include "platform/utf8.h"
#include "temp_file.h"

namespace {

using dustweave::FolderOf;
using dustweave::JoinPath;
using dustweave::FileNameOf;

#if defined(_WIN32)
const std::string SEP = "\\";
#else
const std::string SEP = "/";
#endif

// Folder names as a program receives them: UTF-8 in four scripts, and Latin-1 bytes that are
// no UTF-8 at all (what an ANSI code page gives).
const std::vector<std::string> FOLDERS = {"Jos\xC3\xA9", "\xD0\x9F\xD1\x8B\xD0\xBB\xD1\x8C",
                                          "\xCE\xA3\xCE\xBA\xCF\x8C\xCE\xBD\xCE\xB7", "\xE7\xB2\x92\xE5\xAD\x90",
                                          "Jos\xE9"};

// ---- folder and name ------------------------------------------------------------------------

TEST(PathParts, FolderAndNameOfAPathInAnyScriptJoinBackToTheSameBytes) {
  for (const std::string& folder : FOLDERS) {
    std::string path = "/work/" + folder + SEP + folder + ".pfx";
    EXPECT_EQ(FolderOf(path), "/work/" + folder + SEP);
    EXPECT_EQ(FileNameOf(path), folder + ".pfx");
    EXPECT_EQ(FolderOf(path) + FileNameOf(path), path);
    EXPECT_EQ(JoinPath(FolderOf(path), FileNameOf(path)), path);
  }
}

TEST(PathParts, TheRootStaysWithTheFolder) {
  EXPECT_EQ(FolderOf("/dust.pfx"), "/");
  EXPECT_EQ(JoinPath("/", "dust.pfx"), "/dust.pfx");
  EXPECT_EQ(FolderOf("dust.pfx"), "");
  EXPECT_EQ(JoinPath("", "dust.pfx"), "dust.pfx");
  EXPECT_EQ(FolderOf("a//dust.pfx"), "a//");
  EXPECT_EQ(JoinPath("a/", "dust.pfx"), "a/dust.pfx");
  EXPECT_EQ(JoinPath("a", "dust.pfx"), "a" + SEP + "dust.pfx");
}

#if defined(_WIN32)
TEST(PathParts, OnWindowsEitherSlashSeparatesAndTheDriveIsKept) {
  EXPECT_EQ(FolderOf("C:\\sim/dust.pfx"), "C:\\sim/");
  EXPECT_EQ(FolderOf("C:/sim\\dust.pfx"), "C:/sim\\");
  EXPECT_EQ(FolderOf("C:\\dust.pfx"), "C:\\");
  EXPECT_EQ(FolderOf("C:dust.pfx"), "C:");
  EXPECT_EQ(FileNameOf("C:dust.pfx"), "dust.pfx");
  EXPECT_EQ(JoinPath("C:", "dust.pfx"), "C:dust.pfx");
  EXPECT_EQ(JoinPath("C:\\sim", "dust.pfx"), "C:\\sim\\dust.pfx");
}
#else
TEST(PathParts, ElsewhereABackslashIsPartOfAName) {
  EXPECT_EQ(FolderOf("sim\\dust.pfx"), "");
  EXPECT_EQ(FileNameOf("a/sim\\dust.pfx"), "sim\\dust.pfx");
}
#endif

// ---- the module beside the program ------------------------------------------------------------

TEST(ModuleBesideProgram, IsLookedForInTheProgramsFolderByItsBytes) {
  for (const std::string& folder : FOLDERS) {
    std::string program = "/work/" + folder + SEP + "dustweave";
    std::vector<std::string> candidates = dustweave::ModuleCandidates(program);
    ASSERT_FALSE(candidates.empty());
    EXPECT_EQ(candidates.front(), "/work/" + folder + SEP + dustweave::DefaultModuleName());
  }
}

// ---- what the system says ---------------------------------------------------------------------

TEST(SystemAnswers, ProgramPathNamesThisProgram) {
  std::string program = dustweave::ProgramPath();
  EXPECT_TRUE(dustweave::IsRegularFile(program)) << program;
  EXPECT_EQ(FileNameOf(program).rfind("path_tests", 0), 0u) << program;
}

TEST(SystemAnswers, WhatIsUnderANameIsToldWithAFilesSize) {
  TempFile file(std::vector<uint8_t>(264, 7));
  dustweave::PathStatus status;
  ASSERT_EQ(dustweave::StatusOf(file.path(), &status), 0);
  EXPECT_EQ(status.kind, dustweave::PathKind::File);
  EXPECT_EQ(status.size, 264u);
  EXPECT_TRUE(dustweave::IsRegularFile(file.path()));
  std::string folder = FolderOf(file.path());
  ASSERT_EQ(dustweave::StatusOf(folder, &status), 0);
  EXPECT_EQ(status.kind, dustweave::PathKind::Folder);
  EXPECT_FALSE(dustweave::IsRegularFile(folder));
  ASSERT_EQ(dustweave::StatusOf(file.path() + ".missing", &status), 0);
  EXPECT_EQ(status.kind, dustweave::PathKind::Missing);
}

TEST(SystemAnswers, ARelativePathIsMadeAbsoluteAgainstTheCurrentFolder) {
  std::string here = std::filesystem::current_path().string();
  EXPECT_EQ(dustweave::AbsolutePath("dust.pfx"), JoinPath(here, "dust.pfx"));
  std::string absolute = JoinPath(here, "dust.pfx");
  EXPECT_EQ(dustweave::AbsolutePath(absolute), absolute);
}

TEST(SystemAnswers, OneFileIsKnownUnderAnotherSpellingOfItsPath) {
  TempFile file(std::vector<uint8_t>(12, 1)), other(std::vector<uint8_t>(12, 1));
  std::string folder = FolderOf(file.path());
  folder.pop_back();  // its separator
  std::string roundabout = JoinPath(JoinPath(JoinPath(folder, ".."), FileNameOf(folder)), FileNameOf(file.path()));
  EXPECT_TRUE(dustweave::SameFile(file.path(), roundabout)) << roundabout;
  EXPECT_FALSE(dustweave::SameFile(file.path(), other.path()));
  EXPECT_FALSE(dustweave::SameFile(file.path(), file.path() + ".missing"));
}

TEST(SystemAnswers, AnOrdinaryPathIsNeverTooLong) {
  TempFile file(".glb");
  EXPECT_EQ(dustweave::PathLengthRefusal(file.path(), dustweave::TEMPORARY_NAME_ROOM), "");
}

// ---- UTF-8 ----------------------------------------------------------------------------------

// The characters `text` reads as, each by its length; 0 for a byte that begins none.
std::vector<size_t> CharacterLengths(const std::string& text) {
  std::vector<size_t> lengths;
  for (size_t at = 0; at < text.size();) {
    size_t length = dustweave::Utf8CharacterAt(text, at);
    lengths.push_back(length);
    at += length > 0 ? length : 1;
  }
  return lengths;
}

TEST(Utf8, EachCharacterIsReadWholeInAnyScript) {
  EXPECT_EQ(CharacterLengths("a\tZ"), (std::vector<size_t>{1, 1, 1}));
  EXPECT_EQ(CharacterLengths("Jos\xC3\xA9"), (std::vector<size_t>{1, 1, 1, 2}));
  EXPECT_EQ(CharacterLengths("\xE7\xB2\x92\xEF\xBF\xBD"), (std::vector<size_t>{3, 3}));
  EXPECT_EQ(CharacterLengths("\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"), (std::vector<size_t>{4, 4}));
}

TEST(Utf8, BytesOfNoValidCharacterAreNoneOfThem) {
  EXPECT_EQ(CharacterLengths("Jos\xE9"), (std::vector<size_t>{1, 1, 1, 0}));        // Latin-1
  EXPECT_EQ(CharacterLengths("\x80\xBF"), (std::vector<size_t>{0, 0}));           // continuations alone
  EXPECT_EQ(CharacterLengths("\xC0\xAF"), (std::vector<size_t>{0, 0}));           // "/" overlong
  EXPECT_EQ(CharacterLengths("\xE0\x80\xAF"), (std::vector<size_t>{0, 0, 0}));   // overlong
  EXPECT_EQ(CharacterLengths("\xED\xA0\x80"), (std::vector<size_t>{0, 0, 0}));   // a surrogate
  EXPECT_EQ(CharacterLengths("\xF4\x90\x80\x80"), (std::vector<size_t>{0, 0, 0, 0}));  // past U+10FFFF
  EXPECT_EQ(CharacterLengths("\xF5\x80\x80\x80"), (std::vector<size_t>{0, 0, 0, 0}));
  EXPECT_EQ(CharacterLengths("a\xE7\xB2"), (std::vector<size_t>{1, 0, 0}));       // cut short
}

// ---- console text ---------------------------------------------------------------------------

// Every cut of `text` into a written part and a waiting part: the written part ends on a whole
// character, and nothing whole is kept waiting.
void ExpectCutsBetweenCharacters(const std::string& text, const std::vector<size_t>& boundaries) {
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    size_t whole = dustweave::WholeCharactersLength(text.data(), cut, true);
    size_t expected = 0;
    for (size_t boundary : boundaries) {
      if (boundary <= cut) expected = boundary;
    }
    EXPECT_EQ(whole, expected) << "cut after " << cut << " bytes";
  }
}

TEST(ConsoleText, ACharacterSplitBetweenWritesWaitsForItsLastByte) {
  ExpectCutsBetweenCharacters("caf\xC3\xA9", {0, 1, 2, 3, 5});
  ExpectCutsBetweenCharacters("\xE7\xB2\x92\xE5\xAD\x90", {0, 3, 6});
  ExpectCutsBetweenCharacters("a\xF0\x9F\x98\x80", {0, 1, 5});
}

TEST(ConsoleText, BytesThatBeginNoCharacterAreNotHeldBack) {
  std::string stray = "a\x80\x80\x80\x80";
  EXPECT_EQ(dustweave::WholeCharactersLength(stray.data(), stray.size(), true), stray.size());
  std::string latin1 = "Jos\xE9";
  EXPECT_EQ(dustweave::WholeCharactersLength(latin1.data(), latin1.size(), false), latin1.size());
}

}  // namespace
