// Galdris: USB camera through the kernel driver; sparse tables.
#include "core/deliverable.h"
#include "deliverables/galdris/binding.h"

namespace quvex {

const BuildProfile& DeliverableProfile() {
  static const BuildProfile profile{
      .name = "Galdris",
      .versionValue = 0x203E8,
      .timing = {780, 640, 12, 525, 480, 5},
      .ringSlots = 10,
      .cameraNameStem = u"Quvex640",
      .interpolation = InterpolationVariant::Double,
      .singlePrecisionPalette = false,
      .hasCpuInfo = true,
      .module = BuiltInModule(),
      .frameIds = FrameIdRule::TimeTimesRand,
      .behaviour = {.refusesSelectionDuringCapture = true},
  };
  return profile;
}

std::unique_ptr<DeviceBinding> CreateDeviceBinding() { return std::make_unique<GaldrisBinding>(); }

}  // namespace quvex
