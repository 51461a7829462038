// interrupt.cpp: the stop request of the running statement.
#include "engine/catalog/interrupt.h"

#include "engine/catalog/catalog.h"
#include "engine/types/wire.h"

void INTERRUPT_Arm() {
  ENGINE& engine = CATALOG_Engine();
  engine.stop_requested = 0;
  engine.stop_armed = 1;
}

int INTERRUPT_Disarm() {
  ENGINE& engine = CATALOG_Engine();
  engine.stop_armed = 0;
  const int requested = engine.stop_requested != 0;
  engine.stop_requested = 0;
  return requested;
}

int INTERRUPT_Take() {
  ENGINE& engine = CATALOG_Engine();
  if (!engine.stop_armed) return 0;
  engine.stop_requested = 1;
  return 1;
}

int INTERRUPT_Requested() { return CATALOG_Engine().stop_requested != 0; }

int INTERRUPT_Fail() {
  REPLY_Error(INTERRUPT_MESSAGE);
  return 0;
}
