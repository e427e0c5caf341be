// dustweave: a stand-in host on the command line. `convert` turns a pfx file into OBJ or glTF
// through the module installed beside the program; `run` loads a command module by path and runs
// it once, answering its panel and questions from the options; `inspect` checks a pfx file
// without any module; `generate` writes a plausible one. Divisions: the command line; what ends
// a command; the program.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands/called_name.h"
#include "commands/command_word.h"
#include "commands/console_text.h"
#include "commands/convert.h"
#include "commands/exit_status.h"
#include "commands/generate.h"
#include "commands/inspect.h"
#include "commands/interrupt_line.h"
#include "commands/plan.h"
#include "commands/progress.h"
#include "commands/run.h"
#include "platform/file_seam.h"
#include "platform/output_file.h"
#include "platform/temp_files.h"
#include "standin/host.h"
#include "writers/version.h"

namespace {

using dustweave::EXIT_MISUSE;
using dustweave::EXIT_NOT_DONE;
using dustweave::Refusal;

// ---- the command line -------------------------------------------------------------------------

const std::vector<std::string> COMMANDS = {"convert", "run", "inspect", "generate"};

// Each command's options, and the program's own: the test seams.
struct CommandLine {
  dustweave::ConvertArgs convert;
  dustweave::RunArgs run;
  std::string inspect;
  dustweave::GenerateArgs generate;
  std::vector<CLI::App*> commands;  // in COMMANDS' order
  uint64_t pointIdsTaken = 0;       // the stand-in host's point IDs start after these
  std::string fileFaults;           // the file operations broken (see platform/file_seam.h)
  bool progressAtEveryLook = false; // the progress line drawn at every look
};

// The end of --help: the commands at work, by example.
std::string Examples() {
  const std::string& me = dustweave::CalledName();
  return "Examples: a small simulation to try things on, what it holds, and its chains as glTF\n"
         "with a quarter of the samples and a preview picture:\n"
         "  " + me + " generate sim.pfx\n"
         "  " + me + " inspect sim.pfx\n"
         "  " + me + " convert sim.pfx chains.glb --step 25% --svg chains.svg\n";
}

void Declare(CLI::App& app, CommandLine& line) {
  app.footer(Examples());
  app.require_subcommand(1);
  app.allow_windows_style_options(false);  // on Windows too: /path/to/file is a path, not an option
  app.set_version_flag("--version", "dustweave " DUSTWEAVE_VERSION);
  line.commands = {dustweave::AddConvert(app, line.convert), dustweave::AddRun(app, line.run),
                   dustweave::AddInspect(app, line.inspect), dustweave::AddGenerate(app, line.generate)};
  app.add_option("--test-point-ids-taken", line.pointIdsTaken)->group("");
  app.add_option("--test-file-faults", line.fileFaults)->group("");
  app.add_flag("--test-progress-at-every-look", line.progressAtEveryLook)->group("");
}

// The program's own options that take a value (the test seams), as they are spelled.
std::vector<std::string> ValuedOptions(const CLI::App& app) {
  std::vector<std::string> valued;
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_items_expected_min() <= 0) continue;
    for (const std::string& name : option->get_lnames()) valued.push_back("--" + name);
  }
  return valued;
}

// A command line without a command, or with a word that names none, said before the options are
// parsed: the misuse line points to --help unless it names the command meant. 0 when the
// command is fine.
int CheckCommandWord(const CLI::App& app, int argc, char** argv) {
  bool asksHelp = false;
  std::string word = dustweave::CommandWord(argc, argv, ValuedOptions(app), &asksHelp);
  if (word.empty() && asksHelp) return 0;
  if (word.empty()) return dustweave::Refuse({EXIT_MISUSE, "no command given: convert, run, inspect or generate"}, "");
  if (std::find(COMMANDS.begin(), COMMANDS.end(), word) != COMMANDS.end()) return 0;
  std::string meant = dustweave::Suggestion(word, COMMANDS);
  if (meant.empty()) {
    return dustweave::Refuse({EXIT_MISUSE, "unknown command '" + word + "': the commands are convert, run, inspect and generate"}, "");
  }
  dustweave::Say("unknown command '" + word + "' (did you mean " + meant + "?)");
  return EXIT_MISUSE;
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The command whose options were being parsed when a mistake was found; the program when none.
const CLI::App& CommandParsed(const CLI::App& app, const CommandLine& line) {
  for (const CLI::App* sub : line.commands) {
    if (sub->parsed()) return *sub;
  }
  return app;
}

// An argument spelled as an option ("-q", "--stp", "--step=25%"): its name, before any "=";
// "" for a value, a number such as -0.5 among them.
std::string OptionWord(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-' || std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.') return "";
  return arg.substr(0, arg.find('='));
}

