// Threads and their priority.
#include "quvex_platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

namespace quvex::platform {

void SetCurrentThreadPriority(ThreadPriority priority) {
  // A lower nice value for this thread alone; an unprivileged process is
  // usually refused, which is fine: priority is a request, not a requirement.
  const int nice = priority == ThreadPriority::Highest ? -10 : 0;
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  (void)setpriority(PRIO_PROCESS, tid, nice);
}

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> body, ThreadPriority priority) {
  if (thread_.joinable() || !body) return false;
  try {
    thread_ = std::thread([body = std::move(body), priority] {
      if (priority != ThreadPriority::Normal) SetCurrentThreadPriority(priority);
      body();
    });
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void Thread::Join() {
  if (!thread_.joinable()) return;
  // A thread cannot wait for itself; letting it go is the only way out that
  // does not end the process.
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
    return;
  }
  thread_.join();
}

bool Thread::IsCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

}  // namespace quvex::platform
