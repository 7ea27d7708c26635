// How every export reaches its camera object: look the handle up, return the
// fallback for a handle that is not registered, and let nothing thrown
// inside reach the host.
#pragma once

#include "core/camera_object.h"
#include "core/sdk_chain.h"

namespace quvex {

template <class Result, class Body>
Result WithObject(int handle, Result fallback, Body&& body) noexcept {
  try {
    const auto object = SdkChain().Lookup(handle);
    if (!object) return fallback;
    return body(*object);
  } catch (...) {
    return fallback;
  }
}

// How a library's own exports reach its binding: as WithObject, and a camera
// object bound to anything else (which no library makes) reports not ready.
template <class Binding, class Result, class Body>
Result WithBinding(int handle, Result fallback, Body&& body) noexcept {
  return WithObject(handle, fallback, [&](CQuvex& q) -> Result {
    auto* binding = dynamic_cast<Binding*>(&q.Device());
    if (binding == nullptr) return q.PushError(QUVEX_ERR_NOT_READY), fallback;
    return body(q, *binding);
  });
}

}  // namespace quvex
