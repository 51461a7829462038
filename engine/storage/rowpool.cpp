// rowpool.cpp: row slots, their lists and the row iterator.
#include "engine/storage/rowpool.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "engine/types/alloc.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kChangeError[] = "(KASPO_Change) Error\n";

// Rows start at multiples of 8 within a block, whatever their size.
size_t RowStride(const ROWPOOL& pool) { return (size_t(pool.row_size) + 7) & ~size_t(7); }

// Rows in data block `block`: a small first block, so that a table of a
// few rows stays small, then blocks of about ROWPOOL_BLOCKBYTES.
size_t BlockRows(const ROWPOOL& pool, size_t block) {
  if (block == 0) return size_t(ROWPOOL_FIRSTSLOTS);
  return std::max<size_t>(1, size_t(ROWPOOL_BLOCKBYTES) / RowStride(pool));
}

// Zeroed bytes for one new row, cut from the last data block.
unsigned char* NewRowBytes(ROWPOOL* pool) {
  const size_t stride = RowStride(*pool);
  if (pool->block_rows_left == 0) {
    const size_t rows = BlockRows(*pool, pool->blocks.size());
    ALLOC_Reserve(&pool->blocks, pool->blocks.size() + 1);
    // Pages come zeroed from the system; every later block fills whole
    // huge pages.
    const size_t bytes = pool->blocks.empty() ? rows * stride
                                              : (rows * stride + PLATFORM_HUGEPAGE - 1) /
                                                    PLATFORM_HUGEPAGE * PLATFORM_HUGEPAGE;
    PLATFORM_PAGESPTR block = PLATFORM_PagesAlloc(bytes);
    if (block == nullptr) ALLOC_Fail();
    pool->blocks.push_back(std::move(block));
    pool->block_rows_left = int32_t(rows);
  }
  const size_t used = BlockRows(*pool, pool->blocks.size() - 1) - size_t(pool->block_rows_left);
  --pool->block_rows_left;
  return pool->blocks.back().get() + used * stride;
}

// Takes a slot from the free list, or appends one with a fresh buffer.
// The slot comes back with all links and timestamps cleared.
int TakeSlot(ROWPOOL* pool) {
  int number = pool->free_head;
  if (number >= 0) {
    ROWSLOT& slot = pool->slots[number];
    pool->free_head = slot.next;
    if (pool->free_head >= 0) pool->slots[pool->free_head].prev = -1;
  } else {
    if (pool->slots.size() == pool->slots.capacity()) {
      size_t grow = pool->slots.empty() ? ROWPOOL_FIRSTSLOTS : ROWPOOL_GROWSLOTS;
      ALLOC_Reserve(&pool->slots, pool->slots.capacity() + grow);
      ALLOC_Reserve(&pool->row_data, pool->slots.capacity());
    }
    number = static_cast<int>(pool->slots.size());
    pool->slots.emplace_back();
    pool->row_data.push_back(pool->row_size > 0 ? NewRowBytes(pool) : nullptr);
  }
  ROWSLOT& slot = pool->slots[number];
  slot.insert_ts = slot.delete_ts = slot.update_ts = -1;
  slot.prev = slot.next = slot.base = slot.changed = -1;
  slot.file_ordinal = -1;
  return number;
}

void PushHead(ROWPOOL* pool, int number) {
  ROWSLOT& slot = pool->slots[number];
  slot.prev = -1;
  slot.next = pool->head;
  if (pool->head >= 0) pool->slots[pool->head].prev = number;
  pool->head = number;
}

}  // namespace

void ROWPOOL_Init(ROWPOOL* pool, int row_size) {
  pool->slots.clear();
  pool->slots.shrink_to_fit();
  pool->row_data.clear();
  pool->row_data.shrink_to_fit();
  pool->blocks.clear();
  pool->blocks.shrink_to_fit();
  pool->block_rows_left = 0;
  pool->head = pool->free_head = pool->cursor = -1;
  pool->row_size = row_size;
}

int RowPool_NewSlot(ROWPOOL* pool, int insert_ts) {
  int number = TakeSlot(pool);
  pool->slots[number].insert_ts = insert_ts;
  PushHead(pool, number);
  return number;
}

