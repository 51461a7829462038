// Tests of files replaced as a whole: the temporary file is private while
// it is written and gets its final permission bits, owner and group before
// the rename; a commit that must create its file never replaces one; the
// left-over cleanup takes only names this module could have written.
#include "platform/newfile.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/locks.h"
#include "support/scratch_dir.h"

namespace {
mode_t ModeOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Writes `text` as the new content of `path`; the mode of the temporary
// file while it is open goes to *out_temp_mode.
int Replace(const std::string& path, const std::string& text, PLATFORM_NEWFILETARGET target,
            mode_t* out_temp_mode) {
  PLATFORM_NEWFILE file;
  if (!PLATFORM_NewFileOpen(&file, path, PLATFORM_NEWFILE_LOCKED, target)) return 0;
  *out_temp_mode = ModeOf(file.temp);
  return PLATFORM_NewFileWrite(&file, text.data(), text.size()) &&
         PLATFORM_NewFileCommit(&file, PLATFORM_CACHED);
}

// Run with a umask of 0, which let the old code's temporary files be
// read by anyone: the file written must still be private until it is
// complete. The module reads the umask once (the program never changes
// it), so a new file gets the bits of the umask the process began with.
void PrivateUntilCommitted(const ScratchDir& dir) {
  const mode_t first = umask(0);
  umask(first);
  {
    PLATFORM_NEWFILE primer;
    if (!PLATFORM_NewFileOpen(&primer, dir.Path("primer"))) _exit(3);
  }
  umask(0);
  const mode_t fresh = 0666 & ~first;
  std::string failures;
  struct Case {
    const char* name;
    mode_t before;  // 0: no file there
    PLATFORM_NEWFILETARGET target;
    mode_t after;
  };
  const Case kCases[] = {
      {"new", 0, PLATFORM_NEWFILE_ANY, fresh},
      {"known new", 0, PLATFORM_NEWFILE_ABSENT, fresh},
      {"group-readable", 0640, PLATFORM_NEWFILE_ANY, 0640},
      {"others-readable", 0604, PLATFORM_NEWFILE_ANY, 0604},
      {"set-group-id", 02750, PLATFORM_NEWFILE_ANY, 02750},
  };
  for (const Case& c : kCases) {
    const std::string path = dir.Path(c.name);
    if (c.before != 0) {
      dir.WriteFile(c.name, "old");
      chmod(path.c_str(), c.before);
    }
    mode_t temp_mode = 0;
    if (!Replace(path, "new", c.target, &temp_mode)) failures += std::string(c.name) + ": failed\n";
    if (temp_mode != 0600) failures += std::string(c.name) + ": temporary file readable\n";
    if (ModeOf(path) != c.after) failures += std::string(c.name) + ": final bits wrong\n";
    if (dir.ReadFile(c.name) != "new") failures += std::string(c.name) + ": content wrong\n";
  }
  std::fprintf(stderr, "%s", failures.empty() ? "CASE OK\n" : failures.c_str());
  _exit(failures.empty() ? 0 : 2);
}

TEST(NewFile, IsPrivateWhileWrittenAndGetsItsFinalBitsBeforeTheRename) {
  ScratchDir dir;
  EXPECT_EXIT(PrivateUntilCommitted(dir), testing::ExitedWithCode(0), "CASE OK");
}

TEST(NewFile, KeepsTheOwnerAndGroupOfTheFileItReplaces) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  ScratchDir dir;
  const std::string path = dir.WriteFile("box", "old");
  ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  ASSERT_EQ(chmod(path.c_str(), 02640), 0);
  PLATFORM_NEWFILE file;
  ASSERT_TRUE(PLATFORM_NewFileOpen(&file, path));
  PLATFORM_NewFileKeepOwner(&file);
  ASSERT_TRUE(PLATFORM_NewFileCommit(&file, PLATFORM_DURABLE));
  EXPECT_TRUE(file.owner_kept);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 4322u);
  // The change of owner cleared the set-group-id bit; the bits came after.
  EXPECT_EQ(info.st_mode & 07777, 02640u);

  // Without the request, the file is the writer's.
  PLATFORM_NEWFILE plain;
  ASSERT_TRUE(PLATFORM_NewFileOpen(&plain, path));
  ASSERT_TRUE(PLATFORM_NewFileCommit(&plain, PLATFORM_DURABLE));
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
}

// As a user who may not give the file away: the file is written all the
// same, owned by that user, and the commit reports that the owner was not kept.
void ReplaceAsNobody(const ScratchDir& dir, const std::string& path) {
  if (chmod(dir.path().c_str(), 0777) != 0 || setgroups(0, nullptr) != 0 || setgid(65534) != 0 ||
      setuid(65534) != 0) {
    _exit(3);
  }
  PLATFORM_NEWFILE file;
  if (!PLATFORM_NewFileOpen(&file, path)) _exit(4);
  PLATFORM_NewFileKeepOwner(&file);
  if (!PLATFORM_NewFileWrite(&file, "new", 3) || !PLATFORM_NewFileCommit(&file, PLATFORM_DURABLE)) {
    _exit(5);
  }
  struct stat info;
  const bool ok = !file.owner_kept && stat(path.c_str(), &info) == 0 && info.st_uid == 65534 &&
                  (info.st_mode & 07777) == 0666;
  std::fprintf(stderr, ok ? "CASE OK\n" : "CASE FAILED\n");
  _exit(ok ? 0 : 2);
}

