// The device ring, the ring-fill thread and the one-shot thread against the
// simulated camera: frames, stops, stalls, unplugging and short reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "devices/usb/usb_device.h"
#include "sim/frame_pattern.h"
#include "sim/usb_camera.h"
#include "tests/devices/usb_test_support.h"

namespace {

using namespace quvex;
using namespace quvex::test;
using sim::SimUsbCamera;

// The least time-out of a stalled transfer that the test ends by a cancel or
// by lifting the stall: far beyond what that takes on a busy machine.
constexpr uint32_t kCancelFirstMs = 60000;

// Reads the frame a poll announced and checks that it is one whole frame.
uint32_t ReadWholeFrame(CUsbDevice& device) {
  std::vector<uint16_t> image = RawImage();
  EXPECT_EQ(device.ReadFrame(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_OK);
  uint32_t counter = 0;
  EXPECT_TRUE(sim::IsWholeFrame(image.data(), kActiveWidth, kActiveLines, &counter));
  return counter;
}

TEST(UsbCapture, IdleDeviceAnswersWithoutAThread) {
  SimUsbCamera camera;
  CUsbDevice device("ZelmorX02");
  EXPECT_EQ(device.PollFrame(), QUVEX_USB_POLL_STOPPED);
  EXPECT_EQ(device.StopCapture(), QUVEX_USB_OK);
  EXPECT_EQ(device.StartCapture(), QUVEX_USB_ERR_RING);  // no geometry yet
  std::vector<uint16_t> image = RawImage();
  EXPECT_EQ(device.ReadFrame(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_ERR_RING);
  EXPECT_EQ(device.CaptureOneShot(), QUVEX_USB_ERR_NO_BUFFER);
}

TEST(UsbCapture, StreamsWholeFramesAndRefusesChangesWhileRunning) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0}, 200));
  CUsbDevice device("ZelmorX02");
  ConfigureReferenceGeometry(device);
  ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
  EXPECT_EQ(device.StartCapture(), QUVEX_USB_ERR_BUSY);
  EXPECT_EQ(device.SetGeometry(780, 12, 640, 525, 5, 480, 10), QUVEX_USB_ERR_BUSY);
  EXPECT_EQ(device.SetSampleWidth(0), QUVEX_USB_ERR_BUSY);
  EXPECT_EQ(device.OpenConverter(0), QUVEX_USB_ERR_BUSY);
  EXPECT_EQ(device.FreeBuffers(), QUVEX_USB_ERR_BUSY);
  EXPECT_EQ(device.WriteRegister16(0x07, 1, 0), 1);  // commands go on beside the frames

  uint32_t last = 0;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(PollUntil(device, QUVEX_USB_POLL_NEW), QUVEX_USB_POLL_NEW);
    const uint32_t counter = ReadWholeFrame(device);
    EXPECT_GT(counter, last);
    last = counter;
  }
  EXPECT_EQ(device.StopCapture(), QUVEX_USB_OK);
  EXPECT_EQ(device.PollFrame(), QUVEX_USB_POLL_STOPPED);
  EXPECT_EQ(camera.ProtocolErrors(), 0);  // a capture command before every exact frame read
  EXPECT_EQ(camera.OpenDevices(), 0);

  // Frames are read with the direct request code, capture commands go out
  // with the other one; nothing else uses that code on pipe 0.
  size_t frameReads = 0, captureCommands = 0;
  for (const auto& t : camera.Transfers()) {
    if (t.pipe == QUVEX_USB_PIPE_FRAME) {
      ++frameReads;
      EXPECT_EQ(t.requestCode, QUVEX_USB_IOCTL_IN_DIRECT);
      EXPECT_EQ(t.length, 378880u * 2);
    } else if (t.requestCode == QUVEX_USB_IOCTL_OUT_DIRECT) {
      ++captureCommands;
    }
  }
  EXPECT_GE(frameReads, 5u);
  EXPECT_GE(captureCommands, frameReads);
  EXPECT_LE(captureCommands, frameReads + 1);  // the stop may come between the two
  for (const auto& command : camera.Commands()) {
    if (command.packet[0] != QUVEX_USB_CMD_CAPTURE) continue;
    EXPECT_TRUE(std::all_of(command.packet.begin() + 1, command.packet.end(),
                            [](uint8_t b) { return b == 0; }));
  }

  // Capture runs again after a stop.
  ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
  ASSERT_EQ(PollUntil(device, QUVEX_USB_POLL_NEW), QUVEX_USB_POLL_NEW);
  EXPECT_GT(ReadWholeFrame(device), last);
}

