// app_state.cpp: the one application state.
#include "app/container/app_state.h"

APPSTATE& APP_State() {
  static APPSTATE state;
  return state;
}

bool APP_HasContainer() { return APP_State().container.Named(); }

void APP_ResetForTest() { APP_State() = APPSTATE{}; }
