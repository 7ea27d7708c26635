// Fenwold: older generation, LAN camera on TCP port 123.
#include "core/deliverable.h"
#include "deliverables/fenwold/binding.h"

namespace quvex {

const BuildProfile& DeliverableProfile() {
  static const BuildProfile profile{
      .name = "Fenwold",
      .versionValue = 0x303E8,
      .timing = {388, 320, 0, 263, 240, 5},
      .ringSlots = 10,
      .cameraNameStem = u"",
      .interpolation = InterpolationVariant::Older,
      .singlePrecisionPalette = false,
      .hasCpuInfo = true,
      .module = BuiltInModule(),
      .frameIds = FrameIdRule::RandTimesTime,
      .tables = TableSet::ReloadedSingle,
      .tableFiles = TableFileLoader::AllFormsIndexed,
      .lookupSpan = LookupSpan::AllRawValues,
      .behaviour = {.enumeratesCameras = false},
  };
  return profile;
}

std::unique_ptr<DeviceBinding> CreateDeviceBinding() { return std::make_unique<FenwoldBinding>(); }

}  // namespace quvex
