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
      .usesLock = false,
      .denseTables = false,
      .generation = Generation::Older,
      .interpolation = InterpolationVariant::Older,
      .singlePrecisionPalette = false,
      .reportsNetworkError = true,
      .hasCpuInfo = true,
      .module = BuiltInModule(),
      .frameIds = FrameIdRule::RandTimesTime,
      .tables = TableSet::ReloadedSingle,
      .tableFiles = TableFileLoader::AllFormsIndexed,
      .lookupSpan = LookupSpan::AllRawValues,
  };
  return profile;
}

std::unique_ptr<DeviceBinding> CreateDeviceBinding() { return std::make_unique<FenwoldBinding>(); }

}  // namespace quvex
