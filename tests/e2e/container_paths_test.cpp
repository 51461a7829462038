// Dialogues around what a container path names and who may write it: two
// sessions whose first saves of one new container race, the owner,
// group and permission bits a save keeps, paths of no regular file (a
// pipe, a device, a directory) at start-up, "o" and "n", and names that
// would drive the terminal.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "e2e/session.h"
#include "platform/files.h"

namespace {
class ContainerPaths : public Session {
 protected:
  std::string Work(const std::string& name) { return scratch_.Path("work/" + name); }
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Incompressible bytes: a file large enough that writing the container
// takes a while, so that both sessions pass the check before the save
// before either writes.
std::string Noise(std::size_t size, unsigned seed) {
  std::string data(size, '\0');
  for (char& c : data) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 23);
  }
  return data;
}

TEST_F(ContainerPaths, TwoFirstSavesOfANewContainerNeverReplaceEachOther) {
  scratch_.WriteFile("work/a.bin", Noise(6 << 20, 1));
  scratch_.WriteFile("work/b.bin", Noise(6 << 20, 2));
  const std::string p = Prompt();
  KaspoProcess sessions[2];
  const char* items[2] = {"a.bin", "b.bin"};
  for (int k = 0; k < 2; ++k) {
    Start(&sessions[k], std::string("a\n") + items[k] + "\ny\n\nn\n", {"new.ksp"});
    ASSERT_TRUE(AwaitKaspo(&sessions[k], "1 items added\n" + p));
  }
  ASSERT_FALSE(PLATFORM_Exists(Work("new.ksp").c_str()));
  // Both save at once; neither file existed when they checked.
  for (KaspoProcess& session : sessions) ASSERT_TRUE(SendKaspo(&session, "s\n"));
  for (KaspoProcess& session : sessions) ASSERT_TRUE(AwaitKaspo(&session, p));
  const std::string saved = "kaspo-db 'new.ksp' saved!\n";
  KaspoResult results[2];
  // The session that made the file ends first; the other sees it then.
  int winner = -1;
  for (int k = 0; k < 2; ++k) {
    const std::string out = sessions[k].streams->ReadFile("stdout");
    if (Has(out, saved)) {
      EXPECT_EQ(winner, -1) << "both sessions saved";
      winner = k;
    }
  }
  ASSERT_NE(winner, -1);
  const int loser = 1 - winner;
  const std::string container = scratch_.ReadFile("work/new.ksp");
  EXPECT_TRUE(Has(container, items[winner]));
  ASSERT_TRUE(FinishKaspo(&sessions[winner], &results[winner]));
  // While the first ran, the save was refused; now the file is asked about
  // as one changed on disk: "n" keeps it, "y" writes over it.
  ASSERT_TRUE(SendKaspo(&sessions[loser], "s\nn\ns\ny\n"));
  KaspoResult& second = results[loser];
  ASSERT_TRUE(FinishKaspo(&sessions[loser], &second));
  EXPECT_EQ(second.err, kStartupErr + std::string("kaspo-db 'new.ksp' is in use by another "
                                                  "session, not saved!\n"));
  const std::string changed = "kaspo-db 'new.ksp' was changed on disk! Overwrite it? (n/y) ";
  const std::string end = p + p + changed + p + changed + saved + p + "\n";
  ASSERT_GE(second.out.size(), end.size());
  EXPECT_EQ(second.out.substr(second.out.size() - end.size()), end);
  EXPECT_TRUE(Has(scratch_.ReadFile("work/new.ksp"), items[loser]));
  // No temporary file of either is left.
  std::vector<std::string> names;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(work_.c_str(), &names));
  EXPECT_EQ(names, (std::vector<std::string>{"a.bin", "b.bin", "new.ksp"}));
}

