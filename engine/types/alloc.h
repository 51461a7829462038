// alloc.h: the engine's allocation rules.
// Owns the size classes of engine allocations and the out-of-memory path:
// the message "(TARVIC) Out of memory!\n" and the handler the engine
// registers to end the process cleanly (closing the request channel).
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

// Small requests are raised to these classes so that freed blocks of one
// class fit any later request of the same class; 1024 bytes and more are
// taken as asked.
inline constexpr std::size_t ALLOC_CLASS_MIN = 32;      // below 32 -> 32
inline constexpr std::size_t ALLOC_CLASS_LIMIT = 1024;  // from here: unchanged

// The size an engine allocation of `n` bytes really takes:
// <32 -> 32, 32..127 -> 128, 128..255 -> 256, 256..511 -> 512,
// 512..1023 -> 1024, larger unchanged.
std::size_t ALLOC_SizeClass(std::size_t n);

// Called with 1 after the out-of-memory message. REQUIRES: must not
// return (it ends the process); if it does, the process exits with 1.
using AllocFailHandler = void (*)(int status);
void ALLOC_SetFailHandler(AllocFailHandler handler);

// Prints "(TARVIC) Out of memory!\n" and ends the process through the
// registered handler, or with exit status 1 when none is registered.
[[noreturn]] void ALLOC_Fail();

// Runs `make` (a std::make_unique call) and returns its result; out of
// memory ends the process through ALLOC_Fail instead of throwing into code
// that cannot recover.
template <typename Make>
auto ALLOC_Make(Make make) -> decltype(make()) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    ALLOC_Fail();
  }
}

// Resizes an engine-owned vector; out of memory ends the process through
// ALLOC_Fail instead of throwing into code that cannot recover.
template <typename T>
void ALLOC_Resize(std::vector<T>* v, std::size_t n) {
  try {
    v->resize(n);
  } catch (const std::bad_alloc&) {
    ALLOC_Fail();
  } catch (const std::length_error&) {
    ALLOC_Fail();
  }
}

// Reserves room for `n` elements, with the same out-of-memory rule.
template <typename T>
void ALLOC_Reserve(std::vector<T>* v, std::size_t n) {
  try {
    v->reserve(n);
  } catch (const std::bad_alloc&) {
    ALLOC_Fail();
  } catch (const std::length_error&) {
    ALLOC_Fail();
  }
}

// Restores the start state (no handler). Tests only.
void ALLOC_ResetForTest();
