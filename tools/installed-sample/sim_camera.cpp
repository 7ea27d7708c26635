// A C host's bridge to the simulated USB camera, a C++ object: one C
// function creates the camera (the driver of the USB libraries' devices from
// then on), another removes it.
#include "sim/usb_camera.h"

extern "C" void* SimCamera_Start(void) {
  try {
    return new quvex::sim::SimUsbCamera();
  } catch (...) {
    return nullptr;
  }
}

extern "C" void SimCamera_Stop(void* camera) {
  delete static_cast<quvex::sim::SimUsbCamera*>(camera);
}
