// The writing thread: blocks wait in a short queue, each with its offset, and come back as
// spares once written; the caller waits only when the queue is full. The thread allocates
// nothing: the caller moves the written blocks to the spares. Where no thread can be started
// (and in the mingw builds, which have none) each block is written at once.
#include "platform/block_writer.h"

#include "platform/worker_thread.h"

#if DUSTWEAVE_THREADS
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>
#endif

namespace dustweave {

#if DUSTWEAVE_THREADS
struct BlockWriter::Thread {
  static constexpr size_t QUEUE = 2;

  struct Job {
    std::unique_ptr<char[]> bytes;
    size_t capacity, size;
    uint64_t offset;
  };

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> jobs;  // the first `written` are written, the next is being written
  size_t written = 0;
  std::vector<Job> spares;
  bool stop = false;
  int error = 0;  // of the first failed write
  WorkerThread worker;

  // Null when no thread could be started.
  static std::unique_ptr<Thread> Started(FileHandle& file) {
    auto thread = std::make_unique<Thread>();
    if (!thread->worker.Start([writer = thread.get(), &file] { writer->WriteUntilStopped(file); })) return nullptr;
    return thread;
  }

  ~Thread() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    worker.Join();
  }

  void WriteUntilStopped(FileHandle& file) {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return written < jobs.size() || stop; });
      if (written == jobs.size()) return;
      Job& job = jobs[written];  // a deque's elements stay where they are as others come and go
      lock.unlock();
      int failure = error != 0 ? 0 : file.WriteAt(job.offset, job.bytes.get(), job.size);
      lock.lock();
      if (failure != 0 && error == 0) error = failure;
      ++written;
      changed.notify_all();
    }
  }

  // The written jobs become spares (under the lock, on the caller's thread).
  void TakeWritten() {
    for (; written > 0; --written) {
      spares.push_back(std::move(jobs.front()));
      jobs.pop_front();
    }
  }

  // Queues `block` and gives back a spare of `capacity` bytes in its place; the error so far.
  int Hand(uint64_t offset, std::unique_ptr<char[]>& block, size_t capacity, size_t size) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return jobs.size() - written < QUEUE; });
    TakeWritten();
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
    changed.wait(lock, [&] { return written == jobs.size(); });
    TakeWritten();
    return error;
  }
};
#else
struct BlockWriter::Thread {  // never made: this build has no threads
  static std::unique_ptr<Thread> Started(FileHandle&) { return nullptr; }
  int Hand(uint64_t, std::unique_ptr<char[]>&, size_t, size_t) { return 0; }
  int Wait() { return 0; }
};
#endif

BlockWriter::BlockWriter(OutputFile& file) : file_(file) {}
BlockWriter::~BlockWriter() { Drain(); }

bool BlockWriter::Write(uint64_t offset, std::unique_ptr<char[]>& block, size_t capacity, size_t size) {
  if (file_.failed()) return false;
  if (size == 0) return true;
  if (!thread_ && !atOnce_) atOnce_ = !(thread_ = Thread::Started(file_.handle()));
  int failure = thread_ ? thread_->Hand(offset, block, capacity, size) : file_.handle().WriteAt(offset, block.get(), size);
  if (failure != 0) file_.Fail(failure);
  return !file_.failed();
}

bool BlockWriter::Drain() {
  if (!thread_) return !file_.failed();
  if (int failure = thread_->Wait()) file_.Fail(failure);
  thread_.reset();  // ends the thread: the file may be closed next
  return !file_.failed();
}

}  // namespace dustweave
