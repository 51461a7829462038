// command_line.cpp: the commands of the command line.
#include "app/session/command_line.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/base/file_pattern.h"
#include "app/base/limits.h"
#include "app/base/paths.h"
#include "app/container/app_state.h"
#include "app/container/container_file.h"
#include "app/items/item_commands.h"
#include "app/items/item_export.h"
#include "app/items/item_facts.h"
#include "app/items/item_listing.h"
#include "app/session/container.h"
#include "platform/files.h"
#include "platform/report.h"
#include "platform/terminal.h"
#include "records/fields.h"
#include "records/kaspo.h"

namespace {
constexpr char kUsage[] =
    "Usage: kaspo <kaspofile>\n"
    "       kaspo -l|--list    <kaspofile> [-v] [NAME...]\n"
    "       kaspo -x|--extract <kaspofile> [-C DIR] [--overwrite] [NAME...]\n"
    "       kaspo -p|--print   <kaspofile> NAME\n"
    "       kaspo -a|--add     <kaspofile> [-z] [-m TEXT] PATH...\n"
    "       kaspo -d|--delete  <kaspofile> NAME...\n"
    "       kaspo -t|--test    <kaspofile> [NAME...]\n"
    "       kaspo --version\n"
    "       kaspo -h|-?|--help\n"
    "       (-q: nothing but errors)\n";
constexpr char kVersion[] = "Kaspo 1.1 (12.07.2003)\nTarvic-SQL-database 2.0.1 (12.07.2003)\n";
constexpr char kUnknownOption[] = "kaspo: unknown option '%s'\n";
constexpr char kMissingValue[] = "kaspo: option '%s' needs a value\n";
constexpr char kWrongMode[] = "kaspo: option '%s' does not go with '%s'\n";
constexpr char kNoContainer[] = "kaspo: no kaspofile given\n";
constexpr char kWrongCount[] = "kaspo: '%s' takes %s\n";
constexpr char kTooLong[] = "kaspo: description too long (max = %d)\n";
constexpr char kTryHelp[] = "Try 'kaspo --help'.\n";
constexpr char kNoFile[] = "kaspo-db '%s' not found!\n";
constexpr char kNoItem[] = "item '%s' not found!\n";
constexpr char kNotOne[] = "'%s' selects %d items, not one!\n";
constexpr char kNoDirectory[] = "directory '%s' not found!\n";
constexpr char kNotSaved[] = "kaspo-db '%s' not saved!\n";
constexpr char kNotRegular[] = "warning: file '%s' is not a regular file, not added!\n";
constexpr char kCannotList[] = "warning: directory '%s' cannot be read!\n";
constexpr char kListLine[] = "%10d  %-10s  %s\n";
constexpr char kListLineLong[] = "%10d  %-10s  %s  %s\n";
constexpr char kVerified[] = "verified %d items, %d damaged, %d without checksum\n";
constexpr char kNameLine[] = "%s\n";
constexpr char kEngineBanner[] = "Tarvic-SQL-database ";

struct CLIARGS {
  std::string mode;  // the option that chose the command, as given
  char command = 0;  // 'l', 'x', 'p', 'a', 'd', 't' or 'V' (version)
  std::string container;
  std::vector<std::string> operands;  // NAMEs or PATHs
  bool verbose = false;
  bool quiet = false;
  bool overwrite = false;
  bool compress = false;
  std::string dir = ".";
  std::string description;
};

bool IsHelp(std::string_view arg) { return arg == "-h" || arg == "-?" || arg == "--help"; }

char CommandOf(std::string_view arg) {
  struct NAMED {
    const char* short_name;
    const char* long_name;
    char command;
  };
  static constexpr NAMED kCommands[] = {
      {"-l", "--list", 'l'},  {"-x", "--extract", 'x'}, {"-p", "--print", 'p'},
      {"-a", "--add", 'a'},   {"-d", "--delete", 'd'},  {"-t", "--test", 't'},
      {"", "--version", 'V'},
  };
  for (const NAMED& named : kCommands) {
    if (arg == named.short_name || arg == named.long_name) return named.command;
  }
  return 0;
}

int UsageError(const char* format, const char* a, const char* b = "") {
  std::fprintf(stderr, format, a, b);
  std::fputs(kTryHelp, stderr);
  return CLI_STATUS_USAGE;
}

// Reads one option at argv[*i] (moving past its value). A negative
// result is taken; otherwise it is the exit status of a usage error.
int TakeOption(int argc, const char* const* argv, int* i, CLIARGS* args) {
  const std::string_view arg = argv[*i];
  // Which commands each option goes with.
  struct OPTION {
    const char* name;
    const char* commands;
    bool has_value;
  };
  static constexpr OPTION kOptions[] = {
      {"-q", "lxpadtV", false},    {"-v", "l", false}, {"-C", "x", true},
      {"--overwrite", "x", false}, {"-z", "a", false}, {"-m", "a", true},
  };
  for (const OPTION& option : kOptions) {
    if (arg != option.name) continue;
    if (std::strchr(option.commands, args->command) == nullptr) {
      return UsageError(kWrongMode, argv[*i], args->mode.c_str());
    }
    std::string value;
    if (option.has_value) {
      if (*i + 1 >= argc) return UsageError(kMissingValue, argv[*i]);
      value = argv[++*i];
    }
    if (arg == "-q") args->quiet = true;
    if (arg == "-v") args->verbose = true;
    if (arg == "--overwrite") args->overwrite = true;
    if (arg == "-z") args->compress = true;
    if (arg == "-C") args->dir = value;
    if (arg == "-m") args->description = value;
    return -1;
  }
  return UsageError(kUnknownOption, argv[*i]);
}

// The arguments into `args`. A negative result is taken; otherwise it is
// the exit status to end with (usage, help, version).
int Parse(int argc, const char* const* argv, CLIARGS* args) {
  args->mode = argv[1];
  args->command = CommandOf(argv[1]);
  if (args->command == 0) return UsageError(kUnknownOption, argv[1]);
  bool options_end = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_end && IsHelp(arg)) {
      CLI_PrintUsage();
      return CLI_STATUS_FAILED;
    }
    if (!options_end && arg == "--") {
      options_end = true;
    } else if (!options_end && arg.size() > 1 && arg[0] == '-') {
      const int status = TakeOption(argc, argv, &i, args);
      if (status >= 0) return status;
    } else if (args->command != 'V' && args->container.empty()) {
      args->container = argv[i];
    } else {
      args->operands.emplace_back(arg);
    }
  }
  if (args->command == 'V') {
    if (!args->operands.empty()) return UsageError(kWrongCount, "--version", "no operands");
    std::fputs(kVersion, stdout);
    return CLI_STATUS_OK;
  }
  if (args->container.empty()) return UsageError(kNoContainer, "");
  const std::size_t n = args->operands.size();
  if (args->command == 'p' && n != 1) return UsageError(kWrongCount, argv[1], "one NAME");
  if (args->command == 'a' && n == 0) return UsageError(kWrongCount, argv[1], "a PATH at least");
  if (args->command == 'd' && n == 0) return UsageError(kWrongCount, argv[1], "a NAME at least");
  if (args->description.size() > static_cast<std::size_t>(APP_MAXDESCRIPTION)) {
    std::fprintf(stderr, kTooLong, APP_MAXDESCRIPTION);
    return CLI_STATUS_USAGE;
  }
  return -1;
}

