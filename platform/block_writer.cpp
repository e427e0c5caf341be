// The writing thread: blocks wait in a short queue, each with its offset, and come back as
// spares once written; the caller waits only when the queue is full. The mingw builds' thread
// model has no std::thread: there each block is written at once.
#include "platform/block_writer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#endif

namespace dustweave {

#if !defined(_WIN32) || defined(_GLIBCXX_HAS_GTHREADS)
struct BlockWriter::Thread {
  static constexpr size_t QUEUE = 2;

  struct Job {
    std::unique_ptr<char[]> bytes;
    size_t capacity, size;
    uint64_t offset;
  };

  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> jobs;  // the first is being written; it leaves once written
  std::vector<Job> spares;
  bool stop = false;
  int error = 0;  // of the first failed write

  // Started once every member above is made.
  explicit Thread(FileHandle& file) { thread = std::thread([this, &file] { WriteUntilStopped(file); }); }

  ~Thread() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    thread.join();
  }

  void WriteUntilStopped(FileHandle& file) {
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
      Job& job = jobs.front();
      lock.unlock();
      int failure = error != 0 ? 0 : file.WriteAt(job.offset, job.bytes.get(), job.size);
      lock.lock();
      if (failure != 0 && error == 0) error = failure;
      spares.push_back(std::move(job));
      jobs.pop_front();
      changed.notify_all();
    }
  }

  // Queues `block` and gives back a spare of `capacity` bytes in its place; the error so far.
  int Hand(uint64_t offset, std::unique_ptr<char[]>& block, size_t capacity, size_t size) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return jobs.size() < QUEUE; });
    jobs.push_back(Job{std::move(block), capacity, size, offset});
    for (size_t i = 0; i < spares.size(); ++i) {
      if (spares[i].capacity != capacity) continue;
      block = std::move(spares[i].bytes);
      spares.erase(spares.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
    changed.notify_all();
    int failure = error;
    lock.unlock();
    if (!block) block.reset(new char[capacity]);
    return failure;
  }

  int Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return jobs.empty(); });
    return error;
  }
};
#else
struct BlockWriter::Thread {
  explicit Thread(FileHandle& file) : file(file) {}
  int Hand(uint64_t offset, std::unique_ptr<char[]>& block, size_t, size_t size) {
    return file.WriteAt(offset, block.get(), size);
  }
  int Wait() { return 0; }
  FileHandle& file;
};
#endif

BlockWriter::BlockWriter(OutputFile& file) : file_(file) {}
BlockWriter::~BlockWriter() { Drain(); }

bool BlockWriter::Write(uint64_t offset, std::unique_ptr<char[]>& block, size_t capacity, size_t size) {
  if (file_.failed()) return false;
  if (size == 0) return true;
  if (!thread_) thread_ = std::make_unique<Thread>(file_.handle());
  if (int failure = thread_->Hand(offset, block, capacity, size)) file_.Fail(failure);
  return !file_.failed();
}

bool BlockWriter::Drain() {
  if (!thread_) return !file_.failed();
  if (int failure = thread_->Wait()) file_.Fail(failure);
  thread_.reset();  // ends the thread: the file may be closed next
  return !file_.failed();
}

}  // namespace dustweave
