// Hesperon's own export: the camera's internal temperature. Like every export
// it looks the handle up first and lets nothing thrown inside reach the host.
#include "core/export_call.h"
#include "deliverables/hesperon/variant_binding.h"

extern "C" {

QUVEX_API float Quvex_GetInternalTemperature(int handle, int* ok) {
  return quvex::WithObject(handle, 0.0f, [=](quvex::CQuvex& q) {
    auto* binding = dynamic_cast<quvex::HesperonBinding*>(&q.Device());
    return binding == nullptr ? 0.0f : binding->GetInternalTemperature(ok);
  });
}

}  // extern "C"
