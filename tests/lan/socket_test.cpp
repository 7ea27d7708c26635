// Client sockets: connects that check their outcome, bounded waits and a
// cancel that ends a wait from another thread.
#include "quvex_platform/socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <thread>
#include <vector>

#include "sim/lan_camera.h"
#include "tests/support/loopback_address.h"

namespace quvex::test {
namespace {

using platform::SocketResult;
using platform::TcpClient;
using platform::WaitCancel;
using sim::SimLanCamera;

constexpr uint32_t kLongWait = 600000;  // longer than any test may run
constexpr std::array<uint8_t, 5> kFrameRequest = {0, 0, 0, 5, 0};

uint32_t Address(const std::string& text) { return platform::ParseIpv4(text.c_str()).value(); }

// A client and a simulated camera on an address of its own.
struct CameraAndClient {
  CameraAndClient() : camera(NextLoopbackAddress()) {}
  SocketResult Connect() {
    return client.Connect(Address(camera.Address()), 8886, kLongWait, cancel);
  }
  SocketResult Send(const void* bytes, size_t length) {
    return client.SendAll(bytes, length, kLongWait, cancel);
  }

  SimLanCamera camera;
  WaitCancel cancel;
  TcpClient client;
};

TEST(WaitCancel, StaysRaisedUntilReset) {
  WaitCancel cancel;
  ASSERT_TRUE(cancel.Valid());
  EXPECT_FALSE(cancel.IsSet());
  EXPECT_FALSE(cancel.Wait(1));
  cancel.Set();
  cancel.Set();
  EXPECT_TRUE(cancel.IsSet());
  EXPECT_TRUE(cancel.Wait(kLongWait));
  cancel.Reset();
  EXPECT_FALSE(cancel.IsSet());
}

TEST(WaitCancel, EndsAWaitOfAnotherThread) {
  WaitCancel cancel;
  std::thread raiser([&] { cancel.Set(); });
  EXPECT_TRUE(cancel.Wait(kLongWait));
  raiser.join();
}

TEST(ParseIpv4, ReadsDottedDecimalOnly) {
  EXPECT_EQ(platform::ParseIpv4("127.0.0.1"), 0x0100007Fu);  // network order
  EXPECT_EQ(platform::ParseIpv4("192.168.1.254"), 0xFE01A8C0u);
  EXPECT_FALSE(platform::ParseIpv4("256.1.1.1"));
  EXPECT_FALSE(platform::ParseIpv4("camera"));
  EXPECT_FALSE(platform::ParseIpv4(nullptr));
}

TEST(TcpClient, ARefusedConnectFailsAndLeavesNoSocket) {
  SimLanCamera camera(NextLoopbackAddress());
  ASSERT_TRUE(camera.Listening());
  camera.SetRefusing(true);
  WaitCancel cancel;
  TcpClient client;
  EXPECT_EQ(client.Connect(Address(camera.Address()), 8886, kLongWait, cancel),
            SocketResult::Refused);
  EXPECT_FALSE(client.IsOpen());
  // The kernel rejects a stream to a multicast group before anything is sent.
  EXPECT_EQ(client.Connect(Address("224.0.0.1"), 8886, kLongWait, cancel), SocketResult::Failed);
  EXPECT_FALSE(client.IsOpen());
  EXPECT_EQ(client.SendAll(kFrameRequest.data(), kFrameRequest.size(), kLongWait, cancel),
            SocketResult::Failed);
}

TEST(TcpClient, ExchangesWholeMessages) {
  SimLanCamera camera(NextLoopbackAddress());
  ASSERT_TRUE(camera.Listening());
  WaitCancel cancel;
  TcpClient client;
  ASSERT_EQ(client.Connect(Address(camera.Address()), 8886, kLongWait, cancel), SocketResult::Done);
  // A second connect of an open socket makes no new connection.
  ASSERT_EQ(client.Connect(Address(camera.Address()), 8886, kLongWait, cancel), SocketResult::Done);
  ASSERT_EQ(client.SendAll(kFrameRequest.data(), kFrameRequest.size(), kLongWait, cancel),
            SocketResult::Done);
  std::vector<uint8_t> reply(5 + SimLanCamera::kFrameBytes);
  ASSERT_EQ(client.RecvAll(reply.data(), reply.size(), kLongWait, cancel), SocketResult::Done);
  EXPECT_EQ(reply[2], 0x58);
  EXPECT_EQ(reply[3], 0x05);  // 153605
  EXPECT_EQ(reply[5] | reply[6] << 8, SimLanCamera::Sample(0, 0, 0));
  EXPECT_EQ(camera.ConnectionCount(), 1u);
  EXPECT_EQ(client.SendAll(nullptr, 0, kLongWait, cancel), SocketResult::Done);
}

TEST(TcpClient, ReceiveWaitsEndByTimeOutOrCancelOrPeerClose) {
  SimLanCamera camera(NextLoopbackAddress());
  ASSERT_TRUE(camera.Listening());
  camera.SetStalled(true);
  WaitCancel cancel;
  TcpClient client;
  ASSERT_EQ(client.Connect(Address(camera.Address()), 8886, kLongWait, cancel), SocketResult::Done);
  ASSERT_EQ(client.SendAll(kFrameRequest.data(), kFrameRequest.size(), kLongWait, cancel),
            SocketResult::Done);
  uint8_t header[5];
  EXPECT_EQ(client.RecvAll(header, sizeof header, 1, cancel), SocketResult::TimedOut);

  ASSERT_TRUE(camera.WaitFor([&] { return camera.FrameRequests() == 1; }));
  std::thread canceller([&] { cancel.Set(); });
  EXPECT_EQ(client.RecvAll(header, sizeof header, kLongWait, cancel), SocketResult::Cancelled);
  canceller.join();
  // A raised cancel ends every later wait at once, not an operation that
  // completes without waiting.
  EXPECT_EQ(client.RecvAll(header, sizeof header, kLongWait, cancel), SocketResult::Cancelled);
  EXPECT_EQ(client.SendAll(kFrameRequest.data(), kFrameRequest.size(), kLongWait, cancel),
            SocketResult::Done);
  cancel.Reset();

  // The stalled camera must have swallowed that request before it wakes, or
  // it would answer it in full.
  ASSERT_TRUE(camera.WaitFor([&] { return camera.FrameRequests() == 2; }));
  camera.SetStalled(false);
  camera.CloseMidFrame(1);
  ASSERT_EQ(client.SendAll(kFrameRequest.data(), kFrameRequest.size(), kLongWait, cancel),
            SocketResult::Done);
  std::vector<uint8_t> reply(5 + SimLanCamera::kFrameBytes);
  EXPECT_EQ(client.RecvAll(reply.data(), reply.size(), kLongWait, cancel),
            SocketResult::PeerClosed);
}

TEST(TcpClient, AWholeReceiveIsBoundedHoweverThePeerPacesIt) {
  CameraAndClient at;
  at.camera.SetTrickle(5);  // one byte now and then: no single wait comes near the bound
  ASSERT_EQ(at.Connect(), SocketResult::Done);
  ASSERT_EQ(at.Send(kFrameRequest.data(), kFrameRequest.size()), SocketResult::Done);
  std::vector<uint8_t> reply(5 + SimLanCamera::kFrameBytes);
  EXPECT_EQ(at.client.RecvAll(reply.data(), reply.size(), 300, at.cancel), SocketResult::TimedOut);
}

TEST(SimLanCamera, LogsOnlyWholeMessages) {
  CameraAndClient at;
  ASSERT_EQ(at.Connect(), SocketResult::Done);
  const uint8_t head[] = {0, 0, 0, 8, 1}, rest[] = {9, 0, 0};
  ASSERT_EQ(at.Send(head, sizeof head), SocketResult::Done);
  SimLanCamera& camera = at.camera;
  ASSERT_TRUE(camera.WaitFor([&] { return camera.Received(0).size() == sizeof head; }));
  EXPECT_TRUE(camera.Messages(0).empty());
  ASSERT_EQ(at.Send(rest, sizeof rest), SocketResult::Done);
  ASSERT_TRUE(camera.WaitFor([&] { return camera.Messages(0).size() == 1; }));
  EXPECT_EQ(camera.Messages(0), (std::vector<std::vector<uint8_t>>{{0, 0, 0, 8, 1, 9, 0, 0}}));
}

// A listener that never accepts and whose queue is full leaves connects pending.
class FullListener {
 public:
  explicit FullListener(const std::string& address) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_port = htons(8886);
    self.sin_addr.s_addr = Address(address);
    ok_ = bind(fd_, reinterpret_cast<const sockaddr*>(&self), sizeof self) == 0 &&
          listen(fd_, 0) == 0;
  }
  ~FullListener() { close(fd_); }
  bool Ok() const { return ok_; }

 private:
  int fd_;
  bool ok_ = false;
};

TEST(TcpClient, APendingConnectEndsByTimeOutOrCancel) {
  const std::string address = NextLoopbackAddress();
  FullListener listener(address);
  ASSERT_TRUE(listener.Ok());
  WaitCancel cancel;
  std::vector<std::unique_ptr<TcpClient>> queued;
  SocketResult result = SocketResult::Done;
  while (result == SocketResult::Done && queued.size() < 64) {
    queued.push_back(std::make_unique<TcpClient>());
    result = queued.back()->Connect(Address(address), 8886, 200, cancel);
  }
  EXPECT_EQ(result, SocketResult::TimedOut);
  EXPECT_FALSE(queued.back()->IsOpen());

  TcpClient pending;
  std::thread canceller([&] { cancel.Set(); });
  EXPECT_EQ(pending.Connect(Address(address), 8886, kLongWait, cancel), SocketResult::Cancelled);
  canceller.join();
  EXPECT_FALSE(pending.IsOpen());
}

}  // namespace
}  // namespace quvex::test
