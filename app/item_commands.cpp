// item_commands.cpp: the item commands and their dialogues.
#include "app/item_commands.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/app_state.h"
#include "app/blobj_io.h"
#include "app/console.h"
#include "app/database.h"
#include "app/file_pattern.h"
#include "app/item_listing.h"
#include "app/paths.h"
#include "app/table_file_io.h"
#include "platform/files.h"
#include "platform/newfile.h"
#include "platform/newfile_queue.h"
#include "platform/process.h"
#include "platform/report.h"
#include "platform/terminal.h"
#include "records/blobj.h"
#include "records/fields.h"
#include "records/kaspo.h"

namespace {
constexpr char kFilenamePrompt[] = "# Filename: ";
constexpr char kDescriptionPrompt[] = "# Description: ";
constexpr char kSureNo[] = "Are you sure? (n/y/q) ";
constexpr char kSureYes[] = "Are you sure? (y/n/q) ";
constexpr char kCompressedQuestion[] = "# Compressed? (y/n/q) ";
constexpr char kOverwriteQuestion[] = "File already exists. Overwrite? (y/n/q) ";
constexpr char kNoMatch[] = "no matching file(s) found in directory '%s' for '%s'!\n";
constexpr char kReadError[] = "warning: file '%s' read error or empty!\n";
constexpr char kLargeFile[] = "  adding of file '%s' can take some time (file-size %d kb)!\n";
constexpr char kInsertError[] = "db-error in KASPO_Insert!\n";
constexpr char kWriteChunksError[] = "BLOBJ_Write error!\n";
constexpr char kRollBackError[] = "DB_RollBack error!";
constexpr char kAdded[] = "  file '%s' added\n";
constexpr char kAddedCount[] = "%d items added\n";
constexpr char kFound[] = "found %d items\n";
constexpr char kUpdateError[] = "db-error in KASPO_Update!\n";
constexpr char kChanged[] = "item changed\n";
constexpr char kSelectFkError[] = "db-error in BLOBJ_Select_FK!\n";
constexpr char kDeleteChunkError[] = "db-error in BLOBJ_Delete!\n";
constexpr char kDeleteItemError[] = "db-error in KASPO_Delete!\n";
constexpr char kDeletedCount[] = "%d items deleted\n";
constexpr char kWriteError[] = "warning: file '%s' write error!\n";
constexpr char kNotPlainName[] = "warning: file name '%s' is not a plain file name!\n";
constexpr char kExported[] = "  file '%s' exported\n";
constexpr char kExportedCount[] = "exported %d items\n";
constexpr char kNameTooLong[] = "warning: file name '%s' too long (max = %d)!\n";
constexpr char kNameTrailingBlank[] = "warning: file name '%s' ends with a blank!\n";
constexpr char kTooLarge[] = "warning: file '%s' too large for one item (max = %d chunks)!\n";
constexpr char kFull[] = "warning: file '%s' not added, kaspo full (max = %d rows)!\n";
constexpr char kCountItemsError[] = "db-error in KASPO_Cur_Count!\n";
constexpr char kCountChunksError[] = "db-error in BLOBJ_Cur_Count!\n";
constexpr char kTargetLink[] = "warning: file '%s' is a symbolic link, not exported!\n";
constexpr char kTargetNotFile[] = "warning: file '%s' is not a regular file, not exported!\n";
constexpr char kStatus[] = "kaspo '%s', %d items (size %lld kb, db-size %lld kb)\n";
constexpr char kNoStatus[] = "status information can not be determined!\n";

constexpr int kMaxFilename = 80;                  // bytes of a file-name answer
constexpr int kMaxDescription = 160;              // bytes of a description answer
constexpr std::size_t kLargeFileBytes = 1000000;  // larger files get a notice first
constexpr int kKilo = 1024;

DBHANDLE* Db() { return APPDB_Handle(); }

// Rolls back the command's transaction; a failed rollback leaves data in
// an undefined state, so the program ends rather than save it.
void RollBackOrEnd(bool print_collected) {
  if (DB_RollBack(Db())) return;
  if (print_collected) dberror_print();
  CONSOLE_Error("%s", kRollBackError);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}

// ---------------------------------------------------------------------------
// Add

struct ADDCHOICE {
  std::vector<std::string> names;
  std::string description;
  bool compress = true;
};

// Steps 1 to 4 of the add dialogue. False when the user left it.
bool ChooseFiles(std::vector<std::string>* out_names) {
  const std::string& dir = APP_State().current_dir;
  std::string pattern;
  for (;;) {
    if (!ask_string(kFilenamePrompt, &pattern, kMaxFilename, 1)) return false;
    // A directory that cannot be read has no matching files either.
    (void)FPATTERN_List(dir, pattern, out_names);
    if (out_names->empty()) {
      CONSOLE_Print(kNoMatch, dir.c_str(), pattern.c_str());
      continue;
    }
    CONSOLE_PrintNames(*out_names);
    const int c = CONSOLE_AskAccepted(kSureNo, "nyq\n");
    if (c == 'q') return false;
    if (c == 'y') return true;
  }
}

// Steps 5 and 6. False when the user left the dialogue.
bool ChooseDescriptionAndCompression(ADDCHOICE* choice) {
  if (!ask_string(kDescriptionPrompt, &choice->description, kMaxDescription, 0)) return false;
  for (;;) {
    const int c = CONSOLE_AskChar(kCompressedQuestion);
    if (c == 'q') return false;
    if (c == '\n' || c == 'y' || c == 'Y' || c == 'n') {
      choice->compress = c != 'n';
      return true;
    }
  }
}

// The rows of both tables, counted once per add pass and kept up to date
// through it. A container section holds at most TABLEFILE_MAXRECORDS rows;
// a file that would take a table past that is refused before anything
// changes, so the container always stays saveable.
struct ROOM {
  int items = 0;
  int chunks = 0;
};

// False after printing why the rows could not be counted.
bool CountRows(ROOM* room) {
  if (!KASPO_Cur_Count(&room->items, Db())) {
    APPDB_Report(kCountItemsError);
    return false;
  }
  if (!BLOBJ_Cur_Count(&room->chunks, Db())) {
    APPDB_Report(kCountChunksError);
    return false;
  }
  return true;
}

// Whether the name can be stored as it is: the field holds 80 bytes and
// drops trailing blanks, and a cut name would be exported as another file.
bool NameFits(const std::string& name) {
  if (name.size() > static_cast<std::size_t>(KASPO_FILENAMELEN)) {
    CONSOLE_Error(kNameTooLong, PLATFORM_Printable(name).c_str(), KASPO_FILENAMELEN);
    return false;
  }
  if (!name.empty() && name.back() == ' ') {
    CONSOLE_Error(kNameTrailingBlank, PLATFORM_Printable(name).c_str());
    return false;
  }
  return true;
}

// Whether an item of `chunks` chunks still fits into one item and the
// tables.
bool Fits(const std::string& path, std::size_t chunks, const ROOM& room) {
  if (chunks > static_cast<std::size_t>(BLOBJIO_MAXCHUNKS)) {
    CONSOLE_Error(kTooLarge, PLATFORM_Printable(path).c_str(), BLOBJIO_MAXCHUNKS);
    return false;
  }
  if (room.items >= TABLEFILE_MAXRECORDS ||
      chunks > static_cast<std::size_t>(TABLEFILE_MAXRECORDS - room.chunks)) {
    CONSOLE_Error(kFull, PLATFORM_Printable(path).c_str(), TABLEFILE_MAXRECORDS);
    return false;
  }
  return true;
}

// Inserts the item and its chunks in a transaction of its own. False when
// the pass must stop (the reason is printed, the transaction rolled back).
bool StoreItem(const std::string& name, const ADDCHOICE& choice, std::size_t size,
               const COMPR_CHUNKS& chunks) {
  if (!DB_Begin(Db())) {
    APPDB_Report(APPDB_BEGINERROR);
    return false;
  }
  KASPO item;
  KASPO_Init(&item);
  RECFIELD_SetText(item.filename, name, KASPO_FILENAMELEN);
  RECFIELD_SetText(item.description, choice.description, KASPO_DESCRIPTIONLEN);
  item.size = static_cast<int32_t>(size);
  item.compressed = choice.compress ? '1' : '0';
  if (!KASPO_Insert(&item, Db())) {
    APPDB_Report(kInsertError);
    RollBackOrEnd(false);
    return false;
  }
  if (!BLOBJIO_Store(Db(), item.kaspo_id, RECORD_TABLE_KASPO, chunks)) {
    CONSOLE_Error(kWriteChunksError);
    RollBackOrEnd(true);
    return false;
  }
  APPDB_CommitOrEnd(Db());
  return true;
}

enum class ADDRESULT { kAdded, kRefused, kStop };

// Adds one file: encoded first, so that its chunks are counted before
// anything changes. kRefused: this file is left out and the pass goes on;
// kStop: the pass ends (the reason is printed either way).
ADDRESULT AddOneFile(const std::string& name, const ADDCHOICE& choice, ROOM* room) {
  if (!NameFits(name)) return ADDRESULT::kRefused;
  const std::string path = PATHS_Join(APP_State().current_dir, name);
  // Read and encoded piece by piece: the chunks are the only copy held.
  COMPR_CHUNKS chunks;
  uint64_t length = 0;
  constexpr uint64_t kMaxLength = std::numeric_limits<int32_t>::max();
  if (!BLOBJIO_EncodeFile(path.c_str(), choice.compress, kMaxLength, &chunks, &length) ||
      length == 0 || length > kMaxLength) {
    CONSOLE_Error(kReadError, PLATFORM_Printable(path).c_str());
    return ADDRESULT::kStop;
  }
  if (length > kLargeFileBytes) {
    CONSOLE_Print(kLargeFile, PLATFORM_Printable(name).c_str(), static_cast<int>(length / kKilo));
  }
  const std::size_t size = static_cast<std::size_t>(length);
  if (!Fits(path, chunks.lengths.size(), *room)) return ADDRESULT::kRefused;
  if (!StoreItem(name, choice, size, chunks)) return ADDRESULT::kStop;
  room->items += 1;
  room->chunks += static_cast<int>(chunks.lengths.size());
  CONSOLE_Print(kAdded, PLATFORM_Printable(name).c_str());
  return ADDRESULT::kAdded;
}

// ---------------------------------------------------------------------------
// Change

// ask_string_default with the default as PLATFORM_Printable makes it. An
// empty answer still takes the stored default byte for byte: no answer
// can hold "?" (it is not in the answer set), so an answer equal to an
// escaped default is that default taken.
bool AskShowingDefault(const char* prompt, const std::string& stored, std::string* out_answer,
                       int max) {
  const std::string shown = PLATFORM_Printable(stored);
  if (!ask_string_default(prompt, shown, out_answer, max)) return false;
  if (shown != stored && *out_answer == shown) *out_answer = stored;
  return true;
}

// Asks for the item's file name until it is not blank and, when it is a
// new one, names a file that an export can write in its directory: not
// "." or "..", without a separator or a control byte. The old name may
// stay as it is. False when the user left the command.
bool AskNewName(const std::string& old_name, std::string* out_name) {
  for (;;) {
    if (!AskShowingDefault(kFilenamePrompt, old_name, out_name, kMaxFilename)) return false;
    // The field drops trailing blanks: check the name it will hold.
    const std::string name = ITEMLIST_Text(out_name->c_str());
    if (name.find_first_not_of(' ') == std::string::npos) continue;
    if (name == old_name) return true;
    if (ITEMLIST_IsPlainName(name) && !ITEMLIST_HasControl(name)) return true;
    CONSOLE_Error(kNotPlainName, PLATFORM_Printable(name).c_str());
  }
}

// ---------------------------------------------------------------------------
// Delete

// Deletes one item and its chunks in a transaction of its own. False when
// the command must stop (the reason is printed, the transaction rolled
// back).
bool DeleteOneItem(KASPO* item) {
  if (!DB_Begin(Db())) {
    APPDB_Report(APPDB_BEGINERROR);
    return false;
  }
  BLOBJ chunk;
  BLOBJ_Init(&chunk);
  std::memcpy(chunk.fk_id, item->kaspo_id, sizeof chunk.fk_id);
  chunk.fk_table = RECORD_TABLE_KASPO;
  const char* failure = nullptr;
  if (!BLOBJ_Select_FK(&chunk, Db())) failure = kSelectFkError;
  while (failure == nullptr && BLOBJ_Fetch_FK(&chunk, Db())) {
    if (!BLOBJ_Delete(&chunk, Db())) failure = kDeleteChunkError;
  }
  // A walk that stopped on an error would leave chunks without an item.
  if (failure == nullptr && !DBHANDLE_ErrorText().empty()) failure = kSelectFkError;
  if (failure == nullptr && !KASPO_Delete(item, Db())) failure = kDeleteItemError;
  if (failure != nullptr) {
    APPDB_Report(failure);
    RollBackOrEnd(true);
    return false;
  }
  APPDB_CommitOrEnd(Db());
  return true;
}

// ---------------------------------------------------------------------------
// Export

// Whether the export may write `path`: nothing there, or a regular file
// (then *out_exists is set). A link could lead anywhere (a dangling one
// too), opening a FIFO would block the program, and a device or a
// directory is no file to replace. Null, or the message of the refusal.
const char* TargetRefusal(const std::string& path, bool* out_exists) {
  bool is_link = false;
  const PLATFORM_FILEKIND kind = PLATFORM_OwnKind(path.c_str(), &is_link);
  if (is_link) return kTargetLink;
  if (kind == PLATFORM_DIRECTORY || kind == PLATFORM_OTHER) return kTargetNotFile;
  *out_exists = kind == PLATFORM_REGULAR;
  return nullptr;
}

// What the export says of one item, said in the order of the items.
struct EXPORTNOTE {
  const char* refusal;  // a warning with `shown` as its %s; null for a file written
  std::string shown;
  std::string path;    // of a file handed to the writer, else empty
  PLATFORM_HELD read;  // what reading the item said
};

// An export under way. The files are written by a thread of their own
// while the next items are read and decoded; what is said of each item
// waits until its file is in place, so that the lines come in the order
// of the items as before.
class EXPORT {
 public:
  // Says the notes whose files are done; with `all`, waits for every one.
  void SayReady(bool all) {
    while (!notes_.empty()) {
      EXPORTNOTE& note = notes_.front();
      bool committed = false;
      if (!note.path.empty()) {
        if (!files_.Collect(all, &committed)) return;
        in_flight_.erase(in_flight_.find(note.path));
      }
      PLATFORM_WriteHeld(&note.read);
      if (note.refusal != nullptr) {
        CONSOLE_Error(note.refusal, note.shown.c_str());
      } else if (committed) {
        CONSOLE_Print(kExported, note.shown.c_str());
        ++written_;
      } else {
        CONSOLE_Error(kWriteError, note.shown.c_str());
      }
      notes_.pop_front();
    }
  }
  void Refuse(const char* refusal, const std::string& shown) {
    notes_.push_back(EXPORTNOTE{refusal, shown, {}, {}});
  }
  // Whether a file of `path` is still on its way: one found there now may
  // not be what the export leaves.
  bool InFlight(const std::string& path) const { return in_flight_.count(path) != 0; }
  PLATFORM_NEWFILEQUEUE& Files() { return files_; }
  // The file begun is ended: committed, or discarded with `refusal`;
  // `read` holds what reading its content said.
  void Ended(const std::string& path, const char* refusal, PLATFORM_HELD read) {
    in_flight_.insert(path);
    notes_.push_back(EXPORTNOTE{refusal, PLATFORM_Printable(path), path, std::move(read)});
  }
  int Written() const { return written_; }

