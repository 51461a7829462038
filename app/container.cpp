// container.cpp: container files. The record layer they are written from
// and read into is not part of this build yet, so each command says so and
// changes nothing, and a load reports failure.
#include "app/container.h"

#include "app/console.h"

namespace {
constexpr char kNotAvailable[] = "command not available in this build!\n";
constexpr char kLoadNotAvailable[] = "reading kaspo-files is not available in this build!\n";
}  // namespace

int CONTAINER_Load(const std::string& /*path*/) {
  CONSOLE_Error(kLoadNotAvailable);
  return 0;
}

void CONTAINER_Save() { CONSOLE_Error(kNotAvailable); }
void CONTAINER_Open() { CONSOLE_Error(kNotAvailable); }
void CONTAINER_New() { CONSOLE_Error(kNotAvailable); }