// The names `command` and the program itself take, spelled as given: "--step", "-q".
std::vector<std::string> OptionNames(const CLI::App& app, const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::App* owner : {&app, &command}) {
    for (const CLI::Option* option : owner->get_options()) {
      for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
      for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
  }
  return names;
}

// The options of the command line, up to a lone "--" after which all are values.
std::vector<std::string> OptionWords(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i) {
    if (std::string word = OptionWord(argv[i]); !word.empty()) words.push_back(word);
  }
  return words;
}

// An argument the command does not take, in plain words: an option it does not know, with the
// one probably meant, or a value too many (in the parser's words when it keeps them to itself).
int SayNotExpected(const CLI::App& app, const CLI::App& command, const std::string& commandName,
                   const std::string& parserWords, int argc, char** argv) {
  std::vector<std::string> known = OptionNames(app, command);
  for (const std::string& word : OptionWords(argc, argv)) {
    if (std::find(known.begin(), known.end(), word) != known.end()) continue;
    std::vector<std::string> longNames;
    for (const std::string& name : known) {
      if (name.size() > 2 && name[1] == '-') longNames.push_back(name.substr(2));
    }
    std::string meant = dustweave::Suggestion(word.substr(word.find_first_not_of('-')), longNames);
    if (meant.empty()) return dustweave::Refuse({EXIT_MISUSE, "unknown option " + word}, commandName);
    dustweave::Say("unknown option " + word + " (did you mean --" + meant + "?)");
    return EXIT_MISUSE;
  }
  std::string extra;
  for (const std::string& arg : command.remaining()) extra += (extra.empty() ? "" : " ") + arg;
  if (extra.empty()) return dustweave::Refuse({EXIT_MISUSE, parserWords}, commandName);
  return dustweave::Refuse({EXIT_MISUSE, "more arguments than " + (commandName.empty() ? "the program" : commandName) + " takes: " + extra}, commandName);
}

// How many times the option that `error` names ("--step: ...") was given; 0 when none is named.
int TimesGiven(const CLI::App& app, const CLI::App& command, const std::string& error, int argc, char** argv) {
  std::string name = error.substr(0, error.find(':'));
  const CLI::Option* option = command.get_option_no_throw(name);
  if (option == nullptr) option = app.get_option_no_throw(name);
  if (option == nullptr) return 0;
  int times = 0;
  for (const std::string& word : OptionWords(argc, argv)) {
    times += option->check_name(word) ? 1 : 0;
  }
  return times;
}

bool IsNumber(const char* word) {
  char* end = nullptr;
  std::strtod(word, &end);
  return end != word && *end == '\0';
}

bool IsTaperWord(const char* word) { return std::string(word) == "comet"; }

// The options whose value may be left out, and the words each takes as its value.
struct OptionalValue {
  const char* option;
  bool (*takes)(const char* word);
};
constexpr OptionalValue OPTIONAL_VALUES[] = {{"--tubes", IsNumber}, {"--smooth", IsNumber}, {"--taper", IsTaperWord}};

// The arguments as the parser is given them: an option whose value may be left out takes the
// next word only when it is one of its values (--tubes and --smooth a number, --taper comet), so
// that `convert --tubes sim.pfx chains.glb` and `convert sim.pfx chains.usda --taper` keep both
// paths; otherwise it is spelled alone ("--tubes=").
std::vector<std::string> ArgumentsAsParsed(int argc, char** argv) {
  std::vector<std::string> words(argv, argv + argc);
  for (size_t i = 1; i + 1 < words.size() && words[i] != "--"; ++i) {
    for (const OptionalValue& optional : OPTIONAL_VALUES) {
      if (words[i] == optional.option && !optional.takes(argv[i + 1])) words[i] += "=";
    }
  }
  return words;
}

