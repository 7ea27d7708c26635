// The export of the port-123 LAN build: the camera address. Like every export
// it looks the handle up first and lets nothing thrown inside reach the host.
#include "core/export_call.h"
#include "deliverables/fenwold/binding.h"

extern "C" {

// Capture stops first: the capture thread is joined before the connection it
// receives from is replaced. Only the low byte of each part counts.
QUVEX_API int Quvex_SetIpAddress(int handle, int a, int b, int c, int d) {
  using quvex::FenwoldBinding;
  return quvex::WithBinding<FenwoldBinding>(handle, 0, [=](quvex::CQuvex& q, FenwoldBinding& stream) {
    return q.WithCaptureStopped([&] {
      return stream.SetIpAddress(static_cast<uint8_t>(a), static_cast<uint8_t>(b),
                                 static_cast<uint8_t>(c), static_cast<uint8_t>(d));
    });
  });
}

}  // extern "C"
