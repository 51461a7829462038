// paths.cpp: container extension and path joining.
#include "app/base/paths.h"

#include "platform/files.h"

namespace {
constexpr char kExtension[] = "ksp";
}  // namespace

void PATHS_ForceExtension(std::string* path) {
  const std::size_t last_separator = path->rfind(PLATFORM_SEPARATOR);
  const std::size_t name_start = last_separator == std::string::npos ? 0 : last_separator + 1;
  const std::size_t dot = path->rfind('.');
  if (dot == std::string::npos || dot < name_start) {
    *path += '.';
    *path += kExtension;
    return;
  }
  if (path->compare(dot + 1, std::string::npos, kExtension) == 0) return;
  path->resize(dot + 1);
  *path += kExtension;
}

std::string PATHS_Join(const std::string& dir, const std::string& name) {
  // An empty directory must not turn a relative name into one below the
  // root.
  if (dir.empty()) return name;
  if (dir.back() == PLATFORM_SEPARATOR) return dir + name;
  return dir + PLATFORM_SEPARATOR + name;
}
