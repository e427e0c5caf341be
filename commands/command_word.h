// The command word of a dustweave command line, looked at before the options are parsed: a word
// that names no command is told as such, with the command it was probably meant to be.
#pragma once

#include <string>
#include <vector>

namespace dustweave {

// The first argument after the program's name that is no option (the options before it that
// take a value are `valued`), or "" when there is none. `asksHelp` is set when --help, -h or
// --version comes before it.
std::string CommandWord(int argc, char** argv, const std::vector<std::string>& valued, bool* asksHelp);

// The command `word` was probably meant to be: the one it is a start of, or one within two
// typing slips of it, in any case; "" when none is close.
std::string Suggestion(const std::string& word, const std::vector<std::string>& commands);

}  // namespace dustweave
