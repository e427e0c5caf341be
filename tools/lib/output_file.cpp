// The safe output file: a temporary file named ".NAME.partial-PID-N" in the final name's folder,
// renamed over the final name when complete (replacing an older file there, also on Windows),
// removed otherwise. Every failure is kept with the system's reason and reported once.
#include "tools/lib/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/types.h>
#endif

namespace dustweave {

namespace {

constexpr size_t READ_BLOCK = 1 << 20;

unsigned long ProcessId() {
#ifdef _WIN32
  return static_cast<unsigned long>(_getpid());
#else
  return static_cast<unsigned long>(getpid());
#endif
}

size_t NameStart(const std::string& path) {
#ifdef _WIN32
  size_t slash = path.find_last_of("/\\");
#else
  size_t slash = path.find_last_of('/');
#endif
  return slash == std::string::npos ? 0 : slash + 1;
}

// ".NAME.partial-PID-N" beside `path`: unique within the process, and between processes by PID.
std::string TemporaryBeside(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  size_t start = NameStart(path);
  return path.substr(0, start) + "." + path.substr(start) + ".partial-" + std::to_string(ProcessId()) + "-" +
         std::to_string(++counter);
}

// Renames `from` over `to`, replacing a file already there; false with the system's reason.
bool RenameOver(const std::string& from, const std::string& to, std::string* reason) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *reason = std::system_category().message(static_cast<int>(GetLastError()));
#else
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *reason = std::generic_category().message(errno);
#endif
  return false;
}

}  // namespace

OutputFile::~OutputFile() { Abandon(); }

std::string OutputFile::Reason(const std::string& doing) const {
  return "cannot " + doing + " " + path_ + ": " + std::generic_category().message(errorNumber_);
}

bool OutputFile::Open(const std::string& path, std::string* error) {
  Abandon();
  path_ = path;
  temporary_ = TemporaryBeside(path);
  failed_ = false;
  errorNumber_ = 0;
  stream_ = std::fopen(temporary_.c_str(), "w+b");
  if (stream_ == nullptr) {
    errorNumber_ = errno;
    *error = Reason("write");
    temporary_.clear();
    return false;
  }
  return true;
}

void OutputFile::Fail(int errorNumber) {
  if (failed_) return;
  failed_ = true;
  errorNumber_ = errorNumber != 0 ? errorNumber : EIO;
}

void OutputFile::Write(const void* data, size_t size) {
  if (stream_ == nullptr || failed_ || size == 0) return;
  errno = 0;
  if (std::fwrite(data, 1, size, stream_) != size) Fail(errno);
}

bool OutputFile::Flush() {
  if (stream_ == nullptr) return false;
  errno = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) Fail(errno);
  return !failed_;
}

bool OutputFile::ReadBlocks(long from, std::string* error, void (*take)(void*, const char*, size_t),
                            void* context) {
  if (!Flush()) {
    *error = stream_ == nullptr ? "cannot write " + path_ + ": not open" : Reason("write");
    return false;
  }
  errno = 0;
  if (std::fseek(stream_, from, SEEK_SET) != 0) {
    Fail(errno);
    *error = Reason("read back");
    return false;
  }
  std::unique_ptr<char[]> block(new char[READ_BLOCK]);
  for (;;) {
    size_t got = std::fread(block.get(), 1, READ_BLOCK, stream_);
    if (got > 0) take(context, block.get(), got);
    if (got < READ_BLOCK) break;
  }
  if (std::ferror(stream_) != 0) {
    Fail(errno);
    *error = Reason("read back");
    return false;
  }
  return true;
}

// Copies all of `from` onto the end of `to` without passing through this process: true when done,
// false when the system cannot (nothing was copied then, or a failure was recorded in `to`).
static bool CopyInKernel(std::FILE* from, OutputFile& to, bool* tried) {
  *tried = false;
#ifdef __linux__
  int in = fileno(from), out = fileno(to.stream());
  off_t at = 0;
  for (;;) {
    ssize_t copied = copy_file_range(in, &at, out, nullptr, size_t{1} << 30, 0);
    if (copied > 0) {
      *tried = true;
      continue;
    }
    if (copied == 0) return std::fseek(to.stream(), 0, SEEK_END) == 0;
    if (*tried) to.Fail(errno);
    return false;
  }
#else
  (void)from;
  (void)to;
  return false;
#endif
}

bool OutputFile::AppendFrom(OutputFile& other, std::string* error) {
  if (!Flush() || !other.Flush()) {
    *error = failed_ ? Reason("write") : other.Reason("write");
    return false;
  }
  bool tried = false;
  if (CopyInKernel(other.stream_, *this, &tried)) return true;
  if (tried) {
    *error = Reason("write");
    return false;
  }
  return other.ReadBack(0, error, [&](const char* data, size_t size) { Write(data, size); });
}

bool OutputFile::Commit(std::string* error) {
  if (stream_ == nullptr) {
    *error = "cannot write " + path_ + ": not open";
    return false;
  }
  Flush();
  errno = 0;
  int closed = std::fclose(stream_);
  stream_ = nullptr;
  if (closed != 0) Fail(errno);
  std::string reason;
  if (!failed_ && !RenameOver(temporary_, path_, &reason)) {
    *error = "cannot write " + path_ + ": " + reason;
    Abandon();
    return false;
  }
  if (failed_) {
    *error = Reason("write");
    Abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::Abandon() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace dustweave
