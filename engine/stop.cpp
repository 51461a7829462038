// stop.cpp: STOP DATABASE.
#include "engine/stop.h"

#include "engine/catalog/catalog.h"
#include "engine/shutdown.h"
#include "engine/types/reply.h"

namespace {

constexpr char kNoConnection[] = "(STOP DATABASE) Database connection not found";
constexpr char kOpenConnections[] = "(STOP DATABASE) Not possible with open connections";
constexpr char kActiveTransaction[] = "(STOP DATABASE) Not possible within active transaction";

// Whether a slot other than `slot` is on the same database (-1 included).
bool SharedDatabase(const ENGINE& engine, int slot) {
  for (int i = 0; i < engine.conn_count; ++i) {
    if (i != slot && engine.conns[i].database == engine.conns[slot].database) return true;
  }
  return false;
}

}  // namespace

void STOP_Database(int conn_id, const unsigned char* /*msg*/, int /*length*/) {
  int slot = 0;
  if (!CATALOG_FindConn(conn_id, &slot)) {
    REPLY_Error(kNoConnection);
    return;
  }
  const ENGINE& engine = CATALOG_Engine();
  if (SharedDatabase(engine, slot)) {
    REPLY_Error(kOpenConnections);
    return;
  }
  if (engine.conns[slot].trans_ts != -1) {
    REPLY_Error(kActiveTransaction);
    return;
  }
  Engine_ExitHandler();
}
