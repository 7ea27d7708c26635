// The debug-string channel.
#include "quvex_platform/debug.h"

#include <atomic>

namespace quvex::platform {

namespace {
std::atomic<DebugSink> installedSink{nullptr};
}  // namespace

void SetDebugSink(DebugSink sink) { installedSink.store(sink); }

void OutputDebugText(const char* text) {
  if (text == nullptr) return;
  if (const DebugSink sink = installedSink.load()) sink(text);
}

}  // namespace quvex::platform
