// The port-8886 messages and the connection that carries them, against the
// simulated camera.
#include "transports/lan/lan_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/lan_camera.h"
#include "tests/support/loopback_address.h"
#include "transports/lan/lan_connection.h"

namespace quvex::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::SimLanCamera;

// Longer than any test may run: only the camera ends an exchange, however
// busy the machine, or a cancel.
constexpr uint32_t kLongWaitMs = 600000;

template <size_t N>
Bytes ToBytes(const std::array<uint8_t, N>& message) {
  return Bytes(message.begin(), message.end());
}

TEST(LanMessages, AreLengthPrefixedBigEndian) {
  EXPECT_EQ(ToBytes(FrameRequestMessage()), (Bytes{0, 0, 0, 5, 0}));
  EXPECT_EQ(ToBytes(RegisterWriteMessage(7, 1)), (Bytes{0, 0, 0, 8, 1, 7, 0, 1}));
  EXPECT_EQ(ToBytes(RegisterWriteMessage(0, 0x1234)), (Bytes{0, 0, 0, 8, 1, 0, 0x12, 0x34}));
  EXPECT_EQ(ToBytes(TemperatureQueryMessage()), (Bytes{0, 0, 0, 0x0B, 2, 0, 0, 0, 0, 0, 0}));
}

TEST(LanMessages, LengthIsReadAsSigned) {
  const uint8_t frame[] = {0, 2, 0x58, 5};
  const uint8_t topBit[] = {0x80, 0, 0, 0};
  EXPECT_EQ(MessageLength(frame), 153605);
  EXPECT_LT(MessageLength(topBit), 0);
}

class LanExchange : public ::testing::Test {
 protected:
  void Start() {
    camera_ = std::make_unique<SimLanCamera>(NextLoopbackAddress());
    ASSERT_TRUE(camera_->Listening());
    connection_ =
        std::make_unique<CLanConnection>(camera_->Address().c_str(), QUVEX_LAN_PORT, kLongWaitMs);
  }
  bool Request() { return RequestFrame(*connection_, frame_.data(), frame_.size()); }
  uint16_t SampleAt(int row, int column) const {
    const size_t at = (static_cast<size_t>(row) * 320 + column) * 2;
    return static_cast<uint16_t>(frame_[at] | frame_[at + 1] << 8);
  }

  std::unique_ptr<SimLanCamera> camera_;
  std::unique_ptr<CLanConnection> connection_;
  std::vector<uint8_t> frame_ = std::vector<uint8_t>(kLanFrameBytes);
};

TEST_F(LanExchange, AFrameRequestReceivesTheSamplesStraightIntoTheTarget) {
  Start();
  ASSERT_TRUE(Request());
  ASSERT_TRUE(Request());
  EXPECT_EQ(SampleAt(0, 0), SimLanCamera::Sample(1, 0, 0));
  EXPECT_EQ(SampleAt(239, 319), SimLanCamera::Sample(1, 239, 319));
  EXPECT_EQ(SampleAt(17, 3), SimLanCamera::Sample(1, 17, 3));
  EXPECT_EQ(camera_->Messages(0), (std::vector<Bytes>{{0, 0, 0, 5, 0}, {0, 0, 0, 5, 0}}));
  EXPECT_EQ(camera_->ConnectionCount(), 1u);
}

TEST_F(LanExchange, AnyReplyLengthAboveFiveIsFollowedByOneFrame) {
  Start();
  camera_->OverrideReplyLength(1, 6);
  ASSERT_TRUE(Request());
  EXPECT_EQ(SampleAt(239, 319), SimLanCamera::Sample(0, 239, 319));
  camera_->OverrideReplyLength(1, 999999);
  ASSERT_TRUE(Request());
  EXPECT_EQ(SampleAt(239, 319), SimLanCamera::Sample(1, 239, 319));
  ASSERT_TRUE(Request());  // and nothing was left over on the connection
  EXPECT_EQ(SampleAt(0, 0), SimLanCamera::Sample(2, 0, 0));
}

