// command_loop.cpp: the main prompt.
#include "app/session/command_loop.h"

#include <string>

#include "app/base/console.h"
#include "app/container/app_state.h"
#include "app/items/item_commands.h"
#include "app/session/container.h"
#include "app/session/directory_commands.h"
#include "app/session/sql_command.h"
#include "platform/terminal.h"

namespace {
constexpr char kMenu[] =
    "(n)ew kaspo,(o)pen kaspo,(s)ave kaspo,s(t)atus\n"
    "(a)dd item,(c)hange item,(d)elete item,(e)xport item\n"
    "(f)ind item,(l)ist items,(g)eneric search\n"
    "(v)erify items\n"
    "(cd)change directory,(ls)list directory\n"
    "(h)elp,(q)uit\n\n";
constexpr char kPrompt[] = "[%s] > ";
constexpr char kNeedContainer[] = "you must first open a kaspo!\n";
constexpr char kUnknownCommand[] = "unknown command!\n";
constexpr char kQuit[] = "q";

// The container commands are handed the open container file and the
// changed flag.
void Open() { CONTAINER_Open(&APP_State().container, &APP_State().changed); }
void New() { CONTAINER_New(&APP_State().container, &APP_State().changed); }
void Save() { CONTAINER_Save(&APP_State().container, &APP_State().changed); }

struct Command {
  const char* line;
  bool needs_container;
  void (*run)();
};

// Looked up in this order; "q" is handled before the table.
constexpr Command kCommands[] = {
    {"h", false, LOOP_PrintMenu},
    {"o", false, Open},
    {"n", false, New},
    {"cd", false, DIRCMD_ChangeDirectory},
    {"ls", false, DIRCMD_ListDirectory},
    {"a", true, ITEMS_Add},
    {"c", true, ITEMS_Change},
    {"d", true, ITEMS_Delete},
    {"f", true, ITEMS_Find},
    {"l", true, ITEMS_List},
    {"t", true, ITEMS_Status},
    {"s", true, Save},
    {"e", true, ITEMS_Export},
    {"g", true, SQLCMD_Run},
    {"v", true, ITEMS_Verify},
};

void TrimTrailingSpace(std::string* line) {
  std::size_t end = line->find_last_not_of(" \t\r\n");
  line->resize(end == std::string::npos ? 0 : end + 1);
}

void Dispatch(const std::string& line) {
  for (const Command& command : kCommands) {
    if (line != command.line) continue;
    if (command.needs_container && !APP_HasContainer()) {
      CONSOLE_Print(kNeedContainer);
    } else {
      command.run();
    }
    return;
  }
  CONSOLE_Print(kUnknownCommand);
}
}  // namespace

void LOOP_PrintMenu() { CONSOLE_Print(kMenu); }

LOOP_END LOOP_Run() {
  std::string line;
  for (;;) {
    CONSOLE_Print(kPrompt, PLATFORM_Printable(APP_State().current_dir).c_str());
    int length = read_answer_line(CONSOLE_COMMAND_SET, &line);
    if (length == READ_END) {
      // End the prompt's line, so that whatever follows starts clean.
      CONSOLE_Print("\n");
      return LOOP_END_OF_INPUT;
    }
    if (length <= 0) continue;
    if (length > CONSOLE_LINEMAX) {
      // Only part of it was kept; no part may pass for a command.
      CONSOLE_Print(kUnknownCommand);
      continue;
    }
    TrimTrailingSpace(&line);
    if (line == kQuit) return LOOP_QUIT;
    Dispatch(line);
  }
}