TEST(NewFile, SaysWhenTheOwnerCannotBeKept) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ScratchDir dir;
  const std::string path = dir.WriteFile("box", "old");
  ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  EXPECT_EXIT(ReplaceAsNobody(dir, path), testing::ExitedWithCode(0), "CASE OK");
  EXPECT_EQ(dir.ReadFile("box"), "new");
}

TEST(NewFile, ACommitThatMustCreateNeverReplaces) {
  ScratchDir dir;
  dir.WriteFile("file", "someone's");
  ASSERT_EQ(symlink("nowhere", dir.Path("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  dir.MakeDir("dir");
  struct Case {
    const char* name;
    bool created;
  };
  for (const Case& c : {Case{"free", true}, Case{"file", false}, Case{"dangling", false},
                        Case{"fifo", false}, Case{"dir", false}}) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.Path(c.name);
    PLATFORM_NEWFILE file;
    ASSERT_TRUE(PLATFORM_NewFileOpen(&file, path));
    ASSERT_TRUE(PLATFORM_NewFileWrite(&file, "mine", 4));
    bool taken = true;
    EXPECT_EQ(PLATFORM_NewFileCommit(&file, PLATFORM_DURABLE, PLATFORM_NEWFILE_CREATE, &taken),
              c.created ? 1 : 0);
    EXPECT_EQ(taken, !c.created);
    // A lock taken on the new file stays with it, moves to one owner and
    // goes with it.
    {
      PLATFORM_LOCK lock;
      PLATFORM_NewFileTakeLock(&file, &lock);
      const PLATFORM_LOCK owner = std::move(lock);
      EXPECT_EQ(owner.Held(), c.created);
      EXPECT_FALSE(lock.Held());
      PLATFORM_LOCK other;
      EXPECT_EQ(PLATFORM_Lock(path.c_str(), &other) == PLATFORM_LOCK_BUSY, c.created);
    }
    PLATFORM_LOCK after;
    EXPECT_NE(PLATFORM_Lock(path.c_str(), &after), PLATFORM_LOCK_BUSY);
  }
  EXPECT_EQ(dir.ReadFile("free"), "mine");
  EXPECT_EQ(dir.ReadFile("file"), "someone's");
  bool is_link = false;
  EXPECT_EQ(PLATFORM_OwnKind(dir.Path("dangling").c_str(), &is_link), PLATFORM_OTHER);
  EXPECT_TRUE(is_link);
  EXPECT_EQ(PLATFORM_FileKind(dir.Path("fifo").c_str()), PLATFORM_OTHER);
  // Nothing but what was there and the one file made.
  std::vector<std::string> names;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(dir.path().c_str(), &names));
  EXPECT_EQ(names, (std::vector<std::string>{"file", "free"}));
}

// The id of a process that has ended.
long EndedProcess() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

long PidMax() {
  std::ifstream in("/proc/sys/kernel/pid_max");
  long value = 0;
  in >> value;
  return value;
}

TEST(NewFile, TheCleanupTakesOnlyNamesAProcessHereCouldHaveWritten) {
  ScratchDir dir;
  const long pid_max = PidMax();
  ASSERT_GT(pid_max, 1);
  const std::string dead = std::to_string(EndedProcess());
  const std::vector<std::string> stale = {"box." + dead + "-0.tmp", "box." + dead + "-99.tmp"};
  const std::vector<std::string> kept = {
      "box.0-0.tmp",              // no process has the id 0
      "box.0" + dead + "-0.tmp",  // written with a leading zero
      "box." + dead + "-00.tmp",
      "box." + dead + "-07.tmp",
      "box." + dead + "-100.tmp",                   // more names than a writer tries
      "box." + std::to_string(pid_max) + "-0.tmp",  // ids stay below pid_max
      "box." + std::to_string(pid_max + 1) + "-0.tmp",
      "box.99999999999-0.tmp",
      "box.-5-0.tmp",
      "box.+5-0.tmp",
  };
  for (const std::string& name : stale) dir.WriteFile(name, "half");
  for (const std::string& name : kept) dir.WriteFile(name, "a user's file");
  std::vector<std::string> removed;
  PLATFORM_NewFileRemoveStale(dir.Path("box"), &removed);
  std::vector<std::string> expected;
  for (const std::string& name : stale) expected.push_back(dir.Path(name));
  std::sort(removed.begin(), removed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
  for (const std::string& name : kept) EXPECT_EQ(dir.ReadFile(name), "a user's file") << name;
}
}  // namespace
