// item_commands.cpp: the item commands and their dialogues.
#include "app/items/item_commands.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/base/file_pattern.h"
#include "app/base/limits.h"
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

// The answers fill the item's fields; a longer field would be cut on its way in.
static_assert(APP_MAXFILENAME == KASPO_FILENAMELEN && APP_MAXDESCRIPTION == KASPO_DESCRIPTIONLEN);

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
    if (!ask_string(kFilenamePrompt, &pattern, APP_MAXFILENAME, 1)) return false;
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
  if (!ask_string(kDescriptionPrompt, &choice->description, APP_MAXDESCRIPTION, 0)) return false;
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
bool NameStorable(const std::string& name) {
  return name.size() <= static_cast<std::size_t>(KASPO_FILENAMELEN) &&
         (name.empty() || name.back() != ' ');
}

// NameStorable, saying why not.
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

// A file as it was read and encoded for an add.
struct ENCODED {
  BLOBJIO_FILEREAD read = BLOBJIO_FILE_FAILED;
  COMPR_CHUNKS chunks;
  BLOBJIO_FILEFACTS facts;
  bool opened = false;         // its length was known before the read
  bool out_of_memory = false;  // not encoded: memory ran out
};

constexpr uint64_t kMaxLength = std::numeric_limits<int32_t>::max();
// Files encoded ahead of their turn, at most, and the chunk bytes they may
// hold: the store keeps up with one thread's encoding, so a short queue
// keeps both threads busy without holding much more than the container
// (one file ahead leaves the worker idle half the time).
constexpr std::size_t kAheadItems = 2;
constexpr std::size_t kAheadBytes = std::size_t{16} << 20;

// Encodes in the current thread, in the file's turn: the notice of a long
// read comes before the read.
void EncodeNow(const ITEMS_SOURCE& file, const ITEMS_ADDSETTINGS& settings, ENCODED* out) {
  const BLOBJIO_OPENED announce =
      settings.notices ? BLOBJIO_OPENED{AnnounceLargeFile, &file.name} : BLOBJIO_OPENED{};
  out->read = BLOBJIO_EncodeFile(file.path.c_str(), settings.compress, kMaxLength, announce,
                                 &out->chunks, &out->facts);
}

void NoteOpened(uint64_t /*length*/, const void* opened) {
  *const_cast<bool*>(static_cast<const bool*>(opened)) = true;
}

// Encodes ahead of the file's turn with a writer of the thread's own:
// nothing is printed, and running out of memory is left for the file's
// turn to tell. A stopped pass drops the file at the next piece.
void EncodeAhead(const ITEMS_SOURCE& file, bool compress, PELKO_WRITER* writer,
                 const std::atomic<bool>* abandon, ENCODED* out) {
  try {
    out->read = BLOBJIO_EncodeFile(file.path.c_str(), compress, kMaxLength,
                                   BLOBJIO_OPENED{NoteOpened, &out->opened}, &out->chunks,
                                   &out->facts, writer, abandon);
  } catch (const std::bad_alloc&) {
    *out = ENCODED{};
    out->out_of_memory = true;
  }
}

std::size_t HeldBytes(const COMPR_CHUNKS& chunks) {
  std::size_t bytes = 0;
  for (const std::vector<unsigned char>& block : chunks.blocks) bytes += block.capacity();
  return bytes;
}

void StopAtEnd(void* ahead);

