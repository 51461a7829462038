// engine_env.cpp: the process around the engine.
#include "tests/support/engine_env.h"

#include "client/dbclient.h"
#include "client/message.h"
#include "engine/catalog/catalog.h"
#include "engine/dispatch.h"
#include "engine/query/expr.h"
#include "engine/storage/idxlist.h"
#include "engine/types/wire.h"

void ResetEngineForTest() {
  CATALOG_ResetForTest();
  IDXLIST_ResetForTest();
  EXPR_ResetForTest();
  DISPATCH_ResetForTest();
  DBCLIENT_ResetForTest();
  MESSAGE_ResetForTest();
  REPLY_ResetForTest();
}
