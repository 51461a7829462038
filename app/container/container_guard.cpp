// container_guard.cpp: locks, stamps, path kinds and the questions before
// a save.
#include "app/container/container_guard.h"

#include <cstdio>
#include <cstring>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/container/app_state.h"
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

// Takes the current container's lock into the application state. A lock
// the system refuses is reported once per container; the session then
// saves as if it had the lock, and the stamps catch what others wrote.
PLATFORM_LOCKRESULT TakeLock(APPSTATE* app) {
  int error = 0;
  const PLATFORM_LOCKRESULT result = PLATFORM_Lock(app->container_path.c_str(), &app->lock, &error);
  if (result == PLATFORM_LOCK_FAILED && !app->lock_warned) {
    app->lock_warned = true;
    CONSOLE_Error(kCannotLock, Shown(app->container_path).c_str(), std::strerror(error));
  }
  return result;
}

// Whether the file on disk differs from the one this session read or
// saved (a file that is gone loses nothing when it is written again).
bool ChangedOnDisk(const APPSTATE& app, const PLATFORM_FILESTAMP& now) {
  return now.exists && !PLATFORM_SameStamp(now, app.stamp);
}
}  // namespace

GUARDPATH GUARD_CheckPath(const std::string& path) {
  switch (PLATFORM_FileKind(path.c_str())) {
    case PLATFORM_REGULAR: return GUARD_PATH_FILE;
    case PLATFORM_MISSING: return GUARD_PATH_NONE;
    default: break;
  }
  CONSOLE_Error(kNotFile, Shown(path).c_str());
  return GUARD_PATH_REFUSED;
}

void GUARD_Enter(const std::string& path) {
  APPSTATE& app = APP_State();
  PLATFORM_Unlock(&app.lock);
  app.container_path = path;
  app.unread = false;
  app.lock_warned = false;
  if (TakeLock(&app) == PLATFORM_LOCK_BUSY) CONSOLE_Print(kInUse, Shown(path).c_str());
  // Noted before the load: a change during it shows at the next save.
  PLATFORM_StampPath(path.c_str(), &app.stamp);
}

void GUARD_LoadFailed() {
  APP_State().unread = true;
  int items = 0;
  if (!KASPO_Cur_Count(&items, APPDB_Handle())) dberror_print();
  CONSOLE_Print(kItemsRead, items);
}

GUARDSAVE GUARD_MaySave() {
  APPSTATE& app = APP_State();
  const std::string& path = app.container_path;
  const PLATFORM_FILEKIND kind = PLATFORM_FileKind(path.c_str());
  if (kind == PLATFORM_DIRECTORY || kind == PLATFORM_OTHER) {
    CONSOLE_Error(kNotFileNotSaved, Shown(path).c_str());
    return GUARD_REFUSED;
  }
  // The other session may have ended since; then this one takes over.
  if (app.lock.fd < 0 && TakeLock(&app) == PLATFORM_LOCK_BUSY) {
    CONSOLE_Error(kInUseNotSaved, Shown(path).c_str());
    return GUARD_REFUSED;
  }
  if (app.unread && !AskYes(kOverwriteUnread, path)) return GUARD_REFUSED;
  PLATFORM_FILESTAMP now;
  PLATFORM_StampPath(path.c_str(), &now);
  if (!now.exists) return GUARD_CREATE;
  if (ChangedOnDisk(app, now) && !AskYes(kOverwriteChanged, path)) return GUARD_REFUSED;
  return GUARD_REPLACE;
}

void GUARD_Saved(PLATFORM_LOCK* fresh) {
  APPSTATE& app = APP_State();
  // The old lock was on the file just replaced.
  PLATFORM_Unlock(&app.lock);
  app.lock = *fresh;
  *fresh = PLATFORM_LOCK{};
  // A new file the system would not lock: tried again here, so that a
  // file system without locks is reported after the save that made the
  // file.
  if (app.lock.fd < 0) (void)TakeLock(&app);
  if (app.lock.fd >= 0) {
    PLATFORM_StampLocked(app.lock, &app.stamp);
  } else {
    PLATFORM_StampPath(app.container_path.c_str(), &app.stamp);
  }
  app.unread = false;
}
