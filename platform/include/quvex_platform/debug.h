// The debug-string channel: short diagnostic lines for a developer watching
// the process. Discarded unless a sink is installed.
#pragma once

namespace quvex::platform {

// Receives every line passed to OutputDebugText.
using DebugSink = void (*)(const char* text);

// Installs sink (null discards the text again); any thread may call it.
void SetDebugSink(DebugSink sink);

// Passes text to the installed sink, if any.
void OutputDebugText(const char* text);

}  // namespace quvex::platform
