// The dustweave program as a user runs it: misuse and help, refusing what is not the plug-in,
// the summary line, the JSON report and the written files of `run`, and what `inspect` and
// `generate` tell. Runs the built program through the shell (Linux builds only).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <limits>

#include "pfx/format.h"
#include "pfxtools/pfx_inspect.h"
#include "pfxtools/pfx_writer.h"
#include "platform/file_seam.h"
#include "program_run.h"
#include "temp_file.h"

namespace {

using Json = nlohmann::json;

constexpr int MISUSE = 64;
constexpr int NOT_RUN = 10;

// ---- running the program ----------------------------------------------------------------------

Outcome RunModule(const std::string& file, std::vector<std::string> options) {
  std::vector<std::string> args = {"run", DUSTWEAVE_MODULE_FILE, "--file", file};
  args.insert(args.end(), options.begin(), options.end());
  return Dustweave(args);
}

Json JsonOf(const Outcome& outcome) { return Json::parse(outcome.out); }

// One line on standard error, naming the program, and nothing on standard output.
void ExpectOneLineError(const Outcome& outcome, const std::string& containing) {
  EXPECT_TRUE(outcome.out.empty()) << outcome.out;
  ASSERT_FALSE(outcome.err.empty());
  EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
  EXPECT_EQ(outcome.err.rfind("dustweave: ", 0), 0u) << outcome.err;
  EXPECT_NE(outcome.err.find(containing), std::string::npos) << outcome.err;
}

// ---- pfx files --------------------------------------------------------------------------------

class TypicalFile {
 public:
  TypicalFile() { EXPECT_EQ(Dustweave({"generate", file_.path()}).status, 0); }
  const std::string& path() const { return file_.path(); }

 private:
  TempFile file_;
};

std::vector<uint8_t> Cut(const pfxwrite::File& file, size_t size) {
  std::vector<uint8_t> bytes = pfxwrite::Encode(file);
  bytes.resize(size);
  return bytes;
}

std::string WriteScratch(const TempFile& scratch, const std::vector<uint8_t>& bytes) {
  scratch.Write(bytes);
  return scratch.path();
}

size_t CountLines(const std::string& text, const std::string& prefix) {
  size_t count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return count;
}

// ---- misuse and help --------------------------------------------------------------------------

TEST(CliUsage, MisuseExitsNonZeroWithOneLine) {
  const std::string module = DUSTWEAVE_MODULE_FILE;
  const std::vector<std::vector<std::string>> misuses = {
      {},
      {"frobnicate"},
      {"run"},
      {"run", module, "--bogus"},
      {"run", module, "--pick", "abc"},
      {"run", module, "--pick", "1.5"},
      {"run", module, "--step"},
      {"run", module, "--step", "fast"},
      {"run", module, "--answer", "maybe"},
      {"run", module, "--interface-version", "3x"},
      {"run", module, "--discard", "--obj", "chains.obj"},
      {"inspect"},
      {"generate"},
      {"generate", "out.pfx", "--particles", "-1"},
      {"generate", "out.pfx", "--last", "3000000000"},
  };
  for (const auto& args : misuses) {
    SCOPED_TRACE(::testing::PrintToString(args));
    Outcome outcome = Dustweave(args);
    EXPECT_EQ(outcome.status, MISUSE);
    ExpectOneLineError(outcome, "");
  }
}

// Each option's help shows what a person types (N, FILE.svg, SHARE), never the parser's bare
// type or its numeric bounds (TEXT, UINT, "in [1 - 18446744073709551615]").
TEST(CliUsage, EachSubcommandHasHelp) {
  for (std::string sub : {"convert", "run", "inspect", "generate"}) {
    Outcome outcome = Dustweave({sub, "--help"});
    EXPECT_EQ(outcome.status, 0) << sub;
    EXPECT_NE(outcome.out.find(sub), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("Exit status"), std::string::npos) << outcome.out;
    for (const char* parserWord : {" TEXT", " INT", " UINT", " FLOAT", " in [", ":{"}) {
      EXPECT_EQ(outcome.out.find(parserWord), std::string::npos) << parserWord << " in:\n" << outcome.out;
    }
  }
  Outcome outcome = Dustweave({"--help"});
  EXPECT_EQ(outcome.status, 0);
  for (const char* sub : {"convert", "run", "inspect", "generate"}) EXPECT_NE(outcome.out.find(sub), std::string::npos);
}

TEST(CliUsage, WordThatNamesNoCommandOrOptionIsToldWithTheOneMeantAndRepeatsInPlainWords) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"conver", "sim.pfx", "chains.glb"}, "unknown command 'conver' (did you mean convert?)"},
      {{"Convert", "sim.pfx", "chains.glb"}, "unknown command 'Convert' (did you mean convert?)"},
      {{"inpsect", "sim.pfx"}, "unknown command 'inpsect' (did you mean inspect?)"},
      {{"gen", "sim.pfx"}, "unknown command 'gen' (did you mean generate?)"},
      {{"--test-point-ids-taken", "5", "rn", "x.so"}, "unknown command 'rn' (did you mean run?)"},
      {{"frobnicate"}, "unknown command 'frobnicate': the commands are convert, run, inspect and generate "
                       "(see dustweave --help)"},
      {{}, "no command given: convert, run, inspect or generate (see dustweave --help)"},
      {{"convert", "sim.pfx", "chains.glb", "--stp", "25%"}, "unknown option --stp (did you mean --step?)"},
      {{"run", "x.so", "--fil=sim.pfx"}, "unknown option --fil (did you mean --file?)"},
      {{"convert", "sim.pfx", "chains.glb", "-x"}, "unknown option -x (see dustweave convert --help)"},
      {{"inspect", "a.pfx", "b.pfx"}, "more arguments than inspect takes: b.pfx (see dustweave inspect --help)"},
      {{"convert", "sim.pfx", "chains.glb", "--step", "25%", "--step=50%"},
       "--step is given 2 times; give it once (see dustweave convert --help)"},
  };
  for (const auto& [args, line] : cases) {
    Outcome outcome = Dustweave(args);
    EXPECT_EQ(outcome.status, MISUSE);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "dustweave: " + line + "\n");
  }
}

