// Hesperon: variant USB camera; dense tables.
#include "core/deliverable.h"
#include "deliverables/hesperon/binding.h"

namespace quvex {

const BuildProfile& DeliverableProfile() {
  static const BuildProfile profile{
      .name = "Hesperon",
      .versionValue = 0x8044C,
      .timing = {780, 640, 12, 525, 480, 5},
      .ringSlots = 30,
      .cameraNameStem = u"Quvex640KYL",
      .interpolation = InterpolationVariant::Double,
      .singlePrecisionPalette = false,
      .hasCpuInfo = true,
      .module = BuiltInModule(),
      .frameIds = FrameIdRule::TimeTimesRand,
      .behaviour = {.refusesSelectionDuringCapture = true},
  };
  return profile;
}

std::unique_ptr<DeviceBinding> CreateDeviceBinding() { return std::make_unique<HesperonBinding>(); }

}  // namespace quvex
