// container_fuzz.cpp: container loading on arbitrary files, with the
// application started as the program starts it.
//
// The input is the whole container file. The harness loads it as the
// open command does, then reads every item's content back as an export
// would (damaged content is reported, never fatal). A container that
// loaded must survive a save: saving it, loading that file and saving
// again must give the same bytes twice.
//
// A load replaces all rows, so each input starts from the tables that
// its own load leaves. An end of the process that the program asks for
// comes back through the test exit hook; the harness then starts the
// application afresh (and KASPO_FUZZ_EXITS=<dir> keeps the input).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/base/database.h"
#include "app/container/app_state.h"
#include "app/container/table_file_io.h"
#include "app/session/container.h"
#include "compress/pelko.h"
#include "content/blobj_io.h"
#include "content/chunk_read.h"
#include "content/chunk_write.h"
#include "fuzz/harness_support.h"
#include "platform/files.h"
#include "records/dbhandle.h"
#include "records/kaspo.h"
#include "records/record.h"
#include "tests/support/engine_env.h"

namespace {
using fuzz::Require;

struct HARNESS {
  bool dirty = true;   // the application must be started afresh
  std::string input;   // the container file under test
  std::string first;   // its first save
  std::string second;  // the save after loading the first
};

HARNESS& Harness() {
  static HARNESS harness;
  return harness;
}

void StartApplication() {
  ResetEngineForTest();
  DBHANDLE_ResetForTest();
  KASPO_ResetForTest();
  APPDB_ResetForTest();
  APP_ResetForTest();
  PELKO_ResetForTest();
  Require(fuzz::KeepingSignals([] {
            APPDB_Start();
            return 1;
          }),
          "the application did not start");
  Harness().dirty = false;
}

// All items, by a walk over KASPO as the save does it.
std::vector<KASPO> AllItems(DBHANDLE* handle) {
  std::vector<KASPO> items;
  KASPO item;
  Require(DB_Begin(handle), "no transaction");
  if (KASPO_Select_Seq(&item, handle)) {
    while (KASPO_Fetch_Seq(&item, handle)) items.push_back(item);
  }
  Require(DB_Commit(handle), "no commit");
  return items;
}

void ReadAllItems(DBHANDLE* handle) {
  std::vector<unsigned char> content;
  BLOBJIO_FAULT fault;
  for (const KASPO& item : AllItems(handle)) {
    (void)BLOBJ_Read(handle, item.kaspo_id, RECORD_TABLE_KASPO, item.size, &content, &fault);
  }
}

std::vector<unsigned char> FileBytes(const std::string& path) {
  std::vector<unsigned char> bytes;
  Require(PLATFORM_ReadFile(path.c_str(), &bytes), "a saved container cannot be read");
  return bytes;
}

void LoadReadSave(const uint8_t* data, size_t size) {
  HARNESS& h = Harness();
  DBHANDLE* handle = APPDB_Handle();
  Require(PLATFORM_WriteFile(h.input.c_str(), data, size), "cannot write the input");
  if (!CONTAINER_Load(h.input)) return;  // refused with its message
  ReadAllItems(handle);
  Require(Group_Save(handle, h.first, TABLEFILE_GROUP), "a loaded container did not save");
  Require(CONTAINER_Load(h.first), "a saved container did not load");
  Require(Group_Save(handle, h.second, TABLEFILE_GROUP), "a reloaded container did not save");
  Require(FileBytes(h.first) == FileBytes(h.second), "saving a reloaded container changed it");
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  HARNESS& h = Harness();
  const std::string dir = fuzz::SetUpProcess();
  h.input = dir + "/input.ksp";
  h.first = dir + "/first.ksp";
  h.second = dir + "/second.ksp";
  StartApplication();
  fuzz::WatchNormalEnd();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HARNESS& h = Harness();
  if (h.dirty) StartApplication();
  int status = 0;
  if (!fuzz::RunInput([&] { LoadReadSave(data, size); }, &status)) {
    fuzz::SaveExitInput(data, size, status);
    h.dirty = true;
  }
  return 0;
}
