// content_fault.h: the printing of what made a content call fail
// (CONTENTFAULT). The content layer hands its faults back
// (content/blobj_io.h); every item command prints them the one way here.
// Main thread only.
#pragma once

#include "content/blobj_io.h"

// Prints `fault` on the error stream where the failure happened: the
// database's collected text it kept, then its message. After a failed
// commit it prints that too and ends the process (APPDB_EndFailedCommit).
void CONTENTFAULT_Print(const BLOBJIO_FAULT& fault);
