// datadir.cpp: the paths of the engine's files.
#include "engine/catalog/datadir.h"

#include <cerrno>
#include <cstring>

#include "engine/catalog/catalog.h"
#include "platform/files.h"
#include "platform/report.h"
#include "platform/system.h"

namespace {

constexpr char kReason[] = "(TARVIC) %s\n";
constexpr char kDirNotFound[] = "(TARVIC) Database-directory '%s' not found!\n";
constexpr char kNoReason[] = "unknown error";

// An environment value that is set and not empty. An empty base would put
// the data directory at the root of the file system.
bool EnvValue(const char* name, std::string* out) {
  return PLATFORM_GetEnv(name, out) && !out->empty();
}

}  // namespace

int DATADIR_Base(std::string* base) {
  if (EnvValue("TARVIC_PATH", base)) return 1;
  if (EnvValue("HOME", base)) return 1;
  base->clear();
  return 0;
}

std::string DATADIR_Path(std::string_view engine) {
  std::string base;
  // DATADIR_Base leaves the base empty when it fails. (Appending rather
  // than assigning a literal also keeps g++ 12 from a false -Wrestrict.)
  if (!DATADIR_Base(&base)) base.push_back('.');
  base += PLATFORM_SEPARATOR;
  base += engine;
  base += ".dat";
  return base;
}

std::string DATADIR_EnginePath() { return DATADIR_Path(CATALOG_Engine().engine_name); }

std::string DATADIR_DatabasePath(std::string_view db) {
  return DATADIR_EnginePath() + PLATFORM_SEPARATOR + std::string(db);
}

std::string DATADIR_DefFilePath(std::string_view db) { return DATADIR_DatabasePath(db) + ".def"; }

void DATADIR_ReportReason(int error) {
  DBreport(kReason, error != 0 ? std::strerror(error) : kNoReason);
}

int DATADIR_Require(const std::string& path) {
  errno = 0;
  const PLATFORM_FILEKIND kind = PLATFORM_FileKind(path.c_str());
  if (kind == PLATFORM_DIRECTORY) return 1;
  // Something other than a directory stands there: the path is no
  // directory. Nothing: the look-up says why.
  const int error = kind == PLATFORM_MISSING ? errno : ENOTDIR;
  DBreport(kDirNotFound, path.c_str());
  DATADIR_ReportReason(error);
  return 0;
}
