// Replies of a LAN camera on port 8886, fed to the real exchanges (frame
// request, internal-temperature query, register write) through a scripted
// link. The input is a script: one byte picks the next exchange, and the
// camera's reply bytes follow it. The samples of a frame carry no structure,
// so a frame body is one byte of the script (arrives or not) filled with a
// pattern. A failed receive must close the link; a frame must fit its target.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>

#include "core/sensor_temperature.h"
#include "transports/lan/lan_link.h"
#include "transports/lan/lan_protocol.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

class ScriptedLink final : public quvex::LanLink {
 public:
  explicit ScriptedLink(std::span<const uint8_t> script) : script_(script) {}

  std::unique_lock<std::mutex> Use() override { return std::unique_lock(use_); }
  int Connect() override {
    connected_ = true;
    return 1;
  }
  int SendAll(const void*, size_t) override {
    Require(connected_);  // every exchange connects before it sends
    return 1;
  }
  int RecvAll(void* buffer, size_t length) override {
    Require(connected_);
    if (length > kBulk) {
      if (script_.empty() || (Next() & 1) == 0) return 0;
      std::memset(buffer, 0xA5, length);
      return 1;
    }
    if (script_.size() < length) {
      script_ = {};
      return 0;
    }
    std::memcpy(buffer, script_.data(), length);
    std::memcpy(lastReply_, script_.data(), length);
    script_ = script_.subspan(length);
    return 1;
  }
  void Close() override { connected_ = false; }

  bool Connected() const { return connected_; }
  bool Ended() const { return script_.empty(); }
  // The start of the last reply that arrived whole (not a frame body).
  const uint8_t* LastReply() const { return lastReply_; }
  uint8_t Next() {
    const uint8_t value = script_.front();
    script_ = script_.subspan(1);
    return value;
  }

 private:
  static constexpr size_t kBulk = 64;
  std::span<const uint8_t> script_;
  std::mutex use_;
  bool connected_ = false;
  uint8_t lastReply_[kBulk] = {};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedLink link({data, size});
  // Exactly a frame, so that a write past it is caught.
  static const auto frame = std::make_unique<uint8_t[]>(quvex::kLanFrameBytes);
  while (!link.Ended()) {
    switch (link.Next() % 3) {
      case 0: {
        const bool received = quvex::RequestFrame(link, frame.get(), quvex::kLanFrameBytes);
        // Only a header of length 5 or less fails and keeps the link.
        const bool headerAccepted = quvex::MessageLength(link.LastReply()) > 5;
        if (received) Require(link.Connected() && headerAccepted);
        if (!received && link.Connected()) Require(!headerAccepted);
        break;
      }
      case 1:
        if (const auto value = quvex::QueryTemperature(link)) {
          const float celsius = quvex::TemperatureFromSensor(*value);
          Require(celsius >= -128.0f && celsius <= 127.5f);
        } else {
          Require(!link.Connected());
        }
        break;
      default: {
        const uint8_t registerNumber = link.Ended() ? 0 : link.Next();
        Require(quvex::WriteRegister(link, registerNumber, 1) == quvex::RegisterWrite::Sent);
        break;
      }
    }
  }
  return 0;
}
