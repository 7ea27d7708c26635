// The loopback TCP server under each simulated LAN camera: it listens on an
// address of its own, accepts connections, serves each on a thread of its
// own, logs every byte received per connection, can refuse connections, and
// lets tests wait for any change. A camera derives from it and answers its
// port's messages in Serve.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quvex::sim {

// Sends every byte on a blocking socket; false when the peer is gone.
bool SendAll(int fd, const uint8_t* bytes, size_t length);
// Takes one from a positive count; false when it is 0.
bool TakeOne(std::atomic<int>& count);

class SimServer {
 public:
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  bool Listening() const;
  const std::string& Address() const { return address_; }
  // Connections in the order accepted, and the bytes each received.
  size_t ConnectionCount() const;
  std::vector<uint8_t> Received(size_t connection) const;
  // Connections whose serving has ended (closed by the client or a fault).
  uint32_t ClosedConnections() const { return closed_.load(); }
  // Waits until done() holds, re-checking at every change; false after timeoutMs.
  bool WaitFor(const std::function<bool()>& done, uint32_t timeoutMs = 30000) const;
  // Closes the listening socket (connection attempts are refused) or opens
  // it again; connections already made stay. Returns once in effect.
  void SetRefusing(bool refusing);

 protected:
  struct Connection {
    int fd = -1;
    std::vector<uint8_t> received;
    std::thread serving;
    std::thread sending;  // a second thread a camera may start while serving
  };

  // Listens on address (dotted decimal) and port.
  SimServer(std::string address, uint16_t port);
  virtual ~SimServer();
  // Starts accepting; the last step of a camera's constructor.
  void StartAccepting();
  // Ends every thread and closes every socket; the first step of a camera's
  // destructor.
  void StopServing();

  // Answers one connection until it ends; the connection is then shut down.
  virtual void Serve(Connection* connection) = 0;
  // Receives exactly length bytes and logs them; false when the peer is gone
  // or the camera shuts down.
  bool Receive(Connection* connection, uint8_t* buffer, size_t length);
  // Sleeps ms unless the camera shuts down meanwhile; false when it does.
  bool Nap(uint32_t ms);
  // Marks a change for WaitFor; mutex_ must be held.
  void Touch();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool shutdown_ = false;  // under mutex_

 private:
  void AcceptLoop();
  bool OpenListener();

  const std::string address_;
  const uint16_t port_;
  int listener_ = -1;  // accept thread (and constructor) only
  int wake_ = -1;      // eventfd that wakes the accept thread
  std::thread acceptThread_;
  bool stopped_ = false;

  uint64_t version_ = 0;  // counts every change, for WaitFor; under mutex_
  bool refusing_ = false;
  bool listening_ = false;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::atomic<uint32_t> closed_{0};
};

}  // namespace quvex::sim