 private:
  PLATFORM_NEWFILEQUEUE files_;
  std::deque<EXPORTNOTE> notes_;
  std::unordered_multiset<std::string> in_flight_;
  int written_ = 0;
};

// An item's content going to the file of its export.
class EXPORTSINK : public BLOBJIO_SINK {
 public:
  explicit EXPORTSINK(PLATFORM_NEWFILEQUEUE* files) : files_(files) {}
  void Put(const unsigned char* data, std::size_t n) override { files_->Write(data, n); }
  void Restart() override { files_->Restart(); }

 private:
  PLATFORM_NEWFILEQUEUE* files_;
};

// Hands one item's content to the writer for its file in the current
// directory, finding its chunks in `batch` when that holds the items. The
// content goes to a temporary file beside the target, renamed over the
// target once complete: a write or a read that fails leaves a file already
// there as it was. False: the user left the command at the overwrite
// question.
bool ExportOneItem(const KASPO& item, BLOBJIO_BATCH* batch, EXPORT* out) {
  const std::string name = ITEMLIST_Text(item.filename);
  if (!ITEMLIST_IsPlainName(name)) {
    out->Refuse(kNotPlainName, PLATFORM_Printable(name));
    return true;
  }
  const std::string path = PATHS_Join(APP_State().current_dir, name);
  if (out->InFlight(path)) out->SayReady(true);
  bool exists = false;
  if (const char* refusal = TargetRefusal(path, &exists)) {
    out->Refuse(refusal, PLATFORM_Printable(path));
    return true;
  }
  if (exists) {
    // The question comes after all that was said of the items before.
    out->SayReady(true);
    const int c = CONSOLE_AskAccepted(kOverwriteQuestion, "yYnq\n");
    if (c == 'q') return false;
    if (c == 'n') return true;
  }
  PLATFORM_NEWFILEQUEUE& files = out->Files();
  // Nothing looks for what an export left, so its temporary file goes
  // without a lock.
  files.Begin(path, PLATFORM_NEWFILE_UNLOCKED,
              exists ? PLATFORM_NEWFILE_ANY : PLATFORM_NEWFILE_ABSENT);
  EXPORTSINK sink(&files);
  // What the reading says waits for the lines of the items before.
  PLATFORM_HELD said;
  PLATFORM_Hold(&said);
  const bool read =
      batch != nullptr
          ? BLOBJIO_TakeFromBatch(Db(), batch, item.kaspo_id, item.size, &sink)
          : BLOBJIO_ReadItem(Db(), item.kaspo_id, RECORD_TABLE_KASPO, item.size, &sink);
  PLATFORM_Hold(nullptr);
  if (!read) {
    // Damaged content fails this item only.
    files.Discard();
    out->Ended(path, kWriteChunksError, std::move(said));
    return true;
  }
  // Only a file that replaces the user's own must be on the disk before the
  // rename: a new file lost in a crash is still in the container, and
  // syncing every one of thousands of new files would double an export.
  files.Commit(exists ? PLATFORM_DURABLE : PLATFORM_CACHED);
  out->Ended(path, nullptr, std::move(said));
  return true;
}

// Sums SIZE over every item. False when the walk could not see every row.
bool SumSizes(int64_t* out_sum) {
  *out_sum = 0;
  if (!DB_Begin(Db())) {
    dberror_print();
    return false;
  }
  KASPO item;
  KASPO_Init(&item);
  bool ok = KASPO_Select_Seq(&item, Db());
  while (ok && KASPO_Fetch_Seq(&item, Db())) {
    if (RECFIELD_HasInteger(item.size)) *out_sum += item.size;
  }
  ok = ok && DBHANDLE_ErrorText().empty();
  if (!ok) dberror_print();
  APPDB_CommitOrEnd(Db());
  return ok;
}
}  // namespace

