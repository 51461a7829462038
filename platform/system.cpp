// system.cpp: memory totals, the counter and the environment on Linux.
#include "platform/system.h"

#include <sys/sysinfo.h>

#include <cstdlib>
#include <ctime>

int PLATFORM_MemoryStatus(PLATFORM_MEMORY* out) {
  out->physical_bytes = 0;
  out->swap_bytes = 0;
  struct sysinfo info;
  if (sysinfo(&info) != 0) return 0;
  // The totals count units of mem_unit bytes; multiplying in 64 bits keeps
  // large machines from wrapping.
  const int64_t unit = info.mem_unit == 0 ? 1 : static_cast<int64_t>(info.mem_unit);
  out->physical_bytes = static_cast<int64_t>(info.totalram) * unit;
  out->swap_bytes = static_cast<int64_t>(info.totalswap) * unit;
  return 1;
}

uint64_t PLATFORM_Counter() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

int PLATFORM_GetEnv(const char* name, std::string* out_value) {
  const char* value = std::getenv(name);
  if (value == nullptr) {
    out_value->clear();
    return 0;
  }
  *out_value = value;
  return 1;
}
