// idxarray.cpp: the name index of catalogue objects.
#include "engine/storage/idxarray.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "engine/types/alloc.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {
constexpr char kNameNotDefined[] = "(IDXARRAY_Add) Name not defined\n";
constexpr char kInvalidName[] = "(IDXARRAY_Add) Invalid name '%s'\n";
constexpr char kIndexNotFound[] = "(IDXARRAY_Delete) Index not found\n";

// Names arrive cut to the field: both Add and Find see the same key.
std::string_view Key(std::string_view name) {
  return name.substr(0, std::min<std::size_t>(name.size(), IDXARRAY_NAMESIZE - 1));
}

constexpr int kOwnChain = IDXARRAY_ROWS * IDXARRAY_COLUMNS;

// The chain head of a name of at least two characters. Characters the
// table has no place for send the name to the extra chain rather than to
// a head computed from an arbitrary byte.
int HeadOf(std::string_view key) {
  const char first = key[0];
  const char second = key[1];
  if (first < 'A' || first > 'Z') return kOwnChain;
  int column = -1;
  if (second >= 'A' && second <= 'Z') column = second - 'A';
  if (second >= '0' && second <= '9') column = second - 23;
  if (second == '_') column = 36;
  if (column < 0) return kOwnChain;
  return (first - 'A') * IDXARRAY_COLUMNS + column;
}

bool NameIs(const IDXENTRY& entry, std::string_view key) {
  return std::strlen(entry.name) == key.size() &&
         std::memcmp(entry.name, key.data(), key.size()) == 0;
}

// Takes a fresh chain block holding `number` alone; returns its number.
int32_t NewBlock(IDXARRAY* array, int number) {
  if (array->block_count >= array->block_capacity) {
    array->block_capacity = array->block_capacity < 0 ? IDXARRAY_FIRSTBLOCKS
                                                      : array->block_capacity + IDXARRAY_GROWBLOCKS;
    ALLOC_Resize(&array->blocks, array->block_capacity);
  }
  const int32_t b = array->block_count++;
  array->blocks[b].fill(IDXARRAY_CHAIN_END);
  array->blocks[b][0] = number;
  return b;
}

// Links entry `number` into chain `head`: into the first deleted word met,
// else after the last entry, taking a new block when the last one is full.
void Link(IDXARRAY* array, int head, int number) {
  if (array->heads[head] == IDXARRAY_CHAIN_END) {
    const int32_t b = NewBlock(array, number);
    array->heads[head] = b;
    return;
  }
  int32_t b = array->heads[head];
  for (;;) {
    auto& words = array->blocks[b];
    for (int w = 0; w < IDXARRAY_BLOCKWORDS - 1; ++w) {
      if (words[w] == IDXARRAY_CHAIN_DELETED || words[w] == IDXARRAY_CHAIN_END) {
        words[w] = number;
        return;
      }
    }
    if (words[IDXARRAY_BLOCKWORDS - 1] == IDXARRAY_CHAIN_END) {
      const int32_t fresh = NewBlock(array, number);  // may move the blocks
      array->blocks[b][IDXARRAY_BLOCKWORDS - 1] = fresh;
      return;
    }
    b = words[IDXARRAY_BLOCKWORDS - 1];
  }
}

// The chain word holding entry `number` (or, with number < 0, the word of
// the entry named `key`), as block and word; 0 when the chain has none.
int FindWord(const IDXARRAY& array, std::string_view key, int number, int32_t* out_block,
             int* out_word) {
  if (key.size() < 2 || array.block_count <= 0) return 0;
  int32_t b = array.heads[HeadOf(key)];
  while (b != IDXARRAY_CHAIN_END) {
    const auto& words = array.blocks[b];
    for (int w = 0; w < IDXARRAY_BLOCKWORDS - 1; ++w) {
      const int32_t e = words[w];
      if (e == IDXARRAY_CHAIN_END) return 0;
      if (e == IDXARRAY_CHAIN_DELETED) continue;
      if (number >= 0 ? e == number : NameIs(array.entries[e], key)) {
        *out_block = b;
        *out_word = w;
        return 1;
      }
    }
    b = words[IDXARRAY_BLOCKWORDS - 1];
  }
  return 0;
}
}  // namespace

void IDXARRAY_Init(IDXARRAY* array) { *array = IDXARRAY{}; }

void IDXARRAY_Free(IDXARRAY* array) { *array = IDXARRAY{}; }

int IDXARRAY_Add(IDXARRAY* array, std::string_view name, void* object) {
  if (name.empty()) {
    DBreport("%s", kNameNotDefined);
    PLATFORM_Exit(1);
  }
  if (name.size() < 2) {
    DBreport(kInvalidName, std::string(name).c_str());
    PLATFORM_Exit(1);
  }
  if (array->count >= array->capacity) {
    array->capacity =
        array->capacity < 0 ? IDXARRAY_FIRSTENTRIES : array->capacity + IDXARRAY_GROWENTRIES;
    ALLOC_Resize(&array->entries, array->capacity);
  }
  const int number = array->count++;
  IDXENTRY& entry = array->entries[number];
  const std::string_view key = Key(name);
  std::memset(entry.name, 0, sizeof entry.name);
  std::memcpy(entry.name, key.data(), key.size());
  entry.object = object;
  Link(array, HeadOf(key), number);
  return number;
}

const IDXENTRY* IDXARRAY_Find(const IDXARRAY& array, std::string_view name, int* out_number) {
  int32_t block = 0;
  int word = 0;
  if (!FindWord(array, Key(name), -1, &block, &word)) return nullptr;
  const int32_t number = array.blocks[block][word];
  if (out_number != nullptr) *out_number = number;
  return &array.entries[number];
}

IDXENTRY* IDXARRAY_Find(IDXARRAY* array, std::string_view name, int* out_number) {
  return const_cast<IDXENTRY*>(IDXARRAY_Find(std::as_const(*array), name, out_number));
}

void IDXARRAY_Delete(IDXARRAY* array, int number) {
  int32_t block = 0;
  int word = 0;
  if (number < 0 || number >= array->count ||
      !FindWord(*array, array->entries[number].name, number, &block, &word)) {
    DBreport("%s", kIndexNotFound);
    PLATFORM_Exit(1);
  }
  array->blocks[block][word] = IDXARRAY_CHAIN_DELETED;
  std::memset(array->entries[number].name, 0, IDXARRAY_NAMESIZE);
}

const IDXENTRY* IDXARRAY_Get(const IDXARRAY& array, int i) {
  if (i < 0 || i >= array.count || array.entries[i].name[0] == '\0') return nullptr;
  return &array.entries[i];
}

IDXENTRY* IDXARRAY_Get(IDXARRAY* array, int i) {
  return const_cast<IDXENTRY*>(IDXARRAY_Get(std::as_const(*array), i));
}

int IDXARRAY_Count(const IDXARRAY& array) {
  int live = 0;
  for (int i = 0; i < array.count; ++i) live += array.entries[i].name[0] != '\0';
  return live;
}

IDXENTRY* IDXARRAY_First(IDXARRAY* array, int* out_number) {
  array->cursor = 0;
  return IDXARRAY_Next(array, out_number);
}

IDXENTRY* IDXARRAY_Next(IDXARRAY* array, int* out_number) {
  while (array->cursor < array->count) {
    const int i = array->cursor++;
    if (array->entries[i].name[0] != '\0') {
      if (out_number != nullptr) *out_number = i;
      return &array->entries[i];
    }
  }
  return nullptr;
}
