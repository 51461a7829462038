// item_commands.cpp: the item commands and their dialogues.
#include "app/items/item_commands.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/base/file_pattern.h"
#include "app/base/paths.h"
#include "app/container/app_state.h"
#include "app/container/table_file_io.h"
#include "app/items/content_fault.h"
#include "app/items/item_export.h"
#include "app/items/item_facts.h"
#include "app/items/item_listing.h"
#include "content/blobj_io.h"
#include "platform/files.h"
#include "platform/newfile.h"
#include "platform/newfile_queue.h"
#include "platform/process.h"
#include "platform/report.h"
#include "platform/terminal.h"
#include "records/blobj.h"
#include "records/fields.h"
#include "records/kaspo.h"
#include "records/kfacts.h"

namespace {
constexpr char kFilenamePrompt[] = "# Filename: ";
constexpr char kDescriptionPrompt[] = "# Description: ";
constexpr char kSureNo[] = "Are you sure? (n/y/q) ";
constexpr char kSureYes[] = "Are you sure? (y/n/q) ";
constexpr char kCompressedQuestion[] = "# Compressed? (y/n/q) ";
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
constexpr char kNotPlainName[] = "warning: file name '%s' is not a plain file name!\n";
constexpr char kExportedCount[] = "exported %d items\n";
constexpr char kNameTooLong[] = "warning: file name '%s' too long (max = %d)!\n";
constexpr char kNameTrailingBlank[] = "warning: file name '%s' ends with a blank!\n";
constexpr char kTooLarge[] = "warning: file '%s' too large for one item (max = %d chunks)!\n";
constexpr char kFull[] = "warning: file '%s' not added, kaspo full (max = %d rows)!\n";
constexpr char kCountItemsError[] = "db-error in KASPO_Cur_Count!\n";
constexpr char kCountChunksError[] = "db-error in BLOBJ_Cur_Count!\n";
constexpr char kSourceNotFile[] = "warning: file '%s' is not a regular file, not added!\n";
constexpr char kSourceChanged[] = "warning: file '%s' changed while it was read, not added!\n";
constexpr char kFactsError[] = "db-error in KFACTS_Store!\n";
constexpr char kDeleteFactsError[] = "db-error in KFACTS_Delete!\n";
constexpr char kVerified[] = "verified %d items, %d damaged, %d without checksum\n";
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

struct ADDCHOICE : ITEMS_ADDSETTINGS {
  std::vector<std::string> names;
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
      CONSOLE_Print(kNoMatch, PLATFORM_Printable(dir).c_str(), pattern.c_str());
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
bool Fits(const std::string& path, std::size_t chunks, const ITEMS_ROOM& room) {
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
bool StoreItem(const std::string& name, const ITEMS_ADDSETTINGS& choice,
               const BLOBJIO_FILEFACTS& facts, const COMPR_CHUNKS& chunks) {
  if (!DB_Begin(Db())) {
    APPDB_Report(APPDB_BEGINERROR);
    return false;
  }
  KASPO item;
  KASPO_Init(&item);
  RECFIELD_SetText(item.filename, name, KASPO_FILENAMELEN);
  RECFIELD_SetText(item.description, choice.description, KASPO_DESCRIPTIONLEN);
  item.size = static_cast<int32_t>(facts.length);
  item.compressed = choice.compress ? '1' : '0';
  if (!KASPO_Insert(&item, Db())) {
    APPDB_Report(kInsertError);
    RollBackOrEnd(false);
    return false;
  }
  BLOBJIO_FAULT fault;
  if (!BLOBJIO_Store(Db(), item.kaspo_id, RECORD_TABLE_KASPO, chunks, &fault)) {
    CONTENTFAULT_Print(fault);
    CONSOLE_Error(kWriteChunksError);
    RollBackOrEnd(true);
    return false;
  }
  if (!ITEMFACTS_Store(item.kaspo_id, facts)) {
    APPDB_Report(kFactsError);
    RollBackOrEnd(false);
    return false;
  }
  APPDB_CommitOrEnd(Db());
  return true;
}

// Shown before the file is read: after the read it would only tell what
// the wait was. `name` is the file's name (a std::string).
void AnnounceLargeFile(uint64_t length, const void* name) {
  if (length <= kLargeFileBytes) return;
  CONSOLE_Print(kLargeFile, PLATFORM_Printable(*static_cast<const std::string*>(name)).c_str(),
                static_cast<int>(length / kKilo));
  std::fflush(CONSOLE_Get().out);
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
    const std::string name = RECFIELD_Text(out_name->c_str());
    if (name.find_first_not_of(' ') == std::string::npos) continue;
    if (name == old_name) return true;
    if (EXPORT_IsSafeName(name) && !ITEMLIST_HasControl(name)) return true;
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
  KFACTS facts;
  KFACTS_Init(&facts);
  std::memcpy(facts.kaspo_id, item->kaspo_id, sizeof facts.kaspo_id);
  if (failure == nullptr && !KFACTS_Delete(&facts, Db())) failure = kDeleteFactsError;
  if (failure == nullptr && !KASPO_Delete(item, Db())) failure = kDeleteItemError;
  if (failure != nullptr) {
    APPDB_Report(failure);
    RollBackOrEnd(true);
    return false;
  }
  APPDB_CommitOrEnd(Db());
  return true;
}

// Every item, in the table's order. False when the walk could not see
// every row.
bool AllItems(std::vector<KASPO>* out_items) {
  out_items->clear();
  if (!DB_Begin(Db())) return false;
  KASPO item;
  KASPO_Init(&item);
  bool ok = KASPO_Select_Seq(&item, Db());
  while (ok && KASPO_Fetch_Seq(&item, Db())) out_items->push_back(item);
  ok = ok && DBHANDLE_ErrorText().empty();
  APPDB_CommitOrEnd(Db());
  return ok;
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
  std::vector<KASPO> items;
  const bool ok = KASPO_Select_Seq(&item, Db()) && KASPO_Fetch_Seq_All(Db(), &items);
  for (const KASPO& each : items) {
    if (RECFIELD_HasInteger(each.size)) *out_sum += each.size;
  }
  if (!ok) dberror_print();
  APPDB_CommitOrEnd(Db());
  return ok;
}
}  // namespace

ITEMS_ADDED ITEMS_AddFile(const std::string& path, const std::string& name,
                          const ITEMS_ADDSETTINGS& choice, ITEMS_ROOM* room) {
  if (!NameFits(name)) return ITEMS_ADDED::kRefused;
  // Read and encoded piece by piece: the chunks are the only copy held.
  COMPR_CHUNKS chunks;
  BLOBJIO_FILEFACTS facts;
  constexpr uint64_t kMaxLength = std::numeric_limits<int32_t>::max();
  const BLOBJIO_OPENED announce =
      choice.notices ? BLOBJIO_OPENED{AnnounceLargeFile, &name} : BLOBJIO_OPENED{};
  const BLOBJIO_FILEREAD read =
      BLOBJIO_EncodeFile(path.c_str(), choice.compress, kMaxLength, announce, &chunks, &facts);
  // Swapped since the listing: what the file is now was never shown.
  if (read == BLOBJIO_FILE_NOT_REGULAR || read == BLOBJIO_FILE_CHANGED) {
    CONSOLE_Error(read == BLOBJIO_FILE_CHANGED ? kSourceChanged : kSourceNotFile,
                  PLATFORM_Printable(path).c_str());
    return ITEMS_ADDED::kRefused;
  }
  if (read != BLOBJIO_FILE_READ || facts.length == 0) {
    CONSOLE_Error(kReadError, PLATFORM_Printable(path).c_str());
    return ITEMS_ADDED::kStop;
  }
  if (!Fits(path, chunks.lengths.size(), *room)) return ITEMS_ADDED::kRefused;
  if (!StoreItem(name, choice, facts, chunks)) return ITEMS_ADDED::kStop;
  room->items += 1;
  room->chunks += static_cast<int>(chunks.lengths.size());
  return ITEMS_ADDED::kAdded;
}

int ITEMS_CountRows(ITEMS_ROOM* room) {
  if (!KASPO_Cur_Count(&room->items, Db())) {
    APPDB_Report(kCountItemsError);
    return 0;
  }
  if (!BLOBJ_Cur_Count(&room->chunks, Db())) {
    APPDB_Report(kCountChunksError);
    return 0;
  }
  return 1;
}

int ITEMS_DeleteItem(KASPO* item) { return DeleteOneItem(item) ? 1 : 0; }

int ITEMS_All(std::vector<KASPO>* out_items) {
  if (!AllItems(out_items)) {
    dberror_print();
    return 0;
  }
  std::stable_sort(out_items->begin(), out_items->end(), [](const KASPO& a, const KASPO& b) {
    return std::strcmp(a.filename, b.filename) < 0;
  });
  return 1;
}

void ITEMS_Add() {
  ADDCHOICE choice;
  if (!ChooseFiles(&choice.names) || !ChooseDescriptionAndCompression(&choice)) return;
  ITEMS_ROOM room;
  if (!ITEMS_CountRows(&room)) return;
  int added = 0;
  for (const std::string& name : choice.names) {
    const ITEMS_ADDED result =
        ITEMS_AddFile(PATHS_Join(APP_State().current_dir, name), name, choice, &room);
    if (result == ITEMS_ADDED::kStop) {
      // What was committed before the stop is in the tables; quitting
      // must save it.
      if (added > 0) APP_State().changed = true;
      return;
    }
    if (result == ITEMS_ADDED::kAdded) {
      CONSOLE_Print(kAdded, PLATFORM_Printable(name).c_str());
      ++added;
    }
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
  if (!AskNewName(RECFIELD_Text(item.filename), &answer)) return;
  RECFIELD_SetText(item.filename, answer, KASPO_FILENAMELEN);
  const std::string old_text = RECFIELD_Text(item.description);
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
  EXPORT_RemoveStaleTemps(APP_State().current_dir);
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
  EXPORTSETTINGS settings;
  settings.dir = APP_State().current_dir;
  settings.container = &APP_State().container;
  // Only files written count; skipped and failed ones are not exported.
  const EXPORTRESULT result = EXPORT_Items(found, settings);
  if (!result.left) CONSOLE_Print(kExportedCount, result.written);
}

void ITEMS_Verify() {
  std::vector<KASPO> found;
  std::string text;
  do {
    if (!ITEMLIST_AskPattern(&text)) return;
  } while (!ITEMLIST_Search(text, &found));
  ITEMS_VERIFIED verified;
  if (!ITEMS_VerifyItems(found, &verified)) return;
  CONSOLE_Print(kVerified, static_cast<int>(found.size()), verified.damaged, verified.unchecked);
}

int ITEMS_VerifyItems(const std::vector<KASPO>& items, ITEMS_VERIFIED* out) {
  *out = ITEMS_VERIFIED{};
  ITEMFACTS_MAP facts;
  if (!ITEMFACTS_Load(&facts)) return 0;
  ITEMREADER reader(items);
  for (const KASPO& item : items) {
    const KFACTS* item_facts = ITEMFACTS_Find(facts, item);
    if (item_facts == nullptr) ++out->unchecked;
    // The content goes nowhere: memory does not grow with the item.
    ITEMFACTS_CHECKSINK check(nullptr);
    const std::string shown = PLATFORM_Printable(RECFIELD_Text(item.filename));
    std::string damage = reader.Read(item, &check) ? check.Damage(shown, item, item_facts)
                                                   : ITEMFACTS_Unreadable(shown);
    if (damage.empty()) continue;
    ++out->damaged;
    CONSOLE_Error("%s", damage.c_str());
  }
  return 1;
}

void ITEMS_CompleteFacts() {
  ITEMFACTS_MAP facts;
  std::vector<KASPO> items;
  if (!ITEMFACTS_Load(&facts) || !AllItems(&items)) {
    DBHANDLE_ClearError();
    return;
  }
  std::erase_if(items, [&facts](const KASPO& item) {
    return facts.count(RECFIELD_Text(item.kaspo_id)) != 0;
  });
  if (items.empty()) return;
  ITEMREADER reader(items);
  for (const KASPO& item : items) {
    ITEMFACTS_CHECKSINK check(nullptr);
    // What reading a damaged item says is for `v` and `e` to say.
    PLATFORM_OUTPUTBUFFER said;
    const bool whole = reader.Read(item, &check) && check.Damage({}, item, nullptr).empty();
    (void)said.End();
    if (whole && !ITEMFACTS_StoreChecksum(item.kaspo_id, check.Checksum())) {
      DBHANDLE_ClearError();
      return;
    }
  }
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
  CONSOLE_Print(kStatus, PLATFORM_Printable(APP_State().container.Path()).c_str(), items, size_kb,
                db_kb);
}
