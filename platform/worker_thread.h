// The one place that starts the program's worker threads (the blocks written behind, the text
// made on a second core, the input's width read during a run): each starts with every signal
// already blocked, so an interrupt always runs on the main thread, whose handler removes the
// temporary files. Where no thread can be had (the system refuses one, or the build has no
// threads), the caller does the work itself.
#pragma once

#include <functional>
#include <memory>

// Whether this build has threads: the mingw builds' win32 thread model has no std::thread,
// std::mutex or std::condition_variable, and there all work is done at once.
#if !defined(_WIN32) || defined(_GLIBCXX_HAS_GTHREADS)
#define DUSTWEAVE_THREADS 1
#else
#define DUSTWEAVE_THREADS 0
#endif

namespace dustweave {

class WorkerThread {
 public:
  WorkerThread();
  ~WorkerThread();  // waits for the work to return
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs `work` on a new thread. `work` must not throw: nothing could catch it there (no
  // allocation throws: memory running out on any thread ends the program, see
  // EndWhenMemoryRunsOut). False when no thread could be started: the work was not begun.
  bool Start(std::function<void()> work);
  // Waits until the work has returned; nothing when none was started.
  void Join();

 private:
  struct Thread;
  std::unique_ptr<Thread> thread_;
};

}  // namespace dustweave