// Runs `work` with the dialogue's own lines held back, then writes them
// where a script wants them: problems (whatever the dialogue printed on
// standard output) to standard error; the engine's banner and the saved
// line nowhere.
template <typename Work>
void Diverted(Work work) {
  PLATFORM_OUTPUTBUFFER buffer;
  work();
  const PLATFORM_BUFFERED buffered = buffer.End();
  for (const auto& [stream, text] : buffered.pieces) {
    if (text.rfind(kEngineBanner, 0) == 0) continue;
    if (stream != stderr && text.size() > 8 && text.compare(text.size() - 8, 8, " saved!\n") == 0) {
      continue;
    }
    std::fputs(text.c_str(), stderr);
  }
  std::fflush(stderr);
}

// The items `names` select, in name order, each once (all of them when no
// name is given). A name that selects nothing is reported and counted in
// *out_missing.
std::vector<KASPO> Select(const std::vector<KASPO>& all, const std::vector<std::string>& names,
                          int* out_missing) {
  *out_missing = 0;
  if (names.empty()) return all;
  std::vector<bool> taken(all.size(), false);
  for (const std::string& name : names) {
    const bool pattern = FPATTERN_IsGlob(name);
    bool any = false;
    for (std::size_t k = 0; k < all.size(); ++k) {
      const std::string item = RECFIELD_Text(all[k].filename);
      if (pattern ? FPATTERN_Glob(name, item) : item == name) taken[k] = any = true;
    }
    if (!any) {
      CONSOLE_Error(kNoItem, PLATFORM_Printable(name).c_str());
      ++*out_missing;
    }
  }
  std::vector<KASPO> selected;
  for (std::size_t k = 0; k < all.size(); ++k) {
    if (taken[k]) selected.push_back(all[k]);
  }
  return selected;
}

