// One TCP connection to a LAN camera. It connects lazily: every user calls
// Connect first, and a user whose send or receive failed closes it so that
// the next use reconnects. Each user holds Use() for a whole request and its
// reply; the cancel is the one thing another thread touches without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "quvex_platform/socket.h"
#include "transports/lan/lan_link.h"

namespace quvex {

// Longest time for a connect, for a whole send or for a whole receive.
inline constexpr uint32_t kLanWaitMs = 3000;

class CLanConnection final : public LanLink {
 public:
  // addressText is dotted decimal; the socket opens at the first Connect.
  CLanConnection(const char* addressText, uint16_t port, uint32_t waitMs = kLanWaitMs);
  CLanConnection(const CLanConnection&) = delete;
  CLanConnection& operator=(const CLanConnection&) = delete;

  // 1 connected (at once when the socket is open), 0 failed (socket closed).
  int Connect() override;
  // 1 when every byte went out, 0 on failure.
  int SendAll(const void* bytes, size_t length) override;
  // 1 when exactly length bytes arrived, 0 on failure (the peer closing too).
  int RecvAll(void* buffer, size_t length) override;
  void Close() override;
  // Lowers the cancel; always 1.
  int ResetCancel();
  // Raises the cancel: every wait of this connection ends at once with
  // failure until ResetCancel. Any thread may call it.
  void SetCancel();
  bool IsConnected() const { return socket_.IsOpen(); }

  // Held by a user for the whole of one exchange.
  [[nodiscard]] std::unique_lock<std::mutex> Use() override { return std::unique_lock(use_); }

 private:
  std::mutex use_;
  platform::TcpClient socket_;
  platform::WaitCancel cancel_;
  std::optional<uint32_t> address_;  // network byte order; none for unreadable text
  uint16_t port_;
  uint32_t waitMs_;
};

}  // namespace quvex
