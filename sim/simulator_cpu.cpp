#include "sim/simulator_cpu.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace quvex::sim {

namespace {

uint64_t Nanoseconds(clockid_t clock) {
  timespec now{};
  if (clock_gettime(clock, &now) != 0) return 0;
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

struct Accounts {
  std::mutex mutex;
  uint64_t ended = 0;              // work and threads that are over
  std::vector<clockid_t> running;  // simulator threads alive now
};

Accounts& TheAccounts() {
  static Accounts* accounts = new Accounts;  // outlives every simulator thread
  return *accounts;
}

}  // namespace

uint64_t SimulatorCpuNanoseconds() {
  Accounts& accounts = TheAccounts();
  std::lock_guard lock(accounts.mutex);
  uint64_t total = accounts.ended;
  for (const clockid_t clock : accounts.running) total += Nanoseconds(clock);
  return total;
}

SimulatorWork::SimulatorWork() : start_(Nanoseconds(CLOCK_THREAD_CPUTIME_ID)) {}

SimulatorWork::~SimulatorWork() {
  const uint64_t spent = Nanoseconds(CLOCK_THREAD_CPUTIME_ID) - start_;
  Accounts& accounts = TheAccounts();
  std::lock_guard lock(accounts.mutex);
  accounts.ended += spent;
}

SimulatorThread::SimulatorThread() {
  if (pthread_getcpuclockid(pthread_self(), &clock_) != 0) return;
  Accounts& accounts = TheAccounts();
  std::lock_guard lock(accounts.mutex);
  accounts.running.push_back(clock_);
  counted_ = true;
}

SimulatorThread::~SimulatorThread() {
  if (!counted_) return;
  Accounts& accounts = TheAccounts();
  std::lock_guard lock(accounts.mutex);
  accounts.ended += Nanoseconds(clock_);
  const auto found = std::find(accounts.running.begin(), accounts.running.end(), clock_);
  if (found != accounts.running.end()) accounts.running.erase(found);
}

}  // namespace quvex::sim
