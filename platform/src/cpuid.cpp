// CPUID and the instruction probes. A probe runs its instruction with a
// SIGILL guard for the calling thread, so a processor or kernel that does not
// run it yields false instead of ending the process.
#include "quvex_platform/cpuid.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define QUVEX_X86 1
#endif

namespace quvex::platform {

#if QUVEX_X86

bool IsCpuidSupported() { return __get_cpuid_max(0, nullptr) != 0; }

bool Cpuid(uint32_t leaf, CpuidRegisters& out) {
  if (!IsCpuidSupported()) return false;
  __cpuid(leaf, out.eax, out.ebx, out.ecx, out.edx);
  return true;
}

namespace {

thread_local sigjmp_buf* probeJump = nullptr;
struct sigaction previousAction {};

void OnIllegalInstruction(int signal, siginfo_t* info, void* context) {
  if (probeJump != nullptr) siglongjmp(*probeJump, 1);
  // Not ours: hand the signal to whoever had it before.
  if (previousAction.sa_flags & SA_SIGINFO) {
    previousAction.sa_sigaction(signal, info, context);
  } else if (previousAction.sa_handler != SIG_IGN && previousAction.sa_handler != SIG_DFL) {
    previousAction.sa_handler(signal);
  } else {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

void RunProbeInstruction(CpuProbe probe) {
  switch (probe) {
    case CpuProbe::Mmx:
      __asm__ volatile("pxor %%mm0, %%mm0\n\temms" ::: "mm0");
      break;
    case CpuProbe::ThreeDNow:
      __asm__ volatile(".byte 0x0f, 0x0f, 0xc0, 0x96\n\temms" ::: "mm0");  // pfrcp mm0, mm0
      break;
    case CpuProbe::Sse:
      __asm__ volatile("xorps %%xmm0, %%xmm0" ::: "xmm0");
      break;
    case CpuProbe::Sse2:
      __asm__ volatile("xorpd %%xmm0, %%xmm0" ::: "xmm0");
      break;
  }
}

}  // namespace

bool ProbeInstruction(CpuProbe probe) {
  static std::mutex probing;  // the handler is process-wide: one probe at a time
  std::lock_guard lock(probing);
  struct sigaction guard {};
  guard.sa_sigaction = OnIllegalInstruction;
  guard.sa_flags = SA_SIGINFO;
  sigemptyset(&guard.sa_mask);
  if (sigaction(SIGILL, &guard, &previousAction) != 0) return false;
  sigjmp_buf jump;
  volatile bool ran = false;
  if (sigsetjmp(jump, 1) == 0) {
    probeJump = &jump;
    RunProbeInstruction(probe);
    ran = true;
  }
  probeJump = nullptr;
  sigaction(SIGILL, &previousAction, nullptr);
  return ran;
}

#else

bool IsCpuidSupported() { return false; }
bool Cpuid(uint32_t, CpuidRegisters&) { return false; }
bool ProbeInstruction(CpuProbe) { return false; }

#endif

}  // namespace quvex::platform
