// database.cpp: the link to the database. The engine and the handle are
// not part of this build yet: start-up says so once, and every statement
// fails with the same notice.
#include "app/database.h"

#include "app/console.h"

namespace {
constexpr char kEngineMissing[] = "database engine not available in this build!\n";
}  // namespace

void APPDB_Start() { CONSOLE_Error(kEngineMissing); }

int APPDB_ExecPrint(const std::string& /*sql*/, int* out_rows) {
  *out_rows = 0;
  CONSOLE_Error(kEngineMissing);
  return 0;
}
