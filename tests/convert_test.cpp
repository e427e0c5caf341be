// dustweave convert as a user or a script runs it: every exit status with what it leaves behind
// (the whole file, a file cut short, a question declined or accepted, an input, module or output
// that fails, misuse), the module found beside the program, and `run --obj` streaming the same
// bytes as the kept mesh gives. Runs the built program through the shell (Linux builds only).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>
#include <regex>
#include <set>

#include "commands/animate.h"
#include "commands/interrupt_line.h"
#include "pfxtools/pfx_track_index.h"
#include "kept_mesh.h"
#include "obj/obj_writer.h"
#include "pfxtools/pfx_writer.h"
#include "program_run.h"
#include "standin/host.h"
#include "standin/loader.h"
#include "temp_file.h"

namespace {

namespace fs = std::filesystem;

constexpr int CUT_SHORT = 1, DECLINED = 2, NOT_DONE = 10, MISUSE = 64;

// ---- scratch folders and files ----------------------------------------------------------------

// A fresh folder under the system's temporary folder, removed with all it holds.
class TempDir {
 public:
  TempDir() : marker_(""), path_(marker_.path() + ".d") { fs::create_directories(path_); }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return (fs::path(path_) / name).string(); }
  const std::string& path() const { return path_; }
  // The names of what the folder holds, temporary files included.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.insert(entry.path().filename().string());
    return names;
  }

 private:
  TempFile marker_;
  std::string path_;
};

void Put(const std::string& path, const pfxwrite::File& file) {
  ASSERT_TRUE(pfxwrite::WriteBytes(path, pfxwrite::Encode(file), nullptr));
}

// The typical file: 200 particles, index limit 100, tracks 0..100.
std::string Typical(const TempDir& dir) {
  std::string path = dir / "typical.pfx";
  EXPECT_EQ(Dustweave({"generate", path}).status, 0);
  return path;
}

size_t CountLines(const std::string& text, const std::string& prefix) {
  size_t count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return count;
}

uint32_t Word(const std::string& bytes, size_t at) {
  uint32_t word = 0;
  std::memcpy(&word, bytes.data() + at, 4);  // glTF is little-endian, as is every Linux build here
  return word;
}

bool LooksLikeGlb(const std::string& bytes) {
  return bytes.size() >= 12 && bytes.compare(0, 4, "glTF") == 0 && Word(bytes, 4) == 2 && Word(bytes, 8) == bytes.size();
}

// ---- 0: the whole file ------------------------------------------------------------------------

TEST(ConvertWholeFile, ObjAndGlbAreWrittenWithOneSummaryLine) {
  TempDir dir;
  std::string pfx = Typical(dir);
  for (std::string name : {"chains.obj", "chains.glb", "CHAINS.OBJ", "Chains.Glb"}) {
    Outcome outcome = Dustweave({"convert", pfx, dir / name, "--step", "0.25"});
    EXPECT_EQ(outcome.status, 0) << name << outcome.err;
    EXPECT_EQ(outcome.out, "wrote " + (dir / name) + ": 5,200 points, 5,000 polygons\n");
    EXPECT_EQ(outcome.err, "");  // no progress line when standard error is not a terminal
    std::string bytes = ReadText(dir / name);
    if (name.back() == 'j' || name.back() == 'J') {
      EXPECT_EQ(CountLines(bytes, "v "), 5200u);
      EXPECT_EQ(CountLines(bytes, "l "), 5000u);
      EXPECT_EQ(CountLines(bytes, "usemtl Default"), 1u);
    } else {
      EXPECT_TRUE(LooksLikeGlb(bytes)) << name;
    }
  }
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"typical.pfx", "chains.obj", "chains.glb", "CHAINS.OBJ", "Chains.Glb"}));
}

// A USD layer's time codes are frames: its rate (24 unless --fps says otherwise) and its first
// and last frame, said in the layer and on the summary line; --attributes adds each point's frame.
TEST(ConvertWholeFile, UsdSaysItsRateAndItsFirstAndLastFrame) {
  TempDir dir;
  std::string pfx = Typical(dir);
  const std::pair<std::vector<std::string>, std::string> runs[] = {{{}, "24"}, {{"--fps", "30"}, "30"}, {{"--fps", "23.976"}, "23.976"}};
  for (const auto& [fps, rate] : runs) {
    std::vector<std::string> args = {"convert", pfx, dir / "out.usda", "--attributes", "--step", "25%", "--tubes", "0.5"};
    args.insert(args.end(), fps.begin(), fps.end());
    Outcome outcome = Dustweave(args);
    EXPECT_EQ(outcome.out, "wrote " + (dir / "out.usda") + ": 200 curves of 5,200 vertices; frames 0 to 100 at " +
                               rate + " fps\n") << outcome.err;
    std::string text = ReadText(dir / "out.usda");
    const std::vector<std::string> said = {"    endTimeCode = 100        \n", "    framesPerSecond = " + rate + "\n",
                                           "    startTimeCode = 0          \n", "    timeCodesPerSecond = " + rate + "\n",
                                           "int[] primvars:frame = [0, 4, 8, "};
    for (const std::string& line : said) {
      EXPECT_NE(text.find(line), std::string::npos) << line;
    }
  }
}

TEST(ConvertWholeFile, PanelAnswersAndSurfaceReachTheModule) {
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  Outcome outcome = Dustweave({"convert", dir / "small.pfx", dir / "out.obj", "--start-poly", "--surface", "Dust"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  std::string text = ReadText(dir / "out.obj");
  EXPECT_EQ(CountLines(text, "p "), 3u);
  EXPECT_EQ(CountLines(text, "l "), 12u);
  EXPECT_NE(text.find("usemtl Dust\np 1\nv 1 1 -1\nl 1 2\n"), std::string::npos) << text;

  ASSERT_EQ(Dustweave({"convert", dir / "small.pfx", dir / "tenth.obj", "--step", "0.5", "-q"}).status, 0);
  EXPECT_EQ(CountLines(ReadText(dir / "tenth.obj"), "v "), 9u);  // samples 0, 2, 4 of each track
}

TEST(ConvertWholeFile, PreviewIsWrittenBesideTheOutput) {
  TempDir dir;
  std::string pfx = Typical(dir);
  Outcome outcome = Dustweave({"convert", pfx, dir / "chains.glb", "--svg", dir / "chains.svg"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "wrote " + (dir / "chains.glb") + ": 20,200 points, 20,000 polygons; preview " +
                             (dir / "chains.svg") + "\n");
  std::string picture = ReadText(dir / "chains.svg");
  EXPECT_EQ(picture.rfind("<svg", 0), 0u);
  // The caption names the input, without its folder, and the answers.
  EXPECT_NE(picture.find(">typical.pfx \xC2\xB7 every sample \xC2\xB7 poly at start off</text>"), std::string::npos);
  ASSERT_EQ(Dustweave({"convert", pfx, dir / "chains.glb", "--svg", dir / "chains.svg", "--step", "25%",
                       "--start-poly"}).status, 0);
  EXPECT_NE(ReadText(dir / "chains.svg").find(">typical.pfx \xC2\xB7 step 25 % \xC2\xB7 poly at start on</text>"),
            std::string::npos);
}

TEST(ConvertWholeFile, PageIsWrittenBesideThePictureWithTheSameCaption) {
  TempDir dir;
  std::string pfx = Typical(dir);
  Outcome outcome = Dustweave({"convert", pfx, dir / "chains.obj", "--svg", dir / "chains.svg", "--html",
                               dir / "chains.HTM", "--step", "25%"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "wrote " + (dir / "chains.obj") + ": 5,200 points, 5,000 polygons; preview " +
                             (dir / "chains.svg") + "; 3D preview " + (dir / "chains.HTM") + "\n");
  std::string page = ReadText(dir / "chains.HTM");
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("\"caption\":[\"typical.pfx \xC2\xB7 step 25 % \xC2\xB7 poly at start off\","
                      "\"mirod_dustweave \xC2\xB7 5,200 points \xC2\xB7 5,000 polygons\"]"), std::string::npos);
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"typical.pfx", "chains.obj", "chains.svg", "chains.HTM"}));
}

