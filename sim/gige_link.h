// How the simulated GigE camera meets its host: frames from the host in,
// packets to the host out. Two kinds: an in-process packet port that a
// Dellisk library opens as an adapter (no network needed), and a raw packet
// socket on a network interface (one end of a veth pair).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quvex::sim {

class GigELink {
 public:
  virtual ~GigELink() = default;
  // The next frame the host sent, waiting up to waitMs; false when none came.
  virtual bool Receive(std::vector<uint8_t>& frame, uint32_t waitMs) = 0;
  // One packet to the host.
  virtual void Send(const uint8_t* packet, size_t length) = 0;
};

// An in-process packet port installed under an adapter name of its own.
// Packets sent while no port is open are lost, as on a wire nobody listens
// to; a full queue holds the camera back instead of dropping.
class InProcessGigELink final : public GigELink {
 public:
  // Installs the port "quvex-sim-gige-<n>", n counting the links of this process.
  InProcessGigELink();
  ~InProcessGigELink() override;  // removes the port; open ports then fail

  bool Installed() const { return installed_; }
  const std::string& AdapterName() const { return name_; }
  // Ports of this adapter a host has open.
  int OpenPorts() const;
  static constexpr const char* kDescription = "Quvex simulated GigE camera";

  bool Receive(std::vector<uint8_t>& frame, uint32_t waitMs) override;
  void Send(const uint8_t* packet, size_t length) override;

 private:
  struct Port;
  static void* Open(void* context);
  static int ReceiveFromCamera(void* context, void* port, uint8_t* buffer, uint32_t capacity,
                               uint32_t* length, int64_t* seconds, int32_t* microseconds,
                               uint32_t waitMs);
  static int SendToCamera(void* context, void* port, const uint8_t* frame, uint32_t length);
  static void Close(void* context, void* port);

  struct Queued {
    std::vector<uint8_t> bytes;
    int64_t seconds;
    int32_t microseconds;
  };
  static constexpr size_t kQueueLimit = 16384;

  std::string name_;
  bool installed_ = false;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Queued> toHost_;
  std::deque<std::vector<uint8_t>> toCamera_;
  int openPorts_ = 0;
  bool closing_ = false;
};

// A raw packet socket bound to an interface; created in the calling thread's
// network namespace.
class RawSocketGigELink final : public GigELink {
 public:
  explicit RawSocketGigELink(const std::string& interfaceName);
  ~RawSocketGigELink() override;
  bool Open() const { return fd_ >= 0; }
  const std::string& Error() const { return error_; }

  bool Receive(std::vector<uint8_t>& frame, uint32_t waitMs) override;
  void Send(const uint8_t* packet, size_t length) override;

 private:
  int fd_ = -1;
  std::string error_;
};

}  // namespace quvex::sim
