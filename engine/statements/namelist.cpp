// namelist.cpp: the list of short names.
#include "engine/statements/namelist.h"

#include <cstring>

#include "engine/types/alloc.h"

namespace {
// A name as the list holds it: cut to the entry size, so that adding and
// finding treat an overlong name alike.
size_t KeyLength(const char* name) { return strnlen(name, NAMELIST_NAMESIZE - 1); }

bool Holds(const std::array<char, NAMELIST_NAMESIZE>& entry, const char* name) {
  const size_t n = KeyLength(name);
  return std::strncmp(entry.data(), name, n) == 0 && entry[n] == '\0';
}
}  // namespace

void NAMELIST_Free(NAMELIST* list) { *list = NAMELIST{}; }

int NAMELIST_Add(NAMELIST* list, const char* name) {
  if (list->count >= list->capacity) {
    list->capacity = list->capacity < 0 ? NAMELIST_FIRST : list->capacity + NAMELIST_GROW;
    ALLOC_Resize(&list->names, list->capacity);
  }
  std::array<char, NAMELIST_NAMESIZE>& entry = list->names[list->count];
  entry.fill('\0');
  if (name != nullptr) std::memcpy(entry.data(), name, KeyLength(name));
  return list->count++;
}

int NAMELIST_Find(const NAMELIST& list, const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < list.count; ++i) {
    if (Holds(list.names[i], name)) return i;
  }
  return -1;
}

int NAMELIST_FindOrAdd(NAMELIST* list, const char* name) {
  const int found = NAMELIST_Find(*list, name);
  return found >= 0 ? found : NAMELIST_Add(list, name);
}

const char* NAMELIST_Get(const NAMELIST& list, int i) {
  if (i < 0 || i >= list.count || list.names[i][0] == '\0') return nullptr;
  return list.names[i].data();
}

int NAMELIST_Delete(NAMELIST* list, int i) {
  if (i < 0 || i >= list->count) return 0;
  list->names[i] = list->names[list->count - 1];
  --list->count;
  return 1;
}