TEST(ConvertWholeFile, QuietPrintsNothing) {
  TempDir dir;
  Outcome outcome = Dustweave({"convert", Typical(dir), dir / "chains.obj", "--quiet"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out + outcome.err, "");
  EXPECT_TRUE(fs::exists(dir / "chains.obj"));
}

TEST(ConvertWholeFile, FileNamedNoneIsRead) {
  // "none" is the panel's initial value, meaning no file; a file really called so is converted.
  TempDir dir;
  Put(dir / "none", SmallFile());
  Outcome outcome = RunProgram(DUSTWEAVE_PROGRAM, {"convert", "none", "chains.obj"}, "cd " + Quote(dir.path()) + " && ");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "wrote chains.obj: 15 points, 12 polygons\n");
}

TEST(ConvertWholeFile, ExistingOutputIsReplacedWhole) {
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  {
    std::ofstream old(dir / "out.obj");
    old << std::string(100000, 'x');
  }
  ASSERT_EQ(Dustweave({"convert", dir / "small.pfx", dir / "out.obj"}).status, 0);
  std::string text = ReadText(dir / "out.obj");
  EXPECT_EQ(text.find('x'), std::string::npos);
  EXPECT_EQ(CountLines(text, "v "), 15u);
}

// ---- 1: the file ended early ------------------------------------------------------------------

TEST(ConvertCutShort, ChainsOfWholeSamplesAreWrittenAndTheEndIsReported) {
  TempDir dir;
  std::vector<uint8_t> bytes = pfxwrite::Encode(SmallFile());
  bytes.resize(12 + 84 + 24 + 24 + 5);  // inside the third sample of the second track
  ASSERT_TRUE(pfxwrite::WriteBytes(dir / "cut.pfx", bytes, nullptr));
  for (std::string name : {"cut.obj", "cut.glb"}) {
    Outcome outcome = Dustweave({"convert", dir / "cut.pfx", dir / name, "--svg", dir / (name + ".svg")});
    EXPECT_EQ(outcome.status, CUT_SHORT) << name;
    EXPECT_NE(outcome.err.find("unexpected end of pfx file"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.out.find(": 7 points, 5 polygons"), std::string::npos) << outcome.out;
    EXPECT_TRUE(fs::exists(dir / (name + ".svg")));
  }
  std::string text = ReadText(dir / "cut.obj");
  EXPECT_EQ(CountLines(text, "v "), 7u);  // five samples of the first track, two of the second
  EXPECT_EQ(CountLines(text, "l "), 5u);
  EXPECT_NE(text.find("\nl 6 7\n"), std::string::npos) << text;
  EXPECT_TRUE(LooksLikeGlb(ReadText(dir / "cut.glb")));
}

// ---- 2: a question, declined or accepted ------------------------------------------------------

TEST(ConvertQuestions, DeclinedWithoutYesWritesNothing) {
  TempDir dir;
  Put(dir / "v2.pfx", SmallFile(2));
  Put(dir / "empty.pfx", pfxwrite::File{});
  const std::vector<std::pair<std::string, std::string>> cases = {{"v2.pfx", "wrong pfx file version (2)"},
                                                                  {"empty.pfx", "no particles"}};
  for (const auto& [name, question] : cases) {
    for (std::string output : {"out.obj", "out.glb"}) {
      Outcome outcome = Dustweave({"convert", dir / name, dir / output, "--svg", dir / "out.svg"});
      EXPECT_EQ(outcome.status, DECLINED) << name;
      EXPECT_EQ(outcome.out, "");
      EXPECT_NE(outcome.err.find(question), std::string::npos) << outcome.err;
      EXPECT_NE(outcome.err.find("--yes"), std::string::npos) << outcome.err;
    }
  }
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"v2.pfx", "empty.pfx"}));
}

TEST(ConvertQuestions, YesAnswersOkAndConverts) {
  TempDir dir;
  Put(dir / "v2.pfx", SmallFile(2));
  Outcome outcome = Dustweave({"convert", dir / "v2.pfx", dir / "out.obj", "--yes"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "wrote " + (dir / "out.obj") + ": 15 points, 12 polygons\n");
  EXPECT_NE(outcome.err.find("wrong pfx file version (2)"), std::string::npos) << outcome.err;

  // A file of no particle, read on, makes no point: nothing is written.
  Put(dir / "empty.pfx", pfxwrite::File{});
  outcome = Dustweave({"convert", dir / "empty.pfx", dir / "empty.glb", "--yes"});
  EXPECT_EQ(outcome.status, 3);
  EXPECT_NE(outcome.err.find("no point to write (the file holds no track: its particle count is 0); nothing written"),
            std::string::npos) << outcome.err;
  EXPECT_FALSE(fs::exists(dir / "empty.glb"));
}

TEST(ConvertQuestions, FileThatIsNoPfxFileIsNamedSoInTheQuestion) {
  TempDir dir;
  auto put = [&](const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(pfxwrite::WriteBytes(dir / name, std::vector<uint8_t>(bytes.begin(), bytes.end()), nullptr));
  };
  put("notes.pfx", "hello world, this is not a simulation\nsecond line\n");
  put("scene.pfx", "\n\n  {\"asset\": {}}\n{}\n");
  put("picture.pfx", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  put("zeros.pfx", std::string(100, '\0'));
  std::vector<uint8_t> tooMany = pfxwrite::Encode(SmallFile(2));
  tooMany[6] = 0x03, tooMany[7] = 0xe8;  // 1000 particles in 264 bytes
  ASSERT_TRUE(pfxwrite::WriteBytes(dir / "many.pfx", tooMany, nullptr));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"notes.pfx", "the text \"hello world, this is not...\""},
      {"scene.pfx", "the text \"{\"asset\": {}}\""},
      {"picture.pfx", "the bytes 89 50 4e 47 0d 0a 1a 0a ..."},
      {"zeros.pfx", "the bytes 00 00 00 00 00 00 00 00 ..."},
      {"many.pfx", "the bytes 00 00 00 02 00 00 03 e8 ..."},
  };
  for (const auto& [name, beginning] : cases) {
    Outcome outcome = Dustweave({"convert", dir / name, dir / "out.glb"});
    EXPECT_EQ(outcome.status, DECLINED) << name;
    EXPECT_EQ(outcome.out, "");
    std::string said = "dustweave: " + (dir / name) + " does not look like a pfx file (it begins with " + beginning + ")";
    EXPECT_EQ(outcome.err, said + ", continue ? -> Cancel, nothing written (--yes answers OK)\n");
    // inspect takes the same first look, in the same words.
    Outcome inspected = Dustweave({"inspect", dir / name});
    EXPECT_EQ(inspected.status, 1) << name;
    EXPECT_EQ(inspected.out, "");
    EXPECT_EQ(inspected.err, said + "\n");
  }
  EXPECT_FALSE(fs::exists(dir / "out.glb"));
  // --yes goes on as before: the plug-in reads on, and the file ends early.
  Outcome yes = Dustweave({"convert", dir / "notes.pfx", dir / "out.obj", "--yes"});
  EXPECT_EQ(yes.status, CUT_SHORT);
  EXPECT_NE(yes.err.find("does not look like a pfx file (it begins with the text \"hello world, this is not...\"), "
                         "continue ? -> OK (--yes)\n"), std::string::npos) << yes.err;
  // A pfx file of another version is still asked about by its version.
  Put(dir / "v2.pfx", SmallFile(2));
  EXPECT_EQ(Dustweave({"convert", dir / "v2.pfx", dir / "out.obj"}).err,
            "dustweave: " + (dir / "v2.pfx") + ": wrong pfx file version (2), continue ? -> Cancel, nothing written "
            "(--yes answers OK)\n");
}

// ---- 10: the input, the module or the output fails --------------------------------------------

