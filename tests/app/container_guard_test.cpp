// What guards a container where the system keeps no locks (flock fails
// with ENOLCK, as on some network file systems; made so here through the
// file layer's test seam): the user is told once per container, saves go
// on, and a file changed on disk is still asked about. The application
// starts the engine, after which every process ends through its exit
// handling, so the case runs in a child process and reports on standard
// error.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "app/blobj_io.h"
#include "app/console.h"
#include "app/container.h"
#include "app/container_guard.h"
#include "app/database.h"
#include "client/dbclient.h"
#include "engine/dispatch.h"
#include "platform/fault.h"
#include "platform/process.h"
#include "records/blobj.h"
#include "records/dbhandle.h"
#include "records/kaspo.h"
#include "support/scratch_dir.h"

namespace {
// The console of the case: `answers` on its input, what it prints kept.
class Console {
 public:
  explicit Console(std::string answers) : answers_(std::move(answers)) {
    in_ = fmemopen(answers_.data(), answers_.size(), "r");
    out_ = open_memstream(&out_text_, &out_size_);
    err_ = open_memstream(&err_text_, &err_size_);
    CONSOLE_ResetForTest(in_, out_, err_);
  }
  // What was written to each stream since the last call.
  std::string TakeOut() { return Take(out_, out_text_, out_size_, &out_taken_); }
  std::string TakeErr() { return Take(err_, err_text_, err_size_, &err_taken_); }

 private:
  static std::string Take(FILE* f, const char* text, const std::size_t& size, std::size_t* taken) {
    std::fflush(f);
    std::string part(text + *taken, size - *taken);
    *taken = size;
    return part;
  }
  std::string answers_;
  FILE* in_;
  FILE* out_;
  FILE* err_;
  char* out_text_ = nullptr;
  char* err_text_ = nullptr;
  std::size_t out_size_ = 0, err_size_ = 0, out_taken_ = 0, err_taken_ = 0;
};

void AddItem(const char* name) {
  DBHANDLE* h = APPDB_Handle();
  auto item = KASPO_New();
  std::snprintf(item->filename, sizeof item->filename, "%s", name);
  item->size = 4;
  item->compressed = '0';
  const unsigned char content[] = {'d', 'a', 't', 'a'};
  if (!DB_Begin(h) || !KASPO_Insert(item.get(), h) ||
      !BLOBJ_Write(h, item->kaspo_id, RECORD_TABLE_KASPO, false, content, sizeof content) ||
      !DB_Commit(h)) {
    PLATFORM_QuickExit(4);
  }
  APP_State().changed = true;
}

class Report {
 public:
  void Check(bool ok, const std::string& what) {
    if (!ok) failures_ += what + "\n";
  }
  [[noreturn]] void Finish() {
    std::fprintf(stderr, "%s",
                 failures_.empty() ? "CASE OK\n" : ("CASE FAILED\n" + failures_).c_str());
    PLATFORM_QuickExit(failures_.empty() ? 0 : 2);
  }

 private:
  std::string failures_;
};

// Starts the application with its engine below `dir`.
void Start(const ScratchDir& dir) {
  setenv("TARVIC_PATH", dir.path().c_str(), 1);
  setenv("HOME", dir.path().c_str(), 1);
  DISPATCH_ResetForTest();
  DBCLIENT_ResetForTest();
  DBHANDLE_ResetForTest();
  KASPO_ResetForTest();
  APPDB_ResetForTest();
  APP_ResetForTest();
  APPDB_Start();
}

void SavesWithoutLocks(const ScratchDir& dir) {
  // The changed-on-disk question is answered "n", later "y".
  Console console("n\ny\n");
  Start(dir);
  (void)console.TakeErr();
  Report report;
  const std::string box = dir.Path("box.ksp");
  const std::string refused = "kaspo-db '" + box + "' cannot be locked: No locks available!\n";
  const std::string changed = "kaspo-db '" + box + "' was changed on disk! Overwrite it? (n/y) ";
  const std::string saved = "kaspo-db '" + box + "' saved!\n";
  PLATFORM_FaultAt(PLATFORM_FAULT_LOCK, 1, PLATFORM_FAULT_FROM_NTH);

  // A new container: nothing to lock until the first save made the file.
  GUARD_Enter(box);
  AddItem("one.txt");
  CONTAINER_Save();
  report.Check(console.TakeErr() == refused, "not told after the first save");
  report.Check(console.TakeOut() == saved && !APP_State().changed, "the first save failed");
  AddItem("two.txt");
  CONTAINER_Save();
  report.Check(console.TakeErr().empty(), "told twice");
  report.Check(console.TakeOut() == saved, "the second save failed");

  // Another program writes the file: asked, and "n" keeps it.
  dir.WriteFile("box.ksp", "someone else's");
  AddItem("three.txt");
  CONTAINER_Save();
  report.Check(console.TakeOut() == changed, "not asked about the changed file");
  report.Check(dir.ReadFile("box.ksp") == "someone else's" && APP_State().changed,
               "the changed file was written over");

  // Entered again: reported again, once; a "y" writes over a changed file.
  GUARD_Enter(box);
  report.Check(console.TakeErr() == refused, "not told when entered again");
  dir.WriteFile("box.ksp", "written again");
  CONTAINER_Save();
  report.Check(console.TakeOut() == changed + saved && console.TakeErr().empty(),
               "the save after a yes failed");
  report.Check(PLATFORM_FaultsInjected(PLATFORM_FAULT_LOCK) > 3, "the locks did not fail");
  PLATFORM_FaultResetForTest();
  report.Finish();
}

TEST(ContainerGuard, WithoutLocksSaysSoOnceAndStillAsksAboutChangedFiles) {
  ScratchDir dir;
  EXPECT_EXIT(SavesWithoutLocks(dir), testing::ExitedWithCode(0), "CASE OK");
}

// A user who may write the container's directory but not give a file to
// its owner (here: nobody, saving a file of another user).
void SavesAsAnotherUser(const ScratchDir& dir) {
  Console console("\n");
  Start(dir);
  Report report;
  const std::string box = dir.Path("shared/box.ksp");
  if (chmod(dir.path().c_str(), 0755) != 0 || chmod(dir.Path("shared").c_str(), 0777) != 0 ||
      chown(box.c_str(), 4321, 4322) != 0 || chmod(box.c_str(), 0666) != 0 ||
      setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
    PLATFORM_QuickExit(3);
  }
  GUARD_Enter(box);
  AddItem("one.txt");
  (void)console.TakeErr();
  CONTAINER_Save();
  report.Check(
      console.TakeErr() == "warning: owner and group of kaspo-db '" + box + "' not kept!\n",
      "not warned");
  report.Check(console.TakeOut() == "kaspo-db '" + box + "' saved!\n" && !APP_State().changed,
               "not saved");
  struct stat info;
  report.Check(
      stat(box.c_str(), &info) == 0 && info.st_uid == 65534 && (info.st_mode & 07777) == 0666,
      "owner or bits wrong");
  report.Finish();
}

TEST(ContainerGuard, ASaveThatCannotKeepTheOwnerWarnsAndGoesOn) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ScratchDir dir;
  dir.MakeDir("shared");
  dir.WriteFile("shared/box.ksp", "");
  EXPECT_EXIT(SavesAsAnotherUser(dir), testing::ExitedWithCode(0), "CASE OK");
}
}  // namespace
