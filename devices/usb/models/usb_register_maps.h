// The built-in register maps of the sensor and converter chips: per register
// its default value and whether the guarded accessors may read or write it.
#pragma once

#include "devices/usb/models/usb_model_state.h"

namespace quvex {

SensorRegisterMap RegisterMapType14();
SensorRegisterMap RegisterMapType13();
SensorRegisterMap RegisterMapType10();
SensorRegisterMap RegisterMapType7();  // also type 2
SensorRegisterMap RegisterMapType3();
SensorRegisterMap RegisterMapType6();
SensorRegisterMap RegisterMapType5();
SensorRegisterMap RegisterMapType4();
// Type 20: each value holds the register number in its low byte and the
// default in its high byte.
SensorRegisterMap ConverterRegisterMap();

}  // namespace quvex
