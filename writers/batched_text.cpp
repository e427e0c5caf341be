// The batches of a text output and the worker that formats them. Batches are used in a ring: a
// full one is handed over, and the next is taken back once its text is written. Where the worker
// is behind, the packing thread formats the batch handed last while it waits, so both threads
// format. Where no worker can be started (and in the mingw builds, which have no threads) each
// batch is formatted at once.
#include "writers/batched_text.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/worker_thread.h"

#if DUSTWEAVE_THREADS
#include <condition_variable>
#include <mutex>
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

#if DUSTWEAVE_THREADS
struct BatchedText::Crew {
  Batch* batches;
  Format format;
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t handed = 0;
  bool stop = false;
  WorkerThread worker;

  Crew(Batch* batches, Format format) : batches(batches), format(format) {}
  // Null when no worker could be started.
  static std::unique_ptr<Crew> Started(Batch* batches, Format format) {
    auto crew = std::make_unique<Crew>(batches, format);
    if (!crew->worker.Start([worker = crew.get()] { worker->FormatUntilStopped(); })) return nullptr;
    return crew;
  }
  ~Crew() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    worker.Join();
  }

  // Formatting allocates nothing: nothing can throw on the worker.
  void FormatUntilStopped() {
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
struct BatchedText::Crew {  // never made: this build has no threads
  static std::unique_ptr<Crew> Started(Batch*, Format) { return nullptr; }
  void Hand(Batch&) {}
  void TakeBack(Batch&) {}
};
#endif

BatchedText::BatchedText(OutputFile& file, Format format)
    : file_(file), format_(format), batches_(new Batch[BATCHES]), records_(batches_[0].records.get()) {}

BatchedText::~BatchedText() { crew_.reset(); }

void BatchedText::Clear() {
  crew_.reset();
  atOnce_ = false;
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
  if (!crew_ && !atOnce_) atOnce_ = !(crew_ = Crew::Started(batches_.get(), format_));
  if (crew_) {
    crew_->Hand(full);
  } else {
    full.Make(format_);
  }
  packing_ = (packing_ + 1) % BATCHES;
  Batch& next = batches_[packing_];
  if (next.used > 0) Write(next);
  records_ = next.records.get();
  used_ = promised_ = 0;
}

void BatchedText::Write(Batch& batch) {
  if (crew_) crew_->TakeBack(batch);
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
