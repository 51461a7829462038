// table_file_read.cpp: reading table sections and the group.
#include "app/container/table_file_io.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/container/table_section.h"
#include "platform/files.h"
#include "platform/process.h"
#include "records/blobj.h"
#include "records/fields.h"
#include "records/kaspo.h"
#include "records/kfacts.h"

namespace {
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
constexpr char kCannotRead[] = "(dbio) Cannot open file '%s' for input!\n";
constexpr char kTrailing[] = "(TABLE_File_Load) Unexpected data after the last section!\n";
constexpr char kFactsKey[] = "KASPO_Id";

// What the section reader says, by the function it reads for.
struct SECTIONTEXTS {
  const char* too_long;
  const char* end_of_file;
  const char* syntax_table;
  const char* syntax_field;
  const char* too_many_fields;
  const char* not_found;
  const char* read_error;
  const char* record_size;
};
constexpr SECTIONTEXTS kLoadTexts = {
    "(TABLE_File_Load) Definition too long (max = %d)!\n",
    "(TABLE_File_Load) Unexpected end of file!\n",
    "(TABLE_File_Load) Syntax error in definition 'TBL,SIZE'!\n",
    "(TABLE_File_Load) Syntax error 'NAME,TYP,SIZE,IDX'!\n",
    "(TABLE_File_Load) Too many attribs (max = %d!\n",
    "(TABLE_File_Load) Table %d not found (actual table is %d)!\n",
    kLoadRead,
    "(TABLE_File_Load) Record size %d too large (max = %d)!\n",
};
constexpr SECTIONTEXTS kSkipTexts = {
    "(TABLE_File_Skip) Definition too long (max = %d)!\n",
    "(TABLE_File_Skip) Unexpected end of file!\n",
    "(TABLE_File_Skip) Syntax error in definition 'TBL,SIZE'!\n",
    "(TABLE_File_Skip) Syntax error 'NAME,TYP,SIZE,IDX'!\n",
    "(TABLE_File_Skip) Too many attribs (max = %d!\n",
    "(TABLE_File_Skip) Table %d not found (actual table %d)!\n",
    "(TABLE_File_Skip) Error reading file!\n",
    "(TABLE_File_Skip) Record size %d too large (max = %d)!\n",
};

// Field sizes of the old text forms of timestamps and times, and of the
// record forms they become.
constexpr int kDatiTextSize = 27;
constexpr int kTimeTextSize = 9;
constexpr int kDatiSize = RECFIELD_DATISIZE;
constexpr int kTimeSize = RECFIELD_TIMESIZE;

// Parses a layout and prints what is wrong with it.
bool ReadLayout(const std::string& text, bool with_count, const SECTIONTEXTS& texts,
                SECTIONLAYOUT* out) {
  switch (SECTION_Parse(text, with_count, out)) {
    case SECTION_PARSE_OK: return true;
    case SECTION_PARSE_TABLE: CONSOLE_Error("%s", texts.syntax_table); return false;
    case SECTION_PARSE_FIELD: CONSOLE_Error("%s", texts.syntax_field); return false;
    case SECTION_PARSE_TOO_MANY:
      CONSOLE_Error(texts.too_many_fields, TABLEFILE_MAXFIELDS);
      return false;
    case SECTION_PARSE_RECORD_SIZE:
      CONSOLE_Error(texts.record_size, out->record_size, RECFIELD_SIZEMAX);
      return false;
  }
  return false;
}

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

int64_t SectionBytes(const SECTIONLAYOUT& section) {
  return static_cast<int64_t>(section.count) * section.record_size;
}

// Reads section headers until one of the program's table; the records of
// other tables are passed over. `program` is the program's layout.
bool FindSection(FILE* file, const SECTIONTEXTS& texts, const SECTIONLAYOUT& program,
                 SECTIONLAYOUT* out_section) {
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

// Whether nothing follows the file's position.
bool AtEnd(FILE* file) {
  unsigned char c = 0;
  std::size_t got = 0;
  if (!PLATFORM_Read(file, &c, 1, &got)) return false;
  if (got == 0) return true;
  (void)std::ungetc(c, file);
  return false;
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
  const SECTIONFIELD* program;
  const SECTIONFIELD* section;  // nullptr: the section has no field of that name
  // Each warning of a field that is not copied as it is comes once per
  // section, not once per record: thousands of equal lines hide the one
  // that matters. A bit per warning already printed.
  unsigned warned = 0;
};

enum FIELDWARNING : unsigned {
  WARN_MISSING = 1,
  WARN_TO_DATI = 2,
  WARN_TO_TIME = 4,
  WARN_SIZES = 8,
  WARN_TO_BINARY = 16,
  WARN_TYPES = 32
};

// Whether the field's warning `kind` is still to be printed; notes it.
bool FirstWarning(FIELDMAP* m, FIELDWARNING kind) {
  const bool first = (m->warned & kind) == 0;
  m->warned |= kind;
  return first;
}

// Whether every field of the program comes from a section field of the
// same type and size. A section that lacks one, or changed it, is read as
// well as it goes, but what it gives is not the container as written.
bool ExactMatch(const std::vector<FIELDMAP>& map) {
  for (const FIELDMAP& m : map) {
    if (m.section == nullptr || m.section->type != m.program->type ||
        m.section->size != m.program->size) {
      return false;
    }
  }
  return true;
}

std::vector<FIELDMAP> MapFields(const SECTIONLAYOUT& program, const SECTIONLAYOUT& section) {
  std::vector<FIELDMAP> map;
  for (const SECTIONFIELD& p : program.fields) {
    const SECTIONFIELD* found = nullptr;
    for (const SECTIONFIELD& s : section.fields) {
      if (strcasecmp(p.name.c_str(), s.name.c_str()) == 0) {
        found = &s;
        break;
      }
    }
    map.push_back({&p, found, 0});
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
void FillResized(FIELDMAP* m, const unsigned char* from, unsigned char* to) {
  const SECTIONFIELD& p = *m->program;
  const SECTIONFIELD& s = *m->section;
  const std::string text = SectionText(from, s.size);
  if (s.size == kDatiTextSize && p.size == kDatiSize && RECFIELD_DatiFromText(text, to)) {
    if (FirstWarning(m, WARN_TO_DATI)) CONSOLE_Error(kLoadToDati, p.name.c_str());
  } else if (s.size == kTimeTextSize && p.size == kTimeSize && RECFIELD_TimeFromText(text, to)) {
    if (FirstWarning(m, WARN_TO_TIME)) CONSOLE_Error(kLoadToTime, p.name.c_str());
  } else {
    if (FirstWarning(m, WARN_SIZES)) CONSOLE_Error(kLoadSizes, p.name.c_str(), p.size, s.size);
    std::memcpy(to, from, static_cast<std::size_t>(std::min(p.size, s.size)));
  }
}

// Text to binary: the text up to its terminator becomes the content.
void FillBinaryFromText(FIELDMAP* m, const unsigned char* from, unsigned char* to) {
  const std::string text = SectionText(from, m->section->size);
  const uint16_t length = static_cast<uint16_t>(text.size());
  std::memcpy(to, &length, sizeof length);
  std::memcpy(to + 2, text.data(), text.size());
  if (FirstWarning(m, WARN_TO_BINARY)) CONSOLE_Error(kLoadToBinary, m->program->name.c_str());
}

// Keeps a filled field within what its type can hold: a text ends inside
// its field, a binary length does not run past it.
void KeepInBounds(const SECTIONFIELD& p, unsigned char* to) {
  if (p.type == RECFIELD_STRING) {
    to[p.size - 1] = '\0';
  } else if (p.type == RECFIELD_BINARY && p.size >= 2) {
    uint16_t length = 0;
    std::memcpy(&length, to, sizeof length);
    if (length > p.size - 2) length = static_cast<uint16_t>(p.size - 2);
    std::memcpy(to, &length, sizeof length);
  }
}

void FillField(FIELDMAP* m, const unsigned char* in, unsigned char* out) {
  const SECTIONFIELD& p = *m->program;
  if (m->section == nullptr) {
    if (FirstWarning(m, WARN_MISSING)) CONSOLE_Error(kLoadMissing, p.name.c_str());
    return;
  }
  const SECTIONFIELD& s = *m->section;
  const unsigned char* from = in + s.offset;
  unsigned char* to = out + p.offset;
  if (s.type == p.type && s.size == p.size) {
    std::memcpy(to, from, static_cast<std::size_t>(p.size));
  } else if (s.type == p.type) {
    FillResized(m, from, to);
  } else if (s.type == RECFIELD_STRING && p.type == RECFIELD_BINARY && p.size == s.size + 1) {
    FillBinaryFromText(m, from, to);
  } else {
    if (FirstWarning(m, WARN_TYPES)) CONSOLE_Error(kLoadTypes, p.name.c_str(), p.type, s.type);
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
  const SECTIONFIELD* field = nullptr;    // the program's key field; null: no check
  std::unique_ptr<SHORTKEYS> short_keys;  // for keys of at most eight bytes
  std::unordered_set<std::string> seen;   // for longer ones
};

KEYCHECK KeyCheck(const SECTIONLAYOUT& program, const char* key, int count) {
  KEYCHECK check;
  for (const SECTIONFIELD& f : program.fields) {
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

// False when the filled record's key came before; *out_key is then that
// key, for ReportDuplicate.
bool KeyIsNew(KEYCHECK* check, const unsigned char* record, std::string* out_key) {
  if (check->field == nullptr) return true;
  std::string key = SectionText(record + check->field->offset, check->field->size);
  key.erase(key.find_last_not_of(' ') + 1);  // the table keeps keys blank-padded
  if (Unseen(check, key)) return true;
  *out_key = std::move(key);
  return false;
}

void ReportDuplicate(const KEYCHECK& check, std::string key) {
  // A damaged key may hold anything; it must not reach the terminal raw.
  for (char& c : key) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  CONSOLE_Error(kLoadDuplicate, key.c_str(), check.field->name.c_str());
}

// Where the records of a section go: one at a time (`row`, with
// `context`) or many at a time (`batch`).
struct LOADSINK {
  TABLEFILE_RowFn row = nullptr;
  void* context = nullptr;
  TABLEFILE_BatchFn batch = nullptr;
};

// Whether the section's records are laid out as the program's: then they
// go to a batch insert from the bytes read, with no record filled between.
bool SameLayout(const std::vector<FIELDMAP>& map) {
  for (const FIELDMAP& m : map) {
    if (m.section == nullptr || m.section->type != m.program->type ||
        m.section->size != m.program->size || m.section->offset != m.program->offset) {
      return false;
    }
  }
  return true;
}

// The load of one section under way.
struct LOADRUN {
  DBHANDLE* handle;
  LOADSINK sink;
  TABLEFILE_InitFn init;
  std::vector<FIELDMAP> map;
  KEYCHECK keys;
  bool direct = false;  // records inserted as read (SameLayout)
  // The module's record, filled field by field when not direct, with
  // RECORD_HEADER alignment.
  std::vector<int64_t> record_words;
  // Direct records read and checked, inserted together before the piece
  // of the file that holds them is read over.
  std::vector<const unsigned char*> pending;
};

bool InsertFailed() {
  APPDB_Report(kLoadInsert);
  return false;
}

bool FlushPending(LOADRUN* run) {
  if (run->pending.empty()) return true;
  const bool ok = run->sink.batch(run->pending, run->handle);
  run->pending.clear();
  return ok || InsertFailed();
}

bool InsertOne(LOADRUN* run, unsigned char* record) {
  const unsigned char* const one[] = {record};
  if (run->sink.batch != nullptr) return run->sink.batch({one, 1}, run->handle) || InsertFailed();
  return run->sink.row(reinterpret_cast<RECORD_HEADER*>(record), run->handle, run->sink.context) ||
         InsertFailed();
}

// Takes the section's record `in`: a direct one is kept within its fields'
// bounds in place and waits in `pending`; any other fills the module's
// record, which is inserted at once. A repeated key is reported after the
// records before it are in, as when each went in alone.
bool TakeRecord(LOADRUN* run, unsigned char* in) {
  unsigned char* record = in;
  if (run->direct) {
    for (const FIELDMAP& m : run->map) KeepInBounds(*m.program, in + m.program->offset);
  } else {
    record = reinterpret_cast<unsigned char*>(run->record_words.data());
    run->init(reinterpret_cast<RECORD_HEADER*>(record));
    for (FIELDMAP& m : run->map) FillField(&m, in, record);
  }
  std::string key;
  if (!KeyIsNew(&run->keys, record, &key)) {
    if (FlushPending(run)) ReportDuplicate(run->keys, std::move(key));
    return false;
  }
  if (!run->direct) return InsertOne(run, record);
  run->pending.push_back(record);
  return true;
}

// Records read from the file at a time while the section is read
// backwards.
constexpr int64_t kReadPiece = 1 << 20;

// Reads, checks and inserts the records of the section, the last record
// first: a table walks its newest rows first, so the walk after the load
// gives the rows in file order again, and a container read and written
// again is the same file. Leaves the file after the section. False after
// printing why; a record whose key came before is not inserted.
bool InsertRecords(LOADRUN* run, FILE* file, const SECTIONLAYOUT& section) {
  const int64_t size = section.record_size;
  const int64_t per_piece = std::max<int64_t>(1, kReadPiece / size);
  std::vector<unsigned char> piece(
      static_cast<std::size_t>(std::min<int64_t>(per_piece, section.count) * size));
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
      if (!TakeRecord(run, piece.data() + k * size)) return false;
    }
    if (!FlushPending(run)) return false;
    end = first;
  }
  return fseeko(file, start + section.count * size, SEEK_SET) == 0;
}

// TABLE_File_Load and TABLE_File_LoadBatch.
int LoadSection(DBHANDLE* handle, FILE* file, const char* descriptor, TABLEFILE_InitFn init,
                const LOADSINK& sink, const char* key, bool* out_changed) {
  SECTIONLAYOUT program;
  SECTIONLAYOUT section;
  if (!ReadLayout(descriptor, false, kLoadTexts, &program) ||
      !FindSection(file, kLoadTexts, program, &section)) {
    return 0;
  }
  LOADRUN run{handle, sink, init, MapFields(program, section), {}, false, {}, {}};
  if (out_changed != nullptr) *out_changed = !ExactMatch(run.map);
  if (section.count == 0) return 1;
  // The records are checked to be there before any is inserted: a cut
  // file adds none of the section's rows.
  if (!HasBytes(file, SectionBytes(section))) {
    CONSOLE_Error(kLoadRead);
    return 0;
  }
  run.keys = KeyCheck(program, key, section.count);
  run.direct = sink.batch != nullptr && SameLayout(run.map);
  run.record_words.resize(static_cast<std::size_t>(program.record_size + 7) / 8 + 1);
  SECTION_BeginOrExit(handle);
  const bool ok = InsertRecords(&run, file, section);
  SECTION_EndOrExit(handle);
  return ok;
}

// ---------------------------------------------------------------------------
// The two modules of the group

void InitFacts(RECORD_HEADER* r) { KFACTS_Init(reinterpret_cast<KFACTS*>(r)); }

// Empties the tables, so that whatever a load leaves in them came from
// its own file. An engine that cannot empty a table leaves nothing to
// trust.
void EmptyTablesOrEnd(DBHANDLE* handle) {
  if (KASPO_Delete_All(handle) && BLOBJ_Delete_All(handle) && KFACTS_Delete_All(handle)) return;
  APPDB_Report(SECTION_DBSYSERROR);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}
}  // namespace

int TABLE_File_Load(DBHANDLE* handle, FILE* file, const char* descriptor, TABLEFILE_InitFn init,
                    TABLEFILE_RowFn insert, const char* key, void* context, bool* out_changed) {
  return LoadSection(handle, file, descriptor, init, {insert, context, nullptr}, key, out_changed);
}

int TABLE_File_LoadBatch(DBHANDLE* handle, FILE* file, const char* descriptor,
                         TABLEFILE_InitFn init, TABLEFILE_BatchFn insert, const char* key,
                         bool* out_changed) {
  return LoadSection(handle, file, descriptor, init, {nullptr, nullptr, insert}, key, out_changed);
}

int TABLE_File_Skip(FILE* file, const char* descriptor) {
  SECTIONLAYOUT program;
  SECTIONLAYOUT section;
  if (!ReadLayout(descriptor, false, kSkipTexts, &program) ||
      !FindSection(file, kSkipTexts, program, &section)) {
    return 0;
  }
  return fseeko(file, SectionBytes(section), SEEK_CUR) == 0;
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
  bool items_changed = false;
  bool chunks_changed = false;
  bool facts_changed = false;
  if (!TABLE_File_LoadBatch(handle, file.get(), KASPO_Descriptor(), SECTION_InitKaspo,
                            KASPO_Load_Batch, kKaspoKey, &items_changed) ||
      !TABLE_File_LoadBatch(handle, file.get(), BLOBJ_Descriptor(), SECTION_InitBlobj,
                            BLOBJ_Load_Batch, kBlobjKey, &chunks_changed)) {
    return 0;
  }
  // A container of two sections is whole: its items have no facts.
  if (AtEnd(file.get())) return !items_changed && !chunks_changed;
  if (!TABLE_File_LoadBatch(handle, file.get(), KFACTS_Descriptor(), InitFacts, KFACTS_Load_Batch,
                            kFactsKey, &facts_changed)) {
    return 0;
  }
  if (!AtEnd(file.get())) {
    CONSOLE_Error(kTrailing);
    return 0;
  }
  return !items_changed && !chunks_changed && !facts_changed;
}