void ITEMS_Add() {
  ADDCHOICE choice;
  if (!ChooseFiles(&choice.names) || !ChooseDescriptionAndCompression(&choice)) return;
  ROOM room;
  if (!CountRows(&room)) return;
  int added = 0;
  for (const std::string& name : choice.names) {
    const ADDRESULT result = AddOneFile(name, choice, &room);
    if (result == ADDRESULT::kStop) {
      // What was committed before the stop is in the tables; quitting
      // must save it.
      if (added > 0) APP_State().changed = true;
      return;
    }
    if (result == ADDRESULT::kAdded) ++added;
  }
  // Refused files are not counted: the count says what the tables gained.
  CONSOLE_Print(kAddedCount, added);
  if (added > 0) APP_State().changed = true;
}

void ITEMS_Change() {
  std::vector<KASPO> found;
  std::string text;
  do {
    if (!ITEMLIST_AskPattern(&text)) return;
    (void)ITEMLIST_Search(text, &found);
    ITEMLIST_Print(found, ITEMLIST_SHORT, false);
  } while (found.size() != 1);
  KASPO item = found[0];
  std::string answer;
  if (!AskNewName(ITEMLIST_Text(item.filename), &answer)) return;
  RECFIELD_SetText(item.filename, answer, KASPO_FILENAMELEN);
  const std::string old_text = ITEMLIST_Text(item.description);
  if (!AskShowingDefault(kDescriptionPrompt, old_text, &answer, kMaxDescription)) return;
  RECFIELD_SetText(item.description, answer, KASPO_DESCRIPTIONLEN);
  if (!KASPO_Update(&item, Db())) {
    APPDB_Report(kUpdateError);
    return;
  }
  CONSOLE_Print(kChanged);
  APP_State().changed = true;
}

