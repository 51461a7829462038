// item_export.cpp: items to files, and the reading of items in order.
#include "app/items/item_export.h"

#include <deque>
#include <string>
#include <unordered_set>
#include <utility>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/base/paths.h"
#include "app/items/content_fault.h"
#include "app/items/item_facts.h"
#include "app/items/item_listing.h"
#include "platform/file_stamp.h"
#include "platform/files.h"
#include "platform/newfile_queue.h"
#include "platform/report.h"
#include "platform/terminal.h"
#include "records/blobj.h"
#include "records/fields.h"

namespace {

constexpr char kRemovedStale[] = "removed left-over file '%s'\n";
constexpr char kOverwriteQuestion[] = "File already exists. Overwrite? (y/n/q) ";
constexpr char kWriteChunksError[] = "BLOBJ_Write error!\n";
constexpr char kWriteError[] = "warning: file '%s' write error!\n";
constexpr char kNotPlainName[] = "warning: file name '%s' is not a plain file name!\n";
constexpr char kExported[] = "  file '%s' exported\n";
constexpr char kPathLine[] = "%s\n";
constexpr char kTargetLink[] = "warning: file '%s' is a symbolic link, not exported!\n";
constexpr char kTargetNotFile[] = "warning: file '%s' is not a regular file, not exported!\n";
constexpr char kTargetContainer[] = "warning: file '%s' is the open kaspo, not exported!\n";
constexpr char kTargetKept[] = "warning: file '%s' exists, not overwritten!\n";
constexpr char kNoDirectory[] = "warning: directory for '%s' cannot be made, not exported!\n";

DBHANDLE* Db() { return APPDB_Handle(); }

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
  std::string path;        // of a file handed to the writer, else empty
  PLATFORM_BUFFERED read;  // what reading the item said
  std::string damage;      // the line naming a damaged item; its file was not written
};

// An export under way. The files are written by a thread of their own
// while the next items are read and decoded; what is said of each item
// waits until its file is in place, so that the lines come in the order
// of the items as before.
class EXPORT {
 public:
  explicit EXPORT(const EXPORTSETTINGS& settings) : settings_(settings) {}

  // Says the notes whose files are done; with `all`, waits for every one.
  void SayReady(bool all) {
    while (!notes_.empty()) {
      EXPORTNOTE& note = notes_.front();
      bool committed = false;
      if (!note.path.empty()) {
        if (!files_.Collect(all, &committed)) return;
        in_flight_.erase(in_flight_.find(note.path));
      }
      PLATFORM_WriteBuffered(&note.read);
      if (note.refusal != nullptr) {
        CONSOLE_Error(note.refusal, note.shown.c_str());
      } else if (committed) {
        if (!settings_.quiet) {
          CONSOLE_Print(settings_.path_lines ? kPathLine : kExported, note.shown.c_str());
        }
        ++result_.written;
      } else if (note.damage.empty()) {
        CONSOLE_Error(kWriteError, note.shown.c_str());
      }
      if (!note.damage.empty()) CONSOLE_Error("%s", note.damage.c_str());
      if (!committed) ++result_.failed;
      notes_.pop_front();
    }
  }
  void Refuse(const char* refusal, const std::string& shown) {
    notes_.push_back(EXPORTNOTE{refusal, shown, {}, {}, {}});
  }
  // Whether a file of `path` is still on its way: one found there now may
  // not be what the export leaves.
  bool InFlight(const std::string& path) const { return in_flight_.count(path) != 0; }
  PLATFORM_NEWFILEQUEUE& Files() { return files_; }
  // The file begun is ended: committed, or discarded with `refusal` or
  // `damage`; `read` holds what reading its content said.
  void Ended(const std::string& path, const char* refusal, PLATFORM_BUFFERED read,
             std::string damage = {}) {
    in_flight_.insert(path);
    notes_.push_back(
        EXPORTNOTE{refusal, PLATFORM_Printable(path), path, std::move(read), std::move(damage)});
  }
  const EXPORTSETTINGS& Settings() const { return settings_; }
  EXPORTRESULT& Result() { return result_; }

