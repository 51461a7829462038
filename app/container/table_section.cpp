// table_section.cpp: the layouts and brackets of table sections.
#include "app/container/table_section.h"

#include <cstdio>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/container/table_file_io.h"
#include "platform/process.h"
#include "records/blobj.h"
#include "records/fields.h"
#include "records/kaspo.h"

namespace {
// Reads one "NAME,TYP,SIZE,IDX" item. Sizes and offsets must keep the
// field inside the record, or reading it would run past the record.
bool ParseField(const std::string& item, int record_size, SECTIONFIELD* out) {
  std::vector<char> name(item.size() + 1);
  char rest = 0;
  const int n = std::sscanf(item.c_str(), "%[^,],%d,%d,%d%c", name.data(), &out->type, &out->size,
                            &out->offset, &rest);
  if (n != 4) return false;
  out->name = name.data();
  return out->size >= 1 && out->size <= TABLEFILE_MAXFIELDSIZE && out->offset >= 0 &&
         out->offset <= record_size - out->size;
}
}  // namespace

SECTIONPARSE SECTION_Parse(const std::string& text, bool with_count, SECTIONLAYOUT* out) {
  *out = SECTIONLAYOUT{};
  const std::size_t bar = text.find('|');
  const std::string head = text.substr(0, bar);
  char rest = 0;
  const int n =
      with_count ? std::sscanf(head.c_str(), "%d,%d,%d%c", &out->count, &out->table_id,
                               &out->record_size, &rest)
                 : std::sscanf(head.c_str(), "%d,%d%c", &out->table_id, &out->record_size, &rest);
  if (n != (with_count ? 3 : 2) || out->record_size < 1 || out->count < 0 ||
      out->count > TABLEFILE_MAXRECORDS) {
    return SECTION_PARSE_TABLE;
  }
  for (std::size_t at = bar; at != std::string::npos;) {
    const std::size_t next = text.find('|', at + 1);
    const std::string item = text.substr(at + 1, next == std::string::npos ? next : next - at - 1);
    if (static_cast<int>(out->fields.size()) == TABLEFILE_MAXFIELDS) return SECTION_PARSE_TOO_MANY;
    SECTIONFIELD field;
    if (!ParseField(item, out->record_size, &field)) return SECTION_PARSE_FIELD;
    out->fields.push_back(field);
    at = next;
  }
  if (out->record_size > RECFIELD_SIZEMAX) return SECTION_PARSE_RECORD_SIZE;
  return SECTION_PARSE_OK;
}

void SECTION_BeginOrExit(DBHANDLE* handle) {
  if (dbbegin(handle)) return;
  CONSOLE_Error(SECTION_DBSYSERROR);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}

void SECTION_EndOrExit(DBHANDLE* handle) {
  if (dbend(handle)) return;
  CONSOLE_Error(SECTION_DBSYSERROR);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}

void SECTION_InitKaspo(RECORD_HEADER* r) { KASPO_Init(reinterpret_cast<KASPO*>(r)); }

void SECTION_InitBlobj(RECORD_HEADER* r) { BLOBJ_Init(reinterpret_cast<BLOBJ*>(r)); }
