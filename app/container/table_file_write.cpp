// table_file_write.cpp: writing table sections and the group.
#include "app/container/table_file_io.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/container/table_section.h"
#include "platform/files.h"
#include "platform/newfile.h"
#include "platform/terminal.h"
#include "records/blobj.h"
#include "records/chunk_walk.h"
#include "records/fields.h"
#include "records/kaspo.h"
#include "records/kfacts.h"

namespace {
constexpr char kSaveSyntaxTable[] = "(TABLE_File_Save) Syntax error in definition 'TBL,SIZE'!\n";
constexpr char kSaveSyntaxField[] = "(TABLE_File_Save) Syntax error 'NAME,TYP,SIZE,IDX'!\n";
constexpr char kSaveNoFields[] = "(TABLE_File_Save) No attributes!\n";
constexpr char kSaveSelect[] = "(TABLE_File_Save) Error in DB-Select!\n";
constexpr char kSaveOddSize[] = "(TABLE_File_Save) Warning: Struct not initialized (size %d)???\n";
constexpr char kSaveTooMany[] = "(TABLE_File_Save) Too many records for one section (max = %d)!\n";
constexpr char kSaveWrite[] = "(TABLE_File_Save) Error writing file!\n";
constexpr char kRemovedStale[] = "removed left-over file '%s'\n";
constexpr char kCannotWrite[] = "(dbio) Cannot open file '%s' for output!\n";
constexpr char kCannotReplace[] = "(dbio) Cannot replace file '%s'!\n";
constexpr char kOwnerNotKept[] = "warning: owner and group of kaspo-db '%s' not kept!\n";

constexpr char kCountFormat[] = "%05d";
constexpr int kCountWidth = 5;

// The record as it goes into the file: only the descriptor's fields, and
// of a text or binary value only its meaningful bytes.
void CanonicalRecord(const SECTIONLAYOUT& layout, const unsigned char* record,
                     std::vector<unsigned char>* out) {
  out->assign(static_cast<std::size_t>(layout.record_size), 0);
  for (const SECTIONFIELD& f : layout.fields) {
    const unsigned char* from = record + f.offset;
    std::size_t n = static_cast<std::size_t>(f.size);
    if (f.type == RECFIELD_STRING) {
      n = strnlen(reinterpret_cast<const char*>(from), n);
    } else if (f.type == RECFIELD_BINARY && f.size >= 2) {
      uint16_t length = 0;
      std::memcpy(&length, from, sizeof length);
      n = std::min<std::size_t>(n, 2u + length);
    }
    std::memcpy(out->data() + f.offset, from, n);
  }
}

// Fetches and writes every row; *out_count is how many. False after
// printing why.
bool WriteRows(DBHANDLE* handle, FILE* file, const SECTIONLAYOUT& layout, RECORD_HEADER* record,
               TABLEFILE_InitFn init, TABLEFILE_RowFn fetch, void* context, int* out_count) {
  std::vector<unsigned char> bytes;
  *out_count = 0;
  for (init(record); fetch(record, handle, context); init(record)) {
    if (*out_count == TABLEFILE_MAXRECORDS) {
      CONSOLE_Error(kSaveTooMany, TABLEFILE_MAXRECORDS);
      return false;
    }
    if (layout.record_size > RECFIELD_SIZEMAX) CONSOLE_Error(kSaveOddSize, layout.record_size);
    CanonicalRecord(layout, reinterpret_cast<const unsigned char*>(record), &bytes);
    if (!PLATFORM_Write(file, bytes.data(), bytes.size())) {
      CONSOLE_Error(kSaveWrite);
      return false;
    }
    ++*out_count;
  }
  // The end of the rows leaves no collected text; an error does, and a
  // section without the rest of the rows would lose them.
  if (DBHANDLE_ErrorText().empty()) return true;
  APPDB_Report(kSaveSelect);
  return false;
}

// Puts the record count into the section's first five bytes.
bool WriteCount(FILE* file, long start, int count) {
  char digits[kCountWidth + 1];
  std::snprintf(digits, sizeof digits, kCountFormat, count);
  const long end = std::ftell(file);
  return end >= 0 && std::fseek(file, start, SEEK_SET) == 0 &&
         PLATFORM_Write(file, digits, kCountWidth) && std::fseek(file, end, SEEK_SET) == 0;
}

// ---------------------------------------------------------------------------
// The two modules of the group

int SelectKaspo(RECORD_HEADER* r, DBHANDLE* h, void* /*context*/) {
  return KASPO_Select_Seq(reinterpret_cast<KASPO*>(r), h);
}
// The context of the items' walk keeps their keys: the facts of an item
// that is gone are not written.
int FetchKaspo(RECORD_HEADER* r, DBHANDLE* h, void* context) {
  auto* item = reinterpret_cast<KASPO*>(r);
  if (!KASPO_Fetch_Seq(item, h)) return 0;
  static_cast<std::unordered_set<std::string>*>(context)->insert(RECFIELD_Text(item->kaspo_id));
  return 1;
}
// The chunks are walked by key (the context is the CHUNKWALK): one cursor
// result cannot hold them all.
int SelectChunks(RECORD_HEADER* /*r*/, DBHANDLE* h, void* context) {
  return CHUNKWALK_Start(static_cast<CHUNKWALK*>(context), h);
}
int FetchChunk(RECORD_HEADER* r, DBHANDLE* h, void* context) {
  return CHUNKWALK_Next(static_cast<CHUNKWALK*>(context), h, reinterpret_cast<BLOBJ*>(r));
}

// The facts to write, handed out one after the other (the context).
struct FACTSWALK {
  std::vector<KFACTS> rows;
  std::size_t next = 0;
};
int SelectFacts(RECORD_HEADER* /*r*/, DBHANDLE* /*h*/, void* /*context*/) { return 1; }
int FetchFacts(RECORD_HEADER* r, DBHANDLE* /*h*/, void* context) {
  auto* walk = static_cast<FACTSWALK*>(context);
  if (walk->next == walk->rows.size()) return 0;
  *reinterpret_cast<KFACTS*>(r) = walk->rows[walk->next++];
  return 1;
}
void InitFacts(RECORD_HEADER* r) { KFACTS_Init(reinterpret_cast<KFACTS*>(r)); }

// The third section, after the two a reader of items needs: written only
// when an item has facts, so a container without any is the two sections
// alone, byte for byte.
bool SaveFacts(DBHANDLE* handle, FILE* file, const std::unordered_set<std::string>& items) {
  FACTSWALK walk;
  if (!KFACTS_Select_All(handle, &walk.rows)) {
    APPDB_Report(kSaveSelect);
    return false;
  }
  std::erase_if(walk.rows, [&items](const KFACTS& row) {
    return items.count(RECFIELD_Text(row.kaspo_id)) == 0;
  });
  if (walk.rows.empty()) return true;
  KFACTS record;
  return TABLE_File_Save(handle, file, KFACTS_Descriptor(), &record.header, InitFacts, SelectFacts,
                         FetchFacts, &walk);
}

bool SaveSections(DBHANDLE* handle, FILE* file) {
  KASPO item;
  std::unordered_set<std::string> items;
  if (!TABLE_File_Save(handle, file, KASPO_Descriptor(), &item.header, SECTION_InitKaspo,
                       SelectKaspo, FetchKaspo, &items)) {
    return false;
  }
  // One chunk record is too large for the stack of every platform.
  auto chunk = BLOBJ_New();
  CHUNKWALK walk;
  return TABLE_File_Save(handle, file, BLOBJ_Descriptor(), &chunk->header, SECTION_InitBlobj,
                         SelectChunks, FetchChunk, &walk) &&
         SaveFacts(handle, file, items);
}

// Removes what killed saves of the container left beside it.
void RemoveStaleTemps(const std::string& target) {
  std::vector<std::string> removed;
  PLATFORM_NewFileRemoveStale(target, &removed);
  for (const std::string& path : removed) {
    CONSOLE_Print(kRemovedStale, PLATFORM_Printable(path).c_str());
  }
}

// Whether something other than a regular file is at `target` (a pipe or a
// device put there since the session checked): it is never replaced.
bool NoFileAt(const std::string& target) {
  const PLATFORM_FILEKIND kind = PLATFORM_FileKind(target.c_str());
  return kind == PLATFORM_DIRECTORY || kind == PLATFORM_OTHER;
}
}  // namespace

