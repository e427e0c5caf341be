// Starting a worker: on POSIX every signal is blocked on the starting thread for the moment the
// new one is made, which inherits that mask from its first instruction, and then the mask it had
// is put back. A thread the system refuses (no room for its stack, too many threads) is a false.
#include "platform/worker_thread.h"

#if DUSTWEAVE_THREADS
#include <system_error>
#include <thread>
#ifndef _WIN32
#include <pthread.h>

#include <csignal>
#endif
#endif

namespace dustweave {

#if DUSTWEAVE_THREADS
struct WorkerThread::Thread {
  std::thread thread;
};

namespace {

#ifndef _WIN32
// Every signal blocked on the calling thread while it lives; then the mask it had.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before_);
  }
  ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t before_;
};
#else
struct SignalsBlocked {  // nothing to block: console events come on a thread of their own
  SignalsBlocked() {}
};
#endif

}  // namespace

bool WorkerThread::Start(std::function<void()> work) {
  Join();
  auto started = std::make_unique<Thread>();
  SignalsBlocked blocked;
  try {
    started->thread = std::thread(std::move(work));
  } catch (const std::system_error&) {
    return false;
  }
  thread_ = std::move(started);
  return true;
}

void WorkerThread::Join() {
  if (thread_) thread_->thread.join();
  thread_.reset();
}
#else
struct WorkerThread::Thread {};

bool WorkerThread::Start(std::function<void()>) { return false; }

void WorkerThread::Join() {}
#endif

WorkerThread::WorkerThread() = default;
WorkerThread::~WorkerThread() { Join(); }

}  // namespace dustweave
