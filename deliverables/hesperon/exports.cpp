// Hesperon's own export: the camera's internal temperature. Like every export
// it looks the handle up first and lets nothing thrown inside reach the host.
#include "core/export_call.h"
#include "deliverables/hesperon/binding.h"

extern "C" {

QUVEX_API float Quvex_GetInternalTemperature(int handle, int* ok) {
  return quvex::WithBinding<quvex::HesperonBinding>(
      handle, 0.0f,
      [=](quvex::CQuvex&, quvex::HesperonBinding& binding) { return binding.GetInternalTemperature(ok); });
}

}  // extern "C"
