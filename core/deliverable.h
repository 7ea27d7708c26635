// What each library provides to the shared core: its profile, its device
// binding and its built-in resources (defined under deliverables/<name>/).
#pragma once

#include <memory>

#include "core/device_binding.h"
#include "core/profile.h"
#include "quvex_platform/resources.h"

namespace quvex {

const BuildProfile& DeliverableProfile();
std::unique_ptr<DeviceBinding> CreateDeviceBinding();
const platform::Module* BuiltInModule();

}  // namespace quvex