void ITEMS_Delete() {
  std::vector<KASPO> found;
  std::string text;
  for (;;) {
    if (!ITEMLIST_AskPattern(&text)) return;
    (void)ITEMLIST_Search(text, &found);
    ITEMLIST_Print(found, ITEMLIST_SHORT, false);
    const int c = CONSOLE_AskAccepted(kSureNo, "nNyq\n");
    if (c == 'q') return;
    if (c == 'y') break;
  }
  // The items are found again: the list shown may be out of date.
  (void)ITEMLIST_Search(text, &found);
  int deleted = 0;
  for (KASPO& item : found) {
    if (!DeleteOneItem(&item)) {
      if (deleted > 0) APP_State().changed = true;
      return;
    }
    ++deleted;
  }
  CONSOLE_Print(kDeletedCount, deleted);
  APP_State().changed = true;
}

void ITEMS_Export() {
  std::vector<KASPO> found;
  std::string text;
  for (;;) {
    if (!ITEMLIST_AskPattern(&text)) return;
    if (!ITEMLIST_Search(text, &found)) continue;
    ITEMLIST_Print(found, ITEMLIST_LONG, true);
    const int c = CONSOLE_AskAccepted(kSureYes, "yYnq\n");
    if (c == 'q') return;
    if (c != 'n') break;
  }
  // Many items are found in one walk and read in one transaction, their
  // rows a group at a time across items; when that fails they are read one
  // by one, which reports what went wrong per item.
  BLOBJIO_BATCH batch;
  bool batched = false;
  if (found.size() >= static_cast<std::size_t>(BLOBJIO_BATCHMIN)) {
    std::vector<std::string> keys;
    for (const KASPO& item : found) keys.emplace_back(item.kaspo_id);
    if (DB_Begin(Db())) {
      batched = BLOBJIO_ReadBatch(Db(), keys, RECORD_TABLE_KASPO, &batch);
      if (!batched) APPDB_CommitOrEnd(Db());
    }
    DBHANDLE_ClearError();
  }
  // Only files written count; skipped and failed ones are not exported.
  bool quit = false;
  int written = 0;
  {
    EXPORT exporting;
    for (const KASPO& item : found) {
      if (!ExportOneItem(item, batched ? &batch : nullptr, &exporting)) {
        quit = true;
        break;
      }
      exporting.SayReady(false);
    }
    exporting.SayReady(true);
    written = exporting.Written();
  }
  if (batched) APPDB_CommitOrEnd(Db());
  if (!quit) CONSOLE_Print(kExportedCount, written);
}

