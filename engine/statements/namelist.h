// namelist.h: a list of names of at most 31 characters (NAMELIST), used by
// UPDATE, DELETE and SELECT for attribute and table names.
// Owns its entries (32 bytes each, the name and its NUL).
#pragma once

#include <array>
#include <vector>

#include "engine/catalog/limits.h"

inline constexpr int NAMELIST_NAMESIZE = 32;  // entry bytes; longer names are cut to 31
// An entry holds any name the catalogue can.
static_assert(NAMELIST_NAMESIZE == DB_NAMESIZE);
inline constexpr int NAMELIST_FIRST = 100;  // entries taken by the first add
inline constexpr int NAMELIST_GROW = 1000;  // a full list grows by this

struct NAMELIST {
  int count = 0;
  int capacity = -1;  // -1 until the first add
  std::vector<std::array<char, NAMELIST_NAMESIZE>> names;
};

// Releases the entries; the list is then as new.
void NAMELIST_Free(NAMELIST* list);

// Appends `name` (an empty entry for null) and returns its index.
int NAMELIST_Add(NAMELIST* list, const char* name);

// Index of `name`, or -1 (always -1 for null).
int NAMELIST_Find(const NAMELIST& list, const char* name);

// Index of `name`, added first when it is not in the list.
int NAMELIST_FindOrAdd(NAMELIST* list, const char* name);

// Entry i, or null for an empty entry or an index outside the list.
const char* NAMELIST_Get(const NAMELIST& list, int i);

// Removes entry i: the last entry moves into its slot. Returns 0 for an
// index outside the list.
int NAMELIST_Delete(NAMELIST* list, int i);
