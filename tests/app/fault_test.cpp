// Tests of what a failing disk does to saving and loading a container (and
// of saves where the system keeps no locks or owners cannot be kept): a
// save that fails at any point leaves the previous container as it was and
// the changed flag set; a load that fails reports, leaves none of the
// previous items and leaves the program able to load, read and save
// again; an export whose write fails leaves the file it would replace as
// it was.
//
// The disk fails in two ways: for real, where a file size limit makes the
// system refuse a write at a chosen byte and a descriptor limit makes it
// refuse to open a file; and through the file layer's test seam, which
// fails the Nth open, write, flush, rename or read. The application starts the engine, after which
// every process ends through its exit handling, so each case runs in a child process and reports
// what it saw on standard error; the scratch directory belongs to the parent, which removes it.
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/container/app_state.h"
#include "app/container/container_file.h"
#include "app/container/table_file_io.h"
#include "app/items/item_commands.h"
#include "app/session/container.h"
#include "client/dbclient.h"
#include "content/blobj_io.h"
#include "engine/dispatch.h"
#include "platform/fault.h"
#include "platform/files.h"
#include "platform/process.h"
#include "records/blobj.h"
#include "records/dbhandle.h"
#include "records/kaspo.h"
#include "support/scratch_dir.h"

namespace {
// "s" as the command loop runs it.
void SaveContainer() { CONTAINER_Save(&APP_State().container, &APP_State().changed); }
constexpr long kMiB = 1 << 20;
// Larger than one write buffer of the save, so that a save makes several
// writes and each can be the one that fails.
constexpr std::size_t kBigItem = 2 * kMiB + 12345;

// Collects what a child case found wrong and reports it at the end.
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

// The application's console: `answers` on its input (standard input when
// there are none), its output and error streams caught in memory: a file
// would itself run into the size limit that makes the save fail.
class Console {
 public:
  explicit Console(std::string answers = {}) : answers_(std::move(answers)) {
    in = answers_.empty() ? stdin : fmemopen(answers_.data(), answers_.size(), "r");
    out = open_memstream(&out_text_, &out_size_);
    err = open_memstream(&err_text_, &err_size_);
  }

  // What was written to the error resp. output stream since the last call.
  std::string TakeErrors() { return Take(err, err_text_, err_size_, &err_taken_); }
  std::string TakeOutput() { return Take(out, out_text_, out_size_, &out_taken_); }

  FILE* in;
  FILE* out;
  FILE* err;