int TABLE_File_Save(DBHANDLE* handle, FILE* file, const char* descriptor, RECORD_HEADER* record,
                    TABLEFILE_InitFn init, TABLEFILE_RowFn select, TABLEFILE_RowFn fetch,
                    void* context) {
  SECTIONLAYOUT layout;
  const SECTIONPARSE parsed = SECTION_Parse(descriptor, false, &layout);
  if (parsed == SECTION_PARSE_TABLE) {
    CONSOLE_Error(kSaveSyntaxTable);
    return 0;
  }
  if (parsed != SECTION_PARSE_OK) {
    CONSOLE_Error(kSaveSyntaxField);
    return 0;
  }
  if (layout.fields.empty()) {
    CONSOLE_Error(kSaveNoFields);
    return 0;
  }
  SECTION_BeginOrExit(handle);
  const long start = std::ftell(file);
  std::string head = "00000,";
  head += descriptor;
  bool ok = start >= 0 && PLATFORM_Write(file, head.c_str(), head.size() + 1);
  if (!ok) CONSOLE_Error(kSaveWrite);
  if (ok && !select(record, handle, context)) {
    APPDB_Report(kSaveSelect);
    ok = false;
  }
  int count = 0;
  ok = ok && WriteRows(handle, file, layout, record, init, fetch, context, &count);
  if (ok && !WriteCount(file, start, count)) {
    CONSOLE_Error(kSaveWrite);
    ok = false;
  }
  SECTION_EndOrExit(handle);
  return ok;
}

int Group_Save(DBHANDLE* handle, const std::string& path, const char* group,
               PLATFORM_LOCK* out_lock, PLATFORM_NEWFILEPLACE place, bool* out_taken) {
  if (out_taken != nullptr) *out_taken = false;
  const std::string shown = PLATFORM_Printable(path);
  // A link stays where the user put it; the file it leads to is replaced.
  std::string target;
  if (!PLATFORM_FinalPath(path, &target) || NoFileAt(target)) {
    CONSOLE_Error(kCannotWrite, shown.c_str());
    return 0;
  }
  RemoveStaleTemps(target);
  PLATFORM_NEWFILE out;
  if (!PLATFORM_NewFileOpen(&out, target)) {
    CONSOLE_Error(kCannotWrite, shown.c_str());
    return 0;
  }
  PLATFORM_NewFileKeepOwner(&out);
  if (std::strcmp(group, TABLEFILE_GROUP) == 0 && !SaveSections(handle, out.file.get())) {
    PLATFORM_NewFileDiscard(&out);
    return 0;
  }
  bool taken = false;
  if (!PLATFORM_NewFileCommit(&out, PLATFORM_DURABLE, place, &taken)) {
    if (taken && out_taken != nullptr) {
      *out_taken = true;
    } else {
      CONSOLE_Error(kCannotReplace, shown.c_str());
    }
    return 0;
  }
  if (!out.owner_kept) CONSOLE_Error(kOwnerNotKept, shown.c_str());
  if (out_lock != nullptr) PLATFORM_NewFileTakeLock(&out, out_lock);
  return 1;
}