void ROWPOOL_Unlink(ROWPOOL* pool, int number) {
  ROWSLOT& slot = pool->slots[number];
  if (slot.prev >= 0) {
    pool->slots[slot.prev].next = slot.next;
  } else if (pool->head == number) {
    pool->head = slot.next;
  }
  if (slot.next >= 0) pool->slots[slot.next].prev = slot.prev;
  // An iteration standing on the unlinked row continues after it.
  if (pool->cursor == number) pool->cursor = slot.next;
  slot.prev = slot.next = -1;
}

void ROWPOOL_Promote(ROWPOOL* pool, int base, int version) {
  ROWSLOT& b = pool->slots[base];
  ROWSLOT& c = pool->slots[version];
  c.prev = b.prev;
  c.next = b.next;
  c.base = -1;
  if (c.prev >= 0) {
    pool->slots[c.prev].next = version;
  } else {
    pool->head = version;
  }
  if (c.next >= 0) pool->slots[c.next].prev = version;
  if (pool->cursor == base) pool->cursor = version;
  b.prev = b.next = -1;
  b.changed = -1;
}

void ROWPOOL_PushFree(ROWPOOL* pool, int number) {
  ROWSLOT& slot = pool->slots[number];
  slot.prev = -1;
  slot.next = pool->free_head;
  if (pool->free_head >= 0) pool->slots[pool->free_head].prev = number;
  pool->free_head = number;
}

void RowPool_FreeSlot(ROWPOOL* pool, int number) {
  ROWSLOT& slot = pool->slots[number];
  if (slot.base >= 0) {
    pool->slots[slot.base].changed = -1;
    slot.base = -1;
  } else if (slot.changed >= 0) {
    ROWPOOL_Promote(pool, number, slot.changed);
  } else {
    ROWPOOL_Unlink(pool, number);
  }
  ROWPOOL_PushFree(pool, number);
}

void RowPool_First(ROWPOOL* pool) { pool->cursor = pool->head; }

int RowPool_Next(ROWPOOL* pool, int timestamp) {
  return ROWPOOL_NextFrom(*pool, timestamp, &pool->cursor);
}

int KASPO_Change(ROWPOOL* pool, int number, int timestamp) {
  if (pool->slots[number].base >= 0) {
    pool->slots[number].update_ts = timestamp;
    return number;
  }
  if (pool->slots[number].changed >= 0) {
    DBreport(kChangeError);
    PLATFORM_Exit(1);
  }
  int version = TakeSlot(pool);  // may move the slot array
  ROWSLOT& c = pool->slots[version];
  ROWSLOT& r = pool->slots[number];
  if (pool->row_size > 0) {
    std::memcpy(pool->row_data[size_t(version)], pool->row_data[size_t(number)],
                size_t(pool->row_size));
  }
  c.update_ts = timestamp;
  c.base = number;
  r.changed = version;
  return version;
}

unsigned char* ROWPOOL_Data(ROWPOOL* pool, int number) {
  assert(number >= 0 && number < static_cast<int>(pool->slots.size()));
  return pool->row_data[size_t(number)];
}

const unsigned char* ROWPOOL_Data(const ROWPOOL& pool, int number) {
  assert(number >= 0 && number < static_cast<int>(pool.slots.size()));
  return pool.row_data[size_t(number)];
}

namespace {
const unsigned char* RowsData(void* ctx, int row) {
  return ROWPOOL_Data(*static_cast<const ROWPOOL*>(ctx), row);
}
int RowsFirst(void* ctx) { return static_cast<const ROWPOOL*>(ctx)->head; }
int RowsNext(void* ctx, int timestamp, int* cursor) {
  return ROWPOOL_NextFrom(*static_cast<const ROWPOOL*>(ctx), timestamp, cursor);
}
}  // namespace

IDXROWS ROWPOOL_Rows(ROWPOOL* pool) {
  IDXROWS rows;
  rows.ctx = pool;
  rows.row_data = RowsData;
  rows.first = RowsFirst;
  rows.next = RowsNext;
  return rows;
}

int ROWPOOL_LiveCount(const ROWPOOL& pool) {
  int count = 0;
  for (int s = pool.head; s >= 0; s = pool.slots[s].next) ++count;
  return count;
}
