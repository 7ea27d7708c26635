// Processor identification: decoding of CPUID answers, the model-name table
// and the record filled from the processor running the test.
#include "imaging/cpu_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace quvex {
namespace {

platform::CpuidRegisters VendorLeaf(const char* vendor) {
  platform::CpuidRegisters leaf{};
  leaf.eax = 0xD;
  std::memcpy(&leaf.ebx, vendor, 4);
  std::memcpy(&leaf.edx, vendor + 4, 4);
  std::memcpy(&leaf.ecx, vendor + 8, 4);
  return leaf;
}

CpuidAnswers Answers(const char* vendor, uint32_t family, uint32_t model,
                     uint32_t extendedFamily = 0) {
  CpuidAnswers answers{};
  answers.leaf0 = VendorLeaf(vendor);
  answers.leaf1.eax = 3 | (model << 4) | (family << 8) | (extendedFamily << 20) | (0xF << 16);
  return answers;
}

std::vector<int> probed;
bool RecordProbe(int bit) {
  probed.push_back(bit);
  return bit != kCpuSse;  // the OS refuses SSE in this test
}

std::string Name(int family, int model, const char* vendor) {
  char name[sizeof(CpuInfo::modelName)];
  std::memset(name, 'x', sizeof name);
  MapCpuModelName(family, model, vendor, name);
  return name;
}

TEST(CpuModelName, EveryRowAndItsNeighbours) {
  struct Row {
    const char* vendor;
    int family, model;
    const char* name;
  };
  const Row rows[] = {
      {"AuthenticAMD", 4, 0, "AMD Am486"},
      {"AuthenticAMD", 4, 15, "AMD Am486"},
      {"AuthenticAMD", 5, 0, "AMD K5"},
      {"AuthenticAMD", 5, 3, "AMD K5"},
      {"AuthenticAMD", 5, 4, "Unknown"},
      {"AuthenticAMD", 5, 5, "Unknown"},
      {"AuthenticAMD", 5, 6, "AMD K6"},
      {"AuthenticAMD", 5, 7, "AMD K6"},
      {"AuthenticAMD", 5, 8, "AMD K6-2"},
      {"AuthenticAMD", 5, 9, "AMD K6-3"},
      {"AuthenticAMD", 5, 15, "AMD K6-3"},
      {"AuthenticAMD", 6, 11, "AMD ATHLON"},
      {"AuthenticAMD", 3, 0, "Unknown"},
      {"AuthenticAMD", 15, 0, "Unknown"},
      {"GenuineIntel", 4, 0, "INTEL 486DX"},
      {"GenuineIntel", 4, 1, "INTEL 486DX"},
      {"GenuineIntel", 4, 2, "INTEL 486SX"},
      {"GenuineIntel", 4, 3, "INTEL 486DX2"},
      {"GenuineIntel", 4, 4, "INTEL 486SL"},
      {"GenuineIntel", 4, 5, "INTEL 486SX2"},
      {"GenuineIntel", 4, 6, "Unknown"},
      {"GenuineIntel", 4, 7, "INTEL 486DX2E"},
      {"GenuineIntel", 4, 8, "INTEL 486DX4"},
      {"GenuineIntel", 4, 9, "Unknown"},
      {"GenuineIntel", 5, 0, "Unknown"},
      {"GenuineIntel", 5, 1, "INTEL Pentium"},
      {"GenuineIntel", 5, 3, "INTEL Pentium"},
      {"GenuineIntel", 5, 4, "INTEL Pentium-MMX"},
      {"GenuineIntel", 5, 5, "Unknown"},
      {"GenuineIntel", 6, 0, "Unknown"},
      {"GenuineIntel", 6, 1, "INTEL Pentium-Pro"},
      {"GenuineIntel", 6, 2, "Unknown"},
      {"GenuineIntel", 6, 3, "INTEL Pentium-II"},
      {"GenuineIntel", 6, 4, "Unknown"},
      {"GenuineIntel", 6, 5, "INTEL Pentium-II"},
      {"GenuineIntel", 6, 6, "INTEL Celeron"},
      {"GenuineIntel", 6, 7, "INTEL Pentium-III"},
      {"GenuineIntel", 6, 8, "INTEL Pentium-III"},
      {"GenuineIntel", 6, 9, "Unknown"},
      {"GenuineIntel", 6, 10, "INTEL Pentium-III"},
      {"GenuineIntel", 6, 11, "Unknown"},
      {"GenuineIntel", 7, 1, "Unknown"},
      {"GenuineIntel", 15, 0, "INTEL Pentium-4"},
      {"GenuineIntel", 15, 1, "Unknown"},
      {"GenuineIntel", 31, 0, "Unknown"},
      {"CyrixInstead", 9, 9, "Cyrix"},
      {"CentaurHauls", 6, 0, "Centaur"},
      {"QuvexTestCPU", 6, 6, "Unknown"},
      {"GenuineIntelX", 15, 0, "INTEL Pentium-4"},  // only twelve characters compared
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Name(row.family, row.model, row.vendor), row.name)
        << row.vendor << " " << row.family << " " << row.model;
  }
  EXPECT_EQ(Name(6, 6, nullptr), "Unknown");
  EXPECT_EQ(Name(6, 6, "Genuine"), "Unknown");
}