TEST(UsbCapture, PollTakesTheNewestFrameAndNothingTwice) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0}, 500));
  camera.SetLeastTimeOut(kCancelFirstMs);  // the stall lasts until the stop
  CUsbDevice device("ZelmorX02");
  ConfigureReferenceGeometry(device, 3);
  ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
  ASSERT_TRUE(camera.WaitForFrames(0, 6, 20000));  // the reader stays idle meanwhile
  camera.SetStalled(true);
  ASSERT_TRUE(camera.WaitForStalledTransfer(20000));  // no frame completes from now on
  const uint32_t newest = camera.FramesDelivered(0);

  ASSERT_EQ(device.PollFrame(), QUVEX_USB_POLL_NEW);
  EXPECT_EQ(ReadWholeFrame(device), newest);
  EXPECT_EQ(device.PollFrame(), QUVEX_USB_POLL_NONE);
  std::vector<uint16_t> image = RawImage();
  EXPECT_EQ(device.ReadFrame(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_ERR_READ);
  EXPECT_EQ(device.ReadFrame(nullptr, kRawImageBytes, 0, 0, 1), QUVEX_USB_ERR_NO_BUFFER);

  // A stop during the stall ends the blocked transfer instead of waiting it out.
  EXPECT_EQ(device.StopCapture(), QUVEX_USB_OK);
  EXPECT_GE(camera.CancelledTransfers(), 1);
  EXPECT_EQ(camera.TimedOutTransfers(), 0);
}

TEST(UsbCapture, AReaderRacingTheProducerNeverSeesTornOrOlderFrames) {
  for (int ringCount : {2, 3, 10}) {
    SimUsbCamera camera(Cameras("ZelmorX02", {0}, 0));  // as fast as it is asked
    CUsbDevice device("ZelmorX02");
    ConfigureReferenceGeometry(device, ringCount);
    ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
    std::vector<uint16_t> image = RawImage();
    uint32_t last = 0;
    for (int reads = 0; reads < 100;) {
      const int status = device.PollFrame();
      ASSERT_NE(status, QUVEX_USB_POLL_ERROR);
      if (status != QUVEX_USB_POLL_NEW) continue;
      // Every other frame is read late: the producer laps the ring meanwhile
      // and must leave the chosen slot alone.
      if (reads % 2 == 1) platform::SleepMs(3);
      ASSERT_EQ(device.ReadFrame(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_OK);
      uint32_t counter = 0;
      ASSERT_TRUE(sim::IsWholeFrame(image.data(), kActiveWidth, kActiveLines, &counter))
          << "ring of " << ringCount;
      ASSERT_GT(counter, last) << "ring of " << ringCount;
      last = counter;
      ++reads;
    }
    EXPECT_EQ(device.StopCapture(), QUVEX_USB_OK);
  }
}

TEST(UsbCapture, UnpluggingEndsTheThreadWithAReadError) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0}, 200));
  CUsbDevice device("ZelmorX02");
  ConfigureReferenceGeometry(device);
  ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
  ASSERT_TRUE(camera.WaitForFrames(0, 2, 20000));
  camera.Unplug();
  EXPECT_EQ(PollUntil(device, QUVEX_USB_POLL_ERROR), QUVEX_USB_POLL_ERROR);
  std::vector<uint16_t> image = RawImage();
  EXPECT_EQ(device.PollFrame(), QUVEX_USB_POLL_ERROR);  // stays until stopped
  EXPECT_EQ(device.StopCapture(), QUVEX_USB_ERR_READ);
  EXPECT_EQ(device.PollFrame(), QUVEX_USB_POLL_STOPPED);
  EXPECT_EQ(device.StopCapture(), QUVEX_USB_OK);

  // The camera is gone for the next start as well: the open fails and says so.
  ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
  EXPECT_EQ(PollUntil(device, QUVEX_USB_POLL_ERROR), QUVEX_USB_POLL_ERROR);
  EXPECT_EQ(device.StopCapture(), QUVEX_USB_ERR_OPEN);
}

