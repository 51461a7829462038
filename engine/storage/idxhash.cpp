// idxhash.cpp: the hash index of UNIQUE indexes and the unique check.
#include "engine/storage/idxhash.h"

#include <algorithm>
#include <cstring>

#include "engine/types/alloc.h"
#include "engine/types/values.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {
constexpr char kTooSmall[] = "(IDXHASH_New) Warning: HashSize %d is too small (11 used)\n";

constexpr uint32_t kFnvBasis = 2166136261U;
constexpr uint32_t kFnvPrime = 16777619U;

constexpr int kCapacityWord = 0;
constexpr int kNextWord = 1;
constexpr int kFirstRowWord = 2;

std::unique_ptr<int32_t[]> NewWords(int n) {
  return ALLOC_Make([n] { return std::make_unique<int32_t[]>(n); });
}

// The bytes of a BINARY field that carry its value: the length word and
// `length` bytes. Bytes past the length are left over from earlier values
// of a reused row, so they must not decide whether two keys are equal.
int BinaryExtent(int size, const unsigned char* field) {
  if (size < 2) return size;
  int16_t length = 0;
  std::memcpy(&length, field, sizeof length);
  return 2 + std::clamp<int>(length, 0, size - 2);
}

// Words of the field XORed in, then the bytes from the last word's start to
// the end added; a field of at most three bytes adds its bytes only.
uint32_t WordsAndBytes(uint32_t h, int size, const unsigned char* field) {
  const int m = size - 3;
  int last_word = 0;
  if (m < 1) {
    last_word = 0;
  } else {
    for (int w = 0; w < m; w += 4) {
      uint32_t word = 0;
      std::memcpy(&word, field + w, sizeof word);
      h ^= word;
      last_word = w;
    }
  }
  for (int i = last_word; i < size; ++i) h += field[i];
  return h;
}

// Text equality within a field of `size` bytes with trailing blanks ignored;
// a field without NUL ends at its size.
bool TextEqual(const unsigned char* a, const unsigned char* b, int size) {
  int i = 0;
  while (i < size && a[i] != 0 && a[i] == b[i]) ++i;
  if (i == size) return true;
  auto rest_blank = [size, i](const unsigned char* t) {
    int j = i;
    while (j < size && t[j] == ' ') ++j;
    return j == size || t[j] == 0;
  };
  return rest_blank(a) && rest_blank(b);
}

// The length of a text without its trailing blanks: texts that compare
// equal (TextEqual) have the same trimmed bytes, so hashing only those keeps
// equal keys in one bucket. A field without NUL ends at its size.
int TrimmedTextLength(int size, const unsigned char* field) {
  int end = 0;
  while (end < size && field[end] != 0) ++end;
  while (end > 0 && field[end - 1] == ' ') --end;
  return end;
}

// FNV-1a over the bytes: every byte and its position change the hash, so
// keys that are permutations of one another or share their letters spread
// over the buckets instead of piling into a few of them.
uint32_t TextHash(uint32_t h, int length, const unsigned char* text) {
  h ^= kFnvBasis;
  for (int i = 0; i < length; ++i) h = (h ^ text[i]) * kFnvPrime;
  return h;
}

// A final avalanche, so that keys differing only in their low bits (counts,
// dates) still reach every bucket of a prime-sized table evenly.
uint32_t Mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6BU;
  h ^= h >> 13;
  h *= 0xC2B2AE35U;
  h ^= h >> 16;
  return h;
}

bool FieldEqual(const IDXKEYATTR& attr, const unsigned char* a, const unsigned char* b) {
  if (attr.type == DBTYPE_CHARACTER) return TextEqual(a, b, attr.size);
  int extent = attr.size;
  if (attr.type == DBTYPE_BINARY) {
    extent = BinaryExtent(attr.size, a);
    if (extent != BinaryExtent(attr.size, b)) return false;
  }
  return std::memcmp(a, b, extent) == 0;
}
}  // namespace

void IDXHASH_New(IDXHASH* index, int hash_size) {
  if (hash_size < IDXHASH_MINSIZE) {
    DBreport(kTooSmall, hash_size);
    hash_size = IDXHASH_MINSIZE;
  }
  index->buckets.clear();
  ALLOC_Resize(&index->buckets, hash_size);
  index->hash_size = hash_size;
  index->entries = 0;
}

void IDXHASH_Insert(IDXHASH* index, uint32_t hash, int row) {
  // A freed index has no buckets to take the modulo over.
  if (index->hash_size <= 0) IDXHASH_New(index, IDXHASH_MINSIZE);
  std::unique_ptr<int32_t[]>& bucket = index->buckets[hash % uint32_t(index->hash_size)];
  if (bucket == nullptr) {
    bucket = NewWords(IDXHASH_FIRSTWORDS);
    bucket[kCapacityWord] = IDXHASH_FIRSTWORDS;
    bucket[kNextWord] = kFirstRowWord;
  }
  if (bucket[kNextWord] == bucket[kCapacityWord]) {
    const int32_t capacity = 2 * bucket[kCapacityWord];
    std::unique_ptr<int32_t[]> grown = NewWords(capacity);
    std::copy_n(bucket.get(), bucket[kNextWord], grown.get());
    grown[kCapacityWord] = capacity;
    bucket = std::move(grown);
  }
  bucket[bucket[kNextWord]++] = row;
  ++index->entries;
}

