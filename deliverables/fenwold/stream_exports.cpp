// The export of the port-123 LAN build: the camera address. Like every export
// it looks the handle up first and lets nothing thrown inside reach the host.
#include "export_call.h"
#include "stream_binding.h"

extern "C" {

// Capture stops first: the capture thread is joined before the connection it
// receives from is replaced.
QUVEX_API int Quvex_SetIpAddress(int handle, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return quvex::WithObject(handle, 0, [=](quvex::CQuvex& q) {
    auto* stream = dynamic_cast<quvex::FenwoldBinding*>(&q.Device());
    if (stream == nullptr) return 0;
    return q.WithCaptureStopped([&] { return stream->SetIpAddress(a, b, c, d); });
  });
}

}  // extern "C"
