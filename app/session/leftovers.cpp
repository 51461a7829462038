// leftovers.cpp: rescue files and the temporary files of ended exports.
#include "app/session/leftovers.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/base/paths.h"
#include "app/container/table_file_io.h"
#include "platform/files.h"
#include "platform/newfile.h"
#include "platform/terminal.h"

namespace {
constexpr char kRescued[] = "unsaved changes written to '%s'!\n";
constexpr char kLost[] = "unsaved changes of kaspo-db '%s' lost!\n";
constexpr char kRescueExists[] = "rescue file '%s' exists: open it with o or 'kaspo %s'\n";
constexpr char kExtension[] = ".ksp";
constexpr char kRescueMark[] = "-rescue";

// The container path without its extension.
std::string Stem(const std::string& container_path) {
  const std::string ext = kExtension;
  if (container_path.size() > ext.size() &&
      container_path.compare(container_path.size() - ext.size(), ext.size(), ext) == 0) {
    return container_path.substr(0, container_path.size() - ext.size());
  }
  return container_path;
}

// The number of a rescue name from its `tail` after the container's stem:
// 1 for "-rescue.ksp", n for "-rescue-<n>.ksp", 0 for any other tail.
int RescueNumber(const std::string& tail) {
  const std::string mark = kRescueMark;
  const std::string ext = kExtension;
  if (tail.size() < mark.size() + ext.size() || tail.compare(0, mark.size(), mark) != 0 ||
      tail.compare(tail.size() - ext.size(), ext.size(), ext) != 0) {
    return 0;
  }
  const std::string number = tail.substr(mark.size(), tail.size() - mark.size() - ext.size());
  if (number.empty()) return 1;
  if (number.size() < 2 || number.size() > 4 || number[0] != '-' ||
      number.find_first_not_of("0123456789", 1) != std::string::npos) {
    return 0;
  }
  return std::stoi(number.substr(1));
}

// Takes the first free rescue name by creating it empty: a second session
// rescuing the same container at the same moment takes the next one. The
// empty file carries the container's permission bits to the save that
// replaces it.
bool ReserveRescue(const std::string& container_path, std::string* out_path) {
  for (int n = 1; n <= LEFTOVER_MAXRESCUES; ++n) {
    *out_path = LEFTOVER_RescuePath(container_path, n);
    FILE* file = PLATFORM_OpenNew(out_path->c_str());
    if (file != nullptr) {
      return PLATFORM_Close(file) != 0 &&
             PLATFORM_TakeModeOf(out_path->c_str(), container_path.c_str()) != 0;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}
}  // namespace

std::string LEFTOVER_RescuePath(const std::string& container_path, int n) {
  std::string path = Stem(container_path) + kRescueMark;
  if (n > 1) path += "-" + std::to_string(n);
  return path + kExtension;
}

void LEFTOVER_RescueChanges(const CONTAINERFILE& container, bool changed) {
  if (!changed || !container.Named()) return;
  const std::string& path = container.Path();
  std::string rescue;
  if (!ReserveRescue(path, &rescue)) {
    CONSOLE_Error(kLost, PLATFORM_Printable(path).c_str());
    return;
  }
  if (!Group_Save(APPDB_Handle(), rescue, TABLEFILE_GROUP)) {
    (void)PLATFORM_RemoveFile(rescue.c_str());
    CONSOLE_Error(kLost, PLATFORM_Printable(path).c_str());
    return;
  }
  CONSOLE_Error(kRescued, PLATFORM_Printable(rescue).c_str());
}

void LEFTOVER_TellRescues(const std::string& container_path) {
  const std::string stem = Stem(container_path);
  const std::size_t slash = stem.rfind(PLATFORM_SEPARATOR);
  const std::string dir = slash == std::string::npos ? "." : stem.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? stem : stem.substr(slash + 1);
  std::vector<std::string> names;
  if (!PLATFORM_ListRegularFiles(dir.c_str(), &names, base + kRescueMark)) return;
  // In the order they were written.
  std::vector<std::pair<int, std::string>> rescues;
  for (const std::string& name : names) {
    const std::string tail = name.substr(base.size());
    if (const int n = RescueNumber(tail)) rescues.emplace_back(n, stem + tail);
  }
  std::sort(rescues.begin(), rescues.end());
  for (const auto& [n, path] : rescues) {
    const std::string shown = PLATFORM_Printable(path);
    CONSOLE_Print(kRescueExists, shown.c_str(), shown.c_str());
  }
}