// The last line of a --help text.
std::string LastLine(const std::string& text) {
  std::string trimmed = text.substr(0, text.find_last_not_of("\n") + 1);
  return trimmed.substr(trimmed.rfind('\n') + 1);
}

TEST(CliUsage, EveryHelpEndsWithAnExampleThatRuns) {
  const std::vector<std::pair<std::string, std::string>> helps = {
      {"", "  dustweave convert sim.pfx chains.glb --step 25% --svg chains.svg"},
      {"convert", "  dustweave convert sim.pfx chains.glb --step 25% --svg chains.svg"},
      {"run", "  dustweave run mirod_dustweave.so --file sim.pfx --step 0.25 --obj chains.obj"},
      {"inspect", "  dustweave inspect sim.pfx"},
      {"generate", "  dustweave generate sim.pfx --particles 2000 --index-limit 500 --last 499"},
  };
  TempFolder folder;
  for (const auto& [command, example] : helps) {
    std::vector<std::string> args = {"--help"};
    if (!command.empty()) args.insert(args.begin(), command);
    Outcome outcome = Dustweave(args);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(LastLine(outcome.out), example) << outcome.out;
  }
  // The examples work as shown, in this order (run with the module given by path here).
  const std::string here = "cd " + Quote(folder.File("")) + " && ";
  for (std::vector<std::string> example :
       {std::vector<std::string>{"generate", "sim.pfx", "--particles", "20", "--index-limit", "500", "--last", "499"},
        {"inspect", "sim.pfx"},
        {"convert", "sim.pfx", "chains.glb", "--step", "25%", "--svg", "chains.svg"},
        {"run", DUSTWEAVE_MODULE_FILE, "--file", "sim.pfx", "--step", "0.25", "--obj", "chains.obj"}}) {
    EXPECT_EQ(RunProgram(DUSTWEAVE_PROGRAM, example, here).status, 0) << example[0];
  }
}