int IDXHASH_Delete(IDXHASH* index, uint32_t hash, int row) {
  if (index->hash_size <= 0) return 0;
  int32_t* bucket = index->buckets[hash % uint32_t(index->hash_size)].get();
  if (bucket == nullptr) return 0;
  for (int32_t i = kFirstRowWord; i < bucket[kNextWord]; ++i) {
    if (bucket[i] == row) {
      bucket[i] = bucket[--bucket[kNextWord]];
      --index->entries;
      return 1;
    }
  }
  return 0;
}

void IDXHASH_Lookup(const IDXHASH& index, uint32_t hash, const int32_t** out_rows, int* out_count) {
  *out_rows = nullptr;
  *out_count = 0;
  if (index.hash_size <= 0) return;
  const int32_t* bucket = index.buckets[hash % uint32_t(index.hash_size)].get();
  if (bucket == nullptr) return;
  *out_rows = bucket + kFirstRowWord;
  *out_count = bucket[kNextWord] - kFirstRowWord;
}

void IDXHASH_Clear(IDXHASH* index) {
  for (auto& bucket : index->buckets) {
    if (bucket != nullptr) bucket[kNextWord] = kFirstRowWord;
  }
  index->entries = 0;
}

void IDXHASH_Free(IDXHASH* index) {
  index->buckets.clear();
  index->buckets.shrink_to_fit();
  index->hash_size = -1;
  index->entries = 0;
}

uint32_t IDXHASH_FieldHash(uint32_t h, int type, int size, const unsigned char* field) {
  if (type == DBTYPE_CHARACTER) return Mix(TextHash(h, TrimmedTextLength(size, field), field));
  if (type == DBTYPE_BINARY) return Mix(WordsAndBytes(h, BinaryExtent(size, field), field));
  return Mix(WordsAndBytes(h, size, field));
}

uint32_t IDXHASH_KeyHash(const IDXKEY& key, const unsigned char* row) {
  uint32_t h = 0;
  for (const IDXKEYATTR& attr : key.attrs)
    h = IDXHASH_FieldHash(h, attr.type, attr.size, row + attr.offset);
  return h;
}

int IDXHASH_KeyEqual(const IDXKEY& key, const unsigned char* a, const unsigned char* b) {
  for (const IDXKEYATTR& attr : key.attrs) {
    if (!FieldEqual(attr, a + attr.offset, b + attr.offset)) return 0;
  }
  return 1;
}

int IDXHASH_UniqueOk(std::span<IDXUNIQUE* const> indexes, const IDXROWS& rows, int row) {
  const unsigned char* data = rows.row_data(rows.ctx, row);
  for (const IDXUNIQUE* index : indexes) {
    const int32_t* bucket = nullptr;
    int count = 0;
    IDXHASH_Lookup(index->hash, IDXHASH_KeyHash(index->key, data), &bucket, &count);
    for (int i = 0; i < count; ++i) {
      if (bucket[i] == row) continue;
      if (IDXHASH_KeyEqual(index->key, data, rows.row_data(rows.ctx, bucket[i]))) return 0;
    }
  }
  return 1;
}

int IDXHASH_AddRow(std::span<IDXUNIQUE* const> indexes, const IDXROWS& rows, int row,
                   int timestamp) {
  const int one[] = {row};
  return IDXHASH_AddRows(indexes, rows, one, timestamp);
}

int IDXHASH_AddRows(std::span<IDXUNIQUE* const> indexes, const IDXROWS& rows,
                    std::span<const int> row_numbers, int timestamp) {
  bool overfull = false;
  for (IDXUNIQUE* index : indexes) {
    for (const int row : row_numbers) {
      IDXHASH_Insert(&index->hash, IDXHASH_KeyHash(index->key, rows.row_data(rows.ctx, row)), row);
    }
    if (index->hash.hash_size < IDXHASH_MAXSIZE && index->hash.entries > index->hash.hash_size) {
      overfull = true;
    }
  }
  if (!overfull) return 0;
  // Only the two larger sizes are ever used after the first resize, so a
  // bulk load rehashes at most twice.
  for (IDXUNIQUE* index : indexes) {
    const int size = index->hash.entries < IDXHASH_MIDSIZE ? IDXHASH_MIDSIZE : IDXHASH_MAXSIZE;
    IDXHASH_Rebuild(index, rows, size, timestamp);
  }
  return 1;
}

void IDXHASH_RemoveRow(std::span<IDXUNIQUE* const> indexes, const IDXROWS& rows, int row) {
  const unsigned char* data = rows.row_data(rows.ctx, row);
  for (IDXUNIQUE* index : indexes) {
    if (!IDXHASH_Delete(&index->hash, IDXHASH_KeyHash(index->key, data), row)) {
      PLATFORM_FatalExit();
    }
  }
}

void IDXHASH_Rebuild(IDXUNIQUE* index, const IDXROWS& rows, int hash_size, int timestamp) {
  IDXHASH_Free(&index->hash);
  IDXHASH_New(&index->hash, hash_size);
  int cursor = rows.first(rows.ctx);
  for (int row = rows.next(rows.ctx, timestamp, &cursor); row >= 0;
       row = rows.next(rows.ctx, timestamp, &cursor)) {
    IDXHASH_Insert(&index->hash, IDXHASH_KeyHash(index->key, rows.row_data(rows.ctx, row)), row);
  }
}