TEST(UsbCapture, AShortFrameIsNeverDelivered) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0}, 200));
  camera.SetShortReadOnFrame(3);
  CUsbDevice device("ZelmorX02");
  ConfigureReferenceGeometry(device);
  ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
  int status = QUVEX_USB_POLL_NONE;
  while ((status = PollUntil(device, QUVEX_USB_POLL_NEW)) == QUVEX_USB_POLL_NEW) {
    EXPECT_LT(ReadWholeFrame(device), 3u);
  }
  EXPECT_EQ(status, QUVEX_USB_POLL_ERROR);
  EXPECT_EQ(device.StopCapture(), QUVEX_USB_ERR_READ);
}

TEST(UsbCapture, AStalledCameraTimesOutInsteadOfHanging) {
  SimUsbCamera camera;
  CUsbDevice device("ZelmorX02");
  ConfigureReferenceGeometry(device);
  camera.SetStalled(true);
  ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
  EXPECT_EQ(PollUntil(device, QUVEX_USB_POLL_ERROR), QUVEX_USB_POLL_ERROR);
  EXPECT_EQ(device.StopCapture(), QUVEX_USB_ERR_READ);
  EXPECT_GE(camera.TimedOutTransfers(), 1);
}

TEST(UsbCapture, ClosingStopsAndJoinsTheThreads) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0}, 200));
  camera.SetLeastTimeOut(kCancelFirstMs);
  {
    CUsbDevice device("ZelmorX02");
    ConfigureReferenceGeometry(device);
    ASSERT_EQ(device.StartCapture(), QUVEX_USB_OK);
    ASSERT_TRUE(camera.WaitForFrames(0, 1, 20000));
    camera.SetStalled(true);
    ASSERT_TRUE(camera.WaitForStalledTransfer(20000));
  }  // the destructor cancels the stalled transfer and joins the thread
  EXPECT_EQ(camera.OpenDevices(), 0);
  EXPECT_EQ(camera.TimedOutTransfers(), 0);
}

TEST(UsbOneShot, WaitsForItsFrame) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0}, 200));
  CUsbDevice device("ZelmorX02");
  ConfigureReferenceGeometry(device);
  std::vector<uint16_t> image = RawImage();
  EXPECT_EQ(device.GetImage(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_ERR_READ);  // none yet

  ASSERT_EQ(device.CaptureOneShot(), QUVEX_USB_OK);
  ASSERT_EQ(device.GetImage(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_OK);
  uint32_t counter = 0;
  EXPECT_TRUE(sim::IsWholeFrame(image.data(), kActiveWidth, kActiveLines, &counter));
  EXPECT_EQ(counter, 1u);
  ASSERT_EQ(device.CaptureOneShot(), QUVEX_USB_OK);
  ASSERT_EQ(device.GetImage(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_OK);
  EXPECT_TRUE(sim::IsWholeFrame(image.data(), kActiveWidth, kActiveLines, &counter));
  EXPECT_EQ(counter, 2u);

  EXPECT_EQ(device.GetImage(nullptr, kRawImageBytes, 0, 0, 1), QUVEX_USB_ERR_NO_BUFFER);
  EXPECT_EQ(device.GetImage(image.data(), kRawImageBytes - 1, 0, 0, 1), QUVEX_USB_ERR_ROI);
  EXPECT_EQ(device.GetImage(image.data(), kRawImageBytes, 0, 0, 0), QUVEX_USB_ERR_ROI);  // colour

  camera.SetShortReadOnFrame(3);
  EXPECT_EQ(device.CaptureOneShot(), QUVEX_USB_ERR_READ);
  EXPECT_EQ(device.GetImage(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_ERR_READ);
  camera.SetOpenFails(true);
  EXPECT_EQ(device.CaptureOneShot(), QUVEX_USB_ERR_OPEN);
  EXPECT_EQ(camera.ProtocolErrors(), 0);
}

TEST(UsbOneShot, WithTheCaptureModeFlagItReturnsAtOnce) {
  SimUsbCamera camera;
  camera.SetLeastTimeOut(kCancelFirstMs);
  {
    CUsbDevice device("ZelmorX02");
    ConfigureReferenceGeometry(device);
    device.SetCaptureMode(1);
    camera.SetStalled(true);
    ASSERT_EQ(device.CaptureOneShot(), QUVEX_USB_OK);
    ASSERT_TRUE(camera.WaitForStalledTransfer(20000));
    EXPECT_EQ(device.CaptureOneShot(), QUVEX_USB_ERR_BUSY);
    std::vector<uint16_t> image = RawImage();
    EXPECT_EQ(device.GetImage(image.data(), kRawImageBytes, 0, 0, 1), QUVEX_USB_ERR_BUSY);
    EXPECT_EQ(device.SetGeometry(780, 12, 640, 525, 5, 480, 10), QUVEX_USB_ERR_BUSY);

    camera.SetStalled(false);
    ASSERT_TRUE(camera.WaitForFrames(0, 1, 20000));
    int result = QUVEX_USB_ERR_BUSY;
    for (int i = 0; i < 20000 && result == QUVEX_USB_ERR_BUSY; ++i) {
      result = device.GetImage(image.data(), kRawImageBytes, 0, 0, 1);
      if (result == QUVEX_USB_ERR_BUSY) platform::SleepMs(1);
    }
    EXPECT_EQ(result, QUVEX_USB_OK);
    EXPECT_TRUE(sim::IsWholeFrame(image.data(), kActiveWidth, kActiveLines));

    camera.SetStalled(true);
    ASSERT_EQ(device.CaptureOneShot(), QUVEX_USB_OK);
    ASSERT_TRUE(camera.WaitForStalledTransfer(20000));
  }  // closing cancels the one-shot that is still waiting
  EXPECT_EQ(camera.OpenDevices(), 0);
  EXPECT_EQ(camera.TimedOutTransfers(), 0);
}

TEST(UsbCapture, EightBitFramesCopyOneBytePerSample) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0}, 200));
  CUsbDevice device("ZelmorX02");
  device.SetConverterGeometry(780, 12, 640, 525, 5, 480, 4);
  ASSERT_EQ(device.CaptureOneShot(), QUVEX_USB_OK);
  std::vector<uint8_t> image(kActiveWidth * kActiveLines + 8, 0xEE);
  ASSERT_EQ(device.GetImage(image.data(), kActiveWidth * kActiveLines, 0, 0, 1), QUVEX_USB_OK);
  for (int row : {0, 239, 479}) {
    for (int column : {0, 2, 3, 639}) {
      EXPECT_EQ(image[static_cast<size_t>(row * kActiveWidth + column)],
                sim::ActiveSample(1, row, column) & 0xFF);
    }
  }
  EXPECT_EQ(image[kActiveWidth * kActiveLines], 0xEE);
}