TEST(CliUsage, ProgramNamesItselfAsCalledWithoutItsFolder) {
  TempFolder folder;
  std::filesystem::create_symlink(DUSTWEAVE_PROGRAM, folder.File("dw"));
  const std::string dw = folder.File("dw");
  Outcome help = RunProgram(dw, {"--help"});
  EXPECT_NE(help.out.find("\nUsage: dw [OPTIONS] SUBCOMMAND\n"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find(folder.File("")), std::string::npos) << help.out;
  EXPECT_EQ(LastLine(help.out), "  dw convert sim.pfx chains.glb --step 25% --svg chains.svg");
  Outcome convertHelp = RunProgram(dw, {"convert", "--help"});
  EXPECT_NE(convertHelp.out.find("Usage: dw convert [OPTIONS] INPUT OUTPUT"), std::string::npos) << convertHelp.out;
  Outcome misuse = RunProgram(dw, {"convert", "in.pfx", "out.stl"});
  EXPECT_EQ(misuse.status, MISUSE);
  EXPECT_EQ(misuse.err, "dustweave: OUTPUT must end in .obj, .glb, .usda or .usdc: out.stl (see dw convert --help)\n");
  Outcome parse = RunProgram(dw, {"inspect", "a", "b"});
  EXPECT_NE(parse.err.find("(see dw inspect --help)\n"), std::string::npos) << parse.err;
}

TEST(CliUsage, OneOfACountIsSingular) {
  pfxwrite::File file;
  file.indexLimit = 0;
  file.tracks.push_back(pfxwrite::Track{0, 0, 0, {0, 0, 0}, {{1, 2, 3}}});
  TempFile one(file);
  TempFolder folder;
  Outcome run = RunModule(one.path(), {"--start-poly"});
  EXPECT_EQ(run.out, "1 point, 1 polygon, result 0\n");
  Outcome convert = Dustweave({"convert", one.path(), folder.File("one.obj")});
  EXPECT_EQ(convert.out, "wrote " + folder.File("one.obj: 1 point, 0 polygons\n"));
  Outcome generate = Dustweave({"generate", folder.File("g.pfx"), "--particles", "1", "--first", "0", "--last", "0"});
  EXPECT_EQ(generate.out, "wrote " + folder.File("g.pfx: 1 particle, 1 sample, 48 bytes\n"));
}

// ---- loading the module -----------------------------------------------------------------------

TEST(CliLoading, WhatIsNotThePlugInIsRefusedWithTen) {
  TypicalFile pfx;
  const std::string dir = FAKE_MODULE_DIR;
  const std::vector<std::pair<std::string, std::string>> refusals = {
      {pfx.path(), "cannot load module"},
      {pfx.path() + ".missing", "cannot load module"},
      {dir + "/fake_no_descriptor.so", "exports no _mod_descrip"},
      {dir + "/fake_wrong_sync.so", "wrong synchronisation word 0x19941204"},
      {dir + "/fake_wrong_server.so", "no server \"mirod_dustweave\" of class \"CommandSequence\""},
      {dir + "/fake_null_startup.so", "startup"},
  };
  for (const auto& [module, reason] : refusals) {
    Outcome outcome = Dustweave({"run", module, "--file", pfx.path()});
    EXPECT_EQ(outcome.status, NOT_RUN) << module;
    ExpectOneLineError(outcome, reason);
  }
}

TEST(CliLoading, ModuleIsFoundByPathNotBySearch) {
  // A bare file name is a path in the current folder, as for any other file.
  TypicalFile pfx;
  std::string command = "cd " + Quote(FAKE_MODULE_DIR) + " && " + Launched(DUSTWEAVE_PROGRAM) +
                        " run fake_wrong_sync.so >/dev/null 2>&1";
  int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), NOT_RUN);
}