 private:
  const EXPORTSETTINGS& settings_;
  PLATFORM_NEWFILEQUEUE files_;
  std::deque<EXPORTNOTE> notes_;
  std::unordered_multiset<std::string> in_flight_;
  EXPORTRESULT result_;
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

// What an export needs of the session besides the items: their facts and
// the open container, which no exported file may replace.
struct EXPORTCONTEXT {
  ITEMFACTS_MAP facts;
  PLATFORM_FILESTAMP container;  // of the file the container path names now
};

// Whether the item's target may be written, and whether a file is there:
// false after noting why not. The directories of a name below the target
// directory are made here.
bool MayWrite(const std::string& name, const std::string& path, const EXPORTCONTEXT& context,
              EXPORT* out, bool* out_exists) {
  if (!EXPORT_IsSafeName(name)) {
    out->Refuse(kNotPlainName, PLATFORM_Printable(name));
    return false;
  }
  const std::size_t slash = name.rfind(PLATFORM_SEPARATOR);
  if (slash != std::string::npos &&
      !PLATFORM_MakeDirectoriesBelow(out->Settings().dir, name.substr(0, slash))) {
    out->Refuse(kNoDirectory, PLATFORM_Printable(path));
    return false;
  }
  if (out->InFlight(path)) out->SayReady(true);
  if (const char* refusal = TargetRefusal(path, out_exists)) {
    out->Refuse(refusal, PLATFORM_Printable(path));
    return false;
  }
  PLATFORM_FILESTAMP target;
  if (*out_exists && context.container.exists) PLATFORM_StampPath(path.c_str(), &target);
  if (PLATFORM_SameFile(target, context.container)) {
    out->Refuse(kTargetContainer, PLATFORM_Printable(path));
    return false;
  }
  if (*out_exists && out->Settings().existing == EXPORT_KEEP) {
    out->Refuse(kTargetKept, PLATFORM_Printable(path));
    return false;
  }
  return true;
}

// Hands one item's content to the writer for its file. False: the user
// left the command at the overwrite question.
bool ExportOneItem(const KASPO& item, const EXPORTCONTEXT& context, ITEMREADER* reader,
                   EXPORT* out) {
  const std::string name = RECFIELD_Text(item.filename);
  const std::string path = PATHS_Join(out->Settings().dir, name);
  bool exists = false;
  if (!MayWrite(name, path, context, out, &exists)) return true;
  if (exists && out->Settings().existing == EXPORT_ASK) {
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
  ITEMFACTS_CHECKSINK check(&sink);
  const KFACTS* facts = ITEMFACTS_Find(context.facts, item);
  // What the reading says waits for the lines of the items before.
  PLATFORM_OUTPUTBUFFER buffer;
  const bool read = reader->Read(item, &check);
  PLATFORM_BUFFERED said = buffer.End();
  if (!read) {
    // Damaged content fails this item only.
    files.Discard();
    out->Ended(path, kWriteChunksError, std::move(said),
               ITEMFACTS_Unreadable(PLATFORM_Printable(name)));
    return true;
  }
  std::string damage = check.Damage(PLATFORM_Printable(name), item, facts);
  if (!damage.empty()) {
    files.Discard();
    out->Ended(path, nullptr, std::move(said), std::move(damage));
    return true;
  }
  // Only a file that replaces the user's own must be on the disk before the
  // rename: a new file lost in a crash is still in the container, and
  // syncing every one of thousands of new files would double an export.
  files.Commit(exists ? PLATFORM_DURABLE : PLATFORM_CACHED, ITEMFACTS_Meta(facts));
  out->Ended(path, nullptr, std::move(said));
  return true;
}
}  // namespace

bool EXPORT_IsSafeName(const std::string& name) {
  if (name.empty() || name.front() == PLATFORM_SEPARATOR) return false;
  for (std::size_t at = 0;;) {
    const std::size_t end = name.find(PLATFORM_SEPARATOR, at);
    const std::string part = name.substr(at, end == std::string::npos ? end : end - at);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string::npos) return true;
    at = end + 1;
  }
}

EXPORTRESULT EXPORT_Items(const std::vector<KASPO>& items, const EXPORTSETTINGS& settings) {
  EXPORTCONTEXT context;
  if (!ITEMFACTS_Load(&context.facts)) {
    EXPORTRESULT none;
    none.failed = static_cast<int>(items.size());
    return none;
  }
  if (settings.container != nullptr) settings.container->StampNow(&context.container);
  ITEMREADER reader(items);
  EXPORT exporting(settings);
  for (const KASPO& item : items) {
    if (!ExportOneItem(item, context, &reader, &exporting)) {
      exporting.Result().left = true;
      break;
    }
    exporting.SayReady(false);
  }
  exporting.SayReady(true);
  return exporting.Result();
}

ITEMREADER::ITEMREADER(const std::vector<KASPO>& items) {
  if (items.size() < static_cast<std::size_t>(BLOBJIO_BATCHMIN)) return;
  std::vector<std::string> keys;
  for (const KASPO& item : items) keys.emplace_back(item.kaspo_id);
  if (DB_Begin(Db())) {
    batched_ = BLOBJIO_ReadBatch(Db(), keys, RECORD_TABLE_KASPO, &batch_);
    if (!batched_) APPDB_CommitOrEnd(Db());
  }
  DBHANDLE_ClearError();
}

ITEMREADER::~ITEMREADER() {
  if (batched_) APPDB_CommitOrEnd(Db());
}

int ITEMREADER::Read(const KASPO& item, BLOBJIO_SINK* sink) {
  BLOBJIO_FAULT fault;
  const int read =
      batched_ ? BLOBJIO_TakeFromBatch(Db(), &batch_, item.kaspo_id, item.size, sink, &fault)
               : BLOBJIO_ReadItem(Db(), item.kaspo_id, RECORD_TABLE_KASPO, item.size, sink, &fault);
  if (!read) CONTENTFAULT_Print(fault);
  return read;
}

void EXPORT_RemoveStaleTemps(const std::string& dir) {
  std::vector<std::string> removed;
  PLATFORM_NewFileRemoveStaleIn(dir, &removed);
  for (const std::string& name : removed) {
    CONSOLE_Print(kRemovedStale, PLATFORM_Printable(PATHS_Join(dir, name)).c_str());
  }
}
