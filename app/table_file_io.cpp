// table_file_io.cpp: writing and reading table sections.
#include "app/table_file_io.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/console.h"
#include "app/database.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/newfile.h"
#include "platform/process.h"
#include "records/blobj.h"
#include "records/chunk_walk.h"
#include "records/fields.h"
#include "records/kaspo.h"

namespace {
constexpr char kDbsysError[] = "DBSYS-Error occurred! Please restart the application!\n";
constexpr char kSaveSyntaxTable[] = "(TABLE_File_Save) Syntax error in definition 'TBL,SIZE'!\n";
constexpr char kSaveSyntaxField[] = "(TABLE_File_Save) Syntax error 'NAME,TYP,SIZE,IDX'!\n";
constexpr char kSaveNoFields[] = "(TABLE_File_Save) No attributes!\n";
constexpr char kSaveSelect[] = "(TABLE_File_Save) Error in DB-Select!\n";
constexpr char kSaveOddSize[] = "(TABLE_File_Save) Warning: Struct not initialized (size %d)???\n";
constexpr char kSaveTooMany[] = "(TABLE_File_Save) Too many records for one section (max = %d)!\n";
constexpr char kSaveWrite[] = "(TABLE_File_Save) Error writing file!\n";
constexpr char kLoadRead[] = "(TABLE_File_Load) Error reading file!\n";
constexpr char kLoadInsert[] = "(TABLE_File_Load) Error in table-insert!\n";
constexpr char kLoadMissing[] = "(TABLE_File_Load) Warning: Attribute '%s' not found!\n";
constexpr char kLoadToDati[] =
    "(TABLE_File_Load) Warning: Attribute '%s' has been converted from string to ADATI!\n";
constexpr char kLoadToTime[] =
    "(TABLE_File_Load) Warning: Attribute '%s' has been converted from string to ATIME!\n";
constexpr char kLoadToBinary[] =
    "(TABLE_File_Load) Warning: Attribute '%s' has been converted from string to binary!\n";
constexpr char kLoadSizes[] =
    "(TABLE_File_Load) Warning: Different sizes for attribute '%s' (%d vs. %d)!\n";
constexpr char kLoadTypes[] =
    "(TABLE_File_Load) Warning: Different types for attribute '%s' %d vs. %d!\n";
constexpr char kLoadDuplicate[] = "(TABLE_File_Load) Duplicate key '%s' for attribute '%s'!\n";
// The key fields, whose values a section must not repeat.
constexpr char kKaspoKey[] = "KASPO_Id";
constexpr char kBlobjKey[] = "BLOBJ_Id";
constexpr char kRemovedStale[] = "removed left-over file '%s'\n";
constexpr char kCannotWrite[] = "(dbio) Cannot open file '%s' for output!\n";
constexpr char kCannotRead[] = "(dbio) Cannot open file '%s' for input!\n";
constexpr char kCannotReplace[] = "(dbio) Cannot replace file '%s'!\n";

// What the section reader says, by the function it reads for.
struct SECTIONTEXTS {
  const char* too_long;
  const char* end_of_file;
  const char* syntax_table;
  const char* syntax_field;
  const char* too_many_fields;
  const char* not_found;
  const char* read_error;
};
constexpr SECTIONTEXTS kLoadTexts = {
    "(TABLE_File_Load) Definition too long (max = %d)!\n",
    "(TABLE_File_Load) Unexpected end of file!\n",
    "(TABLE_File_Load) Syntax error in definition 'TBL,SIZE'!\n",
    "(TABLE_File_Load) Syntax error 'NAME,TYP,SIZE,IDX'!\n",
    "(TABLE_File_Load) Too many attribs (max = %d!\n",
    "(TABLE_File_Load) Table %d not found (actual table is %d)!\n",
    kLoadRead,
};
constexpr SECTIONTEXTS kSkipTexts = {
    "(TABLE_File_Skip) Definition too long (max = %d)!\n",
    "(TABLE_File_Skip) Unexpected end of file!\n",
    "(TABLE_File_Skip) Syntax error in definition 'TBL,SIZE'!\n",
    "(TABLE_File_Skip) Syntax error 'NAME,TYP,SIZE,IDX'!\n",
    "(TABLE_File_Skip) Too many attribs (max = %d!\n",
    "(TABLE_File_Skip) Table %d not found (actual table %d)!\n",
    "(TABLE_File_Skip) Error reading file!\n",
};

constexpr char kCountFormat[] = "%05d";
constexpr int kCountWidth = 5;
// Field sizes of the old text forms of timestamps and times, and of the
// record forms they become.
constexpr int kDatiTextSize = 27;
constexpr int kTimeTextSize = 9;
constexpr int kDatiSize = RECFIELD_DATISIZE;
constexpr int kTimeSize = RECFIELD_TIMESIZE;

struct FIELD {
  std::string name;
  int type = 0;
  int size = 0;
  int offset = 0;
};

struct LAYOUT {
  int count = 0;  // records of a section; 0 for a program descriptor
  int table_id = 0;
  int record_size = 0;
  std::vector<FIELD> fields;
};

// A descriptor that cannot be read is either a syntax error of the table
// part or of a field; which message fits is decided by the caller.
enum PARSE { PARSE_OK, PARSE_TABLE, PARSE_FIELD, PARSE_TOO_MANY };

// Reads one "NAME,TYP,SIZE,IDX" item. Sizes and offsets must keep the
// field inside the record, or reading it would run past the record.
bool ParseField(const std::string& item, int record_size, FIELD* out) {
  std::vector<char> name(item.size() + 1);
  char rest = 0;
  const int n = std::sscanf(item.c_str(), "%[^,],%d,%d,%d%c", name.data(), &out->type, &out->size,
                            &out->offset, &rest);
  if (n != 4) return false;
  out->name = name.data();
  return out->size >= 1 && out->size <= TABLEFILE_MAXFIELDSIZE && out->offset >= 0 &&
         out->offset <= record_size - out->size;
}

// Parses "[COUNT,]TBL,SIZE" and the field items after it.
PARSE ParseLayout(const std::string& text, bool with_count, LAYOUT* out) {
  *out = LAYOUT{};
  const std::size_t bar = text.find('|');
  const std::string head = text.substr(0, bar);
  char rest = 0;
  const int n =
      with_count ? std::sscanf(head.c_str(), "%d,%d,%d%c", &out->count, &out->table_id,
                               &out->record_size, &rest)
                 : std::sscanf(head.c_str(), "%d,%d%c", &out->table_id, &out->record_size, &rest);
  if (n != (with_count ? 3 : 2) || out->record_size < 1 || out->count < 0 ||
      out->count > TABLEFILE_MAXRECORDS) {
    return PARSE_TABLE;
  }
  for (std::size_t at = bar; at != std::string::npos;) {
    const std::size_t next = text.find('|', at + 1);
    const std::string item = text.substr(at + 1, next == std::string::npos ? next : next - at - 1);
    if (static_cast<int>(out->fields.size()) == TABLEFILE_MAXFIELDS) return PARSE_TOO_MANY;
    FIELD field;
    if (!ParseField(item, out->record_size, &field)) return PARSE_FIELD;
    out->fields.push_back(field);
    at = next;
  }
  return PARSE_OK;
}

// Parses a layout and prints what is wrong with it.
bool ReadLayout(const std::string& text, bool with_count, const SECTIONTEXTS& texts, LAYOUT* out) {
  switch (ParseLayout(text, with_count, out)) {
    case PARSE_OK: return true;
    case PARSE_TABLE: CONSOLE_Error("%s", texts.syntax_table); return false;
    case PARSE_FIELD: CONSOLE_Error("%s", texts.syntax_field); return false;
    case PARSE_TOO_MANY: CONSOLE_Error(texts.too_many_fields, TABLEFILE_MAXFIELDS); return false;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Writing

void BeginOrEnd(DBHANDLE* handle) {
  if (dbbegin(handle)) return;
  CONSOLE_Error(kDbsysError);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}

void EndOrEnd(DBHANDLE* handle) {
  if (dbend(handle)) return;
  CONSOLE_Error(kDbsysError);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}

// The record as it goes into the file: only the descriptor's fields, and
// of a text or binary value only its meaningful bytes.
void CanonicalRecord(const LAYOUT& layout, const unsigned char* record,
                     std::vector<unsigned char>* out) {
  out->assign(static_cast<std::size_t>(layout.record_size), 0);
  for (const FIELD& f : layout.fields) {
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
bool WriteRows(DBHANDLE* handle, FILE* file, const LAYOUT& layout, RECORD_HEADER* record,
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
// Reading

// Reads a section header up to and including its zero byte.
bool ReadHeader(FILE* file, const SECTIONTEXTS& texts, std::string* out) {
  out->clear();
  for (;;) {
    char c = 0;
    std::size_t got = 0;
    if (!PLATFORM_Read(file, &c, 1, &got)) {
      CONSOLE_Error("%s", texts.read_error);
      return false;
    }
    if (got == 0) {
      CONSOLE_Error("%s", texts.end_of_file);
      return false;
    }
    if (c == '\0') return true;
    if (static_cast<int>(out->size()) == TABLEFILE_MAXHEADER - 1) {
      CONSOLE_Error(texts.too_long, TABLEFILE_MAXHEADER);
      return false;
    }
    out->push_back(c);
  }
}

int64_t SectionBytes(const LAYOUT& section) {
  return static_cast<int64_t>(section.count) * section.record_size;
}

// Reads section headers until one of the program's table; the records of
// other tables are passed over. `program` is the program's layout.
bool FindSection(FILE* file, const SECTIONTEXTS& texts, const LAYOUT& program,
                 LAYOUT* out_section) {
  std::string header;
  for (;;) {
    if (!ReadHeader(file, texts, &header) || !ReadLayout(header, true, texts, out_section)) {
      return false;
    }
    if (out_section->table_id == program.table_id) return true;
    CONSOLE_Error(texts.not_found, program.table_id, out_section->table_id);
    if (fseeko(file, SectionBytes(*out_section), SEEK_CUR) != 0) return false;
  }
}

// Whether the file still holds `bytes` bytes after its position.
bool HasBytes(FILE* file, int64_t bytes) {
  const off_t here = ftello(file);
  if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return false;
  const off_t end = ftello(file);
  return fseeko(file, here, SEEK_SET) == 0 && end - here >= bytes;
}

// How a program field is filled from the section.
struct FIELDMAP {
  const FIELD* program;
  const FIELD* section;  // nullptr: the section has no field of that name
};

std::vector<FIELDMAP> MapFields(const LAYOUT& program, const LAYOUT& section) {
  std::vector<FIELDMAP> map;
  for (const FIELD& p : program.fields) {
    const FIELD* found = nullptr;
    for (const FIELD& s : section.fields) {
      if (strcasecmp(p.name.c_str(), s.name.c_str()) == 0) {
        found = &s;
        break;
      }
    }
    map.push_back({&p, found});
  }
  return map;
}

// A text field of the section as a string (up to its terminator).
std::string SectionText(const unsigned char* from, int size) {
  const char* text = reinterpret_cast<const char*>(from);
  return std::string(text, strnlen(text, static_cast<std::size_t>(size)));
}

// Same type, other size: the old text forms of timestamps and times are
// converted, anything else is copied as far as both fields reach.
void FillResized(const FIELD& p, const FIELD& s, const unsigned char* from, unsigned char* to) {
  const std::string text = SectionText(from, s.size);
  if (s.size == kDatiTextSize && p.size == kDatiSize && RECFIELD_DatiFromText(text, to)) {
    CONSOLE_Error(kLoadToDati, p.name.c_str());
  } else if (s.size == kTimeTextSize && p.size == kTimeSize && RECFIELD_TimeFromText(text, to)) {
    CONSOLE_Error(kLoadToTime, p.name.c_str());
  } else {
    CONSOLE_Error(kLoadSizes, p.name.c_str(), p.size, s.size);
    std::memcpy(to, from, static_cast<std::size_t>(std::min(p.size, s.size)));
  }
}

// Text to binary: the text up to its terminator becomes the content.
void FillBinaryFromText(const FIELD& p, const FIELD& s, const unsigned char* from,
                        unsigned char* to) {
  const std::string text = SectionText(from, s.size);
  const uint16_t length = static_cast<uint16_t>(text.size());
  std::memcpy(to, &length, sizeof length);
  std::memcpy(to + 2, text.data(), text.size());
  CONSOLE_Error(kLoadToBinary, p.name.c_str());
}

// Keeps a filled field within what its type can hold: a text ends inside
// its field, a binary length does not run past it.
void KeepInBounds(const FIELD& p, unsigned char* to) {
  if (p.type == RECFIELD_STRING) {
    to[p.size - 1] = '\0';
  } else if (p.type == RECFIELD_BINARY && p.size >= 2) {
    uint16_t length = 0;
    std::memcpy(&length, to, sizeof length);
    if (length > p.size - 2) length = static_cast<uint16_t>(p.size - 2);
    std::memcpy(to, &length, sizeof length);
  }
}

void FillField(const FIELDMAP& m, const unsigned char* in, unsigned char* out) {
  const FIELD& p = *m.program;
  if (m.section == nullptr) {
    CONSOLE_Error(kLoadMissing, p.name.c_str());
    return;
  }
  const FIELD& s = *m.section;
  const unsigned char* from = in + s.offset;
  unsigned char* to = out + p.offset;
  if (s.type == p.type && s.size == p.size) {
    std::memcpy(to, from, static_cast<std::size_t>(p.size));
  } else if (s.type == p.type) {
    FillResized(p, s, from, to);
  } else if (s.type == RECFIELD_STRING && p.type == RECFIELD_BINARY && p.size == s.size + 1) {
    FillBinaryFromText(p, s, from, to);
  } else {
    CONSOLE_Error(kLoadTypes, p.name.c_str(), p.type, s.type);
    return;
  }
  KeepInBounds(p, to);
}

// The keys of a section read so far. The engine's bulk insert skips the
// unique check (a load trusts its file), so a file holding a key twice
// would give two rows that the unique index cannot tell apart: a read,
// change or save by that key would reach one of them for both, and a
// save would write one row's data in place of the other's.
// Keys of up to eight bytes, each packed into one word (a text holds no
// zero byte, so the packing is unique), in an open-addressed table sized
// for the whole section: a section of many keys checks each in a step or
// two, without an allocation per key.
class SHORTKEYS {
 public:
  explicit SHORTKEYS(int count) {
    std::size_t size = 16;
    while (size < 2 * static_cast<std::size_t>(count)) size *= 2;
    slots_.assign(size, 0);
  }
  // False when `word` was there already.
  bool Insert(uint64_t word) {
    if (word == 0) return !std::exchange(has_zero_, true);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = (word * 0x9E3779B97F4A7C15ull) >> 20 & mask;; at = (at + 1) & mask) {
      if (slots_[at] == word) return false;
      if (slots_[at] == 0) {
        slots_[at] = word;
        return true;
      }
    }
  }

 private:
  std::vector<uint64_t> slots_;
  bool has_zero_ = false;
};

struct KEYCHECK {
  const FIELD* field = nullptr;           // the program's key field; null: no check
  std::unique_ptr<SHORTKEYS> short_keys;  // for keys of at most eight bytes
  std::unordered_set<std::string> seen;   // for longer ones
};

KEYCHECK KeyCheck(const LAYOUT& program, const char* key, int count) {
  KEYCHECK check;
  for (const FIELD& f : program.fields) {
    if (key != nullptr && strcasecmp(f.name.c_str(), key) == 0) check.field = &f;
  }
  if (check.field != nullptr && check.field->size <= 9) {
    check.short_keys = std::make_unique<SHORTKEYS>(count);
  }
  return check;
}

bool Unseen(KEYCHECK* check, const std::string& key) {
  if (check->short_keys == nullptr || key.size() > sizeof(uint64_t)) {
    return check->seen.insert(key).second;
  }
  uint64_t word = 0;
  std::memcpy(&word, key.data(), key.size());
  return check->short_keys->Insert(word);
}

// False after reporting when the filled record's key came before.
bool KeyIsNew(KEYCHECK* check, const unsigned char* record) {
  if (check->field == nullptr) return true;
  std::string key = SectionText(record + check->field->offset, check->field->size);
  key.erase(key.find_last_not_of(' ') + 1);  // the table keeps keys blank-padded
  if (Unseen(check, key)) return true;
  // A damaged key may hold anything; it must not reach the terminal raw.
  for (char& c : key) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  CONSOLE_Error(kLoadDuplicate, key.c_str(), check->field->name.c_str());
  return false;
}

// Records read from the file at a time while the section is read
// backwards.
constexpr int64_t kReadPiece = 1 << 20;

// Reads, fills and inserts the records of the section, the last record
// first: a table walks its newest rows first, so the walk after the load
// gives the rows in file order again, and a container read and written
// again is the same file. Leaves the file after the section. False after
// printing why; a record whose `key` came before is not inserted.
bool InsertRecords(DBHANDLE* handle, FILE* file, const LAYOUT& program, const LAYOUT& section,
                   TABLEFILE_InitFn init, TABLEFILE_RowFn insert, const char* key, void* context) {
  const std::vector<FIELDMAP> map = MapFields(program, section);
  KEYCHECK keys = KeyCheck(program, key, section.count);
  const int64_t size = section.record_size;
  const int64_t per_piece = std::max<int64_t>(1, kReadPiece / size);
  std::vector<unsigned char> piece(
      static_cast<std::size_t>(std::min<int64_t>(per_piece, section.count) * size));
  // RECORD_HEADER alignment for the module's record.
  std::vector<int64_t> out_words(static_cast<std::size_t>(program.record_size + 7) / 8 + 1);
  auto* out = reinterpret_cast<unsigned char*>(out_words.data());
  auto* record = reinterpret_cast<RECORD_HEADER*>(out);
  const off_t start = ftello(file);
  for (int64_t end = section.count; end > 0;) {
    const int64_t first = std::max<int64_t>(0, end - per_piece);
    const std::size_t bytes = static_cast<std::size_t>((end - first) * size);
    std::size_t got = 0;
    if (start < 0 || fseeko(file, start + first * size, SEEK_SET) != 0 ||
        !PLATFORM_Read(file, piece.data(), bytes, &got) || got != bytes) {
      CONSOLE_Error(kLoadRead);
      return false;
    }
    for (int64_t k = end - first - 1; k >= 0; --k) {
      init(record);
      for (const FIELDMAP& m : map) FillField(m, piece.data() + k * size, out);
      if (!KeyIsNew(&keys, out)) return false;
      if (!insert(record, handle, context)) {
        APPDB_Report(kLoadInsert);
        return false;
      }
    }
    end = first;
  }
  return fseeko(file, start + section.count * size, SEEK_SET) == 0;
}

// ---------------------------------------------------------------------------
// The two modules of the group

void InitKaspo(RECORD_HEADER* r) { KASPO_Init(reinterpret_cast<KASPO*>(r)); }
int SelectKaspo(RECORD_HEADER* r, DBHANDLE* h, void* /*context*/) {
  return KASPO_Select_Seq(reinterpret_cast<KASPO*>(r), h);
}
int FetchKaspo(RECORD_HEADER* r, DBHANDLE* h, void* /*context*/) {
  return KASPO_Fetch_Seq(reinterpret_cast<KASPO*>(r), h);
}
int InsertKaspo(RECORD_HEADER* r, DBHANDLE* h, void* /*context*/) {
  return KASPO_Load_Insert(reinterpret_cast<KASPO*>(r), h);
}
void InitBlobj(RECORD_HEADER* r) { BLOBJ_Init(reinterpret_cast<BLOBJ*>(r)); }
int InsertBlobj(RECORD_HEADER* r, DBHANDLE* h, void* /*context*/) {
  return BLOBJ_Load_Insert(reinterpret_cast<BLOBJ*>(r), h);
}
// The chunks are walked by key (the context is the CHUNKWALK): one cursor
// result cannot hold them all.
int SelectChunks(RECORD_HEADER* /*r*/, DBHANDLE* h, void* context) {
  return CHUNKWALK_Start(static_cast<CHUNKWALK*>(context), h);
}
int FetchChunk(RECORD_HEADER* r, DBHANDLE* h, void* context) {
  return CHUNKWALK_Next(static_cast<CHUNKWALK*>(context), h, reinterpret_cast<BLOBJ*>(r));
}

bool SaveSections(DBHANDLE* handle, FILE* file) {
  KASPO item;
  if (!TABLE_File_Save(handle, file, KASPO_Descriptor(), &item.header, InitKaspo, SelectKaspo,
                       FetchKaspo)) {
    return false;
  }
  // One chunk record is too large for the stack of every platform.
  auto chunk = BLOBJ_New();
  CHUNKWALK walk;
  return TABLE_File_Save(handle, file, BLOBJ_Descriptor(), &chunk->header, InitBlobj, SelectChunks,
                         FetchChunk, &walk);
}
}  // namespace

int TABLE_File_Save(DBHANDLE* handle, FILE* file, const char* descriptor, RECORD_HEADER* record,
                    TABLEFILE_InitFn init, TABLEFILE_RowFn select, TABLEFILE_RowFn fetch,
                    void* context) {
  LAYOUT layout;
  const PARSE parsed = ParseLayout(descriptor, false, &layout);
  if (parsed == PARSE_TABLE) {
    CONSOLE_Error(kSaveSyntaxTable);
    return 0;
  }
  if (parsed != PARSE_OK) {
    CONSOLE_Error(kSaveSyntaxField);
    return 0;
  }
  if (layout.fields.empty()) {
    CONSOLE_Error(kSaveNoFields);
    return 0;
  }
  BeginOrEnd(handle);
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
  EndOrEnd(handle);
  return ok;
}

int TABLE_File_Load(DBHANDLE* handle, FILE* file, const char* descriptor, TABLEFILE_InitFn init,
                    TABLEFILE_RowFn insert, const char* key, void* context) {
  LAYOUT program;
  LAYOUT section;
  if (!ReadLayout(descriptor, false, kLoadTexts, &program) ||
      !FindSection(file, kLoadTexts, program, &section)) {
    return 0;
  }
  if (section.count == 0) return 1;
  // The records are checked to be there before any is inserted: a cut
  // file adds none of the section's rows.
  if (!HasBytes(file, SectionBytes(section))) {
    CONSOLE_Error(kLoadRead);
    return 0;
  }
  BeginOrEnd(handle);
  const bool ok = InsertRecords(handle, file, program, section, init, insert, key, context);
  EndOrEnd(handle);
  return ok;
}

int TABLE_File_Skip(FILE* file, const char* descriptor) {
  LAYOUT program;
  LAYOUT section;
  if (!ReadLayout(descriptor, false, kSkipTexts, &program) ||
      !FindSection(file, kSkipTexts, program, &section)) {
    return 0;
  }
  return fseeko(file, SectionBytes(section), SEEK_CUR) == 0;
}

namespace {
// Removes what killed saves of the container left beside it.
void RemoveStaleTemps(const std::string& target) {
  std::vector<std::string> removed;
  PLATFORM_NewFileRemoveStale(target, &removed);
  for (const std::string& path : removed) CONSOLE_Print(kRemovedStale, path.c_str());
}

// Empties both tables, so that whatever a load leaves in them came from
// its own file. An engine that cannot empty a table leaves nothing to
// trust.
void EmptyTablesOrEnd(DBHANDLE* handle) {
  if (KASPO_Delete_All(handle) && BLOBJ_Delete_All(handle)) return;
  APPDB_Report(kDbsysError);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}
}  // namespace

int Group_Save(DBHANDLE* handle, const std::string& path, const char* group,
               PLATFORM_LOCK* out_lock) {
  // A link stays where the user put it; the file it leads to is replaced.
  std::string target;
  if (!PLATFORM_FinalPath(path, &target)) {
    CONSOLE_Error(kCannotWrite, path.c_str());
    return 0;
  }
  RemoveStaleTemps(target);
  PLATFORM_NEWFILE out;
  if (!PLATFORM_NewFileOpen(&out, target)) {
    CONSOLE_Error(kCannotWrite, path.c_str());
    return 0;
  }
  if (std::strcmp(group, TABLEFILE_GROUP) == 0 && !SaveSections(handle, out.file.get())) {
    PLATFORM_NewFileDiscard(&out);
    return 0;
  }
  if (!PLATFORM_NewFileCommit(&out, PLATFORM_DURABLE)) {
    CONSOLE_Error(kCannotReplace, path.c_str());
    return 0;
  }
  if (out_lock != nullptr) PLATFORM_NewFileTakeLock(&out, out_lock);
  return 1;
}

int Group_Load(DBHANDLE* handle, const std::string& path, const char* group) {
  const bool ours = std::strcmp(group, TABLEFILE_GROUP) == 0;
  if (ours) EmptyTablesOrEnd(handle);
  PLATFORM_FILEPTR file(PLATFORM_OpenRead(path.c_str()));
  if (file == nullptr) {
    CONSOLE_Error(kCannotRead, path.c_str());
    return 0;
  }
  if (!ours) return 1;
  return TABLE_File_Load(handle, file.get(), KASPO_Descriptor(), InitKaspo, InsertKaspo,
                         kKaspoKey) &&
         TABLE_File_Load(handle, file.get(), BLOBJ_Descriptor(), InitBlobj, InsertBlobj, kBlobjKey);
}