TEST(CliLoading, ModuleGivenByNameIsFoundBesideTheProgram) {
  // As convert finds its module: the program and the module installed together, run from elsewhere.
  TypicalFile pfx;
  TempFolder installed, elsewhere;
  std::filesystem::copy_file(DUSTWEAVE_PROGRAM, installed.File("dustweave"));
  std::filesystem::copy_file(DUSTWEAVE_MODULE_FILE, installed.File("mirod_dustweave.so"));
  const std::string there = "cd " + Quote(elsewhere.File("")) + " && ";
  Outcome outcome = RunProgram(installed.File("dustweave"),
                               {"run", "mirod_dustweave.so", "--file", pfx.path(), "--step", "0.25"}, there);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "5,200 points, 5,000 polygons, result 0\n");

  Outcome nowhere = RunProgram(installed.File("dustweave"), {"run", "other.so", "--file", pfx.path()}, there);
  EXPECT_EQ(nowhere.status, NOT_RUN);
  ExpectOneLineError(nowhere, "cannot load module other.so: there is no such file here or beside this program");
}

// ---- run: the summary line and the JSON report ------------------------------------------------

TEST(CliRun, TypicalRunPrintsTheSummaryLine) {
  TypicalFile pfx;
  Outcome outcome = RunModule(pfx.path(), {"--step", "0.25"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "5,200 points, 5,000 polygons, result 0\n");
  EXPECT_EQ(outcome.err, "");
}

TEST(CliRun, JsonReportHasTheDocumentedShape) {
  TypicalFile pfx;
  Outcome outcome = RunModule(pfx.path(), {"--step", "0.25", "--json", "--surfaces", "A,B,C", "--pick", "2"});
  EXPECT_EQ(outcome.status, 0);
  ASSERT_EQ(CountLines(outcome.out, ""), 1u);
  Json report = JsonOf(outcome);
  std::vector<std::string> keys;
  for (const auto& item : report.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"boxes", "edit", "panel", "points", "polygons", "result"}));
  EXPECT_EQ(outcome.out.rfind("{\"result\":0,\"boxes\":[],\"panel\":", 0), 0u) << outcome.out;
  EXPECT_EQ(report["result"], 0);
  EXPECT_EQ(report["boxes"], Json::array());
  EXPECT_EQ(report["panel"], (Json{{"title", "mirod_dustweave"}, {"choices", {"A", "B", "C"}}}));
  EXPECT_EQ(report["edit"], "ended");
  EXPECT_EQ(report["points"], 5200);
  EXPECT_EQ(report["polygons"], 5000);
}

TEST(CliRun, BoxesAreShownOnStandardErrorAsTheyComeAndReported) {
  TempFile version2(SmallFile(2));
  Outcome outcome = RunModule(version2.path(), {"--json", "--answer", "cancel"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "box okCancel \"Error !\": \"wrong pfx file version (2)\\n continue ?\" -> cancel\n");
  Json boxes = JsonOf(outcome)["boxes"];
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], (Json{{"kind", "okCancel"}, {"title", "Error !"},
                            {"text", "wrong pfx file version (2)\n continue ?"}, {"answer", 0}}));
  EXPECT_EQ(JsonOf(outcome)["points"], 0);

  Outcome ok = RunModule(version2.path(), {"--json"});
  EXPECT_EQ(JsonOf(ok)["boxes"][0]["answer"], 1);
  EXPECT_EQ(JsonOf(ok)["points"], 15);
}

TEST(CliRun, EmptyFileNameIsNotTheSameAsNoFile) {
  Outcome empty = Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--file", "", "--json"});
  EXPECT_EQ(empty.status, 0);
  Json report = JsonOf(empty);
  ASSERT_EQ(report["boxes"].size(), 1u);
  EXPECT_EQ(report["boxes"][0], (Json{{"kind", "error"}, {"title", nullptr}, {"text", "could not open file"},
                                      {"answer", nullptr}}));
  EXPECT_EQ(empty.err, "box error: \"could not open file\"\n");

  Outcome none = Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--json"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(JsonOf(none)["boxes"], Json::array());
  EXPECT_EQ(JsonOf(none)["edit"], "none");
  EXPECT_EQ(none.err, "");
}