// The files of one add pass, read and encoded by a worker thread and the
// main thread side by side, taken by the main thread strictly in list
// order. The main thread encodes a file whose turn has come itself, and
// while the worker still encodes that one it encodes the next rather than
// wait. Only the main thread prints or touches the tables.
class ADDAHEAD {
 public:
  ADDAHEAD(const std::vector<ITEMS_SOURCE>& files, const ITEMS_ADDSETTINGS& settings)
      : files_(files), settings_(settings), state_(files.size(), kOpen), done_(files.size()) {
    // "#01" chunks cost little next to storing them: ahead, they would
    // only hold more memory.
    if (!settings.ahead || !settings.compress || files.size() < 2 || PLATFORM_Cores() < 2) return;
    // A break or an end request is handled in the main thread.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    const bool masked = pthread_sigmask(SIG_SETMASK, &all, &before) == 0;
    try {
      worker_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
      // Without a worker every file is encoded in its turn.
    }
    if (masked) (void)pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (worker_.joinable()) PLATFORM_AddCleanup(StopAtEnd, this);
  }
  ADDAHEAD(const ADDAHEAD&) = delete;
  ADDAHEAD& operator=(const ADDAHEAD&) = delete;
  ~ADDAHEAD() {
    if (!worker_.joinable()) return;
    PLATFORM_RemoveCleanup(StopAtEnd, this);
    Stop();
  }

  // Encoded files not taken yet are dropped.
  void Stop() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stop_ = true;
      abandon_ = true;
      changed_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
  }

  // File `index`, whose turn has come (turns go up the list; a file whose
  // name cannot be stored is passed over).
  void Take(std::size_t index, ENCODED* out) {
    std::unique_lock<std::mutex> hold(mutex_);
    turn_ = index;
    changed_.notify_all();
    for (;;) {
      if (state_[index] == kDone) {
        *out = std::move(done_[index]);
        held_ -= HeldBytes(out->chunks);
        changed_.notify_all();
        hold.unlock();
        if (out->out_of_memory) {
          *out = ENCODED{};
          EncodeNow(files_[index], settings_, out);  // tells it as a lone add would
        } else if (out->opened && settings_.notices) {
          AnnounceLargeFile(out->facts.length, &files_[index].name);
        }
        return;
      }
      if (state_[index] == kOpen) {
        Claim(index);
        hold.unlock();
        EncodeNow(files_[index], settings_, out);
        return;
      }
      if (CanClaimAhead()) {
        EncodeClaimed(&hold, &own_writer_);
        continue;
      }
      changed_.wait(hold);
    }
  }

 private:
  enum STATE { kOpen, kClaimed, kDone };

  void Claim(std::size_t index) {
    state_[index] = kClaimed;
    next_ = std::max(next_, index + 1);
  }

  bool CanClaimAhead() {
    while (next_ < files_.size() && !NameStorable(files_[next_].name)) ++next_;
    return !stop_ && next_ < files_.size() && next_ > turn_ && next_ <= turn_ + kAheadItems &&
           held_ < kAheadBytes;
  }

  // Claims the next file and encodes it ahead with `writer`, unlocked.
  void EncodeClaimed(std::unique_lock<std::mutex>* hold, PELKO_WRITER* writer) {
    const std::size_t index = next_;
    Claim(index);
    hold->unlock();
    ENCODED encoded;
    EncodeAhead(files_[index], settings_.compress, writer, &abandon_, &encoded);
    hold->lock();
    held_ += HeldBytes(encoded.chunks);
    done_[index] = std::move(encoded);
    state_[index] = kDone;
    changed_.notify_all();
  }

  void Work() {
    PELKO_WRITER writer;
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
      changed_.wait(hold, [this] { return stop_ || CanClaimAhead(); });
      if (stop_) return;
      EncodeClaimed(&hold, &writer);
    }
  }

  const std::vector<ITEMS_SOURCE>& files_;
  const ITEMS_ADDSETTINGS& settings_;
  std::vector<STATE> state_;
  std::vector<ENCODED> done_;  // by index, until taken
  std::size_t turn_ = 0;       // the file being taken or stored
  std::size_t next_ = 0;       // the first file no thread has begun
  std::size_t held_ = 0;       // chunk bytes encoded and not taken
  bool stop_ = false;
  std::atomic<bool> abandon_ = false;  // stop_, read outside the lock
  PELKO_WRITER own_writer_;            // the main thread's, for files ahead of their turn
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread worker_;
};

