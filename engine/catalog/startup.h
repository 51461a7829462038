// startup.h: where the application still finds Tarvic1_Init. Start-up sits
// at the engine's top now (engine/start.h); this header only forwards to it
// until the application reaches the engine through the record layer.
#pragma once

#include "engine/start.h"
