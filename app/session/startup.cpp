// startup.cpp: start-up order and the end of the program.
#include "app/session/startup.h"

#include <string_view>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/base/paths.h"
#include "app/container/app_state.h"
#include "app/items/item_commands.h"
#include "app/session/command_line.h"
#include "app/session/command_loop.h"
#include "app/session/container.h"
#include "app/session/leftovers.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/terminal.h"

namespace {
constexpr char kBanner[] = "Kaspo 1.1 (12.07.2003)\n";
constexpr char kPathVariable[] = "KASPO_PATH";
constexpr char kDefaultDir[] = ".";
constexpr char kNoSuchPathDir[] = "Warning: KASPO_PATH-directory '%s' does not exist!\n";
constexpr char kQuitUnsaved[] = "kaspo not saved! Quit anyway? (n/y) ";
constexpr int kUsageStatus = 1;
constexpr int kNormalStatus = 0;

bool IsHelpSwitch(std::string_view arg) { return arg == "--help" || arg == "-?" || arg == "-h"; }

// A named container is loaded when its file exists; a path without a file
// stays the container path, and the first save creates the file. A path
// of a directory, pipe or device is warned about and dropped: the session
// goes on without a container.
void OpenNamedContainer(CONTAINERFILE* file) {
  const std::string path = file->Path();
  switch (CFILE_CheckPath(path)) {
    case CFILE_PATH_FILE: (void)CONTAINER_Read(file, path); break;
    case CFILE_PATH_NONE: file->Enter(path); break;
    case CFILE_PATH_REFUSED: file->Name({}); return;
  }
  ITEMS_Status();
  LEFTOVER_TellRescues(path);
  CONSOLE_Print("\n");
}

// Whether the program may end after "q". A changed container is saved
// first; when that save fails the changes exist only in memory, so the
// user chooses between losing them and going back to the prompt (to free
// space and save again). "n", an empty answer and "q" go back; other
// characters are read over.
bool MayQuit(APPSTATE* app) {
  if (!app->container.Named() || CONTAINER_SaveIfChanged(&app->container, &app->changed)) {
    return true;
  }
  const int c = CONSOLE_AskAccepted(kQuitUnsaved, "yYn\nq");
  if (c != 'y' && c != 'Y') return false;
  // The user gave the changes up: the end has nothing to rescue.
  app->changed = false;
  return true;
}

// The end handler: what is unsaved goes to a rescue file.
void RescueAtEnd() {
  const APPSTATE& app = APP_State();
  LEFTOVER_RescueChanges(app.container, app.changed);
}

void TakeArguments(int argc, const char* const* argv) {
  std::string path;
  if (!APP_ScanArgs(argc, argv, &path)) {
    CLI_PrintUsage();
    PLATFORM_Exit(kUsageStatus);
  }
  if (!path.empty()) PATHS_ForceExtension(&path);
  APP_State().container.Name(path);
}
}  // namespace

int APP_ScanArgs(int argc, const char* const* argv, std::string* out_path) {
  out_path->clear();
  bool have_path = false;
  for (int i = 1; i < argc; ++i) {
    if (IsHelpSwitch(argv[i]) || have_path) return 0;
    *out_path = argv[i];
    have_path = true;
  }
  return 1;
}

void APP_ChooseDirectory() {
  APPSTATE& app = APP_State();
  std::string value;
  app.current_dir = kDefaultDir;
  if (!PLATFORM_GetEnv(kPathVariable, &value)) return;
  if (PLATFORM_IsDirectory(value.c_str())) {
    app.current_dir = value;
  } else {
    CONSOLE_Print(kNoSuchPathDir, PLATFORM_Printable(value).c_str());
  }
}

int APP_Main(int argc, const char* const* argv) {
  // A command for a script ends with its own status: the engine's exit
  // handling, which ends every dialogue with 1, never runs for it.
  if (CLI_Wanted(argc, argv)) PLATFORM_QuickExit(CLI_Run(argc, argv));
  CONSOLE_Print(kBanner);
  TakeArguments(argc, argv);
  APP_ChooseDirectory();
  APPDB_Start();
  // Every end from here on that is not fatal keeps what is unsaved.
  PLATFORM_SetEndHandler(RescueAtEnd);
  APPSTATE& app = APP_State();
  if (app.container.Named()) OpenNamedContainer(&app.container);
  LOOP_PrintMenu();
  // At the end of input (or an end request, which ends it) the container
  // is not saved, the user never asked to quit: the end of the process
  // writes the changes to a rescue file instead.
  while (LOOP_Run() == LOOP_QUIT && !MayQuit(&app)) {
  }
  return kNormalStatus;
}
