// Processor identification: vendor, family, model, stepping, the instruction
// set extensions CPUID reports and which of them the OS lets run.
#include "imaging/cpu_info.h"

#include <cstring>

namespace quvex {
namespace {

constexpr size_t kModelNameField = sizeof(CpuInfo::modelName);

bool Bit(uint32_t value, int bit) { return ((value >> bit) & 1u) != 0; }

bool OsRunsFeature(int featureBit) { return IsOsFeatureSupported(featureBit) == 1; }

struct ModelRow {
  const char* vendor;
  int family;
  int firstModel;  // -1: any family or model
  int lastModel;
  const char* name;
};

constexpr ModelRow kModelNames[] = {
    {"AuthenticAMD", 4, -1, -1, "AMD Am486"},
    {"AuthenticAMD", 5, 0, 3, "AMD K5"},
    {"AuthenticAMD", 5, 6, 7, "AMD K6"},
    {"AuthenticAMD", 5, 8, 8, "AMD K6-2"},
    {"AuthenticAMD", 5, 9, 15, "AMD K6-3"},
    {"AuthenticAMD", 6, -1, -1, "AMD ATHLON"},
    {"GenuineIntel", 4, 0, 1, "INTEL 486DX"},
    {"GenuineIntel", 4, 2, 2, "INTEL 486SX"},
    {"GenuineIntel", 4, 3, 3, "INTEL 486DX2"},
    {"GenuineIntel", 4, 4, 4, "INTEL 486SL"},
    {"GenuineIntel", 4, 5, 5, "INTEL 486SX2"},
    {"GenuineIntel", 4, 7, 7, "INTEL 486DX2E"},
    {"GenuineIntel", 4, 8, 8, "INTEL 486DX4"},
    {"GenuineIntel", 5, 1, 3, "INTEL Pentium"},
    {"GenuineIntel", 5, 4, 4, "INTEL Pentium-MMX"},
    {"GenuineIntel", 6, 1, 1, "INTEL Pentium-Pro"},
    {"GenuineIntel", 6, 3, 3, "INTEL Pentium-II"},
    {"GenuineIntel", 6, 5, 5, "INTEL Pentium-II"},
    {"GenuineIntel", 6, 6, 6, "INTEL Celeron"},
    {"GenuineIntel", 6, 7, 8, "INTEL Pentium-III"},
    {"GenuineIntel", 6, 10, 10, "INTEL Pentium-III"},
    {"GenuineIntel", 15, 0, 0, "INTEL Pentium-4"},
    {"CyrixInstead", -1, -1, -1, "Cyrix"},
    {"CentaurHauls", -1, -1, -1, "Centaur"},
};

bool Matches(const ModelRow& row, int family, int model) {
  if (row.family >= 0 && row.family != family) return false;
  return row.firstModel < 0 || (model >= row.firstModel && model <= row.lastModel);
}

}  // namespace

int IsOsFeatureSupported(int featureBit) {
  switch (featureBit) {
    case kCpuMmx:
      return platform::ProbeInstruction(platform::CpuProbe::Mmx) ? 1 : 0;
    case kCpu3DNow:
      return platform::ProbeInstruction(platform::CpuProbe::ThreeDNow) ? 1 : 0;
    case kCpuSse:
      return platform::ProbeInstruction(platform::CpuProbe::Sse) ? 1 : 0;
    case kCpuSse2:
      return platform::ProbeInstruction(platform::CpuProbe::Sse2) ? 1 : 0;
    default:
      return 1;  // no probe instruction: counts as supported
  }
}

void MapCpuModelName(int family, int model, const char* vendor, char* name) {
  if (name == nullptr) return;
  name[0] = 0;
  const char* found = "Unknown";
  if (vendor != nullptr) {
    for (const ModelRow& row : kModelNames) {
      if (std::strncmp(vendor, row.vendor, 12) == 0 && Matches(row, family, model)) {
        found = row.name;
        break;
      }
    }
  }
  std::strncpy(name, found, kModelNameField - 1);
  name[kModelNameField - 1] = 0;
}

int DecodeCpuInfo(const CpuidAnswers& answers, bool (*probe)(int featureBit), CpuInfo* record) {
  const uint32_t extendedEdx =
      answers.leaf80000000.eax >= 0x80000000u ? answers.leaf80000001.edx : 0;
  const struct {
    int bit;
    bool present;
  } examined[] = {
      {kCpuMmx, Bit(answers.leaf1.edx, 23)}, {kCpu3DNow, Bit(extendedEdx, 31)},
      {kCpuSse, Bit(answers.leaf1.edx, 25)}, {kCpuSse2, Bit(answers.leaf1.edx, 26)},
      {kCpuSse3, Bit(answers.leaf1.ecx, 0)}, {kCpuLeaf1Ecx8, Bit(answers.leaf1.ecx, 8)},
  };
  int features = 0;
  int osFeatures = 0;
  for (const auto& feature : examined) {
    if (!feature.present) continue;
    features |= feature.bit;
    if (probe == nullptr || probe(feature.bit)) osFeatures |= feature.bit;
  }
  if (record == nullptr) return features;

  std::memset(record, 0, sizeof *record);
  record->features = features;
  record->osFeatures = osFeatures;
  const uint32_t signature = answers.leaf1.eax;
  int family = static_cast<int>((signature >> 8) & 0xF);
  if (family == 15) family = static_cast<int>((signature >> 20) & 0xFF) * 16 + 15;
  record->family = family;
  record->model = static_cast<int>((signature >> 4) & 0xF);
  record->stepping = static_cast<int>(signature & 0xF);
  std::memcpy(record->vendor + 0, &answers.leaf0.ebx, 4);
  std::memcpy(record->vendor + 4, &answers.leaf0.edx, 4);
  std::memcpy(record->vendor + 8, &answers.leaf0.ecx, 4);
  record->vendor[12] = 0;
  MapCpuModelName(record->family, record->model, record->vendor, record->modelName);
  record->examinedMask = kCpuExaminedAll;
  return features;
}

int GetCpuInfo(CpuInfo* record) {
  if (!platform::IsCpuidSupported()) return 0;
  CpuidAnswers answers{};
  if (!platform::Cpuid(0, answers.leaf0) || !platform::Cpuid(1, answers.leaf1) ||
      !platform::Cpuid(0x80000000u, answers.leaf80000000)) {
    return 0;
  }
  if (answers.leaf80000000.eax >= 0x80000000u) platform::Cpuid(0x80000001u, answers.leaf80000001);
  return DecodeCpuInfo(answers, OsRunsFeature, record);
}

}  // namespace quvex
