// Dellisk: older generation, GigE camera through packet capture.
#include "core/deliverable.h"
#include "deliverables/dellisk/binding.h"

namespace quvex {

const BuildProfile& DeliverableProfile() {
  static const BuildProfile profile{
      .name = "Dellisk",
      .versionValue = 0x603E8,
      .timing = {780, 640, 12, 525, 480, 5},
      .ringSlots = 60,
      .cameraNameStem = u"Quvex640GigE",
      .interpolation = InterpolationVariant::Older,
      .singlePrecisionPalette = false,
      .hasCpuInfo = true,
      .module = BuiltInModule(),
      .frameIds = FrameIdRule::RandTimesTime,
      .tables = TableSet::ReloadedSingle,
      .tableFiles = TableFileLoader::HeaderlessOnly,
      .behaviour =
          {
              .selectsCameraByNumber = false,  // an adapter and a MAC address choose it
              .namesAnyIndex = true,
              .hasCameraTypes = true,
              .startsBeforeRegisterWrites = true,  // the stream's request precedes them
          },
  };
  return profile;
}

std::unique_ptr<DeviceBinding> CreateDeviceBinding() { return std::make_unique<DelliskBinding>(); }

}  // namespace quvex