void StopAtEnd(void* ahead) { static_cast<ADDAHEAD*>(ahead)->Stop(); }

// One file of a pass, its encoding taken from `ahead`
// (or made now without one).
ITEMS_ADDED AddOne(const ITEMS_SOURCE& file, std::size_t index, const ITEMS_ADDSETTINGS& settings,
                   ADDAHEAD* ahead, ITEMS_ROOM* room) {
  if (!NameFits(file.name)) return ITEMS_ADDED::kRefused;
  // Read and encoded piece by piece: the chunks are the only copy held.
  ENCODED encoded;
  if (ahead != nullptr) {
    ahead->Take(index, &encoded);
  } else {
    EncodeNow(file, settings, &encoded);
  }
  const std::string& path = file.path;
  const BLOBJIO_FILEREAD read = encoded.read;
  // Swapped since the listing: what the file is now was never shown.
  if (read == BLOBJIO_FILE_NOT_REGULAR || read == BLOBJIO_FILE_CHANGED) {
    CONSOLE_Error(read == BLOBJIO_FILE_CHANGED ? kSourceChanged : kSourceNotFile,
                  PLATFORM_Printable(path).c_str());
    return ITEMS_ADDED::kRefused;
  }
  if (read != BLOBJIO_FILE_READ || encoded.facts.length == 0) {
    CONSOLE_Error(kReadError, PLATFORM_Printable(path).c_str());
    return ITEMS_ADDED::kStop;
  }
  const COMPR_CHUNKS& chunks = encoded.chunks;
  if (!Fits(path, chunks.lengths.size(), *room)) return ITEMS_ADDED::kRefused;
  if (!StoreItem(file.name, settings, encoded.facts, chunks)) return ITEMS_ADDED::kStop;
  room->items += 1;
  room->chunks += static_cast<int>(chunks.lengths.size());
  return ITEMS_ADDED::kAdded;
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
    if (!AskShowingDefault(kFilenamePrompt, old_name, out_name, APP_MAXFILENAME)) return false;
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

void ITEMS_AddFiles(const std::vector<ITEMS_SOURCE>& files, const ITEMS_ADDSETTINGS& settings,
                    ITEMS_ROOM* room, const ITEMS_AFTERFILE& after) {
  ADDAHEAD ahead(files, settings);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!after(i, AddOne(files[i], i, settings, &ahead, room))) return;
  }
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
  std::vector<ITEMS_SOURCE> files;
  for (const std::string& name : choice.names) {
    files.push_back({PATHS_Join(APP_State().current_dir, name), name});
  }
  int added = 0;
  bool stopped = false;
  ITEMS_AddFiles(files, choice, &room, [&](std::size_t i, ITEMS_ADDED result) {
    if (result == ITEMS_ADDED::kStop) {
      stopped = true;
      return false;
    }
    if (result == ITEMS_ADDED::kAdded) {
      CONSOLE_Print(kAdded, PLATFORM_Printable(files[i].name).c_str());
      ++added;
    }
    return true;
  });
  if (stopped) {
    // What was committed before the stop is in the tables; quitting must
    // save it.
    if (added > 0) APP_State().changed = true;
    return;
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
  if (!AskShowingDefault(kDescriptionPrompt, old_text, &answer, APP_MAXDESCRIPTION)) return;
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

namespace {
// "f" and "l": the items a search pattern finds, in one form or the other.
void FindAndPrint(ITEMFORM form) {
  std::vector<KASPO> found;
  std::string text;
  if (!ITEMLIST_AskPattern(&text)) return;
  (void)ITEMLIST_Search(text, &found);
  ITEMLIST_Print(found, form, true);
  CONSOLE_Print(kFound, static_cast<int>(found.size()));
}
}  // namespace

void ITEMS_Find() { FindAndPrint(ITEMLIST_LONG); }

void ITEMS_List() { FindAndPrint(ITEMLIST_SHORT); }

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
