// The safe output file: a temporary file named ".NAME.partial-PID-N" in the final name's folder,
// renamed over the final name when complete (replacing an older file there, also on Windows),
// removed otherwise. Every failure is kept with the system's reason and reported once.
#include "tools/lib/output_file.h"

#include "tools/lib/partial_files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

// The mingw builds' thread model has no std::thread: there blocks are written at once.
#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#define DUSTWEAVE_WRITE_BEHIND 0
#else
#define DUSTWEAVE_WRITE_BEHIND 1
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#endif
#ifdef _WIN32
#define DUSTWEAVE_WINDOWS 1
#else
#define DUSTWEAVE_WINDOWS 0
#endif
#if DUSTWEAVE_WRITE_BEHIND && !defined(_WIN32)
#include <csignal>
#include <pthread.h>
#endif

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

#ifndef _WIN32
// Writes all `size` bytes at `offset` in `fd`, leaving its position alone: 0, or the errno.
int WriteAllAt(int fd, const char* data, size_t size, uint64_t offset) {
  for (size_t done = 0; done < size;) {
    ssize_t wrote = pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
    if (wrote <= 0) return wrote < 0 ? errno : EIO;
    done += static_cast<size_t>(wrote);
  }
  return 0;
}
#endif

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

// ---- writing behind: one block at a time on a second thread ----------------------------------

#if DUSTWEAVE_WRITE_BEHIND
// Blocks wait in a short queue, each to be appended or written at its own offset, and come back
// as spares once written; the caller waits only when the queue is full.
struct OutputFile::Behind {
  static constexpr size_t QUEUE = 2;
  static constexpr uint64_t APPEND = ~uint64_t{0};

  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t capacity;
  };
  struct Job {
    Block block;
    size_t size;
    uint64_t offset;  // APPEND: at the end of what the stream wrote
  };

  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> jobs;  // the first is being written while `writing`
  std::vector<Block> spares;
  bool writing = false;
  bool stop = false;
  int error = 0;  // errno of a failed write, taken up by Drain

  explicit Behind(std::FILE* stream) {
    thread = std::thread([this, stream] { WriteUntilStopped(stream); });
  }

  bool Idle() const { return jobs.empty() && !writing; }

  void WriteUntilStopped(std::FILE* stream) {
#ifndef _WIN32
    // Interrupts are for the main thread, whose handler removes the temporary files.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
#endif
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return !jobs.empty() || stop; });
      if (jobs.empty()) return;
      writing = true;
      Job& job = jobs.front();
      lock.unlock();
      int reason = Write(stream, job);
      lock.lock();
      if (reason != 0 && error == 0) error = reason;
      spares.push_back(std::move(job.block));
      jobs.pop_front();
      writing = false;
      changed.notify_all();
    }
  }

  // 0, or the errno of a failed write.
  static int Write(std::FILE* stream, const Job& job) {
    errno = 0;
    if (job.offset == APPEND) {
      if (std::fwrite(job.block.bytes.get(), 1, job.size, stream) == job.size) return 0;
      return errno != 0 ? errno : EIO;
    }
#ifndef _WIN32
    return WriteAllAt(fileno(stream), job.block.bytes.get(), job.size, job.offset);
#else
    return ENOSYS;
#endif
  }

  // Queues `block` and gives back a spare of `capacity` bytes in its place.
  void Hand(std::unique_ptr<char[]>& block, size_t capacity, size_t size, uint64_t offset) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return jobs.size() < QUEUE; });
    jobs.push_back(Job{Block{std::move(block), capacity}, size, offset});
    for (size_t i = 0; i < spares.size(); ++i) {
      if (spares[i].capacity != capacity) continue;
      block = std::move(spares[i].bytes);
      spares.erase(spares.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
    changed.notify_all();
    lock.unlock();
    if (!block) block.reset(new char[capacity]);
  }
};

void OutputFile::WriteBehind(std::unique_ptr<char[]>& block, size_t capacity, size_t size) {
  HandBehind(block, capacity, size, Behind::APPEND);
}

void OutputFile::WriteBehindAt(uint64_t offset, std::unique_ptr<char[]>& block, size_t capacity, size_t size) {
  HandBehind(block, capacity, size, offset);
}

void OutputFile::HandBehind(std::unique_ptr<char[]>& block, size_t capacity, size_t size, uint64_t offset) {
  if (stream_ == nullptr || failed_ || size == 0) return;
  if (!behind_) behind_ = std::make_unique<Behind>(stream_);
  behind_->Hand(block, capacity, size, offset);
}

void OutputFile::Drain() {
  if (!behind_) return;
  Behind& b = *behind_;
  std::unique_lock<std::mutex> lock(b.mutex);
  b.changed.wait(lock, [&] { return b.Idle(); });
  if (b.error != 0) Fail(b.error);
  b.error = 0;
}