TEST(SimFramePattern, AWrongWindowShows) {
  const sim::SensorWindow window;
  std::vector<uint8_t> frame(378880 * 2);
  sim::FillFrame(frame.data(), frame.size(), true, window, 42);
  UsbFrameLayout layout;
  layout.pitch = 780;
  layout.xOffset = 12;
  layout.width = 640;
  layout.lines = 525;
  layout.yOffset = 5;
  layout.height = 480;
  layout.sampleBytes = 2;
  std::vector<uint16_t> image = RawImage();
  ASSERT_EQ(CopyRegion(layout, image.data(), kRawImageBytes, frame.data(), frame.size()), 0);
  uint32_t counter = 0;
  EXPECT_TRUE(sim::IsWholeFrame(image.data(), kActiveWidth, kActiveLines, &counter));
  EXPECT_EQ(counter, 42u);
  EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint16_t v) { return v >= 5400 && v < 8000; }));

  for (auto shift : {&UsbFrameLayout::xOffset, &UsbFrameLayout::yOffset}) {
    UsbFrameLayout wrong = layout;
    wrong.*shift -= 1;
    ASSERT_EQ(CopyRegion(wrong, image.data(), kRawImageBytes, frame.data(), frame.size()), 0);
    EXPECT_FALSE(sim::IsWholeFrame(image.data(), kActiveWidth, kActiveLines));
  }
  // Rows in reverse order are told apart by their row numbers.
  ASSERT_EQ(CopyRegion(layout, image.data(), kRawImageBytes, frame.data(), frame.size()), 0);
  std::vector<uint16_t> flipped(image.size());
  for (int r = 0; r < kActiveLines; ++r) {
    std::copy_n(image.begin() + r * kActiveWidth, kActiveWidth,
                flipped.begin() + (kActiveLines - 1 - r) * kActiveWidth);
  }
  const sim::DecodedFrame decoded = sim::DecodeFrame(flipped.data(), kActiveWidth, kActiveLines);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.rows.front(), 479);
  EXPECT_EQ(decoded.rows.back(), 0);
  EXPECT_FALSE(sim::IsWholeFrame(flipped.data(), kActiveWidth, kActiveLines));
}

}  // namespace