// inspect, and run given it as its file, say the same; a device or a pipe (which might never end,
// or never begin) is refused at once.
TEST(ConvertNotDone, InputThatCannotBeOpenedIsNamedBeforeTheModuleRuns) {
  TempDir dir;
  fs::create_directory(dir / "folder.pfx");
  ASSERT_EQ(mkfifo((dir / "fifo.pfx").c_str(), 0644), 0);
  const std::string device = " is not a plain file (a device or a pipe), and a pfx file is one";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {dir / "missing.pfx", "cannot open " + (dir / "missing.pfx") + ": No such file or directory"},
      {dir / "folder.pfx", "cannot open " + (dir / "folder.pfx") + ": it is a folder"},
      {dir / "fifo.pfx", "cannot open " + (dir / "fifo.pfx") + ": it" + device},
      {"/dev/zero", "cannot open /dev/zero: it" + device}};
  for (const auto& [input, reason] : cases) {
    Outcome inspected = Dustweave({"inspect", input});
    EXPECT_EQ(inspected.status, NOT_DONE);
    EXPECT_EQ(inspected.err, "dustweave: " + reason + "\n");
    if (input.find("fifo") != std::string::npos) {
      Outcome ran = Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--file", input, "--obj", dir / "out.obj"});
      EXPECT_EQ(ran.status, NOT_DONE);
      EXPECT_EQ(ran.err, "dustweave: " + reason + "\n");
    }
    // Even with a module that cannot be loaded: the input is looked at first.
    for (std::vector<std::string> extra : {std::vector<std::string>{}, {"--module", dir / "nothing.so"}}) {
      std::vector<std::string> args = {"convert", input, dir / "out.glb", "--svg", dir / "out.svg"};
      args.insert(args.end(), extra.begin(), extra.end());
      Outcome outcome = Dustweave(args);
      EXPECT_EQ(outcome.status, NOT_DONE);
      EXPECT_EQ(outcome.err, "dustweave: " + reason + "\n");
      EXPECT_EQ(outcome.out, "");
    }
  }
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"fifo.pfx", "folder.pfx"}));
}

TEST(ConvertNotDone, EmptyInputIsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  ASSERT_TRUE(pfxwrite::WriteBytes(dir / "empty.pfx", {}, nullptr));
  for (std::string output : {"out.glb", "out.obj"}) {
    Outcome outcome = Dustweave({"convert", dir / "empty.pfx", dir / output, "--yes", "--svg", dir / "out.svg"});
    EXPECT_EQ(outcome.status, NOT_DONE);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "dustweave: " + (dir / "empty.pfx") + " is empty: it holds no pfx file\n");
  }
  Outcome inspected = Dustweave({"inspect", dir / "empty.pfx"});
  EXPECT_EQ(inspected.status, NOT_DONE);
  EXPECT_EQ(inspected.err, "dustweave: " + (dir / "empty.pfx") + " is empty: it holds no pfx file\n");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"empty.pfx"}));
}

TEST(ConvertNotDone, OutputFolderThatDoesNotExistLeavesNothing) {
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  for (std::string name : {"out.obj", "out.glb"}) {
    Outcome outcome = Dustweave({"convert", dir / "small.pfx", dir / ("missing/" + name)});
    EXPECT_EQ(outcome.status, NOT_DONE);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(dir / ("missing/" + name)), std::string::npos) << outcome.err;
    // A preview whose folder is missing: the mesh file is not left either.
    outcome = Dustweave({"convert", dir / "small.pfx", dir / name, "--svg", dir / "missing/out.svg"});
    EXPECT_EQ(outcome.status, NOT_DONE);
  }
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"small.pfx"}));
}

TEST(ConvertNotDone, FullDiskLeavesNothingBehind) {
  // A file size limit makes every write past 8 KiB fail, as a full disk does.
  TempDir dir;
  std::string pfx = Typical(dir);
  for (std::vector<std::string> outputs : {std::vector<std::string>{dir / "out.obj"},
                                           {dir / "out.glb"},
                                           {dir / "out.glb", "--svg", dir / "out.svg"}}) {
    std::vector<std::string> args = {"convert", pfx};
    args.insert(args.end(), outputs.begin(), outputs.end());
    Outcome outcome = RunProgram(DUSTWEAVE_PROGRAM, args, "trap '' XFSZ; ulimit -f 8; ");
    EXPECT_EQ(outcome.status, NOT_DONE) << outputs[0];
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind("dustweave: ", 0), 0u) << outcome.err;
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"typical.pfx"})) << outputs[0];
  }
}

// Every output holds only finite 32-bit floats: a position that is none, or that lies so near the
// largest that the width drawn around it passes it, stops every writer, and nothing is written.
TEST(ConvertNotDone, APositionNoOutputCanHoldIsRefusedByEveryWriter) {
  TempDir dir;
  const float huge = std::numeric_limits<float>::max();
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(), huge};
  const std::vector<std::vector<std::string>> outputs = {
      {"out.glb"}, {"out.obj"}, {"out.usda"}, {"out.usdc"}, {"out.glb", "--tubes", "--attributes"}, {"out.obj", "--tubes"},
      {"out.obj", "--html", dir / "out.html"}};
  for (float value : bad) {
    pfxwrite::File file = SmallFile();
    file.tracks[1].samples[2].y = value;
    file.tracks[1].samples[3].y = -huge;  // the scene's diagonal: a default width that is finite
    Put(dir / "bad.pfx", file);
    for (const std::vector<std::string>& output : outputs) {
      bool widthDrawn = output[0].starts_with("out.usd") || std::count(output.begin(), output.end(), "--tubes") > 0;
      if (value == huge && !widthDrawn) continue;  // a line fits there
      std::vector<std::string> args = {"convert", dir / "bad.pfx", dir / output[0], "--svg", dir / "out.svg"};
      args.insert(args.end(), output.begin() + 1, output.end());
      Outcome outcome = Dustweave(args);
      std::string about = output[0] + " " + std::to_string(value);
      EXPECT_EQ(outcome.status, NOT_DONE) << about;
      EXPECT_EQ(outcome.out, "") << about;
      EXPECT_NE(outcome.err.find(": particle 1, sample 2 (frame 2) has the coordinate "), std::string::npos) << about << outcome.err;
      // No width was given: the one that fails is the one chosen, and the line says so.
      if (value == huge) {
        EXPECT_NE(outcome.err.find(" chosen from the particles' spacing, drawn around it, passes the largest 32-bit number "
                                   "(3.4028235e+38); give a smaller one with --width WIDTH"),
                  std::string::npos) << outcome.err;
      }
      EXPECT_EQ(dir.Names(), (std::set<std::string>{"bad.pfx"})) << about;
    }
  }
  // A width no 32-bit float holds, too large or too small, is misuse.
  Put(dir / "small.pfx", SmallFile());
  for (const char* width : {"1e39", "1e-50"}) {
    Outcome outcome = Dustweave({"convert", dir / "small.pfx", dir / "out.glb", "--tubes", width});
    EXPECT_EQ(outcome.status, MISUSE) << width;
    EXPECT_NE(outcome.err.find("the widths a 32-bit float holds"), std::string::npos) << outcome.err;
  }
}

TEST(ConvertNotDone, ModuleThatCannotBeLoadedIsNamed) {
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  const std::string fakes = FAKE_MODULE_DIR;
  const std::vector<std::pair<std::string, std::string>> refusals = {
      {dir / "small.pfx", "cannot load module"},
      {dir / "missing.so", "cannot load module"},
      {fakes + "/fake_no_descriptor.so", "exports no _mod_descrip"},
      {fakes + "/fake_wrong_server.so", "no server \"mirod_dustweave\""},
      {fakes + "/fake_null_startup.so", "startup"},
  };
  for (const auto& [module, reason] : refusals) {
    Outcome outcome = Dustweave({"convert", dir / "small.pfx", dir / "out.obj", "--module", module});
    EXPECT_EQ(outcome.status, NOT_DONE) << module;
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(reason), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
  }
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"small.pfx"}));
}

// ---- the module beside the program ------------------------------------------------------------

