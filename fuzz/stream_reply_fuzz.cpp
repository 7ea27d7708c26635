// The port-123 stream of the older LAN camera, fed to the real streaming
// connection over loopback TCP. The first byte picks the frame length; the
// rest is a script of steps: stream bytes in a piece of the script's size,
// a frame receive, a status query answered with 0 to 19 bytes of the
// script, the camera closing the stream, and a reconnect. The target holds
// exactly one frame, so that a write past it is caught. A frame received
// whole must be the next bytes of the stream, also after a receive that
// reported no data; a status word must be the reply's first two bytes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "fuzz/fuzz_script.h"
#include "transports/lan/stream_connection.h"

namespace {

using quvex::fuzz::Require;
using quvex::fuzz::Script;
using quvex::CStreamConnection;
using quvex::StreamConnect;
using quvex::StreamReceive;

// Bounds every wait of the connection that ends without data.
constexpr uint32_t kWaitMs = 5;
// The status reply always comes or the camera closes: however busy the
// machine, only a fault ends this wait.
constexpr uint32_t kStatusWaitMs = 60000;
// The camera's own waits for what the connection surely sends.
constexpr int kCameraWaitMs = 60000;

// The camera's end: a listening socket on an ephemeral loopback port.
struct Listener {
  int fd = -1;
  uint16_t port = 0;
  Listener() {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    Require(fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            listen(fd, 8) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    port = ntohs(address.sin_port);
  }
  // The next connection within kCameraWaitMs, or -1.
  int Accept() const {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, kCameraWaitMs) != 1) return -1;
    return accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
  }
};

const Listener& Camera() {
  static const Listener listener;
  return listener;
}

// Exactly length bytes from fd, each within kCameraWaitMs.
bool ReadExactly(int fd, uint8_t* buffer, size_t length) {
  while (length > 0) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, kCameraWaitMs) != 1) return false;
    const ssize_t got = recv(fd, buffer, length, 0);
    if (got <= 0) return false;
    buffer += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

// One stream connection and what the camera sent on it that is not yet read.
class Stream {
 public:
  Stream() : connection_(htonl(INADDR_LOOPBACK), Camera().port, kWaitMs, kStatusWaitMs) {
    // A busy machine may take longer than the short wait to connect: again.
    for (int attempt = 1; connection_.Connect(cancel_) != StreamConnect::Connected; ++attempt) {
      Require(attempt < 100);
    }
    // An attempt given up may still have reached the camera; its connection
    // ends without the start message.
    uint8_t start[4];
    do {
      CloseCamera();
      camera_ = Camera().Accept();
      Require(camera_ >= 0);
    } while (!ReadExactly(camera_, start, sizeof start));
    const quvex::LanStartPacket expected = quvex::StartPacket();
    Require(std::equal(expected.begin(), expected.end(), start));
  }
  ~Stream() { CloseCamera(); }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  void Write(std::span<const uint8_t> bytes) {
    if (camera_ < 0 || bytes.empty()) return;
    // An input is a few kilobytes: it fits the socket buffers at once.
    Require(send(camera_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(bytes.size()));
    unread_.insert(unread_.end(), bytes.begin(), bytes.end());
  }
  void CloseCamera() {
    if (camera_ >= 0) close(camera_);
    camera_ = -1;
  }
  // false when the stream is broken and must be connected again.
  bool Receive(size_t length) {
    const auto target = std::make_unique<uint8_t[]>(length);
    const StreamReceive got = connection_.ReceiveFrame(target.get(), length, cancel_);
    switch (got) {
      case StreamReceive::Frame:
        Require(unread_.size() >= length &&
                std::equal(target.get(), target.get() + length, unread_.begin()));
        unread_.erase(unread_.begin(), unread_.begin() + static_cast<ptrdiff_t>(length));
        return true;
      // Which of these ends a receive depends on timing; that Idle consumed
      // nothing shows at the next frame.
      case StreamReceive::Idle: return true;
      case StreamReceive::Broken: return false;
      case StreamReceive::Cancelled: break;
    }
    Require(false);  // nothing raises the cancel
    return false;
  }
  // The status query, the camera answering reply on a connection of its own.
  void QueryStatus(std::span<const uint8_t> reply) {
    std::thread answer([reply] {
      const int status = Camera().Accept();
      if (status < 0) return;
      uint8_t request[4];
      if (ReadExactly(status, request, sizeof request)) {
        send(status, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      close(status);
    });
    const std::optional<uint16_t> word = connection_.QueryStatus(cancel_);
    answer.join();
    Require(word.has_value() == (reply.size() >= 2));
    if (word) Require(*word == (reply[0] | reply[1] << 8));
  }

 private:
  quvex::platform::WaitCancel cancel_;
  CStreamConnection connection_;
  int camera_ = -1;
  std::deque<uint8_t> unread_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Script script(data, size);
  const size_t frameLength = 1 + size_t{script.Next()} * 4;  // 1 to 1021 bytes
  auto stream = std::make_unique<Stream>();
  while (!script.Ended()) {
    switch (script.Next() % 5) {
      case 0: stream->Write(script.Take(script.Next())); break;
      case 1:
        if (!stream->Receive(frameLength)) stream = std::make_unique<Stream>();
        break;
      case 2: stream->QueryStatus(script.Take(script.Next() % 20)); break;
      case 3: stream->CloseCamera(); break;
      default: stream = std::make_unique<Stream>(); break;
    }
  }
  return 0;
}
