// Finding the command word, and the edit distance that suggests a command for a slip.
#include "commands/command_word.h"

#include <algorithm>
#include <cctype>

namespace dustweave {

namespace {

constexpr size_t MOST_SLIPS = 2;

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Letters added, dropped or changed to turn `a` into `b`.
size_t Slips(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string CommandWord(int argc, char** argv, const std::vector<std::string>& valued, bool* asksHelp) {
  *asksHelp = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "--version") *asksHelp = true;
    if (arg.empty() || arg[0] != '-') return arg;
    if (std::find(valued.begin(), valued.end(), arg) != valued.end()) ++i;  // its value
  }
  return "";
}

std::string Suggestion(const std::string& word, const std::vector<std::string>& commands) {
  std::string typed = Lowered(word), best;
  size_t fewest = MOST_SLIPS + 1;
  for (const std::string& command : commands) {
    if (typed.size() >= 2 && command.compare(0, typed.size(), typed) == 0) return command;
    size_t slips = Slips(typed, command);
    if (slips < fewest) fewest = slips, best = command;
  }
  return best;
}

}  // namespace dustweave
