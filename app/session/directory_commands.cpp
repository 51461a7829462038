// directory_commands.cpp: "cd" and "ls".
#include "app/session/directory_commands.h"

#include <string>
#include <vector>

#include "app/base/console.h"
#include "app/base/limits.h"
#include "app/container/app_state.h"
#include "platform/files.h"
#include "platform/terminal.h"

namespace {
constexpr char kDirectoryPrompt[] = "# Directory? ";
constexpr char kNotFound[] = "directory '%s' not found!\n";
}  // namespace

void DIRCMD_ChangeDirectory() {
  APPSTATE& app = APP_State();
  std::string answer;
  for (;;) {
    if (!ask_string_default(kDirectoryPrompt, app.current_dir, &answer, APP_MAXPATH)) return;
    if (PLATFORM_IsDirectory(answer.c_str())) {
      app.current_dir = answer;
      return;
    }
    CONSOLE_Print(kNotFound, PLATFORM_Printable(answer).c_str());
  }
}

void DIRCMD_ListDirectory() {
  const std::string& dir = APP_State().current_dir;
  std::vector<std::string> names;
  // A directory that cannot be read (removed since it was chosen) shows
  // as one without files.
  if (!PLATFORM_ListRegularFiles(dir.c_str(), &names) || names.empty()) {
    CONSOLE_Print(DIRCMD_NOFILES, PLATFORM_Printable(dir).c_str());
    return;
  }
  CONSOLE_PrintNames(names);
}