// Saves the container after a change; false after saying why it was not.
bool Save(CONTAINERFILE* file) {
  bool changed = true;
  Diverted([file, &changed] { CONTAINER_Save(file, &changed); });
  if (!changed) return true;
  CONSOLE_Error(kNotSaved, PLATFORM_Printable(file->Path()).c_str());
  return false;
}

int List(const CLIARGS& args, const std::vector<KASPO>& items) {
  if (args.quiet) return CLI_STATUS_OK;
  for (const KASPO& item : items) {
    const std::string name = PLATFORM_Printable(RECFIELD_Text(item.filename));
    const char* kind = item.compressed == '1' ? "compressed" : "stored";
    if (args.verbose) {
      CONSOLE_Print(kListLineLong, item.size, kind, name.c_str(),
                    PLATFORM_Printable(RECFIELD_Text(item.description)).c_str());
    } else {
      CONSOLE_Print(kListLine, item.size, kind, name.c_str());
    }
  }
  return CLI_STATUS_OK;
}

// An item's content on standard output, as it is read.
class STDOUTSINK : public BLOBJIO_SINK {
 public:
  void Put(const unsigned char* data, std::size_t n) override { std::fwrite(data, 1, n, stdout); }
  // Bytes once written to a pipe cannot be taken back; the check after
  // the read tells the reader that they are not the item's.
  void Restart() override {}
};

int Print(const CLIARGS& args, const std::vector<KASPO>& items) {
  if (items.size() != 1) {
    CONSOLE_Error(kNotOne, PLATFORM_Printable(args.operands[0]).c_str(),
                  static_cast<int>(items.size()));
    return CLI_STATUS_FAILED;
  }
  ITEMFACTS_MAP facts;
  if (!ITEMFACTS_Load(&facts)) return CLI_STATUS_FAILED;
  const KASPO& item = items[0];
  STDOUTSINK out;
  ITEMFACTS_CHECKSINK check(&out);
  ITEMREADER reader(items);
  const std::string shown = PLATFORM_Printable(RECFIELD_Text(item.filename));
  const std::string damage = reader.Read(item, &check)
                                 ? check.Damage(shown, item, ITEMFACTS_Find(facts, item))
                                 : ITEMFACTS_Unreadable(shown);
  std::fflush(stdout);
  if (damage.empty()) return CLI_STATUS_OK;
  CONSOLE_Error("%s", damage.c_str());
  return CLI_STATUS_FAILED;
}