TEST(ConvertModule, FoundBesideTheProgramOrInAnInstalledLayout) {
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  fs::create_directories(dir / "release");
  fs::create_directories(dir / "usr/bin");
  fs::create_directories(dir / "usr/lib/dustweave");
  fs::copy_file(DUSTWEAVE_PROGRAM, dir / "release/dustweave");
  fs::copy_file(DUSTWEAVE_MODULE_FILE, dir / "release/mirod_dustweave.so");
  fs::copy_file(DUSTWEAVE_PROGRAM, dir / "usr/bin/dustweave");
  fs::copy_file(DUSTWEAVE_MODULE_FILE, dir / "usr/lib/dustweave/mirod_dustweave.so");
  for (std::string program : {dir / "release/dustweave", dir / "usr/bin/dustweave"}) {
    // Reached through a link from elsewhere, as from a folder on PATH: the program's own folder counts.
    fs::create_symlink(program, dir / "link");
    Outcome outcome = RunProgram(dir / "link", {"convert", dir / "small.pfx", dir / "out.obj"});
    EXPECT_EQ(outcome.status, 0) << program << outcome.err;
    fs::remove(dir / "link");
  }
}

TEST(ConvertModule, MissingModuleSaysWhereItLookedAndHowToNameOne) {
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  fs::create_directories(dir / "alone");
  fs::copy_file(DUSTWEAVE_PROGRAM, dir / "alone/dustweave");
  Outcome outcome = RunProgram(dir / "alone/dustweave", {"convert", dir / "small.pfx", dir / "out.obj"});
  EXPECT_EQ(outcome.status, NOT_DONE);
  EXPECT_NE(outcome.err.find(dir / "alone/mirod_dustweave.so"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("--module"), std::string::npos) << outcome.err;
  EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;

  outcome = RunProgram(dir / "alone/dustweave",
                       {"convert", dir / "small.pfx", dir / "out.obj", "--module", DUSTWEAVE_MODULE_FILE});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
}

// ---- 64: misuse -------------------------------------------------------------------------------

TEST(ConvertMisuse, WrongCommandLinesExitWith64AndWriteNothing) {
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  Put(dir / "small.obj", SmallFile());  // a pfx file with an unlucky name
  const std::string in = dir / "small.pfx";
  const std::vector<std::vector<std::string>> misuses = {
      {"convert"},
      {"convert", in},
      {"convert", in, dir / "out.stl"},
      {"convert", in, dir / "out"},
      {"convert", in, dir / "out.obj.txt"},
      {"convert", in, dir / "out.obj", "--svg", dir / "out.png"},
      {"convert", in, dir / "out.obj", "--svg", dir / "out.obj"},
      {"convert", in, dir / "out.obj", "--html", dir / "out.svg"},
      {"convert", in, dir / "out.obj", "--svg", dir / "out.svg", "--html", dir / "out.htm.txt"},
      {"convert", dir / "page.html", dir / "out.obj", "--html", dir / "./page.html"},
      {"convert", dir / "small.obj", dir / "small.obj"},
      {"convert", dir / "small.obj", dir / "./small.obj"},
      {"convert", in, dir / "out.obj", "--step"},
      {"convert", in, dir / "out.obj", "--step", "fast"},
      {"convert", in, dir / "out.obj", "--surface", ""},
      {"convert", in, dir / "out.obj", "--surfaces", "A,B"},
      {"convert", in, dir / "out.obj", "--answer", "ok"},
      {"convert", in, dir / "out.obj", "extra"},
      {"convert", in, dir / "out.obj", "--tubes", "0"},
      {"convert", in, dir / "out.glb", "--tubes", "-1"},
      {"convert", in, dir / "out.glb", "--tubes", "wide"},
      {"convert", in, dir / "out.glb", "--taper"},
      {"convert", in, dir / "out.obj", "--smooth"},
      {"convert", in, dir / "out.usda", "--taper=start"},
      {"convert", in, dir / "out.glb", "--tubes", "--taper=Comet"},
      {"convert", in, dir / "out.usda", "--smooth", "0"},
      {"convert", in, dir / "out.obj", "--tubes", "--smooth", "65"},
      {"convert", in, dir / "out.usdc", "--smooth=fine"},
      {"convert", in, dir / "out.usda", "--animate", "--smooth"},
      {"convert", in, dir / "out.glb", "--attributes", "--fps", "30"},
      {"convert", in, dir / "out.obj", "--fps", "24"},
      {"convert", in, dir / "out.usda", "--fps", "0"},
      {"convert", in, dir / "out.usda", "--fps", "-24"},
      {"convert", in, dir / "out.usdc", "--fps", "nan"},
      {"convert", in, dir / "out.usdc", "--fps", "inf"},
      {"convert", in, dir / "out.usdc", "--fps", "24fps"},
      {"convert", in, dir / "out.glb", "--meters-per-unit", "1"},
      {"convert", in, dir / "out.glb", "--width", "0.5"},
      {"convert", in, dir / "out.glb", "--tubes", "0.5", "--width", "0.6"},
      {"convert", in, dir / "out.usda", "--width", "0"},
      {"convert", in, dir / "out.usda", "--tubes"},
      {"convert", in, dir / "out.obj", "--bad-samples", "keep"},
      {"convert", in, dir / "out.usdc", "--meters-per-unit", "0"},
      {"convert", in, dir / "out.usdc", "--meters-per-unit", "1m"},
      {"convert", in, dir / "out.obj", "--animate"},
      {"convert", in, dir / "out.glb", "--animate"},
      {"convert", in, dir / "out.usda", "--trail-frames", "3"},
      {"convert", in, dir / "out.usda", "--animate", "--trail-frames", "0"},
      {"convert", in, dir / "out.usda", "--animate", "--step", "0"},
      {"convert", in, dir / "out.usda", "--animate", "--max-points", "1"},
      {"convert", in, dir / "out.usda", "--animate", "--fps", "0"},
      {"convert", in, dir / "out.usda", "--animate", "--fps", "inf"},
      {"convert", in, dir / "out.glb", "--fps", "30"},
  };
  for (const auto& args : misuses) {
    SCOPED_TRACE(::testing::PrintToString(args));
    Outcome outcome = Dustweave(args);
    EXPECT_EQ(outcome.status, MISUSE);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind("dustweave: ", 0), 0u) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
  }
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"small.pfx", "small.obj"}));
}

TEST(ConvertTubes, AWidthLeftOutTakesNoPathForIt) {
  // --tubes, --taper and --smooth take an optional value: put before the paths, they must not
  // swallow INPUT; put last, not OUTPUT.
  TempDir dir;
  std::string pfx = Typical(dir);
  for (std::string option : {"--tubes", "--taper", "--smooth"}) {
    std::string output = option == "--tubes" ? ".glb" : ".usda";
    EXPECT_EQ(Dustweave({"convert", option, pfx, dir / ("before" + output)}).status, 0) << option;
    EXPECT_EQ(Dustweave({"convert", pfx, dir / ("after" + output), option}).status, 0) << option;
    EXPECT_EQ(ReadText(dir / ("before" + output)), ReadText(dir / ("after" + output))) << option;
  }
  EXPECT_EQ(Dustweave({"convert", pfx, dir / "comet.usda", "--taper", "comet"}).status, 0);
  EXPECT_NE(ReadText(dir / "comet.usda"), ReadText(dir / "after.usda"));
}

// Tapered tubes narrow the way USD's widths do; smoothed, four rings a segment along the spline.
TEST(ConvertTubes, TaperAndSmoothShapeTheTubesAsTheCurves) {
  TempDir dir;
  std::string pfx = Typical(dir);
  Outcome outcome = Dustweave({"convert", pfx, dir / "tubes.glb", "--tubes", "0.5", "--taper", "comet", "--smooth"});
  // 200 chains of 101 points: (100 × 4 + 1) rings of three vertices each.
  EXPECT_EQ(outcome.out, "wrote " + (dir / "tubes.glb") + ": 240,600 vertices, 480,000 triangles\n") << outcome.err;
  outcome = Dustweave({"convert", pfx, dir / "curves.usda", "--tubes", "0.5", "--taper", "comet", "--smooth"});
  EXPECT_EQ(outcome.out, "wrote " + (dir / "curves.usda") + ": 200 curves of 20,600 vertices; frames 0 to 100 at 24 fps\n");
  std::string text = ReadText(dir / "curves.usda");
  EXPECT_NE(text.find("uniform token type = \"cubic\"\n        uniform token basis = \"catmullRom\""), std::string::npos);
  // The first vertex given twice, thin; the last given twice, full.
  EXPECT_NE(text.find("float[] widths = [0, 0, 0.005, "), std::string::npos);
  EXPECT_NE(text.find(", 0.495, 0.5, 0.5, 0, 0, 0.005, "), std::string::npos);
}

