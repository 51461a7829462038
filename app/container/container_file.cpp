// container_file.cpp: the open container's lock, stamps, path kinds and
// the questions before a save.
#include "app/container/container_file.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "app/base/console.h"
#include "app/base/database.h"
#include "platform/files.h"
#include "platform/report.h"
#include "platform/terminal.h"
#include "records/dbhandle.h"
#include "records/kaspo.h"

namespace {
constexpr char kInUse[] = "kaspo-db '%s' is in use by another session: read-only!\n";
constexpr char kInUseNotSaved[] = "kaspo-db '%s' is in use by another session, not saved!\n";
constexpr char kCannotLock[] = "kaspo-db '%s' cannot be locked: %s!\n";
constexpr char kNotFile[] = "warning: kaspo-db '%s' is not a regular file!\n";
constexpr char kNotFileNotSaved[] = "warning: kaspo-db '%s' is not a regular file, not saved!\n";
constexpr char kItemsRead[] = "only %d items could be read!\n";
constexpr char kOverwriteUnread[] = "kaspo-db '%s' could not be read! Overwrite it? (n/y) ";
constexpr char kOverwriteChanged[] = "kaspo-db '%s' was changed on disk! Overwrite it? (n/y) ";
// "n", an empty answer and the end of input keep the file; other
// characters are read over.
constexpr char kYesNo[] = "yYn\nq";

// The path as the terminal may show it.
std::string Shown(const std::string& path) { return PLATFORM_Printable(path); }

bool AskYes(const char* question, const std::string& path) {
  const std::string text = PLATFORM_Format(question, Shown(path).c_str());
  const int c = CONSOLE_AskAccepted(text.c_str(), kYesNo);
  return c == 'y' || c == 'Y';
}
}  // namespace

CFILEPATH CFILE_CheckPath(const std::string& path) {
  switch (PLATFORM_FileKind(path.c_str())) {
    case PLATFORM_REGULAR: return CFILE_PATH_FILE;
    case PLATFORM_MISSING: return CFILE_PATH_NONE;
    default: break;
  }
  CONSOLE_Error(kNotFile, Shown(path).c_str());
  return CFILE_PATH_REFUSED;
}

// A lock the system refuses is reported once per container; the session
// then saves as if it had the lock, and the stamps catch what others
// wrote.
PLATFORM_LOCKRESULT CONTAINERFILE::TakeLock() {
  int error = 0;
  const PLATFORM_LOCKRESULT result = PLATFORM_Lock(path_.c_str(), &lock_, &error);
  if (result == PLATFORM_LOCK_FAILED && !lock_warned_) {
    lock_warned_ = true;
    CONSOLE_Error(kCannotLock, Shown(path_).c_str(), std::strerror(error));
  }
  return result;
}

void CONTAINERFILE::Name(const std::string& path) {
  lock_.Release();
  path_ = path;
  stamp_ = PLATFORM_FILESTAMP{};
  unread_ = false;
  lock_warned_ = false;
}

void CONTAINERFILE::Enter(const std::string& path) {
  Name(path);
  if (TakeLock() == PLATFORM_LOCK_BUSY) CONSOLE_Print(kInUse, Shown(path_).c_str());
  // Noted before the load: a change during it shows at the next save.
  PLATFORM_StampPath(path_.c_str(), &stamp_);
}

void CONTAINERFILE::LoadFailed() {
  unread_ = true;
  int items = 0;
  if (!KASPO_Cur_Count(&items, APPDB_Handle())) dberror_print();
  CONSOLE_Print(kItemsRead, items);
}

CFILESAVE CONTAINERFILE::MaySave() {
  const PLATFORM_FILEKIND kind = PLATFORM_FileKind(path_.c_str());
  if (kind == PLATFORM_DIRECTORY || kind == PLATFORM_OTHER) {
    CONSOLE_Error(kNotFileNotSaved, Shown(path_).c_str());
    return CFILE_SAVE_REFUSED;
  }
  // The other session may have ended since; then this one takes over.
  if (!lock_.Held() && TakeLock() == PLATFORM_LOCK_BUSY) {
    CONSOLE_Error(kInUseNotSaved, Shown(path_).c_str());
    return CFILE_SAVE_REFUSED;
  }
  if (unread_ && !AskYes(kOverwriteUnread, path_)) return CFILE_SAVE_REFUSED;
  PLATFORM_FILESTAMP now;
  PLATFORM_StampPath(path_.c_str(), &now);
  if (!now.exists) return CFILE_SAVE_CREATE;
  // A file that is gone loses nothing when it is written again.
  if (!PLATFORM_SameStamp(now, stamp_) && !AskYes(kOverwriteChanged, path_)) {
    return CFILE_SAVE_REFUSED;
  }
  return CFILE_SAVE_REPLACE;
}

void CONTAINERFILE::Saved(PLATFORM_LOCK fresh) {
  // The old lock was on the file just replaced.
  lock_ = std::move(fresh);
  // A new file the system would not lock: tried again here, so that a
  // file system without locks is reported after the save that made the
  // file.
  if (!lock_.Held()) (void)TakeLock();
  if (lock_.Held()) {
    PLATFORM_StampLocked(lock_, &stamp_);
  } else {
    PLATFORM_StampPath(path_.c_str(), &stamp_);
  }
  unread_ = false;
}

void CONTAINERFILE::StampNow(PLATFORM_FILESTAMP* out) const {
  *out = PLATFORM_FILESTAMP{};
  if (Named()) PLATFORM_StampPath(path_.c_str(), out);
}
