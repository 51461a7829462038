// system.h: facts about the machine and the process environment (PLATFORM).
// Owns nothing; every call asks the operating system afresh. Any thread,
// but PLATFORM_GetEnv reads the environment, which only the main thread
// may change.
#pragma once

#include <cstdint>
#include <string>

// Sizes in bytes, 64-bit so that machines with more than 2 GiB report
// truly; a caller that wants a smaller width narrows it itself.
struct PLATFORM_MEMORY {
  int64_t physical_bytes;  // installed main memory
  int64_t swap_bytes;      // configured swap space (0 without any)
};

// Reads the totals (not what is free). Returns 0 if the system will not
// say; `out` is then zero.
[[nodiscard]] int PLATFORM_MemoryStatus(PLATFORM_MEMORY* out);

// A counter of nanoseconds from an arbitrary start that never goes back.
// Its low 32 bits change between any two calls a microsecond apart, which
// is what a seed drawn from it needs.
[[nodiscard]] uint64_t PLATFORM_Counter();

// Looks up an environment variable. Returns 1 and its value (which may be
// empty) when it is set, 0 when it is not; `out_value` is then empty.
[[nodiscard]] int PLATFORM_GetEnv(const char* name, std::string* out_value);