TEST(ConvertTubes, TheSummarySaysWhatTheFileHoldsAndTheWidthChosen) {
  TempDir dir;
  std::string pfx = Typical(dir);
  // The OBJ's start points are vertices of their own.
  for (auto [name, vertices] : {std::pair{"tubes.glb", "60,600"}, std::pair{"tubes.obj", "60,800"}}) {
    Outcome outcome = Dustweave({"convert", pfx, dir / name, "--tubes", "--start-poly"});
    EXPECT_EQ(outcome.out, "wrote " + (dir / name) + ": " + vertices + " vertices, 120,000 triangles, 200 start points; " +
                               "tubes 0.041602056 wide, from the particles' spacing\n") << outcome.err;
  }
  EXPECT_EQ(Dustweave({"convert", pfx, dir / "tubes.glb", "--tubes", "0.5"}).out,
            "wrote " + (dir / "tubes.glb") + ": 60,600 vertices, 120,000 triangles\n");
}

// ---- the width ---------------------------------------------------------------------------------

// The default width and the diagonal of the scene's box (from inspect's bounds) of each run.
double WidthPerDiagonal(const std::string& pfx, const std::string& out, const std::vector<std::vector<std::string>>& runs) {
  std::string width;
  for (const std::vector<std::string>& options : runs) {
    std::vector<std::string> args = {"convert", pfx, out};
    args.insert(args.end(), options.begin(), options.end());
    Outcome outcome = Dustweave(args);
    std::smatch found;
    EXPECT_TRUE(std::regex_search(outcome.out, found, std::regex("(?:tubes|curves) (\\S+) wide, from the particles' spacing")))
        << outcome.out << outcome.err;
    if (width.empty()) width = found[1];
    EXPECT_EQ(found[1], width) << ::testing::PrintToString(options);  // whatever the step share
  }
  std::string bounds = Dustweave({"inspect", pfx}).out;
  std::smatch b;
  EXPECT_TRUE(std::regex_search(bounds, b, std::regex("x (\\S+) \\.\\. (\\S+), y (\\S+) \\.\\. (\\S+), z (\\S+) \\.\\. (\\S+)")));
  double squared = 0;
  for (int axis = 0; axis < 3; ++axis) squared += std::pow(std::stod(b[2 * axis + 2]) - std::stod(b[2 * axis + 1]), 2);
  return std::stod(width) / std::sqrt(squared);
}

// The width left out is the particles' spacing's, read from every sample of the input: the same
// for every step share, tubes and curves alike, and narrower for its box in a denser scene.
TEST(ConvertWidth, TheDefaultComesFromTheSpacingOfEverySampleWhateverTheStep) {
  TempDir dir;
  const std::vector<std::vector<std::string>> runs = {{}, {"--step", "25%"}, {"--max-points", "1000"}};
  double demo = WidthPerDiagonal(Typical(dir), dir / "out.usda", runs);
  EXPECT_EQ(WidthPerDiagonal(dir / "typical.pfx", dir / "out.glb", {{"--tubes"}, {"--tubes", "--step", "10%"}}), demo);
  std::string dense = dir / "dense.pfx";
  ASSERT_EQ(Dustweave({"generate", dense, "--particles", "20000", "--index-limit", "40", "--last", "40"}).status, 0);
  EXPECT_LE(WidthPerDiagonal(dense, dir / "out.usdc", {{}, {"--step", "25%"}}), demo / 2);
}

// --width draws the tubes as --tubes WIDTH does, and USD's curves; a width past the floats is
// told with the option given.
TEST(ConvertWidth, WidthDrawsTubesAndCurves) {
  TempDir dir;
  std::string pfx = Typical(dir);
  for (std::string kind : {".glb", ".obj"}) {
    ASSERT_EQ(Dustweave({"convert", pfx, dir / ("a" + kind), "--tubes", "0.5"}).status, 0);
    ASSERT_EQ(Dustweave({"convert", pfx, dir / ("b" + kind), "--tubes", "--width", "0.5"}).status, 0);
    ASSERT_EQ(Dustweave({"convert", pfx, dir / ("c" + kind), "--width", "0.5", "--tubes", "0.5"}).status, 0);
    EXPECT_EQ(ReadText(dir / ("a" + kind)), ReadText(dir / ("b" + kind))) << kind;
    EXPECT_EQ(ReadText(dir / ("a" + kind)), ReadText(dir / ("c" + kind))) << kind;
  }
  ASSERT_EQ(Dustweave({"convert", pfx, dir / "a.usda", "--tubes", "0.5"}).status, 0);
  ASSERT_EQ(Dustweave({"convert", pfx, dir / "b.usda", "--width", "0.5"}).status, 0);
  EXPECT_NE(ReadText(dir / "b.usda").find("float[] widths = [0.5]"), std::string::npos);
  EXPECT_EQ(ReadText(dir / "a.usda"), ReadText(dir / "b.usda"));

  pfxwrite::File far = SmallFile();
  far.tracks[1].samples[2].y = std::numeric_limits<float>::max();
  Put(dir / "far.pfx", far);
  Outcome outcome = Dustweave({"convert", dir / "far.pfx", dir / "far.usda", "--width", "1e38"});
  EXPECT_EQ(outcome.status, NOT_DONE);
  EXPECT_NE(outcome.err.find("particle 1, sample 2 (frame 2) has the coordinate 3.4028235e+38, and the width of 1e+38 drawn "
                             "around it passes the largest 32-bit number (3.4028235e+38); give a smaller --width WIDTH"),
            std::string::npos) << outcome.err;
}

// ---- samples no output holds --------------------------------------------------------------------

// The OBJ of the clean file less the point `dropped` (from 0) and its polygons, the points after
// it numbered on, and the chain that goes on after it begun by a start point.
std::string ObjWithout(const std::string& clean, int dropped, bool chainGoesOn) {
  std::istringstream lines(clean);
  std::string out;
  int vertex = 0, polygons = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("v ", 0) == 0 && vertex++ == dropped) continue;
    if (line.find(" points, ") != std::string::npos) {
      line = "# " + std::to_string(vertex - 1) + " points, " + std::to_string(polygons + (chainGoesOn ? 1 : 0)) + " polygons";
    }
    if (line.rfind("p ", 0) == 0 || line.rfind("l ", 0) == 0) {
      std::istringstream numbers(line.substr(2));
      std::string kept = line.substr(0, 1);
      bool names = false;
      for (int n; numbers >> n;) names |= n == dropped + 1, kept += " " + std::to_string(n > dropped + 1 ? n - 1 : n);
      if (names) continue;
      line = kept;
      ++polygons;
    }
    out += line + "\n";
    if (chainGoesOn && line.rfind("v ", 0) == 0 && vertex == dropped + 2) out += "p " + std::to_string(dropped + 1) + "\n";
  }
  return out;
}

