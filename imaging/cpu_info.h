// Processor identification record, filled once when a camera object is
// initialised.
#pragma once

#include <cstdint>

#include "quvex_platform/cpuid.h"

namespace quvex {

inline constexpr int kCpuMmx = 1;
inline constexpr int kCpuSse = 2;
inline constexpr int kCpuSse2 = 4;
inline constexpr int kCpu3DNow = 8;
inline constexpr int kCpuSse3 = 16;
inline constexpr int kCpuLeaf1Ecx8 = 32;
inline constexpr int kCpuExaminedAll = 63;

struct CpuInfo {
  char vendor[13];
  char modelName[20];  // the longest name takes 18 bytes
  int32_t family;
  int32_t model;
  int32_t stepping;
  int32_t features;
  int32_t osFeatures;
  int32_t examinedMask;
};

// What CPUID answered, so the decoding can be tested with any processor.
struct CpuidAnswers {
  platform::CpuidRegisters leaf0;
  platform::CpuidRegisters leaf1;
  platform::CpuidRegisters leaf80000000;
  platform::CpuidRegisters leaf80000001;  // zero when the extended leaf is absent
};

// Asks the processor; returns the feature bits, 0 without CPUID. Fills record
// when given.
int GetCpuInfo(CpuInfo* record);
// The decoding step of GetCpuInfo; probe says whether the OS runs a feature.
int DecodeCpuInfo(const CpuidAnswers& answers, bool (*probe)(int featureBit), CpuInfo* record);
int IsOsFeatureSupported(int featureBit);
// Writes the model name (at most 19 characters and NUL) into name.
void MapCpuModelName(int family, int model, const char* vendor, char* name);

}  // namespace quvex