int Extract(const CLIARGS& args, const std::vector<KASPO>& items, const CONTAINERFILE& file) {
  if (!PLATFORM_IsDirectory(args.dir.c_str())) {
    CONSOLE_Error(kNoDirectory, PLATFORM_Printable(args.dir).c_str());
    return CLI_STATUS_FAILED;
  }
  EXPORTSETTINGS settings;
  settings.dir = args.dir;
  settings.existing = args.overwrite ? EXPORT_REPLACE : EXPORT_KEEP;
  settings.path_lines = true;
  settings.quiet = args.quiet;
  settings.container = &file;
  return EXPORT_Items(items, settings).failed == 0 ? CLI_STATUS_OK : CLI_STATUS_FAILED;
}

int Test(const CLIARGS& args, const std::vector<KASPO>& items) {
  ITEMS_VERIFIED verified;
  if (!ITEMS_VerifyItems(items, &verified)) return CLI_STATUS_FAILED;
  if (!args.quiet) {
    CONSOLE_Print(kVerified, static_cast<int>(items.size()), verified.damaged, verified.unchecked);
  }
  return verified.damaged == 0 ? CLI_STATUS_OK : CLI_STATUS_FAILED;
}

int Delete(const CLIARGS& args, std::vector<KASPO> items, CONTAINERFILE* file) {
  bool changed = false;
  for (KASPO& item : items) {
    if (!ITEMS_DeleteItem(&item)) {
      if (changed) (void)Save(file);
      return CLI_STATUS_FAILED;
    }
    changed = true;
    if (!args.quiet) {
      CONSOLE_Print(kNameLine, PLATFORM_Printable(RECFIELD_Text(item.filename)).c_str());
    }
  }
  return !changed || Save(file) ? CLI_STATUS_OK : CLI_STATUS_FAILED;
}

// ---------------------------------------------------------------------------
// Add

// A file to add: where it is and the item name it gets.
using SOURCE = ITEMS_SOURCE;

// The regular files below `dir` (whose item names begin with `prefix`),
// in name order; what is no regular file or directory is reported.
bool CollectTree(const std::string& dir, const std::string& prefix, std::vector<SOURCE>* out) {
  std::vector<std::string> entries;
  if (!PLATFORM_ListEntries(dir.c_str(), &entries)) {
    CONSOLE_Error(kCannotList, PLATFORM_Printable(dir).c_str());
    return false;
  }
  bool all = true;
  for (const std::string& entry : entries) {
    const std::string path = PATHS_Join(dir, entry);
    const std::string name = prefix.empty() ? entry : prefix + PLATFORM_SEPARATOR + entry;
    bool is_link = false;
    const PLATFORM_FILEKIND kind = PLATFORM_OwnKind(path.c_str(), &is_link);
    if (kind == PLATFORM_REGULAR && !is_link) {
      out->push_back({path, name});
    } else if (kind == PLATFORM_DIRECTORY && !is_link) {
      all = CollectTree(path, name, out) && all;
    } else {
      CONSOLE_Error(kNotRegular, PLATFORM_Printable(path).c_str());
      all = false;
    }
  }
  return all;
}

// The files one PATH operand gives: a file under its own name, a
// directory's tree under names relative to the directory's parent ("docs"
// gives "docs/a.txt"; "." and ".." give the names below them).
bool CollectSources(const std::string& operand, std::vector<SOURCE>* out) {
  std::string path = operand;
  while (path.size() > 1 && path.back() == PLATFORM_SEPARATOR) path.pop_back();
  const std::size_t slash = path.rfind(PLATFORM_SEPARATOR);
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  bool is_link = false;
  const PLATFORM_FILEKIND kind = PLATFORM_OwnKind(path.c_str(), &is_link);
  if (kind == PLATFORM_DIRECTORY && !is_link) {
    return CollectTree(path, last == "." || last == ".." || last.empty() ? "" : last, out);
  }
  if (kind == PLATFORM_MISSING && !is_link) {
    out->push_back({path, last});  // the add reports what cannot be read
    return true;
  }
  if (kind != PLATFORM_REGULAR || is_link) {
    CONSOLE_Error(kNotRegular, PLATFORM_Printable(operand).c_str());
    return false;
  }
  out->push_back({path, last});
  return true;
}