void ITEMS_Find() {
  std::vector<KASPO> found;
  std::string text;
  if (!ITEMLIST_AskPattern(&text)) return;
  (void)ITEMLIST_Search(text, &found);
  ITEMLIST_Print(found, ITEMLIST_LONG, true);
  CONSOLE_Print(kFound, static_cast<int>(found.size()));
}

void ITEMS_List() {
  std::vector<KASPO> found;
  std::string text;
  if (!ITEMLIST_AskPattern(&text)) return;
  (void)ITEMLIST_Search(text, &found);
  ITEMLIST_Print(found, ITEMLIST_SHORT, true);
  CONSOLE_Print(kFound, static_cast<int>(found.size()));
}

void ITEMS_Status() {
  int64_t size_sum = 0;
  int items = 0;
  int chunks = 0;
  const bool summed = SumSizes(&size_sum);
  const bool counted = KASPO_Cur_Count(&items, Db()) && BLOBJ_Cur_Count(&chunks, Db());
  if (!summed || !counted) {
    if (!counted) dberror_print();
    CONSOLE_Print(kNoStatus);
    return;
  }
  // Sums and kb figures in 64 bits: items of 2^31 kb and more together do
  // not make the line wrap to a negative size.
  const int64_t db_bytes = static_cast<int64_t>(chunks) * BLOBJIO_CHUNKSIZE;
  const long long size_kb = size_sum / kKilo;
  const long long db_kb = db_bytes / kKilo;
  CONSOLE_Print(kStatus, APP_State().container_path.c_str(), items, size_kb, db_kb);
}
