// pages.h: large zeroed blocks of memory taken straight from the system
// (PLATFORM_PAGES). Owns each block from PLATFORM_PagesAlloc until its
// PLATFORM_PAGESPTR lets it go. Any thread.
//
// A block's pages cost nothing until first written, and then come zeroed
// from the system: a block need not be cleared ahead of its use, which
// would touch every page twice. Blocks of PLATFORM_HUGEPAGE bytes and more
// lie on a PLATFORM_HUGEPAGE boundary and ask for huge pages, so that
// filling them takes one fault per huge page instead of one per page.
#pragma once

#include <cstddef>
#include <memory>

// The huge page size asked for, where the system has them.
inline constexpr std::size_t PLATFORM_HUGEPAGE = std::size_t{2} << 20;

struct PLATFORM_PAGESFREE {
  std::size_t size = 0;
  void operator()(unsigned char* block) const;
};
using PLATFORM_PAGESPTR = std::unique_ptr<unsigned char[], PLATFORM_PAGESFREE>;

// A zeroed block of `size` bytes (size > 0); null when the system has no
// memory left.
[[nodiscard]] PLATFORM_PAGESPTR PLATFORM_PagesAlloc(std::size_t size);