TEST(CliRun, ActivationResultIsTheExitStatus) {
  TypicalFile pfx;
  Outcome version = RunModule(pfx.path(), {"--interface-version", "4", "--json"});
  EXPECT_EQ(version.status, 1);
  EXPECT_EQ(JsonOf(version)["result"], 1);
  EXPECT_EQ(JsonOf(version)["panel"], nullptr);

  Outcome missing = RunModule(pfx.path(), {"--without", "Surface Functions 4", "--json"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(JsonOf(missing)["panel"], nullptr);
  EXPECT_EQ(JsonOf(missing)["edit"], "none");

  // Options may come before MODULE, each --without naming one service.
  Outcome before = Dustweave({"run", "--without", "LWXPanel", "--without", "Info Messages 2", DUSTWEAVE_MODULE_FILE});
  EXPECT_EQ(before.status, 2);
  EXPECT_EQ(before.out, "0 points, 0 polygons, result 2\n");

  Outcome cancel = RunModule(pfx.path(), {"--cancel-panel", "--json"});
  EXPECT_EQ(cancel.status, 0);
  EXPECT_EQ(JsonOf(cancel)["panel"]["choices"], Json::array({"Default"}));
  EXPECT_EQ(JsonOf(cancel)["edit"], "none");

  Outcome declined = RunModule(pfx.path(), {"--decline-edit"});
  EXPECT_EQ(declined.status, 0);
  EXPECT_EQ(declined.out, "0 points, 0 polygons, result 0\n");
}

TEST(CliRun, NumbersAreTakenAsACProgramReadsThem) {
  TypicalFile pfx;
  // A step percent that is not inside (0, 1) keeps every sample: 101 points a track.
  for (std::string step : {"--step=-0.5", "--step=nan", "--step=inf", "--step=-inf", "--step=1"}) {
    Outcome outcome = RunModule(pfx.path(), {step});
    EXPECT_EQ(outcome.status, 0) << step;
    EXPECT_EQ(outcome.out, "20,200 points, 20,000 polygons, result 0\n") << step;
  }
  for (const std::vector<std::string>& step : {std::vector<std::string>{"--step", "-0.5"}, {"--step", "nan"},
                                               {"--step", "-inf"}}) {
    EXPECT_EQ(RunModule(pfx.path(), step).out, "20,200 points, 20,000 polygons, result 0\n") << step[1];
  }
  // A popup entry before the first is taken as Cancel.
  for (const std::vector<std::string>& pick : {std::vector<std::string>{"--pick=-1"}, {"--pick", "-1"}}) {
    Outcome outcome = RunModule(pfx.path(), pick);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "0 points, 0 polygons, result 0\n");
  }
}

TEST(CliRun, DiscardCountsWithoutKeeping) {
  TypicalFile pfx;
  Outcome outcome = RunModule(pfx.path(), {"--step", "0.25", "--discard"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "5,200 points, 5,000 polygons, result 0\n");
}

// ---- run: the written files -------------------------------------------------------------------

TEST(CliRun, ObjAndSvgAreWrittenTheSameEveryTime) {
  TypicalFile pfx;
  TempFile obj(".obj"), again(".obj"), svg(".svg");
  ASSERT_EQ(RunModule(pfx.path(), {"--step", "0.25", "--obj", obj.path(), "--svg", svg.path()}).status, 0);
  ASSERT_EQ(RunModule(pfx.path(), {"--step", "0.25", "--obj", again.path()}).status, 0);
  std::string text = ReadText(obj.path());
  EXPECT_EQ(text, ReadText(again.path()));
  EXPECT_EQ(CountLines(text, "v "), 5200u);
  EXPECT_EQ(CountLines(text, "l "), 5000u);
  EXPECT_EQ(CountLines(text, "usemtl "), 1u);
  EXPECT_LT(text.find("\nusemtl Default\n"), text.find("\nl 1 2\n"));
  std::string picture = ReadText(svg.path());
  EXPECT_EQ(picture.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_EQ(picture.substr(picture.size() - 7), "</svg>\n");
}

TEST(CliRun, OneAndTwoPointPolygonsAndSurfaceChangesInObj) {
  TempFile small(SmallFile()), obj(".obj");
  ASSERT_EQ(RunModule(small.path(), {"--start-poly", "--surfaces", "Dust", "--obj", obj.path()}).status, 0);
  std::string text = ReadText(obj.path());
  EXPECT_EQ(CountLines(text, "p "), 3u);
  EXPECT_EQ(CountLines(text, "l "), 12u);
  EXPECT_NE(text.find("usemtl Dust\np 1\nv 1 1 -1\nl 1 2\nv 2 2 -2\nl 2 3\n"), std::string::npos) << text;
}

TEST(CliRun, OutputThatCannotBeWrittenExitsWithTen) {
  TypicalFile pfx;
  Outcome outcome = RunModule(pfx.path(), {"--obj", pfx.path() + ".missing/chains.obj"});
  EXPECT_EQ(outcome.status, NOT_RUN);
  ExpectOneLineError(outcome, "cannot write");
}

// ---- inspect ----------------------------------------------------------------------------------

TEST(CliInspect, WholeFileShowsHeaderTracksSamplesAndBounds) {
  TempFile small(SmallFile());
  Outcome outcome = Dustweave({"inspect", small.path()});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "file:      " + small.path() + ", 264 bytes\n"
                         "header:    version 3, 3 particles, index limit 4\n"
                         "tracks:    3 whole of 3\n"
                         "samples:   15\n"
                         "points:    100 % 15 \xC2\xB7 50 % 9 \xC2\xB7 25 % 6 \xC2\xB7 10 % 6 \xC2\xB7 1 % 6 (--step; --max-points chooses one)\n"
                         "bounds:    x 0 .. 6, y 0 .. 4, z -4 .. 0\n"
                         "trailing:  0 bytes after the last track, never read\n"
                         "animated:  5 frames, 15 particle points (--animate)\n"
                         "trails:    100 % 42, 2,612 bytes \xC2\xB7 50 % 30, 2,180 bytes \xC2\xB7 25 % 24, 1,964 bytes \xC2\xB7 "
                         "10 % 24, 1,964 bytes \xC2\xB7 1 % 24, 1,964 bytes (points and values, whole trails)\n");
}

TEST(CliInspect, ShortFileSaysWhereItEnds) {
  struct Case {
    size_t size;
    std::string where;
  };
  const std::vector<Case> cases = {
      {7, "ends early: at byte 7, inside the 12-byte header\n"},
      {12 + 84 + 10, "ends early: at byte 106, inside track 2 of 3, in its 24-byte head\n"},
      {12 + 84 + 24 + 24 + 5, "ends early: at byte 149, inside track 2 of 3, in sample 3 of 5\n"},
      {263, "ends early: at byte 263, inside track 3 of 3, in sample 5 of 5\n"},
  };
  for (const Case& c : cases) {
    TempFile cut;
    Outcome outcome = Dustweave({"inspect", WriteScratch(cut, Cut(SmallFile(), c.size))});
    EXPECT_EQ(outcome.status, 1) << c.size;
    EXPECT_NE(outcome.out.find(c.where), std::string::npos) << outcome.out;
  }
}

TEST(CliInspect, TrailingBytesAndHeaderQuestionsAreNoted) {
  pfxwrite::File trailing = SmallFile();
  trailing.trailing = {1, 2, 3, 4, 5};
  TempFile withTrailing(trailing);
  Outcome outcome = Dustweave({"inspect", withTrailing.path()});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(outcome.out.find("trailing:  5 bytes after the last track, never read\n"), std::string::npos);

  TempFile version2(SmallFile(2));
  outcome = Dustweave({"inspect", version2.path()});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.out.find("the plug-in expects version 3"), std::string::npos) << outcome.out;

  pfxwrite::File empty;
  TempFile noParticles(empty);
  outcome = Dustweave({"inspect", noParticles.path()});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.out.find("no particles"), std::string::npos) << outcome.out;
}

