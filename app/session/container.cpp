// container.cpp: loading and saving containers, and the commands new,
// open and save.
#include "app/session/container.h"

#include <string>
#include <utility>
#include <vector>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/base/file_pattern.h"
#include "app/base/limits.h"
#include "app/base/paths.h"
#include "app/container/app_state.h"
#include "app/container/container_file.h"
#include "app/container/table_file_io.h"
#include "app/items/item_commands.h"
#include "app/session/directory_commands.h"
#include "app/session/leftovers.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/newfile.h"
#include "platform/terminal.h"
#include "records/blobj.h"
#include "records/kaspo.h"
#include "records/kfacts.h"

namespace {
constexpr char kSaved[] = "kaspo-db '%s' saved!\n";
constexpr char kSaveError[] = "error saving kaspo-db '%s'!\n";
constexpr char kOpened[] = "kaspo '%s' opened\n";
constexpr char kReadError[] = "error reading kaspo-db '%s'!\n";
constexpr char kCreated[] = "new kaspo '%s' created\n";
constexpr char kExists[] = "file '%s' already exists!\n";
constexpr char kNoContainers[] = "no kaspo-file in directory '%s'!\n";
constexpr char kDirectoryPrompt[] = "# Directory? ";
constexpr char kFilePrompt[] = "# File? ";
constexpr char kCorrectDirectory[] = "Correct directory? (y/n/q) ";
constexpr char kContainerPattern[] = "*.ksp";
constexpr char kAnyFile[] = "*";
// Saves begun again after a file appeared where the save was to make one:
// each time the question before the save is asked anew, so only a file
// that keeps coming and going runs out of them.
constexpr int kSaveRounds = 3;

enum CHOICE { CHOICE_GO, CHOICE_AGAIN, CHOICE_LEAVE };

// Asks "Correct directory?": "n" asks for the directory again, "q" leaves,
// an empty answer, "y" or "Y" go on; other characters are read over.
CHOICE AskCorrectDirectory() {
  const int c = CONSOLE_AskAccepted(kCorrectDirectory, "nq\nyY");
  if (c == 'n') return CHOICE_AGAIN;
  if (c == 'q') return CHOICE_LEAVE;
  return CHOICE_GO;
}

// Asks for a directory until one exists (the current directory of the
// program stays as it is) and lists its files that match `pattern`. With
// `need_files` a directory without such files is asked for again.
bool ChooseDirectory(const char* pattern, bool need_files, const char* none_message,
                     std::string* out_dir, std::vector<std::string>* out_names) {
  for (;;) {
    do {
      if (!ask_string_default(kDirectoryPrompt, APP_State().current_dir, out_dir, APP_MAXPATH)) {
        return false;
      }
    } while (!PLATFORM_IsDirectory(out_dir->c_str()));
    (void)FPATTERN_List(*out_dir, pattern, out_names);
    if (out_names->empty()) {
      CONSOLE_Print(none_message, PLATFORM_Printable(*out_dir).c_str());
      if (need_files) continue;
    } else {
      CONSOLE_PrintNames(*out_names);
    }
    const CHOICE choice = AskCorrectDirectory();
    if (choice == CHOICE_LEAVE) return false;
    if (choice == CHOICE_GO) return true;
  }
}

// The container to open: the only one listed, or the one named (asked
// again for a name of no file, and with a warning for one of a directory,
// pipe or device).
bool ChooseContainer(const std::string& dir, const std::vector<std::string>& names,
                     std::string* out_path) {
  if (names.size() == 1) {
    *out_path = PATHS_Join(dir, names[0]);
    return true;
  }
  std::string answer;
  do {
    if (!ask_string_default(kFilePrompt, names.back(), &answer, APP_MAXPATH)) return false;
    *out_path = PATHS_Join(dir, answer);
  } while (CFILE_CheckPath(*out_path) != CFILE_PATH_FILE);
  return true;
}

// The path of a new container: a name that nothing has yet in `dir`.
bool ChooseNewName(const std::string& dir, std::string* out_path) {
  std::string answer;
  for (;;) {
    if (!ask_string(kFilePrompt, &answer, APP_MAXPATH, 1)) return false;
    *out_path = PATHS_Join(dir, answer);
    PATHS_ForceExtension(out_path);
    const CFILEPATH kind = CFILE_CheckPath(*out_path);
    if (kind == CFILE_PATH_NONE) return true;
    if (kind == CFILE_PATH_FILE) CONSOLE_Print(kExists, PLATFORM_Printable(answer).c_str());
  }
}
}  // namespace

