// Live capture on a network interface through libpcap: immediate delivery,
// a kernel buffer that holds whole bursts of a camera's frame, the filter
// "ip and udp", and non-blocking reads with poll() on the capture's
// descriptor, because a blocking read does not return on its time-out here.
#include <pcap/pcap.h>
#include <poll.h>

#include <cerrno>
#include <chrono>

#include "quvex_platform/packet_port.h"

namespace quvex::platform::detail {

namespace {

constexpr int kSnapshotBytes = PacketPort::kMaxPacketBytes;
constexpr int kKernelBufferBytes = 4 << 20;
constexpr char kFilter[] = "ip and udp";

class LiveCapture final : public PacketPort {
 public:
  explicit LiveCapture(pcap_t* capture) : capture_(capture), fd_(pcap_get_selectable_fd(capture)) {}
  ~LiveCapture() override { pcap_close(capture_); }

  PacketRead Read(ReceivedPacket& packet, uint32_t waitMs) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
      pcap_pkthdr* header = nullptr;
      const u_char* data = nullptr;
      const int got = pcap_next_ex(capture_, &header, &data);
      if (got == 1) {
        packet = {data, header->len, header->caplen,
                  {static_cast<int64_t>(header->ts.tv_sec),
                   static_cast<int32_t>(header->ts.tv_usec)}};
        return PacketRead::Packet;
      }
      if (got < 0) return PacketRead::Failed;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return PacketRead::Quiet;
      pollfd fd{fd_, POLLIN, 0};
      const int ready = poll(&fd, 1, static_cast<int>(left));
      if (ready < 0 && errno != EINTR) return PacketRead::Failed;
      if (ready > 0 && (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return PacketRead::Failed;
      }
    }
  }

  bool Send(const uint8_t* frame, size_t length) override {
    return pcap_sendpacket(capture_, frame, static_cast<int>(length)) == 0;
  }

 private:
  pcap_t* const capture_;
  const int fd_;
};

bool Check(pcap_t* capture, int status, const char* step, std::string& error) {
  if (status == 0) return true;
  error = std::string(step) + ": " + pcap_geterr(capture);
  return false;
}

}  // namespace

std::unique_ptr<PacketPort> OpenLiveCapture(const std::string& interfaceName, std::string& error) {
  char text[PCAP_ERRBUF_SIZE] = {};
  pcap_t* capture = pcap_create(interfaceName.c_str(), text);
  if (capture == nullptr) {
    error = text;
    return nullptr;
  }
  bool ok = Check(capture, pcap_set_snaplen(capture, kSnapshotBytes), "snapshot length", error) &&
            Check(capture, pcap_set_promisc(capture, 1), "promiscuous mode", error) &&
            Check(capture, pcap_set_buffer_size(capture, kKernelBufferBytes), "buffer", error) &&
            Check(capture, pcap_set_immediate_mode(capture, 1), "immediate mode", error);
  if (ok) {
    const int activated = pcap_activate(capture);
    if (activated < 0) {
      // PCAP_ERROR_PERM_DENIED: capture needs root or CAP_NET_RAW.
      error = activated == PCAP_ERROR_PERM_DENIED
                  ? "no permission to capture on " + interfaceName + " (needs CAP_NET_RAW)"
                  : std::string(pcap_statustostr(activated)) + ": " + pcap_geterr(capture);
      ok = false;
    }
  }
  bpf_program program{};
  if (ok && pcap_compile(capture, &program, kFilter, 1, PCAP_NETMASK_UNKNOWN) != 0) {
    error = std::string("filter: ") + pcap_geterr(capture);
    ok = false;
  } else if (ok) {
    ok = Check(capture, pcap_setfilter(capture, &program), "filter", error);
    pcap_freecode(&program);
  }
  ok = ok && pcap_setnonblock(capture, 1, text) == 0 && pcap_get_selectable_fd(capture) >= 0;
  if (!ok) {
    if (error.empty()) error = "no selectable descriptor for " + interfaceName;
    pcap_close(capture);
    return nullptr;
  }
  return std::make_unique<LiveCapture>(capture);
}

}  // namespace quvex::platform::detail
