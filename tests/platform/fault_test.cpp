// Tests of the fault-injection seam: which call fails, what the failure
// leaves on disk, and the exit hook that hands control back to a harness.
#include "platform/fault.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/locks.h"
#include "platform/newfile_queue.h"
#include "platform/process.h"
#include "support/scratch_dir.h"

namespace {
class FaultTest : public testing::Test {
 protected:
  void SetUp() override { PLATFORM_FaultResetForTest(); }
  void TearDown() override {
    PLATFORM_FaultResetForTest();
    PLATFORM_SetExitHookForTest(nullptr);
  }
  ScratchDir dir_;
};

// One call of each kind, on fresh files, reporting 1 for success.
struct OpCase {
  const char* name;
  PLATFORM_FAULTOP op;
  int expected_errno;
  std::function<int(const ScratchDir&, int n)> call;
};

int StreamWrite(const ScratchDir& dir, int n) {
  PLATFORM_FILEPTR file(PLATFORM_OpenWrite(dir.Path("w" + std::to_string(n)).c_str()));
  return file != nullptr && PLATFORM_Write(file.get(), "abc", 3);
}

int StreamRead(const ScratchDir& dir, int) {
  PLATFORM_FILEPTR file(PLATFORM_OpenRead(dir.Path("src").c_str()));
  char buffer[8];
  std::size_t got = 99;
  return file != nullptr && PLATFORM_Read(file.get(), buffer, sizeof buffer, &got) && got == 5;
}

int StreamFlush(const ScratchDir& dir, int n) {
  PLATFORM_FILEPTR file(PLATFORM_OpenWrite(dir.Path("f" + std::to_string(n)).c_str()));
  return file != nullptr && PLATFORM_Write(file.get(), "x", 1) && PLATFORM_Flush(file.get());
}

int SyncDirectory(const ScratchDir& dir, int) { return PLATFORM_SyncDirectory(dir.path().c_str()); }

int Rename(const ScratchDir& dir, int n) {
  const std::string from = dir.WriteFile("r" + std::to_string(n), "x");
  return PLATFORM_Rename(from.c_str(), dir.Path("renamed").c_str());
}

int RenameNew(const ScratchDir& dir, int n) {
  const std::string from = dir.WriteFile("rn" + std::to_string(n), "x");
  return PLATFORM_RenameNew(from.c_str(), dir.Path("renamed-new" + std::to_string(n)).c_str());
}

int Lock(const ScratchDir& dir, int n) {
  PLATFORM_LOCK lock;
  int error = 0;
  const std::string path = dir.WriteFile("l" + std::to_string(n), "x");
  const PLATFORM_LOCKRESULT result = PLATFORM_Lock(path.c_str(), &lock, &error);
  PLATFORM_Unlock(&lock);
  if (result == PLATFORM_LOCK_FAILED) errno = error;
  return result == PLATFORM_LOCK_TAKEN;
}

int OpenNew(const ScratchDir& dir, int n) {
  PLATFORM_FILEPTR file(PLATFORM_OpenNew(dir.Path("n" + std::to_string(n)).c_str()));
  return file != nullptr;
}

int WholeRead(const ScratchDir& dir, int) {
  std::vector<unsigned char> bytes;
  return PLATFORM_ReadFile(dir.Path("src").c_str(), &bytes) && bytes.size() == 5;
}

int WholeWrite(const ScratchDir& dir, int n) {
  return PLATFORM_WriteFile(dir.Path("ww" + std::to_string(n)).c_str(), "abc", 3);
}

const OpCase kOpCases[] = {
    {"stream write", PLATFORM_FAULT_WRITE, ENOSPC, StreamWrite},
    {"stream read", PLATFORM_FAULT_READ, EIO, StreamRead},
    {"flush", PLATFORM_FAULT_FLUSH, EIO, StreamFlush},
    {"directory sync", PLATFORM_FAULT_FLUSH, EIO, SyncDirectory},
    {"rename", PLATFORM_FAULT_RENAME, EIO, Rename},
    {"rename without replacing", PLATFORM_FAULT_RENAME, EIO, RenameNew},
    {"lock", PLATFORM_FAULT_LOCK, ENOLCK, Lock},
    {"open new", PLATFORM_FAULT_OPEN, EIO, OpenNew},
    {"whole-file read", PLATFORM_FAULT_READ, EIO, WholeRead},
    {"whole-file write", PLATFORM_FAULT_WRITE, ENOSPC, WholeWrite},
};

TEST_F(FaultTest, OnlyTheArmedCallOfItsKindFails) {
  dir_.WriteFile("src", "hello");
  for (const OpCase& c : kOpCases) {
    SCOPED_TRACE(c.name);
    PLATFORM_FaultResetForTest();
    PLATFORM_FaultAt(c.op, 2, PLATFORM_FAULT_ONCE);
    EXPECT_EQ(c.call(dir_, 1), 1);
    errno = 0;
    EXPECT_EQ(c.call(dir_, 2), 0);
    EXPECT_EQ(errno, c.expected_errno);
    EXPECT_EQ(c.call(dir_, 3), 1);
    EXPECT_EQ(PLATFORM_FaultCalls(c.op), 3);
    EXPECT_EQ(PLATFORM_FaultsInjected(c.op), 1);
  }
}

TEST_F(FaultTest, SpanAndRearmingDecideWhichCallsFail) {
  struct Case {
    const char* name;
    long first_nth;  // armed before the first call
    PLATFORM_FAULTSPAN span;
    long rearm_after_two;  // armed again after two calls; -1: left alone
    const char* results;   // of six calls, '1' success, '0' failure
  };
  constexpr Case kCases[] = {
      {"once", 3, PLATFORM_FAULT_ONCE, -1, "110111"},
      {"from the nth on", 3, PLATFORM_FAULT_FROM_NTH, -1, "110000"},
      {"first call", 1, PLATFORM_FAULT_ONCE, -1, "011111"},
      {"disarmed before it fires", 3, PLATFORM_FAULT_ONCE, 0, "111111"},
      {"re-armed counts from then", 3, PLATFORM_FAULT_ONCE, 2, "111011"},
      {"nothing armed", 0, PLATFORM_FAULT_ONCE, -1, "111111"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    PLATFORM_FaultResetForTest();
    PLATFORM_FaultAt(PLATFORM_FAULT_RENAME, c.first_nth, c.span);
    std::string results;
    for (int n = 0; n < 6; ++n) {
      if (n == 2 && c.rearm_after_two >= 0) {
        PLATFORM_FaultAt(PLATFORM_FAULT_RENAME, c.rearm_after_two, c.span);
      }
      results += Rename(dir_, n) ? '1' : '0';
    }
    EXPECT_EQ(results, c.results);
    // Other kinds are not disturbed by an armed rename.
    EXPECT_EQ(WholeWrite(dir_, 9), 1);
  }
}

TEST_F(FaultTest, FailuresLeaveWhatTheSystemWouldLeave) {
  const std::string target = dir_.WriteFile("target", "old content");
  const std::string fresh = dir_.WriteFile("fresh", "new content");

  // A failed rename leaves both names as they were.
  PLATFORM_FaultAt(PLATFORM_FAULT_RENAME, 1, PLATFORM_FAULT_ONCE);
  EXPECT_EQ(PLATFORM_Rename(fresh.c_str(), target.c_str()), 0);
  EXPECT_EQ(dir_.ReadFile("target"), "old content");
  EXPECT_EQ(dir_.ReadFile("fresh"), "new content");

  // A whole-file write fails after the truncation, like a full disk.
  PLATFORM_FaultAt(PLATFORM_FAULT_WRITE, 1, PLATFORM_FAULT_ONCE);
  EXPECT_EQ(PLATFORM_WriteFile(target.c_str(), "replacement", 11), 0);
  EXPECT_TRUE(PLATFORM_IsRegularFile(target.c_str()));
  EXPECT_EQ(dir_.ReadFile("target"), "");

  // A failed open of a new file creates nothing.
  PLATFORM_FaultAt(PLATFORM_FAULT_OPEN, 1, PLATFORM_FAULT_ONCE);
  EXPECT_EQ(PLATFORM_OpenNew(dir_.Path("never").c_str()), nullptr);
  EXPECT_FALSE(PLATFORM_Exists(dir_.Path("never").c_str()));

  // A failed stream write puts nothing into the file.
  PLATFORM_FILEPTR out(PLATFORM_OpenWrite(dir_.Path("partial").c_str()));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(PLATFORM_Write(out.get(), "keep", 4), 1);
  PLATFORM_FaultAt(PLATFORM_FAULT_WRITE, 1, PLATFORM_FAULT_ONCE);
  EXPECT_EQ(PLATFORM_Write(out.get(), "lost", 4), 0);
  EXPECT_EQ(PLATFORM_Flush(out.get()), 1);
  out.reset();
  EXPECT_EQ(dir_.ReadFile("partial"), "keep");
}

TEST_F(FaultTest, StreamsBehaveLikeTheSystemWithoutFaults) {
  // A new file is its owner's alone, whatever the umask, and refuses to
  // clobber.
  const mode_t mask = umask(0);
  PLATFORM_FILEPTR file(PLATFORM_OpenNew(dir_.Path("new").c_str()));
  umask(mask);
  ASSERT_NE(file, nullptr);
  struct stat info;
  ASSERT_EQ(stat(dir_.Path("new").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  errno = 0;
  EXPECT_EQ(PLATFORM_OpenNew(dir_.Path("new").c_str()), nullptr);
  EXPECT_EQ(errno, EEXIST);

  // A short read at the end of the file is no error; the next gives 0 bytes.
  ASSERT_EQ(PLATFORM_Write(file.get(), "12345", 5), 1);
  ASSERT_EQ(PLATFORM_Flush(file.get()), 1);
  file.reset();
  PLATFORM_FILEPTR in(PLATFORM_OpenRead(dir_.Path("new").c_str()));
  ASSERT_NE(in, nullptr);
  char buffer[4];
  std::size_t got = 0;
  EXPECT_EQ(PLATFORM_Read(in.get(), buffer, 4, &got), 1);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(PLATFORM_Read(in.get(), buffer, 4, &got), 1);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(PLATFORM_Read(in.get(), buffer, 4, &got), 1);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(PLATFORM_OpenRead(dir_.Path("missing").c_str()), nullptr);
}

struct HookedExit {
  PLATFORM_EXITKIND kind;
  int status;
};

void ThrowingHook(PLATFORM_EXITKIND kind, int status) { throw HookedExit{kind, status}; }

int g_fatal_handler_runs = 0;
void CountingFatalHandler() { ++g_fatal_handler_runs; }

TEST_F(FaultTest, ExitHookSeesEveryEndFirst) {
  PLATFORM_SetExitHookForTest(ThrowingHook);
  PLATFORM_SetFatalHandler(CountingFatalHandler);
  struct Case {
    const char* name;
    void (*end)();
    PLATFORM_EXITKIND kind;
    int status;
  };
  const Case kCases[] = {
      {"exit", [] { PLATFORM_Exit(3); }, PLATFORM_EXIT_NORMAL, 3},
      {"quick exit", [] { PLATFORM_QuickExit(4); }, PLATFORM_EXIT_QUICK, 4},
      {"fatal exit", [] { PLATFORM_FatalExit(); }, PLATFORM_EXIT_FATAL, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    try {
      c.end();
      ADD_FAILURE() << "the end returned";
    } catch (const HookedExit& seen) {
      EXPECT_EQ(seen.kind, c.kind);
      EXPECT_EQ(seen.status, c.status);
    }
  }
  // The hook came before the fatal handler, which thus never ran.
  EXPECT_EQ(g_fatal_handler_runs, 0);
  PLATFORM_SetFatalHandler(nullptr);
}

TEST_F(FaultTest, HookThatReturnsLetsTheEndGoAhead) {
  EXPECT_EXIT(
      {
        PLATFORM_SetExitHookForTest([](PLATFORM_EXITKIND, int) {});
        PLATFORM_Exit(7);
      },
      testing::ExitedWithCode(7), "");
}

// The seam must stay a test tool: no code of the program may arm it or
// hook the exit path.
// `size` bytes of a pattern that no shift of itself repeats soon.
std::string Pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t k = 0; k < size; ++k) text[k] = static_cast<char>(k * 7 + k / 251);
  return text;
}

// Files handed to the writing thread end as they would written in place,
// in order: committed, discarded, restarted, failing at the open or a
// write, larger than the pieces handed over; a failure leaves the old
// file and no temporary one.
TEST_F(FaultTest, QueuedFilesEndInOrderAsWrittenInPlace) {
  struct FileCase {
    const char* name;
    std::size_t size;  // bytes written, in pieces of up to 300 KiB
    bool restart, commit;
    PLATFORM_FAULTOP fails;  // at its first call of this kind; READ: none
    bool committed;
  };
  const FileCase kCases[] = {
      {"plain", 10, false, true, PLATFORM_FAULT_READ, true},
      {"empty", 0, false, true, PLATFORM_FAULT_READ, true},
      {"large", 5 << 20, false, true, PLATFORM_FAULT_READ, true},
      {"discarded", 100, false, false, PLATFORM_FAULT_READ, false},
      {"restarted", 70, true, true, PLATFORM_FAULT_READ, true},
      {"no open", 10, false, true, PLATFORM_FAULT_OPEN, false},
      {"no write", 3 << 20, false, true, PLATFORM_FAULT_WRITE, false},
      {"no rename", 10, false, true, PLATFORM_FAULT_RENAME, false},
  };
  std::vector<bool> outcomes;
  {
    PLATFORM_NEWFILEQUEUE files;
    for (const FileCase& c : kCases) {
      dir_.WriteFile(c.name, "old");
      // The seam counts per kind from the start: the case's call is the
      // next one, as nothing else runs while the queue drains.
      bool done = false;
      while (files.Collect(true, &done)) outcomes.push_back(done);
      PLATFORM_FaultResetForTest();
      if (c.fails != PLATFORM_FAULT_READ) PLATFORM_FaultAt(c.fails, 1, PLATFORM_FAULT_ONCE);
      files.Begin(dir_.Path(c.name), PLATFORM_NEWFILE_UNLOCKED);
      if (c.restart) {
        // More than the thread takes at a time: some of it is written.
        const std::string dropped(3 << 19, 'x');
        files.Write(dropped.data(), dropped.size());
        files.Restart();
      }
      const std::string content = Pattern(c.size);
      for (std::size_t at = 0; at < c.size; at += 300 << 10) {
        files.Write(content.data() + at, std::min<std::size_t>(300 << 10, c.size - at));
      }
      if (c.commit) {
        files.Commit(PLATFORM_CACHED);
      } else {
        files.Discard();
      }
    }
    bool done = false;
    while (files.Collect(true, &done)) outcomes.push_back(done);
    EXPECT_FALSE(files.Collect(true, &done));
  }
  ASSERT_EQ(outcomes.size(), std::size(kCases));
  for (std::size_t k = 0; k < std::size(kCases); ++k) {
    const FileCase& c = kCases[k];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(outcomes[k], c.committed);
    EXPECT_EQ(dir_.ReadFile(c.name), c.committed ? Pattern(c.size) : "old");
  }
  std::vector<std::string> names;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(dir_.path().c_str(), &names));
  EXPECT_EQ(names.size(), std::size(kCases));
}

// What is on its way counts as the bytes handed over, not the memory kept
// for them: one large file fills the queue at the byte bound, and small
// files after it (in the large file's pieces, kept for reuse) only at the
// file bound. All of it is written once the writer goes on.
TEST_F(FaultTest, QueuedFilesWaitAtEitherBound) {
  PLATFORM_NEWFILEQUEUE files;
  files.PauseForTest(true);
  files.Begin(dir_.Path("large"), PLATFORM_NEWFILE_UNLOCKED);
  const std::string piece(std::size_t{1} << 20, 'x');
  std::size_t written = 0;
  while (!files.Full()) {
    ASSERT_LT(written, PLATFORM_NEWFILE_INFLIGHT);
    files.Write(piece.data(), piece.size());
    written += piece.size();
  }
  EXPECT_EQ(written, PLATFORM_NEWFILE_INFLIGHT);
  files.Commit(PLATFORM_CACHED);
  files.PauseForTest(false);
  bool done = false;
  ASSERT_TRUE(files.Collect(true, &done));
  EXPECT_TRUE(done);
  EXPECT_EQ(dir_.ReadFile("large").size(), written);

  files.PauseForTest(true);
  std::size_t begun = 0;
  while (!files.Full()) {
    ASSERT_LT(begun, PLATFORM_NEWFILE_FILESINFLIGHT);
    files.Begin(dir_.Path("small" + std::to_string(begun++)), PLATFORM_NEWFILE_UNLOCKED);
    files.Write("small", 5);
    files.Commit(PLATFORM_CACHED);
  }
  EXPECT_EQ(begun, PLATFORM_NEWFILE_FILESINFLIGHT);
  files.PauseForTest(false);
  std::size_t committed = 0;
  while (files.Collect(true, &done)) committed += done ? 1 : 0;
  EXPECT_EQ(committed, begun);
  EXPECT_FALSE(files.Full());
}

TEST(FaultSeam, NoProgramCodeArmsIt) {
  const std::filesystem::path root = KASPO_SOURCE_DIR;
  const char* const kTestOnly[] = {"PLATFORM_FaultAt", "PLATFORM_SetExitHookForTest"};
  int files = 0;
  for (const char* layer : {"platform", "engine", "client", "compress", "records", "app"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root / layer)) {
      const std::filesystem::path& path = entry.path();
      if (path.extension() != ".cpp" && path.extension() != ".h") continue;
      const std::string name = path.filename().string();
      if (name == "fault.h" || name == "fault.cpp" || name == "process.h" ||
          name == "process.cpp") {
        continue;
      }
      std::ifstream in(path);
      std::stringstream text;
      text << in.rdbuf();
      ++files;
      for (const char* word : kTestOnly) {
        EXPECT_EQ(text.str().find(word), std::string::npos) << path << " uses " << word;
      }
    }
  }
  EXPECT_GT(files, 20);
}
}  // namespace