TEST_F(ContainerPaths, ASaveKeepsTheOwnerGroupAndBitsAndAnExportTheBits) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give files to another user";
  scratch_.WriteFile("work/a.txt", "alpha");
  ASSERT_EQ(chmod(Work("a.txt").c_str(), 0600), 0);
  Run("a\na.txt\ny\n\nn\ns\nq\n", {"box.ksp"});
  ASSERT_EQ(chown(Work("box.ksp").c_str(), 4321, 4322), 0);
  ASSERT_EQ(chmod(Work("box.ksp").c_str(), 0640), 0);
  scratch_.WriteFile("work/b.txt", "beta");
  scratch_.MakeDir("work/out");
  scratch_.WriteFile("work/out/a.txt", "old");
  ASSERT_EQ(chmod(Work("out/a.txt").c_str(), 0604), 0);
  KaspoResult result = Run("a\nb.txt\ny\n\nn\ncd\nout\ne\na.txt\ny\ny\ns\nq\n", {"box.ksp"});
  EXPECT_TRUE(Has(result.out, "kaspo-db 'box.ksp' saved!\n"));
  EXPECT_TRUE(Has(result.out, "  file 'out/a.txt' exported\n"));
  EXPECT_EQ(result.err, kStartupErr);
  struct stat info;
  ASSERT_EQ(stat(Work("box.ksp").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 4322u);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  // The exported file gets the item's bits, not those of the file it replaces.
  ASSERT_EQ(stat(Work("out/a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(scratch_.ReadFile("work/out/a.txt"), "alpha");
}

TEST_F(ContainerPaths, APathOfNoRegularFileIsNeverReadOrWritten) {
  ASSERT_EQ(mkfifo(Work("fifo.ksp").c_str(), 0600), 0);
  // A link to a device of the test's own, never to the system's: a
  // program that replaced what the link leads to (as one without this
  // check did, run by root) would replace only this node.
  const std::string device = Work("null-device");
  if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    ASSERT_EQ(mkfifo(device.c_str(), 0600), 0);  // no right to make devices: a pipe then
  }
  ASSERT_EQ(symlink("null-device", Work("null.ksp").c_str()), 0);
  scratch_.MakeDir("work/dir.ksp");
  const std::string p = Prompt();
  // Named at start-up: warned about, and the session has no container.
  for (const char* name : {"fifo.ksp", "null.ksp", "dir.ksp", "fifo"}) {
    SCOPED_TRACE(name);
    const std::string box = std::string(name) == "fifo" ? "fifo.ksp" : name;
    KaspoResult result = Run("s\nt\nq\n", {name});
    EXPECT_EQ(result.out, kBanner + std::string(kMenu) + p + "you must first open a kaspo!\n" + p +
                              "you must first open a kaspo!\n" + p);
    EXPECT_EQ(result.err, kStartupErr + std::string("warning: kaspo-db '") + box +
                              "' is not a regular file!\n");
  }
  // "o" and "n" warn and ask again.
  scratch_.WriteFile("work/a.txt", "alpha");
  Run("s\nq\n", {"one.ksp"});
  Run("s\nq\n", {"two.ksp"});
  const std::string dir = "# Directory? (.) ";
  const std::string files = "[a.txt]\t[one.ksp]\t[two.ksp]\t\n";
  KaspoResult opened =
      Run("o\n\ny\nfifo.ksp\nnull.ksp\ndir.ksp\none.ksp\n"
          "n\n\ny\nfifo\nnull\ndir\none\nfresh\na\na.txt\ny\n\nn\nq\n");
  EXPECT_EQ(opened.out,
            kBanner + std::string(kMenu) + p + dir + "[one.ksp]\t[two.ksp]\t\n" +
                "Correct directory? (y/n/q) # File? (two.ksp) # File? (two.ksp) # File? (two.ksp) "
                "# File? (two.ksp) kaspo './one.ksp' opened\n" +
                p + dir + files + "Correct directory? (y/n/q) # File? # File? # File? # File? " +
                "file 'one' already exists!\n# File? new kaspo './fresh.ksp' created\n" + p +
                "# Filename: [a.txt]\t\nAre you sure? (n/y/q) # Description: # Compressed? (y/n/q) "
                "  file 'a.txt' added\n1 items added\n" +
                p + "kaspo-db './fresh.ksp' saved!\n");
  std::string warned;
  for (int round = 0; round < 2; ++round) {
    for (const char* name : {"fifo.ksp", "null.ksp", "dir.ksp"}) {
      warned += std::string("warning: kaspo-db './") + name + "' is not a regular file!\n";
    }
  }
  EXPECT_EQ(opened.err, kStartupErr + warned);
  // All three are as they were.
  EXPECT_EQ(PLATFORM_FileKind(Work("fifo.ksp").c_str()), PLATFORM_OTHER);
  bool is_link = false;
  EXPECT_EQ(PLATFORM_OwnKind(Work("null.ksp").c_str(), &is_link), PLATFORM_OTHER);
  EXPECT_TRUE(is_link);
  EXPECT_EQ(PLATFORM_FileKind(device.c_str()), PLATFORM_OTHER);
  EXPECT_TRUE(PLATFORM_IsDirectory(Work("dir.ksp").c_str()));
}

TEST_F(ContainerPaths, NamesThatWouldDriveTheTerminalAreShownEscaped) {
  // An escape sequence that retitles the window, and the same CSI in its
  // UTF-8 C1 form.
  const std::string title = "\x1b]0;owned\x07";
  const std::string csi =
      "\xc2\x9b"
      "1m";
  scratch_.MakeDir("work/" + title);
  scratch_.WriteFile("work/" + title + "/" + csi + ".txt", "x");
  const std::string p = Prompt();
  const std::string box = title + "/" + csi;
  KaspoResult saved = Run("t\na\n*\ny\n\nn\nl\n*\ns\nq\n", {box}, title);
  const std::string shown = "?]0;owned?/?1m.ksp";
  const std::string prompt = "[?]0;owned?] > ";
  EXPECT_TRUE(Has(saved.out, kBanner + StatusLine(shown, 0, 0, 0) + "\n" + kMenu + prompt +
                                 StatusLine(shown, 0, 0, 0)));
  EXPECT_TRUE(Has(saved.out, "[?1m.txt]\t\nAre you sure?")) << saved.out << saved.err;
  EXPECT_TRUE(Has(saved.out, "  file '?1m.txt' added\n"));
  EXPECT_TRUE(Has(saved.out, "# Search pattern? [?1m.txt]\t\nfound 1 items\n"));
  EXPECT_TRUE(Has(saved.out, prompt + "kaspo-db '" + shown + "' saved!\n" + prompt));
  EXPECT_EQ(saved.err, kStartupErr);
  ASSERT_TRUE(PLATFORM_IsRegularFile(Work(box + ".ksp").c_str()));
  // Listed and opened through "o"; the name is the default of the file
  // question (shown escaped, taken as it is).
  scratch_.WriteFile("work/" + title + "/plain.ksp", "");
  KaspoResult opened = Run("o\n\ny\n\nt\nq\n", {}, title);
  EXPECT_EQ(opened.out, kBanner + std::string(kMenu) + prompt + "# Directory? (?]0;owned?) " +
                            "[plain.ksp]\t[?1m.ksp]\t\nCorrect directory? (y/n/q) " +
                            "# File? (?1m.ksp) kaspo '" + shown + "' opened\n" + prompt +
                            StatusLine(shown, 1, 0, 3) + prompt);
  EXPECT_EQ(opened.err, kStartupErr);
  for (const KaspoResult* result : {&saved, &opened}) {
    EXPECT_FALSE(Has(result->out + result->err, "\x1b")) << result->out;
    EXPECT_FALSE(Has(result->out + result->err, "\x07"));
    EXPECT_FALSE(Has(result->out + result->err, "\xc2\x9b"));
  }
}
}  // namespace
