// The batches of a text output and the worker that formats them. Batches are used in a ring: a
// full one is handed over, and the next is taken back once its text is written. Where the worker
// is behind, the packing thread formats the batch handed last while it waits, so both threads
// format. The mingw builds' thread model has no std::thread: there each batch is formatted at once.
#include "writers/batched_text.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#if !defined(_WIN32) || defined(_GLIBCXX_HAS_GTHREADS)
#define DUSTWEAVE_TEXT_WORKER 1
#include <condition_variable>
#include <mutex>
#include <thread>
#endif
#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#endif

namespace dustweave {

struct BatchedText::Batch {
  enum State { FREE, WAITING, FORMATTING, MADE };

  std::unique_ptr<char[]> records{new char[RECORDS]}, text{new char[TEXT]};
  size_t used = 0, made = 0;                   // bytes of records; of text once made
  std::vector<std::pair<size_t, size_t>> kept;  // parts of the records that are text as it is
  State state = FREE;                           // changed under the crew's lock
  uint64_t handed = 0;                          // its place in the order of hand-over

  void Reset() {  // the state is the crew's
    used = made = 0;
    kept.clear();
  }
  void Make(Format format) {
    char* at = text.get();
    size_t from = 0;
    for (const auto& [begin, end] : kept) {
      at = format(records.get() + from, records.get() + begin, at);
      std::memcpy(at, records.get() + begin, end - begin);
      at += end - begin;
      from = end;
    }
    at = format(records.get() + from, records.get() + used, at);
    made = static_cast<size_t>(at - text.get());
  }
};

#ifdef DUSTWEAVE_TEXT_WORKER
struct BatchedText::Crew {
  Batch* batches;
  Format format;
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t handed = 0;
  bool stop = false;
  std::thread worker;

  // Started once every member above is made.
  Crew(Batch* batches, Format format) : batches(batches), format(format) {
    worker = std::thread([this] { FormatUntilStopped(); });
  }
  ~Crew() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    worker.join();
  }

  void FormatUntilStopped() {
#ifndef _WIN32
    // Interrupts are for the main thread, whose handler removes the temporary files.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
#endif
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      Batch* first = nullptr;
      changed.wait(lock, [&] { return stop || (first = Waiting(false)) != nullptr; });
      if (stop) return;
      MakeHere(*first, lock);
    }
  }

  // The waiting batch handed over first, or last; null when none waits.
  Batch* Waiting(bool last) {
    Batch* found = nullptr;
    for (size_t i = 0; i < BATCHES; ++i) {
      Batch& batch = batches[i];
      if (batch.state != Batch::WAITING) continue;
      if (!found || (batch.handed > found->handed) == last) found = &batch;
    }
    return found;
  }

  // Formats a waiting batch, with the lock let go meanwhile.
  void MakeHere(Batch& batch, std::unique_lock<std::mutex>& lock) {
    batch.state = Batch::FORMATTING;
    lock.unlock();
    batch.Make(format);
    lock.lock();
    batch.state = Batch::MADE;
    changed.notify_all();
  }

  void Hand(Batch& batch) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      batch.state = Batch::WAITING;
      batch.handed = ++handed;
    }
    changed.notify_all();
  }

  // Waits until `batch` is made, formatting the waiting batch handed last meanwhile (the worker
  // takes the first), and gives it back to the packing thread.
  void TakeBack(Batch& batch) {
    std::unique_lock<std::mutex> lock(mutex);
    while (batch.state != Batch::MADE) {
      if (Batch* last = Waiting(true)) {
        MakeHere(*last, lock);
      } else {
        changed.wait(lock);
      }
    }
    batch.state = Batch::FREE;
  }
};
#else
struct BatchedText::Crew {
  Crew(Batch*, Format format) : format(format) {}
  void Hand(Batch& batch) { batch.Make(format); }
  void TakeBack(Batch&) {}
  Format format;
};
#endif

BatchedText::BatchedText(OutputFile& file, Format format)
    : file_(file), format_(format), batches_(new Batch[BATCHES]), records_(batches_[0].records.get()) {}

BatchedText::~BatchedText() { crew_.reset(); }

void BatchedText::Clear() {
  crew_.reset();
  for (size_t i = 0; i < BATCHES; ++i) {
    batches_[i].Reset();
    batches_[i].state = Batch::FREE;
  }
  packing_ = 0;
  records_ = batches_[0].records.get();
  used_ = promised_ = 0;
}

// Hands the packed batch over and packs the next, once its text is written.
void BatchedText::Pass() {
  Batch& full = batches_[packing_];
  full.used = used_;
  if (!crew_) crew_ = std::make_unique<Crew>(batches_.get(), format_);
  crew_->Hand(full);
  packing_ = (packing_ + 1) % BATCHES;
  Batch& next = batches_[packing_];
  if (next.used > 0) Write(next);
  records_ = next.records.get();
  used_ = promised_ = 0;
}

void BatchedText::Write(Batch& batch) {
  crew_->TakeBack(batch);
  behind_.Append(batch.text, TEXT, batch.made);
  batch.Reset();
}

void BatchedText::Put(const char* text, size_t size) {
  while (size > 0) {
    if (used_ == RECORDS || promised_ == TEXT) Pass();
    size_t part = std::min({size, RECORDS - used_, TEXT - promised_});
    std::vector<std::pair<size_t, size_t>>& kept = batches_[packing_].kept;
    if (!kept.empty() && kept.back().second == used_) {
      kept.back().second += part;
    } else {
      kept.emplace_back(used_, used_ + part);
    }
    std::memcpy(records_ + used_, text, part);
    used_ += part;
    promised_ += part;
    text += part;
    size -= part;
  }
}

bool BatchedText::Close(std::string* error) {
  if (used_ > 0) Pass();
  for (size_t i = 0; i < BATCHES; ++i) {
    Batch& batch = batches_[(packing_ + i) % BATCHES];  // the oldest first
    if (batch.used > 0) Write(batch);
  }
  crew_.reset();
  if (behind_.Drain()) return true;
  *error = file_.reason();
  file_.Abandon();
  return false;
}

}  // namespace dustweave