TEST_F(LanExchange, AReplyLengthOfFiveOrLessFailsAndKeepsTheConnection) {
  Start();
  for (const uint32_t length : {5u, 0u, 0x80000000u, 0xFFFFFFFFu}) {
    camera_->OverrideReplyLength(1, length);
    std::fill(frame_.begin(), frame_.end(), 0xAB);
    EXPECT_FALSE(Request()) << length;
    EXPECT_EQ(frame_[0], 0xAB) << "nothing is read after the header";
    EXPECT_TRUE(connection_->IsConnected());
  }
  ASSERT_TRUE(Request());
  EXPECT_EQ(camera_->ConnectionCount(), 1u);
}

TEST_F(LanExchange, AConnectionClosedMidFrameFailsAndTheNextRequestReconnects) {
  Start();
  camera_->CloseMidFrame(1);
  EXPECT_FALSE(Request());
  EXPECT_FALSE(connection_->IsConnected());
  ASSERT_TRUE(Request());
  EXPECT_EQ(camera_->ConnectionCount(), 2u);
}

TEST_F(LanExchange, ATargetSmallerThanAFrameIsRefusedBeforeAnythingIsSent) {
  Start();
  EXPECT_FALSE(RequestFrame(*connection_, frame_.data(), frame_.size() - 1));
  EXPECT_FALSE(RequestFrame(*connection_, nullptr, frame_.size()));
  EXPECT_EQ(camera_->ConnectionCount(), 0u);
}

TEST_F(LanExchange, AnOpenSocketCountsAsConnectedUntilItsPeerIsFoundGone) {
  Start();
  ASSERT_TRUE(Request());
  const std::string address = camera_->Address();
  camera_.reset();  // the camera goes away
  EXPECT_EQ(connection_->Connect(), 1);
  EXPECT_FALSE(Request());
  EXPECT_FALSE(connection_->IsConnected());
  camera_ = std::make_unique<SimLanCamera>(address);
  ASSERT_TRUE(Request());
  EXPECT_EQ(camera_->ConnectionCount(), 1u);
}

TEST_F(LanExchange, ARefusedConnectFailsEveryMessage) {
  Start();
  camera_->SetRefusing(true);
  EXPECT_FALSE(Request());
  EXPECT_EQ(WriteRegister(*connection_, 7, 1), RegisterWrite::NotConnected);
  EXPECT_FALSE(QueryTemperature(*connection_));
  EXPECT_FALSE(connection_->IsConnected());
}

TEST_F(LanExchange, RegisterWritesAndTemperatureQueriesAreExact) {
  Start();
  camera_->SetTemperature(0x1900);
  EXPECT_EQ(WriteRegister(*connection_, 7, 1), RegisterWrite::Sent);
  EXPECT_EQ(QueryTemperature(*connection_), 0x1900);
  camera_->SetTemperature(0xFF80);
  EXPECT_EQ(QueryTemperature(*connection_), 0xFF80);
  EXPECT_EQ(camera_->Messages(0), (std::vector<Bytes>{{0, 0, 0, 8, 1, 7, 0, 1},
                                                      {0, 0, 0, 0x0B, 2, 0, 0, 0, 0, 0, 0},
                                                      {0, 0, 0, 0x0B, 2, 0, 0, 0, 0, 0, 0}}));
}

TEST_F(LanExchange, TheCancelEndsAWaitingReceive) {
  Start();
  camera_->SetStalled(true);
  std::thread canceller([&] {
    camera_->WaitFor([&] { return camera_->FrameRequests() == 1; });
    connection_->SetCancel();
  });
  EXPECT_FALSE(Request());  // would wait ten minutes without the cancel
  canceller.join();
  EXPECT_FALSE(connection_->IsConnected());
  camera_->SetStalled(false);
  EXPECT_EQ(connection_->ResetCancel(), 1);
  EXPECT_TRUE(Request());
}

}  // namespace
}  // namespace quvex::test