int Add(const CLIARGS& args, CONTAINERFILE* file) {
  std::vector<SOURCE> sources;
  bool ok = true;
  for (const std::string& operand : args.operands) ok = CollectSources(operand, &sources) && ok;
  std::vector<KASPO> before;
  ITEMS_ROOM room;
  if (!ITEMS_All(&before) || !ITEMS_CountRows(&room)) return CLI_STATUS_FAILED;
  ITEMS_ADDSETTINGS settings;
  settings.description = args.description;
  settings.compress = args.compress;
  settings.notices = false;
  // The items an added file replaces, by name.
  std::unordered_multimap<std::string, KASPO*> by_name;
  for (KASPO& old : before) by_name.emplace(RECFIELD_Text(old.filename), &old);
  // Named twice: added once.
  std::unordered_set<std::string> named;
  std::erase_if(sources,
                [&named](const SOURCE& source) { return !named.insert(source.name).second; });
  bool changed = false;
  ITEMS_AddFiles(sources, settings, &room, [&](std::size_t i, ITEMS_ADDED result) {
    if (result != ITEMS_ADDED::kAdded) {
      ok = false;
      return true;
    }
    changed = true;
    // The item it replaces goes once the new one is in.
    const auto [first, last] = by_name.equal_range(sources[i].name);
    for (auto it = first; it != last; ++it) {
      if (!ITEMS_DeleteItem(it->second)) ok = false;
    }
    if (!args.quiet) CONSOLE_Print(kNameLine, PLATFORM_Printable(sources[i].name).c_str());
    return true;
  });
  if (changed && !Save(file)) ok = false;
  return ok ? CLI_STATUS_OK : CLI_STATUS_FAILED;
}

// Makes the named container the current one, reading it when it exists.
// False after saying why there is none to work on.
bool OpenContainer(const CLIARGS& args, CONTAINERFILE* file, bool* out_whole) {
  std::string path = args.container;
  PATHS_ForceExtension(&path);
  *out_whole = true;
  if (!PLATFORM_IsRegularFile(path.c_str())) {
    if (args.command != 'a' || PLATFORM_Exists(path.c_str())) {
      CONSOLE_Error(kNoFile, PLATFORM_Printable(path).c_str());
      return false;
    }
    Diverted([file, &path] { file->Enter(path); });
    return true;
  }
  Diverted([file, &path, out_whole] { *out_whole = CONTAINER_Read(file, path); });
  return true;
}

int RunCommand(const CLIARGS& args, CONTAINERFILE* file) {
  bool whole = true;
  if (!OpenContainer(args, file, &whole)) return CLI_STATUS_FAILED;
  int status = CLI_STATUS_OK;
  if (args.command == 'a') {
    status = Add(args, file);
  } else {
    std::vector<KASPO> all;
    if (!ITEMS_All(&all)) return CLI_STATUS_FAILED;
    int missing = 0;
    const std::vector<KASPO> items = Select(all, args.operands, &missing);
    switch (args.command) {
      case 'l': status = List(args, items); break;
      case 'p': status = missing == 0 ? Print(args, items) : CLI_STATUS_FAILED; break;
      case 'x': status = Extract(args, items, *file); break;
      case 't': status = Test(args, items); break;
      case 'd': status = Delete(args, items, file); break;
      default: break;
    }
    if (missing > 0) status = CLI_STATUS_FAILED;
  }
  return whole ? status : CLI_STATUS_FAILED;
}
}  // namespace

bool CLI_Wanted(int argc, const char* const* argv) {
  return argc > 1 && argv[1][0] == '-' && argv[1][1] != '\0' && !IsHelp(argv[1]);
}

void CLI_PrintUsage() { CONSOLE_Print("%s", kUsage); }

int CLI_Run(int argc, const char* const* argv) {
  CLIARGS args;
  const int status = Parse(argc, argv, &args);
  if (status >= 0) return status;
  CONSOLE_Get().script = true;
  APPSTATE& app = APP_State();
  app.current_dir = ".";
  Diverted([] { APPDB_Start(); });
  return RunCommand(args, &app.container);
}
