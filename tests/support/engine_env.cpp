// engine_env.cpp: the process around the engine.
#include "tests/support/engine_env.h"

#include <stdlib.h>

#include <cstdlib>
#include <vector>

#include "client/dbclient.h"
#include "client/message.h"
#include "engine/catalog/catalog.h"
#include "engine/dispatch.h"
#include "engine/statements/expr.h"
#include "engine/storage/idxlist.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"

void ResetEngineForTest() {
  CATALOG_ResetForTest();
  IDXLIST_ResetForTest();
  EXPR_ResetForTest();
  DISPATCH_ResetForTest();
  DBCLIENT_ResetForTest();
  MESSAGE_ResetForTest();
  REPLY_ResetForTest();
  INTERRUPT_ResetForTest();
}

int MakeTempDir(const char* prefix, std::string* out_dir) {
  const char* base = std::getenv("TMPDIR");
  *out_dir =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "XXXXXX";
  std::vector<char> buffer(out_dir->begin(), out_dir->end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return 0;
  *out_dir = buffer.data();
  return 1;
}

void PointEngineAt(const std::string& dir) {
  setenv("TARVIC_PATH", dir.c_str(), 1);
  setenv("HOME", dir.c_str(), 1);
}
