// Corvane: LAN camera on TCP port 8886; the 64-bit build, single-precision arithmetic.
#include "core/deliverable.h"
#include "deliverables/corvane/binding.h"

namespace quvex {

const BuildProfile& DeliverableProfile() {
  static const BuildProfile profile{
      .name = "Corvane",
      .versionValue = 0xB044C,
      .timing = {388, 320, 0, 263, 240, 5},
      .ringSlots = 10,
      .cameraNameStem = u"",
      .interpolation = InterpolationVariant::Single,
      .singlePrecisionPalette = true,
      .hasCpuInfo = false,
      .module = BuiltInModule(),
      .frameIds = FrameIdRule::TimePlusRand,
      .behaviour =
          {
              .enumeratesCameras = false,
              .nucReportsWrite = true,
              .readsThroughNucSettle = true,
              .oneShotRenewsRing = false,  // a one-shot fills the next slot as the ring stands
          },
  };
  return profile;
}

std::unique_ptr<DeviceBinding> CreateDeviceBinding() { return std::make_unique<CorvaneBinding>(); }

}  // namespace quvex
