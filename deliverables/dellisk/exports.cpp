// The exports of the GigE build: choosing a network adapter, naming the
// adapters and finding the camera by its MAC address. Like every export they
// look the handle up first and let nothing thrown inside reach the host.
#include <algorithm>
#include <array>
#include <cstring>

#include "core/export_call.h"
#include "deliverables/dellisk/binding.h"
#include "quvex_platform/text.h"

using quvex::CQuvex;
using quvex::DelliskBinding;

namespace {

constexpr int kNameRows = quvex::CGigEDevice::kMaxAdapters;
constexpr int kNameLength = 256;  // a name buffer holds at least this many characters

template <class Body>
int WithGigECamera(int handle, Body&& body) noexcept {
  return quvex::WithBinding<DelliskBinding>(
      handle, 0, [&](CQuvex& q, DelliskBinding& binding) { return body(q, binding.Device()); });
}

// Steps shared by both forms: 0 when the name is refused.
bool NameRequestValid(CQuvex& q, int index, const void* buffer, int length) {
  if (buffer == nullptr || length < kNameLength) return q.PushError(QUVEX_ERR_ARGUMENT), false;
  return index >= 0 && index < kNameRows;
}

}  // namespace

extern "C" {

QUVEX_API int Quvex_SetDeviceNumber(int handle, int adapterIndex) {
  return WithGigECamera(handle,
                        [=](CQuvex&, quvex::CGigEDevice& d) { return d.OpenAdapter(adapterIndex); });
}

QUVEX_API int Quvex_EnumDeviceA(int, void*) { return 0; }
QUVEX_API int Quvex_EnumDeviceW(int, void*) { return 0; }

QUVEX_API int Quvex_GetDeviceNameA(int handle, int index, char* buffer, int length) {
  return WithGigECamera(handle, [=](CQuvex& q, quvex::CGigEDevice& d) {
    if (!NameRequestValid(q, index, buffer, length)) return 0;
    const std::vector<std::string> names = d.GetAdapterDescriptions();
    if (static_cast<size_t>(index) >= names.size()) return 0;
    const std::string& name = names[static_cast<size_t>(index)];
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return 1;
  });
}

// Rows at or beyond the adapter count give an empty name; no adapter at all
// is error 2.
QUVEX_API int Quvex_GetDeviceNameW(int handle, int index, char16_t* buffer, int length) {
  return WithGigECamera(handle, [=](CQuvex& q, quvex::CGigEDevice& d) {
    if (!NameRequestValid(q, index, buffer, length)) return 0;
    const std::vector<std::string> names = d.GetAdapterDescriptions();
    if (names.empty()) return q.PushError(QUVEX_ERR_CAMERA_NUMBER), 0;
    std::u16string wide;
    if (static_cast<size_t>(index) < names.size()) {
      wide = quvex::platform::Utf8ToUtf16(names[static_cast<size_t>(index)]).value_or(u"");
    }
    wide.resize(std::min<size_t>(wide.size(), kNameLength - 1));
    std::copy(wide.begin(), wide.end(), buffer);
    buffer[wide.size()] = 0;
    return 1;
  });
}

QUVEX_API int Quvex_ConnectToCamera(int handle, const uint8_t* mac) {
  return WithGigECamera(handle, [=](CQuvex& q, quvex::CGigEDevice& d) {
    if (mac == nullptr) return q.PushError(QUVEX_ERR_ARGUMENT), 0;
    quvex::MacAddress address;
    std::copy(mac, mac + address.size(), address.begin());
    return d.DiscoverCamera(address);
  });
}

}  // extern "C"
