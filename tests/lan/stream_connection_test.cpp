// The port-123 streaming connection against the simulated camera: the bytes
// it sends, frames cut by count whatever the pieces, and how each failure of
// the stream ends a receive.
#include "transports/lan/stream_connection.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "quvex/quvex.h"
#include "sim/stream_camera.h"
#include "tests/support/loopback_address.h"

namespace quvex {
namespace {

using sim::SimStreamCamera;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kLongWaitMs = 30000;

class StreamConnection : public ::testing::Test {
 protected:
  // A camera on this test's own address, and a connection to it.
  void Start() {
    camera_ = std::make_unique<SimStreamCamera>(test::NextLoopbackAddress());
    ASSERT_TRUE(camera_->Listening()) << camera_->Address();
    address_ = *platform::ParseIpv4(camera_->Address().c_str());
    connection_ = std::make_unique<CStreamConnection>(address_, QUVEX_LAN_STREAM_PORT,
                                                      kLongWaitMs, kLongWaitMs);
  }
  uint32_t ReceiveCounter() {
    std::vector<uint16_t> frame(kStreamFrameBytes / 2);
    EXPECT_EQ(connection_->ReceiveFrame(reinterpret_cast<uint8_t*>(frame.data()),
                                        kStreamFrameBytes, cancel_),
              StreamReceive::Frame);
    uint32_t counter = 0;
    EXPECT_TRUE(sim::IsWholeFrame(frame.data(), 320, 240, &counter));
    return counter;
  }

  std::unique_ptr<SimStreamCamera> camera_;
  uint32_t address_ = 0;
  std::unique_ptr<CStreamConnection> connection_;
  platform::WaitCancel cancel_;
};

TEST_F(StreamConnection, SendsTheStartMessageAndCommandPacketsByteForByte) {
  Start();
  camera_->SetStalled(true);
  ASSERT_EQ(connection_->Connect(cancel_), StreamConnect::Connected);
  struct Command {
    uint8_t code;
    uint16_t value;
  };
  Bytes expected = {0x01, 0x00, 0x00, 0x00};
  for (const Command c : {Command{0, 1}, Command{6, 1}, Command{7, 0}, Command{0x0F, 0x1234}}) {
    ASSERT_TRUE(connection_->SendCommand(c.code, c.value, cancel_));
    expected.insert(expected.end(), {0x20, c.code, static_cast<uint8_t>(c.value >> 8),
                                     static_cast<uint8_t>(c.value & 0xFF), 0x00, 0x00});
  }
  // The camera logs the bytes as they arrive and each command once it is whole.
  ASSERT_TRUE(camera_->WaitFor([&] {
    return camera_->Received(0).size() == expected.size() && camera_->Commands().size() == 4;
  }));
  EXPECT_EQ(camera_->Received(0), expected);
  EXPECT_EQ(camera_->Commands(), (std::vector<SimStreamCamera::Command>{
                                     {0, 1}, {6, 1}, {7, 0}, {0x0F, 0x1234}}));
}

TEST_F(StreamConnection, FramesAreCutByCountWhateverPiecesTheyArriveIn) {
  Start();
  ASSERT_EQ(connection_->Connect(cancel_), StreamConnect::Connected);
  for (const size_t piece : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}, size_t{153599}}) {
    camera_->SetPieceBytes(piece);
    const uint32_t first = ReceiveCounter();
    EXPECT_EQ(ReceiveCounter(), first + 1) << piece;  // the next frame starts right after
  }
}

TEST_F(StreamConnection, EachFailureOfTheStreamEndsTheReceive) {
  Start();
  std::vector<uint8_t> frame(kStreamFrameBytes);
  camera_->SetStalled(true);
  ASSERT_EQ(connection_->Connect(cancel_), StreamConnect::Connected);
  // A cancel from another thread ends the wait at once.
  std::thread canceller([&] { cancel_.Set(); });
  EXPECT_EQ(connection_->ReceiveFrame(frame.data(), frame.size(), cancel_),
            StreamReceive::Cancelled);
  canceller.join();
  cancel_.Reset();
  // A close halfway through a frame breaks the stream: no endless zero-byte reads.
  camera_->CloseMidFrame(1);
  camera_->SetStalled(false);
  EXPECT_EQ(connection_->ReceiveFrame(frame.data(), frame.size(), cancel_), StreamReceive::Broken);
  EXPECT_EQ(connection_->ReceiveFrame(frame.data(), frame.size(), cancel_), StreamReceive::Broken);
  EXPECT_TRUE(camera_->WaitFor([&] { return camera_->ClosedConnections() == 1; }));
  // A stall before the frame begins leaves the stream whole: a short wait,
  // as no byte can come.
  camera_->SetStalled(true);
  CStreamConnection idle(address_, QUVEX_LAN_STREAM_PORT, 200, 200);
  ASSERT_EQ(idle.Connect(cancel_), StreamConnect::Connected);
  EXPECT_EQ(idle.ReceiveFrame(frame.data(), frame.size(), cancel_), StreamReceive::Idle);
}

TEST_F(StreamConnection, RefusedConnectsAndCancelledWaitsAreToldApart) {
  Start();
  camera_->SetRefusing(true);
  EXPECT_EQ(connection_->Connect(cancel_), StreamConnect::Refused);
  camera_->SetRefusing(false);
  cancel_.Set();
  EXPECT_EQ(connection_->Connect(cancel_), StreamConnect::Cancelled);
  EXPECT_FALSE(connection_->SendCommand(6, 1, cancel_));  // never connected
}

TEST_F(StreamConnection, StatusQueryIsBoundedAndAlwaysClosesItsConnection) {
  Start();
  camera_->SetStalled(true);
  ASSERT_EQ(connection_->Connect(cancel_), StreamConnect::Connected);
  EXPECT_EQ(connection_->QueryStatus(cancel_), std::optional<uint16_t>(1));
  // A short wait for the status where no answer can come.
  CStreamConnection bounded(address_, QUVEX_LAN_STREAM_PORT, kLongWaitMs, 300);
  ASSERT_EQ(bounded.Connect(cancel_), StreamConnect::Connected);
  camera_->SetStatusSilent(true);
  EXPECT_EQ(bounded.QueryStatus(cancel_), std::nullopt);  // no answer: ends all the same
  // The stream's own thread logs the commands, whenever it is scheduled.
  EXPECT_TRUE(camera_->WaitFor(
      [&] { return camera_->ClosedConnections() == 2 && camera_->Commands().size() == 2; }));
  EXPECT_EQ(camera_->StatusQueries(), 2u);
  // Each query first sends the status command on the stream.
  EXPECT_EQ(camera_->Commands(),
            (std::vector<SimStreamCamera::Command>{{QUVEX_REG_STATUS, 1}, {QUVEX_REG_STATUS, 1}}));
}

}  // namespace
}  // namespace quvex