// Inspect exits as convert would: a NaN or infinite sample stops convert, named as convert names it.
TEST(CliInspect, ANonFiniteSampleExitsAsConvertRefusesIt) {
  pfxwrite::File file = SmallFile();
  file.tracks[2].samples[3].x = std::numeric_limits<float>::quiet_NaN();
  file.tracks[0].samples[4].y = std::numeric_limits<float>::infinity();
  TempFile bad(file);
  Outcome outcome = Dustweave({"inspect", bad.path()});
  EXPECT_EQ(outcome.status, 10);
  EXPECT_NE(outcome.out.find("note:      2 samples have a NaN or infinite coordinate, which no output holds, the first particle 0, "
                             "sample 4 (frame 4): convert refuses the file (exit 10); --bad-samples drop leaves such samples out\n"),
            std::string::npos) << outcome.out;
}

TEST(CliInspect, TrackTheSampleRuleNeverEndsIsNoted) {
  pfxwrite::File file;
  file.indexLimit = 2;
  file.tracks.push_back(pfxwrite::RuledTrack(0, 5, 1, 2));  // resumes below its span: capped
  TempFile looping(file);
  Outcome outcome = Dustweave({"inspect", looping.path()});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(outcome.out.find("samples:   6\n"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("1 track the sample rule never ends"), std::string::npos) << outcome.out;
}

TEST(CliInspect, TrackCountIsTheSampleRulesWithoutWalkingIt) {
  // Against the walk itself, over every small combination of span, index limit and resume index.
  for (int32_t last = -2; last <= 12; ++last) {
    for (int32_t limit = -2; limit <= 14; ++limit) {
      for (int32_t resume = -3; resume <= 15; ++resume) {
        PfxTrack track{0, last, resume, {0, 0, 0}};
        SampleWalk walk = BeginSampleWalk(track, limit);
        uint64_t walked = 0;
        for (int32_t j; NextSample(walk, &j);) ++walked;
        ASSERT_EQ(dustweave::TrackSampleCount(track, limit), walked) << last << " " << limit << " " << resume;
      }
    }
  }
  // Spans too long to walk in a test: capped, ended by a jump past the span, or by the last index.
  EXPECT_EQ(dustweave::TrackSampleCount({0, INT32_MAX, 0, {}}, INT32_MAX), 2147483648u);
  EXPECT_EQ(dustweave::TrackSampleCount({0, INT32_MAX, 5, {}}, 10), 2147483648u);
  EXPECT_EQ(dustweave::TrackSampleCount({INT32_MIN, -1, INT32_MAX, {}}, 10), 12u);
  EXPECT_EQ(dustweave::TrackSampleCount({-5, 995, 5000, {}}, 100), 102u);
}

TEST(CliInspect, FileEndingInsideATrackOfTheLongestSpanIsToldAtOnce) {
  // 48 bytes: the header, one track spanning 2^31 - 1, and its first sample.
  pfxwrite::File file;
  file.indexLimit = INT32_MAX;
  file.tracks.push_back(pfxwrite::Track{0, INT32_MAX, 0, {0, 0, 0}, {{1, 2, 3}}});
  TempFile longest(file);
  ASSERT_EQ(pfxwrite::Encode(file).size(), 48u);
  // A generous bound: the file is told in a few milliseconds, a walk of the span took seconds.
  Outcome outcome = RunProgram(DUSTWEAVE_PROGRAM, {"inspect", longest.path()}, "timeout 1 ");
  EXPECT_EQ(outcome.status, 1) << "124 is the timeout";
  EXPECT_NE(outcome.out.find("ends early: at byte 48, inside track 1 of 1, in sample 2 of 2147483648\n"),
            std::string::npos) << outcome.out;
}

TEST(CliInspect, UnreadableFileExitsWithTen) {
  Outcome outcome = Dustweave({"inspect", "/nonexistent/file.pfx"});
  EXPECT_EQ(outcome.status, NOT_RUN);
  ExpectOneLineError(outcome, "cannot open /nonexistent/file.pfx");
}

// ---- generate ---------------------------------------------------------------------------------

TEST(CliGenerate, DefaultsWriteTheTypicalFile) {
  TempFile pfx;
  Outcome outcome = Dustweave({"generate", pfx.path()});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "wrote " + pfx.path() + ": 200 particles, 20,200 samples, 247,212 bytes\n");
  Outcome inspected = Dustweave({"inspect", pfx.path()});
  EXPECT_EQ(inspected.status, 0);
  EXPECT_NE(inspected.out.find("header:    version 3, 200 particles, index limit 100\n"), std::string::npos);
  EXPECT_NE(inspected.out.find("tracks:    200 whole of 200\n"), std::string::npos);
}

