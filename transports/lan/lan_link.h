// What one exchange of port-8886 messages needs of a connection to the
// camera: CLanConnection over TCP, or a scripted peer when replies are fed in
// from elsewhere (the fuzz targets).
#pragma once

#include <cstddef>
#include <mutex>

namespace quvex {

class LanLink {
 public:
  virtual ~LanLink() = default;
  // Held by a user for the whole of one exchange.
  [[nodiscard]] virtual std::unique_lock<std::mutex> Use() = 0;
  // 1 connected, 0 failed.
  virtual int Connect() = 0;
  // 1 when every byte went out, 0 on failure.
  virtual int SendAll(const void* bytes, size_t length) = 0;
  // 1 when exactly length bytes arrived, 0 on failure (the peer closing too).
  virtual int RecvAll(void* buffer, size_t length) = 0;
  // Ends the connection; the next Connect opens a new one.
  virtual void Close() = 0;
};

}  // namespace quvex
