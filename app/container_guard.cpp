// container_guard.cpp: locks, stamps and the questions before a save.
#include "app/container_guard.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/console.h"
#include "app/database.h"
#include "records/dbhandle.h"
#include "records/kaspo.h"

namespace {
constexpr char kInUse[] = "kaspo-db '%s' is in use by another session: read-only!\n";
constexpr char kInUseNotSaved[] = "kaspo-db '%s' is in use by another session, not saved!\n";
constexpr char kItemsRead[] = "only %d items could be read!\n";
constexpr char kOverwriteUnread[] = "kaspo-db '%s' could not be read! Overwrite it? (n/y) ";
constexpr char kOverwriteChanged[] = "kaspo-db '%s' was changed on disk! Overwrite it? (n/y) ";
// "n", an empty answer and the end of input keep the file; other
// characters are read over.
constexpr char kYesNo[] = "yYn\nq";

bool AskYes(const char* question, const std::string& path) {
  const int size = std::snprintf(nullptr, 0, question, path.c_str());
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), question, path.c_str());
  text.resize(static_cast<std::size_t>(size));
  const int c = CONSOLE_AskAccepted(text.c_str(), kYesNo);
  return c == 'y' || c == 'Y';
}

// A file that is gone loses nothing when it is written again; one that
// appeared or was written meanwhile would lose what someone put there.
bool ChangedOnDisk(const APPSTATE& app) {
  PLATFORM_FILESTAMP now;
  PLATFORM_StampPath(app.container_path.c_str(), &now);
  return now.exists && !PLATFORM_SameStamp(now, app.stamp);
}
}  // namespace

void GUARD_Enter(const std::string& path) {
  APPSTATE& app = APP_State();
  PLATFORM_Unlock(&app.lock);
  app.container_path = path;
  app.unread = false;
  if (PLATFORM_Lock(path.c_str(), &app.lock) == PLATFORM_LOCK_BUSY) {
    CONSOLE_Print(kInUse, path.c_str());
  }
  // Noted before the load: a change during it shows at the next save.
  PLATFORM_StampPath(path.c_str(), &app.stamp);
}

void GUARD_LoadFailed() {
  APP_State().unread = true;
  int items = 0;
  if (!KASPO_Cur_Count(&items, APPDB_Handle())) dberror_print();
  CONSOLE_Print(kItemsRead, items);
}

bool GUARD_MaySave() {
  APPSTATE& app = APP_State();
  const std::string& path = app.container_path;
  // The other session may have ended since; then this one takes over.
  if (app.lock.fd < 0 && PLATFORM_Lock(path.c_str(), &app.lock) == PLATFORM_LOCK_BUSY) {
    CONSOLE_Error(kInUseNotSaved, path.c_str());
    return false;
  }
  if (app.unread && !AskYes(kOverwriteUnread, path)) return false;
  return !ChangedOnDisk(app) || AskYes(kOverwriteChanged, path);
}

void GUARD_Saved(PLATFORM_LOCK* fresh) {
  APPSTATE& app = APP_State();
  // The old lock was on the file just replaced.
  PLATFORM_Unlock(&app.lock);
  app.lock = *fresh;
  *fresh = PLATFORM_LOCK{};
  if (app.lock.fd >= 0) {
    PLATFORM_StampLocked(app.lock, &app.stamp);
  } else {
    PLATFORM_StampPath(app.container_path.c_str(), &app.stamp);
  }
  app.unread = false;
}
