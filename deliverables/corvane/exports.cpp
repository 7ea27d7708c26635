// The exports of the LAN build: the camera address and the camera's internal
// temperature. Like every export they look the handle up first and let
// nothing thrown inside reach the host.
#include "core/export_call.h"
#include "deliverables/corvane/binding.h"

using quvex::CorvaneBinding;
using quvex::CQuvex;

extern "C" {

// Capture stops first: the capture thread is joined before the connections it
// uses are replaced. Then both connections are made anew, register 9 is
// written and the frame ring is allocated. Only the low byte of each part
// counts.
QUVEX_API int Quvex_SetIpAddress(int handle, int a, int b, int c, int d) {
  return quvex::WithBinding<CorvaneBinding>(handle, 0, [=](CQuvex& q, CorvaneBinding& lan) {
    return q.WithCaptureStopped([&] {
      if (lan.SetIpAddress(static_cast<uint8_t>(a), static_cast<uint8_t>(b),
                           static_cast<uint8_t>(c), static_cast<uint8_t>(d)) == 0) {
        return 0;
      }
      return q.AllocateRing();
    });
  });
}

QUVEX_API float Quvex_GetInternalTemperature(int handle, int* ok) {
  return quvex::WithBinding<CorvaneBinding>(
      handle, 0.0f, [=](CQuvex&, CorvaneBinding& lan) { return lan.GetInternalTemperature(ok); });
}

}  // extern "C"