// Without --bad-samples a NaN or infinite sample stops convert, named by particle and sample
// (never an output's point number); with drop it alone is left out, the chain broken there, and
// every other sample and frame kept.
TEST(ConvertBadSamples, RefusedByParticleAndSampleOrLeftOutAlone) {
  TempDir dir;
  Put(dir / "clean.pfx", SmallFile());
  ASSERT_EQ(Dustweave({"convert", dir / "clean.pfx", dir / "clean.obj", "--start-poly"}).status, 0);
  const std::string clean = ReadText(dir / "clean.obj");
  const float inf = std::numeric_limits<float>::infinity();
  for (float value : {std::numeric_limits<float>::quiet_NaN(), inf, -inf}) {
    for (int sample : {0, 2, 4}) {
      SCOPED_TRACE(std::to_string(value) + " at sample " + std::to_string(sample));
      pfxwrite::File file = SmallFile();
      file.tracks[1].samples[sample].z = value;
      Put(dir / "bad.pfx", file);
      std::string where = "particle 1, sample " + std::to_string(sample) + " (frame " + std::to_string(sample) + ")";
      Outcome refused = Dustweave({"convert", dir / "bad.pfx", dir / "out.obj", "--step", "50%"});
      EXPECT_EQ(refused.status, NOT_DONE);
      EXPECT_NE(refused.err.find(where + " has the coordinate "), std::string::npos) << refused.err;
      EXPECT_NE(refused.err.find("; --bad-samples drop leaves such samples out\n"), std::string::npos) << refused.err;
      EXPECT_EQ(Dustweave({"inspect", dir / "bad.pfx"}).status, NOT_DONE);

      Outcome dropped = Dustweave({"convert", dir / "bad.pfx", dir / "out.obj", "--start-poly", "--bad-samples", "drop"});
      EXPECT_EQ(dropped.status, 0);
      EXPECT_EQ(dropped.err, "dustweave: left out 1 sample of 1 particle whose position is no finite 32-bit number "
                             "(--bad-samples drop): " + where + "\n");
      EXPECT_EQ(ReadText(dir / "out.obj"), ObjWithout(clean, 5 + sample, sample < 4));
      // The frames stay with their points.
      ASSERT_EQ(Dustweave({"convert", dir / "bad.pfx", dir / "out.usda", "--attributes", "--bad-samples", "drop"}).status, 0);
      std::string frames;
      for (int f = 0; f < 15; ++f) frames += f == 5 + sample ? "" : std::string(frames.empty() ? "" : ", ") + std::to_string(f % 5);
      EXPECT_NE(ReadText(dir / "out.usda").find("primvars:frame = [" + frames + "]"), std::string::npos) << frames;
      // An animated layer leaves it out too: the particle is not there at its frame.
      Outcome animated = Dustweave({"convert", dir / "bad.pfx", dir / "animated.usda", "--animate", "--bad-samples", "drop"});
      EXPECT_EQ(animated.status, 0);
      EXPECT_EQ(animated.err, dropped.err);
      std::string layer = ReadText(dir / "animated.usda");
      EXPECT_NE(layer.find(std::to_string(sample) + ": [0, 2]", layer.find("ids.timeSamples")), std::string::npos) << layer;
    }
  }
  // An animated layer refuses it, naming it the same way.
  Outcome animated = Dustweave({"convert", dir / "bad.pfx", dir / "animated.usda", "--animate"});
  EXPECT_EQ(animated.status, NOT_DONE);
  EXPECT_NE(animated.err.find("particle 1, sample 4 (frame 4) has a NaN or infinite position"), std::string::npos) << animated.err;
}

// ---- a run that makes nothing ----------------------------------------------------------------

// No point made, no file written or replaced: exit 3 with why, and inspect exits so too.
TEST(ConvertNothingMade, NoFileIsMadeOrReplacedAndTheLineSaysWhy) {
  TempDir dir;
  std::string none = dir / "none.pfx";
  ASSERT_EQ(Dustweave({"generate", none, "--first", "5", "--last", "4"}).status, 0);
  ASSERT_TRUE(pfxwrite::WriteBytes(dir / "out.glb", {'o', 'l', 'd'}, nullptr));
  pfxwrite::File bad = SmallFile();
  for (pfxwrite::Track& track : bad.tracks) {
    for (pfxwrite::Sample& sample : track.samples) sample.x = std::numeric_limits<float>::quiet_NaN();
  }
  Put(dir / "nan.pfx", bad);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"convert", none, dir / "out.glb", "--svg", dir / "out.svg"}, "every track's last index is before its first"},
      {{"convert", none, dir / "out.usda", "--animate"}, "every track's last index is before its first"},
      {{"convert", dir / "nan.pfx", dir / "out.glb", "--bad-samples", "drop"}, "left out 15 samples of 3 particles"},
  };
  for (const auto& [args, why] : cases) {
    Outcome outcome = Dustweave(args);
    EXPECT_EQ(outcome.status, 3);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(why), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("; nothing written\n"), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(ReadText(dir / "out.glb"), "old");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"none.pfx", "nan.pfx", "out.glb"}));
  Outcome inspect = Dustweave({"inspect", none});
  EXPECT_EQ(inspect.status, 3);
  EXPECT_NE(inspect.out.find("convert makes no point and writes nothing (exit 3)"), std::string::npos) << inspect.out;
}

// The file of a simulation too large for the .glb's 4 GiB: one track of 24 million samples at the
// origin, written as a sparse file so that it takes no room on the disk.
std::string Sparse(const TempDir& dir, uint32_t samples) {
  pfxwrite::File file;
  file.indexLimit = static_cast<int32_t>(samples);
  file.tracks.push_back({0, static_cast<int32_t>(samples - 1), 0, {0, 0, 0}, {}});
  Put(dir / "big.pfx", file);
  std::filesystem::resize_file(dir / "big.pfx", std::filesystem::file_size(dir / "big.pfx") + 12ull * samples);
  return dir / "big.pfx";
}

TEST(ConvertSize, AGlbPastItsLimitIsRefusedBeforeTheRunWithAStepShareThatFits) {
  TempDir dir;
  std::string pfx = Sparse(dir, 24'000'000);
  Outcome outcome = Dustweave({"convert", pfx, dir / "tubes.glb", "--tubes", "--attributes"});
  EXPECT_EQ(outcome.status, NOT_DONE);
  // Between every sample and every second one no share thins a track: half is the largest that fits.
  EXPECT_NE(outcome.err.find("the tubes of 24,000,000 points would pass the 4 GiB that a .glb can hold; --step 50% "
                             "fits (12,000,001 points), as does --max-points 21,053,741"),
            std::string::npos) << outcome.err;
  // Smoothed, four rings a point: a quarter of the points.
  outcome = Dustweave({"convert", pfx, dir / "tubes.glb", "--tubes", "--attributes", "--smooth"});
  EXPECT_NE(outcome.err.find("--step 20% fits (4,800,001 points), as does --max-points 5,263,436"), std::string::npos) << outcome.err;
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"big.pfx"}));
}

// An animated layer's trails grow with the square of a track's length: past 4 GiB of values it is
// refused before the work, naming the longest --trail-frames that fits.
TEST(ConvertSize, AnAnimatedLayerPastItsLimitIsRefusedWithTrailFramesThatFit) {
  TempDir dir;
  std::string pfx = Sparse(dir, 20'000);
  Outcome outcome = Dustweave({"convert", pfx, dir / "animated.usda", "--animate"});
  EXPECT_EQ(outcome.status, NOT_DONE);
  std::smatch fits;
  ASSERT_TRUE(std::regex_search(outcome.err, fits, std::regex("would pass the 4 GiB of values.*; --trail-frames ([\\d,]+) fits")))
      << outcome.err;
  uint64_t frames = std::stoull(std::regex_replace(fits[1].str(), std::regex(","), ""));
  dustweave::PfxFrameIndex index;
  std::string error;
  ASSERT_TRUE(index.Build(pfx, &error)) << error;
  EXPECT_LE(dustweave::AnimatedValueBytes(index, frames), dustweave::ANIMATED_VALUE_LIMIT);
  EXPECT_GT(dustweave::AnimatedValueBytes(index, frames + 1), dustweave::ANIMATED_VALUE_LIMIT);
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"big.pfx"}));
}

// Two tracks under the index limit 100, from frames 2 and 4 to `lasts`, as two.pfx.
pfxwrite::File TwoTracks(TempDir& dir, std::pair<int32_t, int32_t> lasts) {
  pfxwrite::File file;
  file.indexLimit = 100;
  file.tracks = {pfxwrite::RuledTrack(2, lasts.first, 0, 100), pfxwrite::RuledTrack(4, lasts.second, 0, 100)};
  Put(dir / "two.pfx", file);
  return file;
}