void OutputFile::StopBehind() {
  if (!behind_) return;
  Drain();
  {
    std::lock_guard<std::mutex> lock(behind_->mutex);
    behind_->stop = true;
  }
  behind_->changed.notify_all();
  behind_->thread.join();
  behind_.reset();
}
#else
struct OutputFile::Behind {};

void OutputFile::WriteBehind(std::unique_ptr<char[]>& block, size_t, size_t size) {
  Write(block.get(), size);
}

void OutputFile::WriteBehindAt(uint64_t, std::unique_ptr<char[]>&, size_t, size_t) { Fail(ENOSYS); }
void OutputFile::HandBehind(std::unique_ptr<char[]>&, size_t, size_t, uint64_t) {}
void OutputFile::Drain() {}
void OutputFile::StopBehind() {}
#endif

bool OutputFile::CanWriteAt() { return DUSTWEAVE_WRITE_BEHIND && !DUSTWEAVE_WINDOWS; }

std::FILE* OutputFile::stream() {
  Drain();
  return stream_;
}

OutputFile::OutputFile() = default;
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
  RegisterPartialFile(temporary_);
  return true;
}

void OutputFile::Fail(int errorNumber) {
  if (failed_) return;
  failed_ = true;
  errorNumber_ = errorNumber != 0 ? errorNumber : EIO;
}

void OutputFile::Write(const void* data, size_t size) {
  Drain();
  if (stream_ == nullptr || failed_ || size == 0) return;
  errno = 0;
  if (std::fwrite(data, 1, size, stream_) != size) Fail(errno);
}

bool OutputFile::Flush() {
  Drain();
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

// ---- bytes read and moved within the file ------------------------------------------------------

#ifndef _WIN32
namespace {

// Reads the `size` bytes at `from` in `fd` a block at a time, front first, handing each block
// and its place in the range to `take(data, size, at)`, which answers 0 or an errno. Answers 0,
// or the errno of the first failure.
template <typename Take>
int ReadRange(int fd, uint64_t from, uint64_t size, Take take) {
  std::unique_ptr<char[]> block(new char[READ_BLOCK]);
  for (uint64_t done = 0; done < size;) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(READ_BLOCK, size - done));
    ssize_t got = pread(fd, block.get(), want, static_cast<off_t>(from + done));
    if (got <= 0) return got < 0 ? errno : EIO;
    if (int failure = take(block.get(), static_cast<size_t>(got), done)) return failure;
    done += static_cast<uint64_t>(got);
  }
  return 0;
}

}  // namespace

bool OutputFile::CopyRangeTo(uint64_t from, uint64_t size, OutputFile& other, std::string* error) {
  if (!Flush()) {
    *error = Reason("write");
    return false;
  }
  int failure = ReadRange(fileno(stream_), from, size, [&](const char* data, size_t got, uint64_t) {
    other.Write(data, got);
    return 0;
  });
  if (failure == 0) return true;
  Fail(failure);
  *error = Reason("read back");
  return false;
}

bool OutputFile::MoveDownAndCut(uint64_t from, uint64_t to, uint64_t size, std::string* error) {
  if (!Flush()) {
    *error = Reason("write");
    return false;
  }
  // Front first: each block is read before anything is written over it.
  int fd = fileno(stream_);
  int failure = ReadRange(fd, from, size, [&](const char* data, size_t got, uint64_t at) {
    return WriteAllAt(fd, data, got, to + at);
  });
  off_t end = static_cast<off_t>(to + size);
  if (failure == 0 && (ftruncate(fd, end) != 0 || fseeko(stream_, end, SEEK_SET) != 0)) failure = errno;
  if (failure == 0) return true;
  Fail(failure);
  *error = Reason("write");
  return false;
}
#else
bool OutputFile::CopyRangeTo(uint64_t, uint64_t, OutputFile&, std::string* error) {
  *error = "cannot copy within " + path_ + " on this system";
  return false;
}
bool OutputFile::MoveDownAndCut(uint64_t, uint64_t, uint64_t, std::string* error) {
  *error = "cannot move bytes within " + path_ + " on this system";
  return false;
}
#endif

bool OutputFile::SeekToEnd(std::string* error) {
  if (!Flush()) {
    *error = Reason("write");
    return false;
  }
  if (std::fseek(stream_, 0, SEEK_END) == 0) return true;
  Fail(errno);
  *error = Reason("write");
  return false;
}

bool OutputFile::Commit(std::string* error) {
  if (stream_ == nullptr) {
    *error = "cannot write " + path_ + ": not open";
    return false;
  }
  Flush();
  StopBehind();
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
  ForgetPartialFile(temporary_);
  temporary_.clear();
  return true;
}

void OutputFile::Abandon() {
  StopBehind();
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    ForgetPartialFile(temporary_);
    temporary_.clear();
  }
}

}  // namespace dustweave
