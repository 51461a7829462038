// pages.cpp: blocks from mmap.
#include "platform/pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace {
// What a huge-page block asks for beyond its size, so that a boundary lies
// within it.
std::size_t Slack(std::size_t size) { return size >= PLATFORM_HUGEPAGE ? PLATFORM_HUGEPAGE : 0; }
}  // namespace

void PLATFORM_PAGESFREE::operator()(unsigned char* block) const {
  if (block != nullptr) munmap(block, size);
}

PLATFORM_PAGESPTR PLATFORM_PagesAlloc(std::size_t size) {
  const std::size_t slack = Slack(size);
  void* mapped =
      mmap(nullptr, size + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return PLATFORM_PAGESPTR(nullptr, PLATFORM_PAGESFREE{0});
  auto* start = static_cast<unsigned char*>(mapped);
  if (slack == 0) return PLATFORM_PAGESPTR(start, PLATFORM_PAGESFREE{size});
  // The parts before the boundary and after the block go back at once.
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  const std::size_t lead = (PLATFORM_HUGEPAGE - address % PLATFORM_HUGEPAGE) % PLATFORM_HUGEPAGE;
  if (lead > 0) munmap(start, lead);
  if (slack - lead > 0) munmap(start + lead + size, slack - lead);
  unsigned char* block = start + lead;
#ifdef MADV_HUGEPAGE
  (void)madvise(block, size, MADV_HUGEPAGE);
#endif
  return PLATFORM_PAGESPTR(block, PLATFORM_PAGESFREE{size});
}