TEST(CpuDecode, FamilyModelSteppingAndName) {
  CpuInfo info{};
  DecodeCpuInfo(Answers("GenuineIntel", 6, 2), nullptr, &info);
  EXPECT_STREQ(info.vendor, "GenuineIntel");
  EXPECT_STREQ(info.modelName, "Unknown");
  EXPECT_EQ(info.family, 6);
  EXPECT_EQ(info.model, 2);  // the extended model bits (set here) are not used
  EXPECT_EQ(info.stepping, 3);
  EXPECT_EQ(info.examinedMask, 63);

  DecodeCpuInfo(Answers("GenuineIntel", 15, 0), nullptr, &info);
  EXPECT_EQ(info.family, 15);
  EXPECT_STREQ(info.modelName, "INTEL Pentium-4");
  DecodeCpuInfo(Answers("GenuineIntel", 15, 0, 1), nullptr, &info);
  EXPECT_EQ(info.family, 31);
  EXPECT_STREQ(info.modelName, "Unknown");
  DecodeCpuInfo(Answers("GenuineIntel", 6, 2, 1), nullptr, &info);
  EXPECT_EQ(info.family, 6);  // the extended family counts only for family 15

  DecodeCpuInfo(Answers("AuthenticAMD", 5, 8), nullptr, &info);
  EXPECT_STREQ(info.modelName, "AMD K6-2");
  DecodeCpuInfo(Answers("QuvexTestCPU", 5, 8), nullptr, &info);
  EXPECT_STREQ(info.vendor, "QuvexTestCPU");
  EXPECT_STREQ(info.modelName, "Unknown");
}

TEST(CpuDecode, FeaturesInOrderWithTheirProbes) {
  CpuidAnswers answers = Answers("AuthenticAMD", 6, 1);
  answers.leaf1.edx = (1u << 23) | (1u << 25) | (1u << 26);
  answers.leaf1.ecx = (1u << 0) | (1u << 8);
  answers.leaf80000000.eax = 0x80000008;
  answers.leaf80000001.edx = 1u << 31;
  probed.clear();
  CpuInfo info{};
  EXPECT_EQ(DecodeCpuInfo(answers, RecordProbe, &info), 63);
  EXPECT_EQ(probed, (std::vector<int>{1, 8, 2, 4, 16, 32}));
  EXPECT_EQ(info.features, 63);
  EXPECT_EQ(info.osFeatures, 63 - kCpuSse);

  // Without the extended leaves, its bits are ignored; without a record only
  // the features are returned.
  answers.leaf80000000.eax = 0x7FFFFFFF;
  probed.clear();
  EXPECT_EQ(DecodeCpuInfo(answers, RecordProbe, nullptr), 63 - kCpu3DNow);
  EXPECT_EQ(probed, (std::vector<int>{1, 2, 4, 16, 32}));

  // SSE3 alone: present and supported, no instruction run for it.
  CpuidAnswers sse3 = Answers("GenuineIntel", 6, 8);
  sse3.leaf1.ecx = 1;
  EXPECT_EQ(DecodeCpuInfo(sse3, nullptr, &info), kCpuSse3);
  EXPECT_EQ(info.osFeatures, kCpuSse3);
  EXPECT_EQ(IsOsFeatureSupported(kCpuSse3), 1);
  EXPECT_EQ(IsOsFeatureSupported(kCpuLeaf1Ecx8), 1);
  EXPECT_EQ(IsOsFeatureSupported(12345), 1);
}

TEST(CpuInfoOfThisProcessor, FilledConsistently) {
  CpuInfo info{};
  if (!platform::IsCpuidSupported()) {
    EXPECT_EQ(GetCpuInfo(&info), 0);
    EXPECT_EQ(info.examinedMask, 0);
    return;
  }
  const int features = GetCpuInfo(&info);
  EXPECT_EQ(features, info.features);
  EXPECT_EQ(GetCpuInfo(nullptr), features);
  EXPECT_EQ(info.examinedMask, 63);
  EXPECT_EQ(std::strlen(info.vendor), 12u);
  EXPECT_EQ(info.osFeatures & ~info.features, 0);
#if defined(__x86_64__)
  // Every x86-64 processor has MMX, SSE and SSE2, and the OS runs them.
  const int baseline = kCpuMmx | kCpuSse | kCpuSse2;
  EXPECT_EQ(features & baseline, baseline);
  EXPECT_EQ(info.osFeatures & baseline, baseline);
#endif
}

}  // namespace
}  // namespace quvex
