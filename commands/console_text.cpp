// Console text: where a character ends, then (Windows only) the stream buffer that converts the
// program's text and writes it to the console, and its installation on std::cout and std::cerr.
#include "commands/console_text.h"

#include <algorithm>
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "platform/utf8.h"

namespace dustweave {

size_t WholeCharactersLength(const char* text, size_t size, bool utf8) {
  return utf8 ? Utf8WholeLength(std::string_view(text, size)) : size;
}

#if defined(_WIN32)

namespace {

// A stream buffer that keeps the program's text until a line ends or the stream is flushed,
// then writes its whole characters to the console as UTF-16.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console), codePage_(GetACP()) {}
  ~ConsoleBuffer() override { WriteOut(true); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
    return c;
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<size_t>(count));
    if (pending_.find('\n') != std::string::npos) WriteOut();
    return count;
  }

  int sync() override {
    WriteOut();
    return 0;
  }

 private:
  size_t WholeLength() const {
    if (codePage_ == CP_UTF8) return WholeCharactersLength(pending_.data(), pending_.size(), true);
    size_t i = 0;  // a double-byte code page: a lead byte at the end waits for its second byte
    while (i < pending_.size()) i += IsDBCSLeadByteEx(codePage_, static_cast<BYTE>(pending_[i])) ? 2 : 1;
    return i > pending_.size() ? pending_.size() - 1 : pending_.size();
  }

  // Writes the whole characters, or with `all` everything, kept so far.
  void WriteOut(bool all = false) {
    size_t whole = all ? pending_.size() : WholeLength();
    if (whole == 0) return;
    int bytes = static_cast<int>(whole);
    int units = MultiByteToWideChar(codePage_, 0, pending_.data(), bytes, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) MultiByteToWideChar(codePage_, 0, pending_.data(), bytes, wide.data(), units);
    for (size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(console_, wide.data() + done, chunk, &written, nullptr) || written == 0) break;
      done += written;
    }
    pending_.erase(0, whole);
  }

  HANDLE console_;
  UINT codePage_;
  std::string pending_;
};

// The console behind a standard handle, or null when it is a file, a pipe or nothing.
HANDLE ConsoleOf(DWORD standardHandle) {
  HANDLE handle = GetStdHandle(standardHandle);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return nullptr;
  return handle;
}

// One stream's console buffer, installed for as long as it lives.
class Redirection {
 public:
  Redirection(std::ostream& stream, HANDLE console) : stream_(stream), buffer_(console) {
    stream_.flush();
    original_ = stream_.rdbuf(&buffer_);
  }
  ~Redirection() {
    stream_.flush();
    stream_.rdbuf(original_);
  }
  Redirection(const Redirection&) = delete;
  Redirection& operator=(const Redirection&) = delete;

 private:
  std::ostream& stream_;
  ConsoleBuffer buffer_;
  std::streambuf* original_ = nullptr;
};

}  // namespace

struct ConsoleText::Streams {
  std::unique_ptr<Redirection> out, err;
};

ConsoleText::ConsoleText() : streams_(new Streams) {
  if (HANDLE console = ConsoleOf(STD_OUTPUT_HANDLE)) streams_->out.reset(new Redirection(std::cout, console));
  if (HANDLE console = ConsoleOf(STD_ERROR_HANDLE)) streams_->err.reset(new Redirection(std::cerr, console));
}

#else

struct ConsoleText::Streams {};

ConsoleText::ConsoleText() = default;

#endif

ConsoleText::~ConsoleText() = default;

}  // namespace dustweave
