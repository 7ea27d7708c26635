// Register-map contents by model.
#include "devices/usb/models/usb_register_maps.h"

#include <initializer_list>
#include <utility>

namespace quvex {

namespace {

struct MapEntry {
  unsigned reg;
  uint16_t value;
};

enum Access : uint8_t { kReadOnly = 1, kWriteOnly = 2, kReadWrite = 3 };

void Put(SensorRegisterMap& map, Access access, std::initializer_list<MapEntry> entries) {
  for (const MapEntry& e : entries) {
    SensorRegisterEntry& entry = map[e.reg];
    entry.value = e.value;
    entry.readable = (access & kReadOnly) != 0 ? 1 : 0;
    entry.writable = (access & kWriteOnly) != 0 ? 1 : 0;
  }
}

void PutRange(SensorRegisterMap& map, Access access, unsigned first, unsigned last) {
  for (unsigned reg = first; reg <= last; ++reg) {
    map[reg].readable = (access & kReadOnly) != 0 ? 1 : 0;
    map[reg].writable = (access & kWriteOnly) != 0 ? 1 : 0;
  }
}

SensorRegisterMap WindowedSensorMap(uint16_t windowValue) {
  SensorRegisterMap map{};
  Put(map, kReadWrite, {{2, windowValue}, {130, windowValue}});
  Put(map, kWriteOnly,
      {{4, 0}, {8, 0}, {9, 0}, {11, 0}, {12, 0}, {13, 0}, {14, 0}, {132, 0}, {139, 0}, {255, 0}});
  return map;
}

}  // namespace

SensorRegisterMap RegisterMapType14() { return WindowedSensorMap(0x0100); }

SensorRegisterMap RegisterMapType13() { return WindowedSensorMap(0x0080); }

SensorRegisterMap RegisterMapType10() {
  SensorRegisterMap map{};
  Put(map, kWriteOnly,
      {{0, 0x0080}, {1, 0}, {2, 0}, {3, 0x0064}, {16, 0x0080}, {17, 0}, {18, 0}, {19, 0x0064}});
  return map;
}

SensorRegisterMap RegisterMapType7() {
  SensorRegisterMap map{};
  Put(map, kReadWrite,
      {{0, 0x8401},  {1, 0x000C},  {2, 0x0014},  {3, 0x03FF},  {4, 0x04FF},  {5, 0x0009},
       {6, 0x0019},  {7, 0x0002},  {9, 0x0419},  {11, 0},      {12, 0},      {13, 0},
       {30, 0x8000}, {32, 0x1104}, {41, 0x0001}, {43, 0x000E}, {44, 0x000E}, {45, 0x000E},
       {46, 0x000E}, {53, 0x000E}, {63, 0},      {64, 0x0006}, {74, 0x0060}, {78, 0x000C},
       {95, 0x0904}, {96, 0},      {97, 0},      {98, 0x0498}, {99, 0},      {100, 0},
       {241, 0x0001}});
  return map;
}

SensorRegisterMap RegisterMapType3() {
  SensorRegisterMap map{};
  PutRange(map, kReadWrite, 0, 255);
  Put(map, kReadWrite,
      {{0, 0x8511},  {1, 0x000C},  {2, 0x0018},  {3, 0x04AF},  {4, 0x063F},  {5, 0x0035},
       {6, 0x0019},  {7, 0x0002},  {9, 0x04C9},  {30, 0x8040}, {32, 0x1104}, {41, 0x0001},
       {43, 0x000A}, {44, 0x0018}, {45, 0x000A}, {46, 0x000A}, {53, 0x000E}, {64, 0x0006},
       {74, 0x0060}, {78, 0x000C}, {95, 0x0904}, {98, 0x0498}, {248, 0x0001}});
  return map;
}

SensorRegisterMap RegisterMapType6() {
  SensorRegisterMap map{};
  Put(map, kReadOnly, {{0, 0x1300}, {66, 0}});
  Put(map, kReadWrite,
      {{1, 0x0001},  {2, 0x0004},  {3, 0x01E0},   {4, 0x02F0},  {5, 0x00A6},   {6, 0x0004},
       {7, 0x0188},  {8, 0x0104},  {9, 0x0186},   {10, 0x0043}, {11, 0x01E0},  {12, 0},
       {13, 0x0300}, {14, 0},      {15, 0x0011},  {27, 0},      {28, 0x0002},  {49, 0x0010},
       {50, 0x000A}, {51, 0x0007}, {52, 0x0004},  {53, 0x0010}, {54, 0x0040},  {70, 0x231D},
       {71, 0x8080}, {72, 0},      {76, 0x0002},  {112, 0x0034}, {114, 0x002A}, {115, 0x02F7},
       {116, 0},     {175, 0}});
  return map;
}

SensorRegisterMap RegisterMapType5() {
  SensorRegisterMap map{};
  Put(map, kReadWrite,
      {{0, 0x1601},  {1, 0x0014},  {2, 0x0020},  {3, 0x05FF},  {4, 0x07FF},  {5, 0x008E},
       {6, 0x0019},  {8, 0},       {9, 0x0797},  {11, 0},      {12, 0},      {13, 0},
       {30, 0x8000}, {32, 0},      {33, 0},      {34, 0},      {35, 0},      {41, 0x0001},
       {43, 0x000E}, {44, 0x000E}, {45, 0x000E}, {46, 0x000E}, {53, 0x000E}, {63, 0},
       {64, 0x0006}, {73, 0},      {74, 0x0060}, {78, 0x000C}, {79, 0x0028}, {93, 0x2D13},
       {95, 0x231D}, {96, 0},      {97, 0},      {98, 0x0498}, {99, 0},      {100, 0},
       {248, 0x0001}, {255, 0x1801}});
  Put(map, kReadOnly, {{7, 0x0002}});
  return map;
}

SensorRegisterMap RegisterMapType4() {
  SensorRegisterMap map = RegisterMapType5();
  Put(map, kReadWrite, {{7, 0x0002}, {9, 0x0619}, {255, 0x1611}});
  return map;
}

SensorRegisterMap ConverterRegisterMap() {
  SensorRegisterMap map{};
  for (unsigned reg = 0; reg < map.size(); ++reg) map[reg].value = static_cast<uint16_t>(reg);
  for (const auto& [first, last] : {std::pair{0u, 3u}, {6u, 14u}, {17u, 22u}, {24u, 30u},
                                    {32u, 32u}, {38u, 38u}, {40u, 40u}, {177u, 187u},
                                    {192u, 198u}, {200u, 200u}, {202u, 252u}}) {
    PutRange(map, kReadWrite, first, last);
  }
  for (unsigned reg : {127u, 199u, 201u}) PutRange(map, kWriteOnly, reg, reg);
  PutRange(map, kReadOnly, 128, 140);
  PutRange(map, kReadOnly, 144, 176);
  const std::initializer_list<MapEntry> defaults{
      {1, 0x15},   {3, 0x19},   {9, 0x80},   {10, 0x80},  {12, 0x80},  {13, 0x40},
      {21, 0x01},  {22, 0x80},  {26, 0x0C},  {27, 0x14},  {194, 0x04}, {198, 0x40},
      {200, 0x80}, {203, 0x59}, {204, 0x03}, {205, 0x01}, {252, 0x7F}};
  for (const MapEntry& e : defaults) map[e.reg].value = static_cast<uint16_t>(e.value << 8 | e.reg);
  for (unsigned reg = 208; reg <= 251; ++reg) map[reg].value = static_cast<uint16_t>(0xFF00 | reg);
  return map;
}

}  // namespace quvex