TEST(CliGenerate, SameSettingsGiveTheSameBytes) {
  TempFile a, b, c;
  ASSERT_EQ(Dustweave({"generate", a.path(), "--seed", "7", "--particles", "20"}).status, 0);
  ASSERT_EQ(Dustweave({"generate", b.path(), "--seed", "7", "--particles", "20"}).status, 0);
  ASSERT_EQ(Dustweave({"generate", c.path(), "--seed", "8", "--particles", "20"}).status, 0);
  EXPECT_EQ(ReadText(a.path()), ReadText(b.path()));
  EXPECT_NE(ReadText(a.path()), ReadText(c.path()));
}

TEST(CliGenerate, TracksLongerThanTheIndexLimitEndByThemselves) {
  // Span 6 over index limit 4: five samples in sequence, then one at the resume index.
  TempFile pfx;
  Outcome outcome = Dustweave({"generate", pfx.path(), "--particles", "3", "--index-limit", "4", "--first", "10",
                               "--last", "16"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "wrote " + pfx.path() + ": 3 particles, 18 samples, 300 bytes\n");
  Outcome inspected = Dustweave({"inspect", pfx.path()});
  EXPECT_EQ(inspected.status, 0);
  EXPECT_EQ(inspected.out.find("note:"), std::string::npos) << inspected.out;
}

// Exit 10, nothing written, for a file that cannot be written, and for an existing one unless
// --force says so: one wrong word (generate for inspect) must not cost a recording, nor one made
// under the name while generate runs (put there by the file seam just before the commit's rename).
TEST(CliGenerate, WritesNeitherWhereItCannotNorOverAFileUnlessForced) {
  Outcome outcome = Dustweave({"generate", "/nonexistent/out.pfx"});
  EXPECT_EQ(outcome.status, NOT_RUN);
  ExpectOneLineError(outcome, "cannot write /nonexistent/out.pfx");
  TempFile pfx;
  ASSERT_EQ(Dustweave({"generate", pfx.path(), "--particles", "3"}).status, 0);
  std::string recorded = ReadText(pfx.path());
  outcome = Dustweave({"generate", pfx.path(), "--particles", "2"});
  EXPECT_EQ(outcome.status, NOT_RUN);
  ExpectOneLineError(outcome, pfx.path() + " exists; generate replaces a file only when given --force");
  EXPECT_EQ(ReadText(pfx.path()), recorded);
  EXPECT_EQ(Dustweave({"generate", pfx.path(), "--particles", "2", "--force"}).status, 0);
  EXPECT_NE(ReadText(pfx.path()), recorded);

  TempFolder folder;
  std::string late = folder.File("late.pfx"), log = folder.File("operations");
  ASSERT_EQ(Dustweave({"--test-file-faults", "none,log=" + log, "generate", late}).status, 0);
  std::string logged = ReadText(log), rename = logged.substr(0, logged.find(" rename " + late));
  std::remove(late.c_str());
  std::remove(log.c_str());
  outcome = Dustweave({"--test-file-faults", "appear:" + rename.substr(rename.rfind('\n') + 1), "generate", late});
  EXPECT_EQ(outcome.status, NOT_RUN);
  ExpectOneLineError(outcome, "cannot write " + late + ": a file was made under that name meanwhile, and it is kept");
  EXPECT_TRUE(ReadText(late) == dustweave::MADE_MEANWHILE) << "the file made meanwhile is lost";
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"late.pfx"});
}

}  // namespace
