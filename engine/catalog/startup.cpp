// startup.cpp: engine start-up, paths, banner, memory limit and exit.
#include "engine/catalog/startup.h"

#include <cstdlib>

#include "engine/catalog/limits.h"

namespace {

// An environment value that is set and not empty. An empty base would put
// the data directory at the root of the file system.
bool EnvValue(const char* name, std::string* out) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] == '\0') return false;
  out->assign(value);
  return true;
}

}  // namespace

int STARTUP_Base(std::string* base) {
  if (EnvValue("TARVIC_PATH", base)) return 1;
  if (EnvValue("HOME", base)) return 1;
  base->clear();
  return 0;
}

std::string STARTUP_DataDir(std::string_view engine) {
  std::string base;
  if (!STARTUP_Base(&base)) base = ".";
  base += '/';
  base += engine;
  base += ".dat";
  return base;
}

int64_t STARTUP_ResultMemoryFor(int64_t total_bytes) {
  if (total_bytes < STARTUP_MINRESULTMEM) return DB_DEFAULTRESULTMEM;
  int64_t tenth = total_bytes / 10;
  return tenth < STARTUP_MINRESULTMEM ? STARTUP_MINRESULTMEM : tenth;
}