 private:
  // The buffer and its size as the flush leaves them: taken by reference.
  static std::string Take(FILE* f, char* const& text, const std::size_t& size, std::size_t* taken) {
    std::fflush(f);
    std::string part(text + *taken, size - *taken);
    *taken = size;
    return part;
  }
  std::string answers_;
  char* out_text_ = nullptr;
  std::size_t out_size_ = 0;
  std::size_t out_taken_ = 0;
  char* err_text_ = nullptr;
  std::size_t err_size_ = 0;
  std::size_t err_taken_ = 0;
};

std::vector<unsigned char> Content(std::size_t size, uint32_t seed) {
  std::vector<unsigned char> bytes(size);
  for (unsigned char& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<unsigned char>(seed >> 23);
  }
  return bytes;
}

void AddItem(const char* name, bool compress, const std::vector<unsigned char>& content) {
  DBHANDLE* h = APPDB_Handle();
  auto item = KASPO_New();
  std::snprintf(item->filename, sizeof item->filename, "%s", name);
  item->size = static_cast<int32_t>(content.size());
  item->compressed = compress ? '1' : '0';
  BLOBJIO_FAULT fault;
  if (!DB_Begin(h) || !KASPO_Insert(item.get(), h) ||
      !BLOBJ_Write(h, item->kaspo_id, RECORD_TABLE_KASPO, compress, content.data(), content.size(),
                   &fault) ||
      !DB_Commit(h)) {
    dberror_print();
    PLATFORM_QuickExit(4);
  }
  APP_State().changed = true;
}

// Every item's file name with its content, as an export reads them.
std::map<std::string, std::vector<unsigned char>> Items() {
  DBHANDLE* h = APPDB_Handle();
  std::vector<KASPO> rows;
  KASPO item;
  if (!DB_Begin(h)) PLATFORM_QuickExit(5);
  if (KASPO_Select_Seq(&item, h)) {
    while (KASPO_Fetch_Seq(&item, h)) rows.push_back(item);
  }
  if (!DB_Commit(h)) PLATFORM_QuickExit(5);
  std::map<std::string, std::vector<unsigned char>> items;
  for (const KASPO& row : rows) {
    std::string name = row.filename;
    name.erase(name.find_last_not_of(' ') + 1);
    std::vector<unsigned char>& content = items[name];
    BLOBJIO_FAULT fault;
    if (!BLOBJ_Read(h, row.kaspo_id, RECORD_TABLE_KASPO, row.size, &content, &fault)) {
      content = {'?'};
    }
  }
  return items;
}

std::vector<unsigned char> Bytes(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (!PLATFORM_ReadFile(path.c_str(), &bytes)) bytes = {'<', 'n', 'o', 'n', 'e', '>'};
  return bytes;
}

// Starts the application below `dir` with empty tables, on `console`.
void StartApplication(const ScratchDir& dir, Console* console) {
  setenv("TARVIC_PATH", dir.path().c_str(), 1);
  setenv("HOME", dir.path().c_str(), 1);
  // The child inherits whatever earlier tests left in the process.
  DISPATCH_ResetForTest();
  DBCLIENT_ResetForTest();
  DBHANDLE_ResetForTest();
  KASPO_ResetForTest();
  APPDB_ResetForTest();
  APP_ResetForTest();
  CONSOLE_ResetForTest(console->in, console->out, console->err);
  APPDB_Start();
}

// Starts the application below `dir` with a saved container of two items
// (one of them larger than a write buffer), then adds a third item, so
// that the tables differ from the file and `changed` is set.
void StartWithSavedContainer(const ScratchDir& dir, Console* console) {
  StartApplication(dir, console);
  AddItem("big.bin", false, Content(kBigItem, 1));
  AddItem("small.txt", true, Content(5000, 2));
  APP_State().container.Name(dir.Path("box.ksp"));
  SaveContainer();
  if (APP_State().changed) PLATFORM_QuickExit(6);
  AddItem("third.txt", false, Content(100, 3));
  // A save gives items without facts their checksum first; done here, a
  // probe save of the tables writes what CONTAINER_Save writes.
  ITEMS_CompleteFacts();
  (void)console->TakeErrors();
}

// One failed save: the old file, the flag, the message, no stray file.
void CheckFailedSave(const ScratchDir& dir, Console* console, const std::string& what,
                     const std::vector<unsigned char>& before, Report* report) {
  const std::string errors = console->TakeErrors();
  const std::string box = dir.Path("box.ksp");
  report->Check(Bytes(box) == before, what + ": the previous container changed");
  report->Check(APP_State().changed, what + ": changed was cleared");
  report->Check(errors.find("error saving kaspo-db '" + box + "'!\n") != std::string::npos,
                what + ": no save error in [" + errors + "]");
  std::vector<std::string> names;
  report->Check(PLATFORM_ListRegularFiles(dir.path().c_str(), &names) &&
                    names == std::vector<std::string>{"box.ksp", "probe.ksp"},
                what + ": stray files are left");
}

void SaveFailingAtEveryWrite(const ScratchDir& dir) {
  Console console;
  StartWithSavedContainer(dir, &console);
  Report report;
  const std::vector<unsigned char> before = Bytes(dir.Path("box.ksp"));
  // What a successful save of the current tables writes.
  report.Check(Group_Save(APPDB_Handle(), dir.Path("probe.ksp"), "KASPODAT"), "probe save");
  const std::vector<unsigned char> full = Bytes(dir.Path("probe.ksp"));
  report.Check(full.size() > 2 * kMiB, "the container is smaller than the write buffers");
  (void)console.TakeErrors();

  // A write beyond the size limit fails (EFBIG) instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  const long size = static_cast<long>(full.size());
  for (long limit : {0L, 1L, 105L, 226L, kMiB - 1, kMiB, kMiB + 1, 2 * kMiB + 7, size - 1}) {
    rlimit low = old;
    low.rlim_cur = static_cast<rlim_t>(limit);
    if (setrlimit(RLIMIT_FSIZE, &low) != 0) PLATFORM_QuickExit(7);
    SaveContainer();
    if (setrlimit(RLIMIT_FSIZE, &old) != 0) PLATFORM_QuickExit(7);
    CheckFailedSave(dir, &console, "limit " + std::to_string(limit), before, &report);
  }

  // No descriptor left: the new file cannot be opened.
  rlimit fds{};
  getrlimit(RLIMIT_NOFILE, &fds);
  const int lowest_free = dup(0);
  close(lowest_free);
  rlimit none = fds;
  none.rlim_cur = static_cast<rlim_t>(lowest_free);
  if (setrlimit(RLIMIT_NOFILE, &none) != 0) PLATFORM_QuickExit(7);
  SaveContainer();
  if (setrlimit(RLIMIT_NOFILE, &fds) != 0) PLATFORM_QuickExit(7);
  CheckFailedSave(dir, &console, "no descriptor", before, &report);

  // With the disk well again the same save goes through.
  SaveContainer();
  report.Check(!APP_State().changed, "changed stayed set after a good save");
  report.Check(Bytes(dir.Path("box.ksp")) == full, "the good save differs from the probe");
  report.Finish();
}

TEST(ContainerFaults, FailedSaveLeavesThePreviousContainer) {
  ScratchDir dir;
  EXPECT_EXIT(SaveFailingAtEveryWrite(dir), testing::ExitedWithCode(0), "CASE OK");
}

// The call numbers worth failing among `calls`: the first few (headers,
// the first rows), a few in the middle and the last few (the counts, the
// second section's end).
std::vector<long> Steps(long calls) {
  std::vector<long> steps;
  for (long n = 1; n <= calls; ++n) {
    if (n <= 6 || n > calls - 4 || n == calls / 2 || n == calls / 2 + 1) steps.push_back(n);
  }
  return steps;
}

const char* OpName(PLATFORM_FAULTOP op) {
  switch (op) {
    case PLATFORM_FAULT_OPEN: return "open";
    case PLATFORM_FAULT_READ: return "read";
    case PLATFORM_FAULT_WRITE: return "write";
    case PLATFORM_FAULT_FLUSH: return "flush";
    case PLATFORM_FAULT_RENAME: return "rename";
    default: return "?";
  }
}

// Calls of each kind that one good save of the current tables makes.
std::map<PLATFORM_FAULTOP, long> CallsOfAGoodSave(const ScratchDir& dir, Report* report) {
  PLATFORM_FaultResetForTest();
  report->Check(Group_Save(APPDB_Handle(), dir.Path("probe.ksp"), "KASPODAT"), "probe save");
  std::map<PLATFORM_FAULTOP, long> calls;
  for (PLATFORM_FAULTOP op : {PLATFORM_FAULT_OPEN, PLATFORM_FAULT_READ, PLATFORM_FAULT_WRITE,
                              PLATFORM_FAULT_FLUSH, PLATFORM_FAULT_RENAME}) {
    calls[op] = PLATFORM_FaultCalls(op);
  }
  PLATFORM_FaultResetForTest();
  return calls;
}

void SaveFailingAtEveryStep(const ScratchDir& dir) {
  Console console;
  StartWithSavedContainer(dir, &console);
  Report report;
  const std::string box = dir.Path("box.ksp");
  const std::vector<unsigned char> before = Bytes(box);
  std::map<PLATFORM_FAULTOP, long> calls = CallsOfAGoodSave(dir, &report);
  const std::vector<unsigned char> full = Bytes(dir.Path("probe.ksp"));
  (void)console.TakeErrors();
  // One open, many writes (headers, rows, counts), the file's flush and
  // the directory's sync, one rename; a save reads nothing.
  report.Check(calls[PLATFORM_FAULT_OPEN] == 1 && calls[PLATFORM_FAULT_READ] == 0 &&
                   calls[PLATFORM_FAULT_WRITE] > 10 && calls[PLATFORM_FAULT_FLUSH] == 2 &&
                   calls[PLATFORM_FAULT_RENAME] == 1,
               "a save makes other calls than expected");

  // Every step up to the rename: the directory's sync comes after it.
  calls[PLATFORM_FAULT_FLUSH] = 1;
  for (const auto& [op, count] : calls) {
    for (long nth : Steps(count)) {
      PLATFORM_FaultAt(op, nth, PLATFORM_FAULT_ONCE);
      SaveContainer();
      report.Check(PLATFORM_FaultsInjected(op) == 1,
                   std::string(OpName(op)) + " " + std::to_string(nth) + ": nothing failed");
      PLATFORM_FaultResetForTest();
      CheckFailedSave(dir, &console, std::string(OpName(op)) + " " + std::to_string(nth), before,
                      &report);
    }
  }
  // A disk that stops taking writes altogether, half-way through.
  PLATFORM_FaultAt(PLATFORM_FAULT_WRITE, calls[PLATFORM_FAULT_WRITE] / 2, PLATFORM_FAULT_FROM_NTH);
  SaveContainer();
  PLATFORM_FaultResetForTest();
  CheckFailedSave(dir, &console, "dead disk", before, &report);

  // The directory's sync failing leaves the rename done: the new content
  // is in place, so the save counts as done.
  PLATFORM_FaultAt(PLATFORM_FAULT_FLUSH, 2, PLATFORM_FAULT_ONCE);
  SaveContainer();
  report.Check(PLATFORM_FaultsInjected(PLATFORM_FAULT_FLUSH) == 1,
               "the directory sync did not fail");
  PLATFORM_FaultResetForTest();
  report.Check(!APP_State().changed && Bytes(box) == full,
               "a failed directory sync undid a finished save");
  report.Finish();
}

TEST(ContainerFaults, SaveFailingAtAnyStepLeavesThePreviousContainer) {
  ScratchDir dir;
  EXPECT_EXIT(SaveFailingAtEveryStep(dir), testing::ExitedWithCode(0), "CASE OK");
}

// After the failed loads the items still change and save; ends the case.
[[noreturn]] void FinishWithAGoodSave(const std::string& box, Report* report) {
  AddItem("after.txt", true, Content(70, 4));
  SaveContainer();
  report->Check(!APP_State().changed && CONTAINER_Load(box) && Items().size() == 3,
                "no save after the failed loads");
  report->Finish();
}

void LoadFailingAtEveryRead(const ScratchDir& dir) {
  Console console;
  StartWithSavedContainer(dir, &console);
  Report report;
  const std::string box = dir.Path("box.ksp");
  PLATFORM_FaultResetForTest();
  report.Check(CONTAINER_Load(box) != 0, "the good container did not load");
  const long reads = PLATFORM_FaultCalls(PLATFORM_FAULT_READ);
  const long opens = PLATFORM_FaultCalls(PLATFORM_FAULT_OPEN);
  PLATFORM_FaultResetForTest();
  const auto expected = Items();
  report.Check(expected.size() == 2 && opens == 1 && reads > 2, "the good load read unexpectedly");

  std::vector<std::pair<PLATFORM_FAULTOP, long>> cases;
  cases.push_back({PLATFORM_FAULT_OPEN, 1});
  for (long nth : Steps(reads)) cases.push_back({PLATFORM_FAULT_READ, nth});
  for (const auto& [op, nth] : cases) {
    const std::string what = std::string(OpName(op)) + " " + std::to_string(nth);
    (void)console.TakeErrors();
    PLATFORM_FaultAt(op, nth, PLATFORM_FAULT_ONCE);
    report.Check(!CONTAINER_Load(box), what + ": the load succeeded");
    report.Check(PLATFORM_FaultsInjected(op) == 1, what + ": nothing failed");
    PLATFORM_FaultResetForTest();
    report.Check(!console.TakeErrors().empty(), what + ": nothing reported");
    report.Check(CONTAINER_Load(box) && Items() == expected,
                 what + ": the container did not load again");
  }

  FinishWithAGoodSave(box, &report);
}

TEST(ContainerFaults, LoadFailingAtAnyReadReportsAndTheProgramGoesOn) {
  ScratchDir dir;
  EXPECT_EXIT(LoadFailingAtEveryRead(dir), testing::ExitedWithCode(0), "CASE OK");
}

void LoadFailingThenGoingOn(const ScratchDir& dir) {
  Console console;
  StartWithSavedContainer(dir, &console);
  Report report;
  const std::string box = dir.Path("box.ksp");
  const std::vector<unsigned char> saved = Bytes(box);
  if (!CONTAINER_Load(box)) PLATFORM_QuickExit(8);
  const auto expected = Items();
  report.Check(expected.size() == 2 && expected.at("big.bin") == Content(kBigItem, 1),
               "the saved items did not load");

  // A file that reads with an error, one that ends early, and none at all.
  dir.MakeDir("unreadable.ksp");
  std::string cut(saved.begin(), saved.begin() + static_cast<long>(saved.size() / 2));
  dir.WriteFile("cut.ksp", cut);
  for (const char* name : {"unreadable.ksp", "cut.ksp", "missing.ksp"}) {
    (void)console.TakeErrors();
    report.Check(!CONTAINER_Load(dir.Path(name)), std::string(name) + " loaded");
    report.Check(!console.TakeErrors().empty(), std::string(name) + ": nothing reported");
    // No item of the container loaded before is left under this name.
    report.Check(std::string(name) == "cut.ksp" || Items().empty(),
                 std::string(name) + ": the previous items stayed");
    // The program goes on: the good container loads whole again.
    report.Check(CONTAINER_Load(box) && Items() == expected,
                 std::string(name) + ": the good container did not load again");
  }

  FinishWithAGoodSave(box, &report);
}

TEST(ContainerFaults, FailedLoadReportsAndTheProgramGoesOn) {
  ScratchDir dir;
  EXPECT_EXIT(LoadFailingThenGoingOn(dir), testing::ExitedWithCode(0), "CASE OK");
}
// One export of small.txt into the current directory, the console reading
// `answers`; what it printed on the output and on the error stream.
std::pair<std::string, std::string> ExportSmall(std::string answers) {
  char* out_text = nullptr;
  char* err_text = nullptr;
  std::size_t out_size = 0, err_size = 0;
  FILE* in = fmemopen(answers.data(), answers.size(), "r");
  FILE* out = open_memstream(&out_text, &out_size);
  FILE* err = open_memstream(&err_text, &err_size);
  CONSOLE_ResetForTest(in, out, err);
  ITEMS_Export();
  CONSOLE_ResetForTest(stdin, stdout, stderr);
  for (FILE* f : {in, out, err}) std::fclose(f);
  std::pair<std::string, std::string> printed(std::string(out_text, out_size),
                                              std::string(err_text, err_size));
  std::free(out_text);
  std::free(err_text);
  return printed;
}

// Each step of an export's write failing: the temporary file's open, its
// one write, its flush and the rename. (The directory's sync comes after
// the rename: the file is exported by then.)
void ExportFailingAtEveryStep(const ScratchDir& dir) {
  Console console;
  StartWithSavedContainer(dir, &console);
  Report report;
  const std::string out_dir = dir.MakeDir("out");
  APP_State().current_dir = out_dir;
  dir.WriteFile("out/small.txt", "old content");
  for (PLATFORM_FAULTOP op :
       {PLATFORM_FAULT_OPEN, PLATFORM_FAULT_WRITE, PLATFORM_FAULT_FLUSH, PLATFORM_FAULT_RENAME}) {
    const std::string what = OpName(op);
    PLATFORM_FaultResetForTest();
    PLATFORM_FaultAt(op, 1, PLATFORM_FAULT_ONCE);
    const auto [out, err] = ExportSmall("small\ny\ny\n");
    report.Check(PLATFORM_FaultsInjected(op) == 1, what + ": nothing failed");
    report.Check(out.find("  file '") == std::string::npos &&
                     out.find("exported 0 items\n") != std::string::npos,
                 what + ": counted as exported: " + out);
    report.Check(err == "warning: file '" + out_dir + "/small.txt' write error!\n",
                 what + ": reported [" + err + "]");
    std::vector<std::string> names;
    report.Check(dir.ReadFile("out/small.txt") == "old content" &&
                     PLATFORM_ListRegularFiles(out_dir.c_str(), &names) &&
                     names == std::vector<std::string>{"small.txt"},
                 what + ": the old file changed or a partial one is left");
  }
  PLATFORM_FaultResetForTest();
  const auto [out, err] = ExportSmall("small\ny\ny\n");
  report.Check(out.find("exported 1 items\n") != std::string::npos && err.empty() &&
                   Bytes(out_dir + "/small.txt") == Content(5000, 2),
               "the export did not go through once the disk was well");
  report.Finish();
}

TEST(ExportFaults, AFailedWriteKeepsTheOldFileAndIsNotCounted) {
  ScratchDir dir;
  EXPECT_EXIT(ExportFailingAtEveryStep(dir), testing::ExitedWithCode(0), "CASE OK");
}

// Where the system keeps no locks (flock fails with ENOLCK, as on some
// network file systems): the user is told once per container, saves go
// on, and a file changed on disk is still asked about.
void SavesWithoutLocks(const ScratchDir& dir) {
  // The changed-on-disk question is answered "n", later "y".
  Console console("n\ny\n");
  StartApplication(dir, &console);
  (void)console.TakeErrors();
  Report report;
  const std::string box = dir.Path("box.ksp");
  const std::string refused = "kaspo-db '" + box + "' cannot be locked: No locks available!\n";
  const std::string changed = "kaspo-db '" + box + "' was changed on disk! Overwrite it? (n/y) ";
  const std::string saved = "kaspo-db '" + box + "' saved!\n";
  const std::vector<unsigned char> data = {'d', 'a', 't', 'a'};
  PLATFORM_FaultAt(PLATFORM_FAULT_LOCK, 1, PLATFORM_FAULT_FROM_NTH);

  // A new container: nothing to lock until the first save made the file.
  APP_State().container.Enter(box);
  AddItem("one.txt", false, data);
  SaveContainer();
  report.Check(console.TakeErrors() == refused, "not told after the first save");
  report.Check(console.TakeOutput() == saved && !APP_State().changed, "the first save failed");
  AddItem("two.txt", false, data);
  SaveContainer();
  report.Check(console.TakeErrors().empty(), "told twice");
  report.Check(console.TakeOutput() == saved, "the second save failed");

  // Another program writes the file: asked, and "n" keeps it.
  dir.WriteFile("box.ksp", "someone else's");
  AddItem("three.txt", false, data);
  SaveContainer();
  report.Check(console.TakeOutput() == changed, "not asked about the changed file");
  report.Check(dir.ReadFile("box.ksp") == "someone else's" && APP_State().changed,
               "the changed file was written over");

  // Entered again: reported again, once; a "y" writes over a changed file.
  APP_State().container.Enter(box);
  report.Check(console.TakeErrors() == refused, "not told when entered again");
  dir.WriteFile("box.ksp", "written again");
  SaveContainer();
  report.Check(console.TakeOutput() == changed + saved && console.TakeErrors().empty(),
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
  StartApplication(dir, &console);
  Report report;
  const std::string box = dir.Path("shared/box.ksp");
  if (chmod(dir.path().c_str(), 0755) != 0 || chmod(dir.Path("shared").c_str(), 0777) != 0 ||
      chown(box.c_str(), 4321, 4322) != 0 || chmod(box.c_str(), 0666) != 0 ||
      setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
    PLATFORM_QuickExit(3);
  }
  APP_State().container.Enter(box);
  AddItem("one.txt", false, {'d', 'a', 't', 'a'});
  (void)console.TakeErrors();
  SaveContainer();
  report.Check(
      console.TakeErrors() == "warning: owner and group of kaspo-db '" + box + "' not kept!\n",
      "not warned");
  report.Check(console.TakeOutput() == "kaspo-db '" + box + "' saved!\n" && !APP_State().changed,
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
