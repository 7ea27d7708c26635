// A device object on a simulated camera whose chip is of a per-model device
// type, with the chip's log of register writes.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "devices/usb/usb_device.h"
#include "sim/sensor_chip.h"
#include "sim/usb_camera.h"
#include "tests/devices/usb_test_support.h"

namespace quvex::test {

using ChipWrites = std::vector<std::pair<unsigned, uint32_t>>;

struct ChipRig {
  explicit ChipRig(int deviceType, std::vector<int> present = {0, 1})
      : camera(Cameras("ZelmorX02", std::move(present))),
        chip(std::make_shared<sim::SimSensorChip>(deviceType)) {
    EXPECT_TRUE(camera.Installed());  // one rig at a time
    camera.AttachChip(chip);
  }
  sim::SimUsbCamera camera;
  std::shared_ptr<sim::SimSensorChip> chip;
  CUsbDevice device{"ZelmorX02"};

  ChipWrites Logged() const {
    ChipWrites out;
    for (const auto& w : chip->Writes()) out.emplace_back(w.reg, w.value);
    return out;
  }
  std::vector<uint8_t> LastPacket(size_t count) const {
    const auto packet = camera.Commands().back().packet;
    return {packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(count)};
  }
};

}  // namespace quvex::test
