// Notify windows: per-window message queues behind opaque handles. A handle is
// a number that is never reused, so posting to a destroyed window fails
// harmlessly instead of touching freed memory.
#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "quvex/quvex_window.h"

namespace {

// A bounded queue: like a desktop message queue, posting to a full one fails
// rather than letting an unread window consume all memory.
constexpr size_t kQueueLimit = 100000;

struct MessageQueue {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<QuvexMessage> messages;
  bool closed = false;
};

struct WindowRegistry {
  std::shared_mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<MessageQueue>> windows;
  uintptr_t lastId = 0;
};

WindowRegistry& Registry() {
  static WindowRegistry* registry = new WindowRegistry;  // outlives every static user
  return *registry;
}

std::shared_ptr<MessageQueue> Find(QuvexHwnd window) {
  if (window == nullptr) return nullptr;
  WindowRegistry& registry = Registry();
  std::shared_lock lock(registry.mutex);
  const auto it = registry.windows.find(reinterpret_cast<uintptr_t>(window));
  return it == registry.windows.end() ? nullptr : it->second;
}

}  // namespace

extern "C" QuvexHwnd QuvexWindow_Create(void) {
  try {
    WindowRegistry& registry = Registry();
    std::unique_lock lock(registry.mutex);
    const uintptr_t id = ++registry.lastId;
    registry.windows.emplace(id, std::make_shared<MessageQueue>());
    return reinterpret_cast<QuvexHwnd>(id);
  } catch (...) {
    return nullptr;
  }
}

extern "C" void QuvexWindow_Destroy(QuvexHwnd window) {
  try {
    std::shared_ptr<MessageQueue> queue;
    {
      WindowRegistry& registry = Registry();
      std::unique_lock lock(registry.mutex);
      const auto it = registry.windows.find(reinterpret_cast<uintptr_t>(window));
      if (it == registry.windows.end()) return;
      queue = std::move(it->second);
      registry.windows.erase(it);
    }
    {
      std::lock_guard lock(queue->mutex);
      queue->closed = true;
    }
    queue->arrived.notify_all();
  } catch (...) {
    // Nothing thrown reaches the host; the window stays as it was.
  }
}

extern "C" int QuvexWindow_Post(QuvexHwnd window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam) {
  try {
    const auto queue = Find(window);
    if (!queue) return 0;
    {
      std::lock_guard lock(queue->mutex);
      if (queue->closed || queue->messages.size() >= kQueueLimit) return 0;
      queue->messages.push_back(QuvexMessage{message, wParam, lParam});
    }
    queue->arrived.notify_one();
    return 1;
  } catch (...) {
    return 0;
  }
}

extern "C" int QuvexWindow_GetMessage(QuvexHwnd window, QuvexMessage* out, uint32_t timeoutMs) {
  try {
    const auto queue = Find(window);
    if (!queue || out == nullptr) return 0;
    std::unique_lock lock(queue->mutex);
    const auto ready = [&] { return !queue->messages.empty() || queue->closed; };
    if (timeoutMs == QUVEX_WAIT_INFINITE) {
      queue->arrived.wait(lock, ready);
    } else if (!queue->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
      return 0;
    }
    if (queue->messages.empty()) return 0;
    *out = queue->messages.front();
    queue->messages.pop_front();
    return 1;
  } catch (...) {
    return 0;
  }
}

extern "C" int QuvexWindow_PendingCount(QuvexHwnd window) {
  try {
    const auto queue = Find(window);
    if (!queue) return 0;
    std::lock_guard lock(queue->mutex);
    return static_cast<int>(queue->messages.size());
  } catch (...) {
    return 0;
  }
}
