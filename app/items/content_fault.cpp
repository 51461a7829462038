// content_fault.cpp: content faults on the error stream.
#include "app/items/content_fault.h"

#include "app/base/console.h"
#include "app/base/database.h"
#include "platform/report.h"

void CONTENTFAULT_Print(const BLOBJIO_FAULT& fault) {
  if (fault.kind != BLOBJIO_NOFAULT) {
    if (!fault.db_text.empty()) DBreport("%s", fault.db_text.c_str());
    // The chunk decoder printed its own message as it found the damage.
    if (fault.kind != BLOBJIO_BADCHUNKS) CONSOLE_Error("%s", fault.message.c_str());
  }
  if (fault.commit_failed) APPDB_EndFailedCommit(fault.commit_db_text);
}
