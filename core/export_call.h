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

}  // namespace quvex
