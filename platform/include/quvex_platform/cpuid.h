// Processor identification. On x86-64 these run the CPUID instruction and the
// feature probes; elsewhere CPUID is reported as unavailable.
#pragma once

#include <cstdint>

namespace quvex::platform {

struct CpuidRegisters {
  uint32_t eax, ebx, ecx, edx;
};

// true when the processor answers CPUID.
bool IsCpuidSupported();
// Runs CPUID for leaf; false when CPUID is unavailable.
bool Cpuid(uint32_t leaf, CpuidRegisters& out);

enum class CpuProbe { Mmx, ThreeDNow, Sse, Sse2 };
// Executes one instruction of the extension; true when it ran without a fault.
bool ProbeInstruction(CpuProbe probe);

}  // namespace quvex::platform