// The summary says the frames, the rate and the points; a file cut short keeps its whole samples.
TEST(ConvertSize, AnAnimatedLayerSaysItsFramesRateAndPoints) {
  TempDir dir;
  pfxwrite::File file = TwoTracks(dir, {5, 9});
  Outcome outcome = Dustweave({"convert", dir / "two.pfx", dir / "two.usda", "--animate", "--fps", "30", "--tubes", "0.5"});
  EXPECT_EQ(outcome.out, "wrote " + (dir / "two.usda") + ": 8 frames (2 to 9) at 30 fps, 10 particle points, "
                                                         "29 trail points\n") << outcome.err;
  std::vector<uint8_t> bytes = pfxwrite::Encode(file);
  bytes.resize(bytes.size() - 20);
  ASSERT_TRUE(pfxwrite::WriteBytes(dir / "two.pfx", bytes, nullptr));
  outcome = Dustweave({"convert", dir / "two.pfx", dir / "two.usda", "--animate", "--tubes", "0.5"});
  EXPECT_EQ(outcome.status, CUT_SHORT);
  EXPECT_NE(outcome.out.find(": 6 frames (2 to 7) at 24 fps, 8 particle points"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.err.find("unexpected end of pfx file"), std::string::npos) << outcome.err;
}

// --max-points thins an animated layer's trails, never its particles: the share chosen keeps the
// points of every frame within the bound, and given again as --step writes the same layer.
TEST(ConvertSize, MaxPointsThinsAnAnimatedLayersTrailsToFit) {
  TempDir dir;
  TwoTracks(dir, {12, 19});
  Outcome outcome = Dustweave({"convert", dir / "two.pfx", dir / "chosen.usda", "--animate", "--max-points", "120"});
  std::smatch said;
  ASSERT_TRUE(std::regex_search(outcome.out, said, std::regex(", (\\d+) particle points, (\\d+) trail points.*; step ([\\d.]+) % "
                                                             "chosen for at most 120 points\n"))) << outcome.out << outcome.err;
  EXPECT_EQ(said[1].str(), "27");
  EXPECT_LE(std::stoull(said[1].str()) + std::stoull(said[2].str()), 120u);
  EXPECT_EQ(Dustweave({"convert", dir / "two.pfx", dir / "given.usda", "--animate", "--step", said[3].str() + "%"}).status, 0);
  EXPECT_EQ(ReadText(dir / "chosen.usda"), ReadText(dir / "given.usda"));
  EXPECT_EQ(Dustweave({"convert", dir / "two.pfx", dir / "none.usda", "--animate", "--max-points", "26"}).status, MISUSE);
}

// inspect's points for each step share are the points the module makes: tracks that jump back
// after the index limit, jump past their span, loop until capped, hold one sample or none.
TEST(ConvertSize, InspectTellsThePointsEachStepShareMakes) {
  TempDir dir;
  pfxwrite::File file;
  file.indexLimit = 40;
  const int32_t tracks[][3] = {{0, 100, 7}, {0, 100, 200}, {0, 100, 30}, {5, 5, 0}, {3, 2, 0}, {0, 37, 0}, {0, 40, 2}};
  for (const auto& [first, last, resume] : tracks) file.tracks.push_back(pfxwrite::RuledTrack(first, last, resume, 40));
  Put(dir / "shapes.pfx", file);
  std::string report = Dustweave({"inspect", dir / "shapes.pfx"}).out;
  for (const char* percent : {"100", "50", "25", "10", "1"}) {
    std::string out = Dustweave({"convert", dir / "shapes.pfx", dir / "out.obj", "--step", std::string(percent) + "%"}).out;
    std::string points = out.substr(out.find(": ") + 2, out.find(" points") - out.find(": ") - 2);
    EXPECT_NE(report.find(std::string(percent) + " % " + points + " "), std::string::npos) << out << report;
  }
}

TEST(ConvertSize, MaxPointsChoosesTheLargestStepShareThatFitsAndSaysIt) {
  TempDir dir;
  std::string pfx = Typical(dir);
  Outcome outcome = Dustweave({"convert", pfx, dir / "chosen.obj", "--max-points", "1000"});
  EXPECT_EQ(outcome.out, "wrote " + (dir / "chosen.obj") + ": 1,000 points, 800 polygons; step 4.0 % chosen for at "
                                                           "most 1,000 points\n") << outcome.err;
  // The share chosen, given again, is the same run; one more point is too many for the next share.
  EXPECT_EQ(Dustweave({"convert", pfx, dir / "given.obj", "--step", "4.0%", "-q"}).status, 0);
  EXPECT_EQ(ReadText(dir / "chosen.obj"), ReadText(dir / "given.obj"));
  EXPECT_NE(Dustweave({"convert", pfx, dir / "more.obj", "--max-points", "1001"}).out.find("1,000 points"), std::string::npos);
  outcome = Dustweave({"convert", pfx, dir / "few.obj", "--max-points", "399"});
  EXPECT_EQ(outcome.status, MISUSE);
  EXPECT_NE(outcome.err.find("fewer than the smallest step share keeps (400 points)"), std::string::npos) << outcome.err;
}

TEST(ConvertStep, FractionAndPercentAreTheSameRun) {
  TempDir dir;
  std::string pfx = Typical(dir);
  for (std::string step : {"0.25", "25%", "25 %", ".25", "25.0%"}) {
    Outcome outcome = Dustweave({"convert", pfx, dir / "chains.obj", "--step", step});
    EXPECT_EQ(outcome.status, 0) << step << outcome.err;
    EXPECT_EQ(outcome.out, "wrote " + (dir / "chains.obj") + ": 5,200 points, 5,000 polygons\n") << step;
  }
  for (std::string step : {"1", "100%"}) {
    EXPECT_EQ(Dustweave({"convert", pfx, dir / "chains.obj", "--step", step}).out,
              "wrote " + (dir / "chains.obj") + ": 20,200 points, 20,000 polygons\n") << step;
  }
}

TEST(ConvertStep, AnswersThePlugInWouldTakeAsEverySampleAreMisuse) {
  // The plug-in keeps every sample for a step of 0 or below or of 1 or more: each of these would
  // have converted the whole file without a word.
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"25", "--step 25 would keep every sample: give a fraction (0.25) or a percent (25%)"},
      {"1.5", "--step 1.5 would keep every sample: give a fraction (0.015) or a percent (1.5%)"},
      {"0", "--step 0 is not a share of the samples: leave --step out to keep every sample"},
      {"-1", "--step -1 is not a share of the samples: leave --step out to keep every sample"},
      {"0%", "--step 0% is not a share of the samples: leave --step out to keep every sample"},
      {"150%", "--step 150% is more than every sample: give 100% at most"},
      {"nan", "--step nan is not a share of the samples: give a fraction (0.25) or a percent (25%)"},
      {"fast", "--step fast is not a share of the samples"},
      {"25%%", "--step 25%% is not a share of the samples"},
  };
  for (const auto& [step, reason] : cases) {
    for (std::vector<std::string> form : {std::vector<std::string>{"--step", step}, {"--step=" + step}}) {
      std::vector<std::string> args = {"convert", dir / "small.pfx", dir / "out.glb"};
      args.insert(args.end(), form.begin(), form.end());
      Outcome outcome = Dustweave(args);
      EXPECT_EQ(outcome.status, MISUSE) << step;
      EXPECT_EQ(outcome.out, "");
      EXPECT_EQ(outcome.err.rfind("dustweave: " + reason, 0), 0u) << outcome.err;
      EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    }
  }
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"small.pfx"}));
}