int CONTAINER_Load(const std::string& path) {
  return Group_Load(APPDB_Handle(), path, TABLEFILE_GROUP);
}

bool CONTAINER_Read(CONTAINERFILE* file, const std::string& path) {
  file->Enter(path);
  if (CONTAINER_Load(path)) return true;
  CONSOLE_Print(kReadError, PLATFORM_Printable(path).c_str());
  file->LoadFailed();
  return false;
}

void CONTAINER_Save(CONTAINERFILE* file, bool* changed) {
  const std::string shown = PLATFORM_Printable(file->Path());
  for (int round = 0; round < kSaveRounds; ++round) {
    const CFILESAVE may = file->MaySave();
    if (may == CFILE_SAVE_REFUSED) return;
    // Where there was no file, the save makes one only while the name is
    // free: one that another session or program made meanwhile is not
    // replaced, but asked about as any file changed on disk.
    const PLATFORM_NEWFILEPLACE place =
        may == CFILE_SAVE_CREATE ? PLATFORM_NEWFILE_CREATE : PLATFORM_NEWFILE_REPLACE;
    ITEMS_CompleteFacts();
    PLATFORM_LOCK fresh;
    bool taken = false;
    if (Group_Save(APPDB_Handle(), file->Path(), TABLEFILE_GROUP, &fresh, place, &taken)) {
      file->Saved(std::move(fresh));
      CONSOLE_Print(kSaved, shown.c_str());
      *changed = false;
      return;
    }
    if (!taken) break;
  }
  CONSOLE_Error(kSaveError, shown.c_str());
}

bool CONTAINER_SaveIfChanged(CONTAINERFILE* file, bool* changed) {
  if (!*changed) return true;
  CONTAINER_Save(file, changed);
  return !*changed;
}

void CONTAINER_Open(CONTAINERFILE* file, bool* changed) {
  std::string dir;
  std::vector<std::string> names;
  std::string path;
  if (!ChooseDirectory(kContainerPattern, true, kNoContainers, &dir, &names) ||
      !ChooseContainer(dir, names, &path) || !CONTAINER_SaveIfChanged(file, changed)) {
    return;
  }
  // Looked at again after the save: never read a pipe or a device put
  // there meanwhile. The current container stays.
  if (CFILE_CheckPath(path) == CFILE_PATH_REFUSED) return;
  // Even a failed load makes this the current container, with only what
  // could be read from it: the previous container's items are gone.
  if (CONTAINER_Read(file, path)) CONSOLE_Print(kOpened, PLATFORM_Printable(path).c_str());
  LEFTOVER_TellRescues(path);
}

void CONTAINER_New(CONTAINERFILE* file, bool* changed) {
  std::string dir;
  std::vector<std::string> names;
  std::string path;
  if (!ChooseDirectory(kAnyFile, false, DIRCMD_NOFILES, &dir, &names) ||
      !ChooseNewName(dir, &path) || !CONTAINER_SaveIfChanged(file, changed)) {
    return;
  }
  file->Enter(path);
  *changed = false;
  if (!KASPO_Delete_All(APPDB_Handle()) || !BLOBJ_Delete_All(APPDB_Handle()) ||
      !KFACTS_Delete_All(APPDB_Handle())) {
    dberror_print();
  }
  CONSOLE_Print(kCreated, PLATFORM_Printable(path).c_str());
}
