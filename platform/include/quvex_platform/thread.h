// Threads.
#pragma once

#include <functional>
#include <thread>

namespace quvex::platform {

enum class ThreadPriority { Normal, Highest };

// Raises or restores the calling thread's scheduling priority. Best effort:
// an unprivileged process usually cannot raise it, and that is not an error.
void SetCurrentThreadPriority(ThreadPriority priority);

// A joinable thread. Start runs body on a new thread at the given priority;
// Join waits for it. The destructor joins a thread that was not joined, so a
// thread never outlives what owns it.
class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();

  // false when the thread cannot be created (or one is still joinable).
  bool Start(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);
  void Join();
  bool Joinable() const { return thread_.joinable(); }
  // True when called from this thread itself.
  bool IsCurrent() const;

 private:
  std::thread thread_;
};

}  // namespace quvex::platform