TEST(ConvertStep, RunStillHandsTheModuleAnyNumber) {
  // run exists to try the module's own handling: 25 goes through, and the module keeps every sample;
  // a percent is taken as convert takes it.
  TempDir dir;
  Put(dir / "small.pfx", SmallFile());
  Outcome outcome = Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--file", dir / "small.pfx", "--step", "25"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "15 points, 12 polygons, result 0\n");
  EXPECT_EQ(Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--file", dir / "small.pfx", "--step", "50%"}).out,
            Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--file", dir / "small.pfx", "--step", "0.5"}).out);
  EXPECT_EQ(Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--file", dir / "small.pfx", "--step", "a%"}).status, MISUSE);
}

// ---- Ctrl-C and other signals -----------------------------------------------------------------

// `args` run in the background in `dir` and sent `signal` once a temporary file shows in `dir`:
// its exit status as the shell tells it (128 + the signal when it ended by it), what it printed,
// and the permission bits of its temporary files then (in *modes). It starts with every signal
// at its default, or, when `ignoring`, as a script starts a job in the background (SIGINT and
// SIGQUIT ignored) under nohup (SIGHUP ignored too). The signal must reach it while it runs.
Outcome Signalled(const TempDir& dir, const std::vector<std::string>& args, const char* signal, bool ignoring = false,
                  std::string* modes = nullptr) {
  std::string command = (ignoring ? "nohup " : "env --default-signal=INT,QUIT ") + Launched(DUSTWEAVE_PROGRAM);
  for (const std::string& arg : args) command += " " + Quote(arg);
  std::string script = "cd " + Quote(dir.path()) + " && { ulimit -c 0; " + command + " >out.txt 2>err.txt & pid=$!; n=0; "
                       "while ! ls -a | grep -q partial && [ $n -lt 2000 ]; do sleep 0.005; n=$((n+1)); done; "
                       "stat -c %a .*partial* >modes.txt 2>/dev/null; "
                       "kill -" + std::string(signal) + " $pid && wait $pid; echo $? >status.txt; }";
  EXPECT_EQ(std::system(("sh -c " + Quote(script) + " 2>/dev/null").c_str()), 0);
  EXPECT_NE(ReadText(dir / "status.txt"), "1\n") << "the command ended before the signal was sent";
  Outcome outcome;
  outcome.status = std::stoi(ReadText(dir / "status.txt"));
  outcome.out = ReadText(dir / "out.txt");
  outcome.err = ReadText(dir / "err.txt");
  if (modes != nullptr) *modes = ReadText(dir / "modes.txt");
  for (std::string name : {"out.txt", "err.txt", "status.txt", "modes.txt"}) fs::remove(dir / name);
  return outcome;
}

std::string BigInput(const TempDir& dir) {
  EXPECT_EQ(Dustweave({"generate", dir / "big.pfx", "--particles", "2000", "--index-limit", "1000", "--last", "999"})
                .status, 0);
  return "big.pfx";
}

// SIGINT, SIGTERM and SIGQUIT end a command that writes with one line, and leave nothing beside
// its outputs; its temporary files were readable by their owner only, like the older file.
TEST(ConvertInterrupted, OneLineSaysNothingWasWrittenAndWhatIsAsItWas) {
  TempDir dir;
  std::string big = BigInput(dir), modes;
  std::ofstream(dir / "old.obj") << "old\n";
  fs::permissions(dir / "old.obj", fs::perms::owner_read | fs::perms::owner_write);
  Outcome outcome = Signalled(dir, {"convert", big, "old.obj", "--svg", "new.svg"}, "INT", false, &modes);
  EXPECT_EQ(outcome.status, 128 + SIGINT);
  EXPECT_EQ(outcome.err, "dustweave: interrupted: nothing written; old.obj is as it was\n");
  EXPECT_TRUE(std::regex_match(modes, std::regex("(600\n)+"))) << modes;  // those made by then
  outcome = Signalled(dir, {"convert", big, "new.obj"}, "TERM");
  EXPECT_EQ(outcome.status, 128 + SIGTERM);
  EXPECT_EQ(outcome.err, "dustweave: interrupted: nothing written\n");
  outcome = Signalled(dir, {"convert", big, "new.obj", "--svg", "new.svg"}, "QUIT");
  EXPECT_EQ(outcome.status, 128 + SIGQUIT);
  EXPECT_EQ(outcome.err, "dustweave: interrupted: nothing written\n");
  std::ofstream(dir / "old.pfx") << "old\n";
  outcome = Signalled(dir, {"generate", "old.pfx", "--force", "--particles", "20000", "--index-limit", "1000", "--last", "999"},
                      "INT");
  EXPECT_EQ(outcome.err, "dustweave: interrupted: nothing written; old.pfx is as it was\n");
  EXPECT_EQ(ReadText(dir / "old.obj"), "old\n");
  EXPECT_EQ(ReadText(dir / "old.pfx"), "old\n");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"big.pfx", "old.obj", "old.pfx"}));
}

// A signal ignored when the command started stays ignored: SIGHUP under nohup, SIGINT and SIGQUIT
// of a job a script started in the background. The conversion goes on to its end.
TEST(ConvertInterrupted, ASignalIgnoredAtTheStartStaysIgnored) {
  TempDir dir;
  std::string big = BigInput(dir);
  for (const char* signal : {"HUP", "INT", "QUIT"}) {
    Outcome outcome = Signalled(dir, {"convert", big, "out.obj", "--svg", "out.svg"}, signal, true);
    EXPECT_EQ(outcome.status, 0) << signal << ": " << outcome.err;
    EXPECT_EQ(outcome.out, "wrote out.obj: 2,000,000 points, 1,998,000 polygons; preview out.svg\n") << signal;
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"big.pfx", "out.obj", "out.svg"})) << signal;
  }
}

// Standard output and error a pipe nobody reads any more (`convert ... 2>&1 | true`): the lines
// are lost, not the run. A file cut short makes the module say so on standard error at once.
TEST(ConvertInterrupted, AClosedPipeLosesOnlyTheLines) {
  TempDir dir;
  std::string big = BigInput(dir);
  fs::copy_file(dir / big, dir / "cut.pfx");
  fs::resize_file(dir / "cut.pfx", fs::file_size(dir / big) / 2);
  std::string command = "cd " + Quote(dir.path()) + " && " + Launched(DUSTWEAVE_PROGRAM) + " convert cut.pfx out.glb --svg p.svg";
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  pid_t child = fork();
  if (child == 0) {
    dup2(ends[1], 1), dup2(ends[1], 2), signal(SIGPIPE, SIG_DFL);
    execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
    _exit(127);
  }
  close(ends[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == CUT_SHORT) << "status " << status;
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"big.pfx", "cut.pfx", "out.glb", "p.svg"}));
}

TEST(ConvertInterrupted, LineNamesTheOutputsThatWereThere) {
  EXPECT_EQ(dustweave::NothingWrittenLine("interrupted", {"a.glb", "a.svg"}, {false, false}), "interrupted: nothing written");
  EXPECT_EQ(dustweave::NothingWrittenLine("interrupted", {"a.glb", "a.svg"}, {false, true}),
            "interrupted: nothing written; a.svg is as it was");
  EXPECT_EQ(dustweave::NothingWrittenLine("out of memory", {"a.glb", "a.svg"}, {true, true}),
            "out of memory: nothing written; a.glb and a.svg are as they were");
  EXPECT_EQ(dustweave::WrittenLine("interrupted", {"a.glb"}), "interrupted after writing a.glb");
}

// ---- run --obj streams what the kept mesh gives -----------------------------------------------

TEST(RunStreaming, ObjOfRunEqualsTheKeptMeshWrittenAfterwards) {
  TempDir dir;
  std::string pfx = Typical(dir);
  std::string error;
  std::unique_ptr<standin::LoadedModule> module = standin::LoadedModule::Load(DUSTWEAVE_MODULE_FILE, &error);
  ASSERT_TRUE(module) << error;
  void* serverData = module->Startup();
  standin::HostScript script;
  script.file = pfx;
  script.step = 0.25;
  script.startPolygon = true;
  script.surfaces = {"A", "B"};
  script.pick = 1;
  standin::Host host(script);
  ASSERT_EQ(module->Activate(host, COMMAND_INTERFACE_VERSION, serverData), 0);
  module->Shutdown(serverData);
  ASSERT_EQ(host.mesh.points.size(), 5200u);
  ASSERT_TRUE(WriteKeptMesh<dustweave::ObjWriter>(host.mesh, dir / "kept.obj", &error)) << error;

  Outcome outcome = Dustweave({"run", DUSTWEAVE_MODULE_FILE, "--file", pfx, "--step", "0.25", "--start-poly",
                               "--surfaces", "A,B", "--pick", "1", "--obj", dir / "streamed.obj"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "5,200 points, 5,200 polygons, result 0\n");
  EXPECT_EQ(ReadText(dir / "streamed.obj"), ReadText(dir / "kept.obj"));

  // convert gives the same bytes for the same answers.
  ASSERT_EQ(Dustweave({"convert", pfx, dir / "converted.obj", "--step", "0.25", "--start-poly", "--surface", "B"})
                .status, 0);
  EXPECT_EQ(ReadText(dir / "converted.obj"), ReadText(dir / "kept.obj"));
}

}  // namespace
