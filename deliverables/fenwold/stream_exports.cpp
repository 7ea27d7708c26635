// The export of the port-123 LAN build: the camera address. Like every export
// it looks the handle up first and lets nothing thrown inside reach the host.
#include "core/export_call.h"
#include "deliverables/fenwold/stream_binding.h"

extern "C" {

// Capture stops first: the capture thread is joined before the connection it
// receives from is replaced. Only the low byte of each part counts.
QUVEX_API int Quvex_SetIpAddress(int handle, int a, int b, int c, int d) {
  return quvex::WithObject(handle, 0, [=](quvex::CQuvex& q) {
    auto* stream = dynamic_cast<quvex::FenwoldBinding*>(&q.Device());
    if (stream == nullptr) return 0;
    return q.WithCaptureStopped([&] {
      return stream->SetIpAddress(static_cast<uint8_t>(a), static_cast<uint8_t>(b),
                                  static_cast<uint8_t>(c), static_cast<uint8_t>(d));
    });
  });
}

}  // extern "C"
