// Text on a Windows console as the user typed it. The program's text is in its code page (UTF-8
// under dustweave's manifest, the ANSI code page on Windows before 10 version 1903), which the
// console would show in another one; so while a ConsoleText lives, std::cout and std::cerr,
// where they are a console, go out as UTF-16 through WriteConsoleW. A file or a pipe keeps the
// bytes unchanged, and nothing of the console's own settings is changed. Elsewhere it does nothing.
#pragma once

#include <cstddef>
#include <memory>

namespace dustweave {

// How much of `text` ends on a whole character of the code page (`utf8`: UTF-8, else any single-
// byte one): the rest, the start of a character, waits for the bytes that complete it.
size_t WholeCharactersLength(const char* text, size_t size, bool utf8);

class ConsoleText {
 public:
  ConsoleText();
  ~ConsoleText();  // writes what is left and gives the streams their own buffers back
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;

 private:
  struct Streams;
  std::unique_ptr<Streams> streams_;
};

}  // namespace dustweave