// Parses the options: -1 when a command is to run, else the exit status (help and the version
// printed, or misuse said with the help of the command it concerns). An unknown option, a value
// too many and an option given twice are said in plain words; other mistakes in the parser's.
int Parse(CLI::App& app, const CommandLine& line, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return -1;
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    const CLI::App& command = CommandParsed(app, line);
    std::string name = &command == &app ? "" : command.get_name();
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::ExtrasError)) {
      return SayNotExpected(app, command, name, OneLine(e.what()), argc, argv);
    }
    std::string option = std::string(e.what()).substr(0, std::string(e.what()).find(':'));
    if (int times = TimesGiven(app, command, e.what(), argc, argv); times > 1) {
      return dustweave::Refuse({EXIT_MISUSE, option + " is given " + std::to_string(times) + " times; give it once"}, name);
    }
    return dustweave::Refuse({EXIT_MISUSE, OneLine(e.what())}, name);
  }
}

// The test seams, set up as the options say: 0, or the exit status.
int StartSeams(const CommandLine& line) {
  standin::SetDefaultPointIdsTaken(line.pointIdsTaken);
  if (line.progressAtEveryLook) dustweave::DrawProgressAtEveryLook();
  if (line.fileFaults.empty()) return 0;
  dustweave::FileFaultPlan plan;
  std::string error;
  if (!dustweave::ParseFileFaultPlan(line.fileFaults, &plan, &error)) return dustweave::Refuse({EXIT_MISUSE, error}, "");
  if (!dustweave::StartFileFaultPlan(plan, &error)) return dustweave::Refuse({EXIT_NOT_DONE, error}, "");
  return 0;
}

int RunCommand(const CommandLine& line) {
  if (line.commands[0]->parsed()) return dustweave::Convert(line.convert);
  if (line.commands[1]->parsed()) return dustweave::Run(line.run);
  if (line.commands[2]->parsed()) return dustweave::Inspect(line.inspect);
  if (line.commands[3]->parsed()) return dustweave::Generate(line.generate);
  return EXIT_MISUSE;
}

// ---- what ends a command ----------------------------------------------------------------------

// Each file the command made and could not remove, on a line of its own.
void SayLeftBehind() {
  for (const std::string& line : dustweave::LeftBehindLines()) dustweave::Say(line);
}

// A write that fails (a full disk) ends the command at once: nothing more can be written, and
// nothing of it is left.
void EndOnWriteFailure(const std::string& reason) {
  dustweave::Say(reason);
  dustweave::RemoveRegisteredTemporaries();
  SayLeftBehind();
  std::cerr.flush();
  std::_Exit(EXIT_NOT_DONE);
}

}  // namespace

// ---- the program ------------------------------------------------------------------------------

int main(int argc, char** argv) {
  // Memory running out anywhere ends the command with its line, its temporary files removed.
  dustweave::EndWhenMemoryRunsOut(dustweave::SayOutOfMemoryLine, EXIT_NOT_DONE);
  dustweave::ConsoleText console;  // names on a Windows console as they were typed
  dustweave::SetCalledName(argc > 0 ? argv[0] : nullptr);
  CLI::App app{"dustweave: converts pfx files to OBJ, glTF or USD through the mirod_dustweave command module, "
               "runs the module outside the host, and checks or makes pfx files",
               dustweave::CalledName()};
  dustweave::EndOnInterrupts(dustweave::SayInterruptLine);  // Ctrl-C leaves no temporary file beside an output
  dustweave::SetWriteFailureHandler(EndOnWriteFailure);
  CommandLine line;
  Declare(app, line);
  std::vector<std::string> words = ArgumentsAsParsed(argc, argv);
  std::vector<char*> parsed;
  for (std::string& word : words) parsed.push_back(word.data());
  argv = parsed.data();
  if (int status = CheckCommandWord(app, argc, argv)) return status;
  if (int status = Parse(app, line, argc, argv); status >= 0) return status;
  if (int status = StartSeams(line)) return status;
  int status = RunCommand(line);
  SayLeftBehind();
  return status;
}
