// Dialogues of the item commands: add, find, list, change, delete, status
// and export, in a container named on the command line.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e/session.h"
#include "platform/files.h"

namespace {
constexpr char kBox[] = "box.ksp";
constexpr char kName[] = "# Filename: ";
constexpr char kSure[] = "Are you sure? (n/y/q) ";
constexpr char kSureExport[] = "Are you sure? (y/n/q) ";
constexpr char kDescription[] = "# Description: ";
constexpr char kCompressed[] = "# Compressed? (y/n/q) ";
constexpr char kPattern[] = "# Search pattern? ";

class Items : public Session {
 protected:
  // Runs a dialogue in box.ksp, which does not exist yet; returns what
  // comes after the menu on standard output.
  std::string Dialogue(const std::string& input, std::string* err = nullptr) {
    KaspoResult result = Run(input, {kBox});
    const std::string head = kBanner + NamedContainerStatus(kBox) + kMenu;
    EXPECT_EQ(result.out.substr(0, head.size()), head);
    EXPECT_EQ(result.status, kRunStatus);
    if (err != nullptr) {
      *err = result.err.substr(std::min(result.err.size(), sizeof kStartupErr - 1));
    } else {
      EXPECT_EQ(result.err, kStartupErr);
    }
    return result.out.substr(std::min(result.out.size(), head.size()));
  }

  // The add dialogue of one pass, up to its last line.
  static std::string AddPass(const std::vector<std::string>& names, const std::string& end) {
    std::string listed;
    std::string added;
    for (const std::string& name : names) {
      listed += "[" + name + "]\t";
      added += "  file '" + name + "' added\n";
    }
    return kName + listed + "\n" + kSure + kDescription + kCompressed + end + added +
           std::to_string(names.size()) + " items added\n";
  }
};

TEST_F(Items, AddTakesTheFilesThePatternMatches) {
  for (const char* name : {"a.txt", "a.b.txt", "a", "ab", "b.txt"})
    scratch_.WriteFile("work/" + std::string(name), name);
  scratch_.MakeDir("work/c.txt");
  const std::string p = Prompt();
  const std::string out = Dialogue(
      "a\n*.txt\nq\n"  // a.b.txt is not taken: "*" stops at the first dot
      "a\na*\nn\n"     // a is not taken: a last "*" needs a character
      "ab\n\nq\n"      // an empty answer asks for the name again, too
      "a\nzz*\nq\nq\n");
  EXPECT_EQ(out, p + kName + "[a.txt]\t[b.txt]\t\n" + kSure + p + kName +
                     "[a.b.txt]\t[a.txt]\t[ab]\t\n" + kSure + kName + "[ab]\t\n" + kSure + kName +
                     p + kName + "no matching file(s) found in directory '.' for 'zz*'!\n" + kName +
                     p);
}

TEST_F(Items, UmlautsTypedInUtf8MatchUtf8NamesAsTyped) {
  const std::string utf8_name = "M\xC3\xBCller.txt";
  const std::string latin1_name = "M\xFCller.txt";
  scratch_.WriteFile("work/" + utf8_name, "utf-8");
  scratch_.WriteFile("work/" + latin1_name, "latin-1");
  scratch_.WriteFile("work/Caf\xC3\xA9.txt", "other letter");
  const std::string p = Prompt();
  std::string err;
  const std::string out = Dialogue(
      "a\nM\xC3\xBC*\ny\nGr\xC3\xBC\xC3\x9F\xC3\xA9\n\n"  // a refused description is empty
      "a\nM\xFC*\ny\n\n\n"                                // the single byte keeps working
      "a\nCaf\xC3\xA9*\nq\n"
      "l\n\xC3\xBC\nq\n",
      &err);
  EXPECT_EQ(out, p + AddPass({utf8_name}, "") + p + AddPass({latin1_name}, "") + p + kName + kName +
                     p + kPattern + "[" + utf8_name + "]\t\nfound 1 items\n" + p +
                     QuitSaving(kBox));
  EXPECT_EQ(err, "character '\xC3' is not valid!\ncharacter '\xC3' is not valid!\n");
}

TEST_F(Items, AnAddPassThatStopsStillSavesWhatItAdded) {
  scratch_.WriteFile("work/a.txt", "first");
  scratch_.WriteFile("work/b.txt", "");
  scratch_.WriteFile("work/c.txt", "third");
  std::string err;
  const std::string out = Dialogue("a\n*.txt\ny\n\nn\nq\n", &err);
  EXPECT_EQ(out, Prompt() + kName + "[a.txt]\t[b.txt]\t[c.txt]\t\n" + kSure + kDescription +
                     kCompressed + "  file 'a.txt' added\n" + Prompt() + QuitSaving(kBox));
  EXPECT_EQ(err, "warning: file './b.txt' read error or empty!\n");
  EXPECT_NE(scratch_.ReadFile("work/box.ksp").find("a.txt"), std::string::npos);
  EXPECT_EQ(scratch_.ReadFile("work/box.ksp").find("c.txt"), std::string::npos);
}

TEST_F(Items, AFileThatIsALinkWhenReadIsNotAdded) {
  // Listed as the regular file it leads to, but read without following
  // it: a link could lead to a device of endless bytes, or a FIFO that
  // would hang the session.
  scratch_.WriteFile("work/a.txt", "first");
  ASSERT_EQ(symlink("a.txt", scratch_.Path("work/link.txt").c_str()), 0);
  std::string err;
  const std::string out = Dialogue("a\n*.txt\ny\n\nn\nq\n", &err);
  EXPECT_EQ(out, Prompt() + kName + "[a.txt]\t[link.txt]\t\n" + kSure + kDescription + kCompressed +
                     "  file 'a.txt' added\n1 items added\n" + Prompt() + QuitSaving(kBox));
  EXPECT_EQ(err, "warning: file './link.txt' is not a regular file, not added!\n");
}

TEST_F(Items, ExportNeverReplacesTheOpenContainer) {
  // An item named like the container, exported where the container lies:
  // the overwrite question is never asked.
  scratch_.MakeDir("work/in");
  scratch_.WriteFile("work/in/box.ksp", "an item, not the container");
  std::string err;
  const std::string out = Dialogue("cd\nin\na\n*\ny\n\nn\ns\ncd\n.\ne\n*\ny\nq\n", &err);
  EXPECT_NE(out.find("exported 0 items\n"), std::string::npos);
  EXPECT_EQ(out.find("Overwrite?"), std::string::npos);
  EXPECT_EQ(err, "warning: file './box.ksp' is the open kaspo, not exported!\n");
  EXPECT_NE(scratch_.ReadFile("work/box.ksp").find("box.ksp"), std::string::npos);
}

TEST_F(Items, AddedItemsAreFoundAndListedInTheirForms) {
  scratch_.WriteFile("work/apple.txt", std::string(3000, 'p'));
  scratch_.WriteFile("work/avocado.txt", "v");
  scratch_.WriteFile("work/beta.bin", std::string(5000, 'b'));
  scratch_.WriteFile("work/gamma.txt", std::string(2048, 'g'));
  const std::string p = Prompt();
  const std::string out = Dialogue(
      "a\na*\ny\nfruit and more\n\n"
      "a\nbeta.bin\ny\n\nx\nn\n"
      "a\ngamma*\ny\nGreek letter\nY\n"
      "f\n*\nf\nGreek\nf\nfruit*more\nl\nt\nl\nzzz\nt\nq\n");
  const std::string apple = "apple.txt (size 2 kb, compressed):\n  Description: fruit and more\n";
  const std::string avocado =
      "avocado.txt (size 0 kb, compressed):\n  Description: fruit and more\n";
  const std::string gamma = "gamma.txt (size 2 kb, compressed):\n  Description: Greek letter\n";
  EXPECT_EQ(out, p + AddPass({"apple.txt", "avocado.txt"}, "") + p +
                     AddPass({"beta.bin"}, kCompressed) + p + AddPass({"gamma.txt"}, "") +
                     // Find: a blank line where the first letter changes and after the last.
                     p + kPattern + apple + avocado + "\nbeta.bin (size 4 kb)\n\n" + gamma +
                     "\nfound 4 items\n" +
                     // The text is found in descriptions too, and "*" inside it spans.
                     p + kPattern + gamma + "\nfound 1 items\n" + p + kPattern + apple + avocado +
                     "\nfound 2 items\n" +
                     // List: the short form, with the same blank lines.
                     p + kPattern + "[apple.txt]\t[avocado.txt]\t\n[beta.bin]\t\n[gamma.txt]\t\n" +
                     "found 4 items\n" + p + kPattern + "found 0 items\n" +
                     // One chunk each: 4 x 4000 bytes in the container.
                     p + StatusLine(kBox, 4, (3000 + 1 + 5000 + 2048) / 1024, 4 * 4000 / 1024) + p +
                     QuitSaving(kBox));
}

TEST_F(Items, ChangeAsksAgainUntilOneItemIsFound) {
  scratch_.WriteFile("work/report1.txt", "r1");
  scratch_.WriteFile("work/report2.txt", "r2");
  const std::string p = Prompt();
  const std::string long_text(160, 'd');
  const std::string out = Dialogue(
      "a\nreport*\ny\nold words\nn\n"
      "c\nnothing\nreport\nreport1\n   \nnew.txt\n\n"
      "c\nnew\n\n" +
      long_text +
      "\n"
      "f\nnew\nl\nreport\nq\n");
  EXPECT_EQ(out, p + AddPass({"report1.txt", "report2.txt"}, "") + p + kPattern + kPattern +
                     "[report1.txt]\t[report2.txt]\t\n" + kPattern + "[report1.txt]\t\n" + kName +
                     "(report1.txt) " + kName + "(report1.txt) " + kDescription +
                     "(old words) item changed\n" + p + kPattern + "[new.txt]\t\n" + kName +
                     "(new.txt) " + kDescription + "(old words) item changed\n" + p + kPattern +
                     "new.txt (size 0 kb):\n  Description: " + long_text + "\n\nfound 1 items\n" +
                     p + kPattern + "[report2.txt]\t\nfound 1 items\n" + p + QuitSaving(kBox));
}

TEST_F(Items, DeleteRemovesTheItemsAndTheirChunks) {
  for (const char* name : {"d1.txt", "d2.txt", "keep.txt"})
    scratch_.WriteFile("work/" + std::string(name), name);
  const std::string p = Prompt();
  const std::string out = Dialogue(
      "a\n*\ny\n\nn\nt\n"
      "d\nd1\nn\nd\nx\ny\nt\nl\n*\nq\n");
  EXPECT_EQ(out, p + AddPass({"d1.txt", "d2.txt", "keep.txt"}, "") + p +
                     StatusLine(kBox, 3, 0, 3 * 4000 / 1024) + p + kPattern + "[d1.txt]\t\n" +
                     kSure + kPattern + "[d1.txt]\t[d2.txt]\t\n" + kSure + "2 items deleted\n" + p +
                     StatusLine(kBox, 1, 0, 4000 / 1024) + p + kPattern +
                     "[keep.txt]\t\nfound 1 items\n" + p + QuitSaving(kBox));
}

TEST_F(Items, ExportAsksBeforeOverwritingAndSkipsOnNo) {
  scratch_.WriteFile("work/one.txt", "first content");
  scratch_.WriteFile("work/two.txt", "second content");
  ASSERT_EQ(chmod(scratch_.Path("work/two.txt").c_str(), 0640), 0);
  const std::string p = Prompt();
  const std::string overwrite = "File already exists. Overwrite? (y/n/q) ";
  Dialogue("a\n*.txt\ny\n\nn\nq\n");
  scratch_.WriteFile("work/one.txt", "changed 1");
  scratch_.WriteFile("work/two.txt", "changed 2");
  // A file replaced gets the item's permission bits back, not the bits of
  // the file it replaces.
  ASSERT_EQ(chmod(scratch_.Path("work/two.txt").c_str(), 0604), 0);
  KaspoResult result =
      Run("e\n*\nn\n.txt\ny\nn\n\n"
          "e\none\nq\n"
          "e\n*\n\nq\nq\n",
          {kBox});
  const std::string listing = "one.txt (size 0 kb)\n\ntwo.txt (size 0 kb)\n\n";
  EXPECT_EQ(result.out, kBanner + StatusLine(kBox, 2, 0, 2 * 4000 / 1024) + "\n" + kMenu + p +
                            kPattern + listing + kSureExport + kPattern + listing + kSureExport +
                            overwrite + overwrite +
                            "  file './two.txt' exported\nexported 1 items\n" + p + kPattern +
                            "one.txt (size 0 kb)\n\n" + kSureExport + p + kPattern + listing +
                            kSureExport + overwrite + p);
  EXPECT_EQ(result.err, kStartupErr);
  EXPECT_EQ(scratch_.ReadFile("work/one.txt"), "changed 1");
  EXPECT_EQ(scratch_.ReadFile("work/two.txt"), "second content");
  struct stat info;
  ASSERT_EQ(stat(scratch_.Path("work/two.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(Items, NamesAnItemCannotHoldOrExportAreRefused) {
  const std::string fits(80, 'n');
  const std::string too_long(81, 'm');
  for (const std::string& name : {fits, too_long, std::string("blank ")}) {
    scratch_.WriteFile("work/" + name, "x");
  }
  const std::string p = Prompt();
  std::string err;
  // The pass goes on past the refused names; change asks again for a
  // name that would leave the directory an export writes to.
  const std::string out = Dialogue("a\n*\ny\n\nn\nc\nnnn\n/abs\n..\nok.txt\n\nl\n*\nq\n", &err);
  EXPECT_EQ(out, p + kName + "[blank ]\t[" + too_long + "]\t[" + fits + "]\t\n" + kSure +
                     kDescription + kCompressed + "  file '" + fits + "' added\n1 items added\n" +
                     p + kPattern + "[" + fits + "]\t\n" + kName + "(" + fits + ") " + kName + "(" +
                     fits + ") " + kName + "(" + fits + ") " + kDescription + "item changed\n" + p +
                     kPattern + "[ok.txt]\t\nfound 1 items\n" + p + QuitSaving(kBox));
  EXPECT_EQ(err,
            "warning: file name 'blank ' ends with a blank!\n"
            "warning: file name '" +
                too_long +
                "' too long (max = 80)!\n"
                "warning: file name '/abs' is not a plain file name!\n"
                "warning: file name '..' is not a plain file name!\n");
}

TEST_F(Items, ControlBytesOfNamesReachTheTerminalAsQuestionMarks) {
  const std::string raw = "red\x1b[31mX\x07";
  const std::string shown = "red?[31mX?";
  scratch_.WriteFile("work/" + raw, "colour");
  const std::string p = Prompt();
  // Kept by change (empty answer), the name stays as it was stored.
  const std::string out = Dialogue("a\nred*\ny\n\nn\nl\nred\nc\nred\n\nwords\nf\nred\nq\n");
  EXPECT_EQ(out, p + kName + "[" + shown + "]\t\n" + kSure + kDescription + kCompressed +
                     "  file '" + shown + "' added\n1 items added\n" + p + kPattern + "[" + shown +
                     "]\t\nfound 1 items\n" + p + kPattern + "[" + shown + "]\t\n" + kName + "(" +
                     shown + ") " + kDescription + "item changed\n" + p + kPattern + shown +
                     " (size 0 kb):\n  Description: words\n\nfound 1 items\n" + p +
                     QuitSaving(kBox));
  // The directory listing and the rows of "g" show the name the same way.
  KaspoResult looked = Run("ls\ng\nSELECT FILENAME FROM KASPO\nq\nq\n", {kBox});
  EXPECT_NE(looked.out.find("[" + shown + "]\t"), std::string::npos);
  EXPECT_NE(looked.out.find("FILENAME\n" + shown + "\n"), std::string::npos);
  EXPECT_EQ(looked.out.find('\x1b'), std::string::npos);
  ASSERT_EQ(std::remove(scratch_.Path("work/" + raw).c_str()), 0);
  KaspoResult result = Run("e\nred\ny\nq\n", {kBox});
  EXPECT_NE(result.out.find("  file './" + shown + "' exported\nexported 1 items\n"),
            std::string::npos);
  EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(result.err, kStartupErr);
  EXPECT_EQ(scratch_.ReadFile("work/" + raw), "colour");
}

TEST_F(Items, ExportWritesOnlyRegularFilesWhereItSays) {
  const std::vector<std::string> names = {"dir.txt",   "fifo.txt",  "link.txt",
                                          "loose.txt", "plain.txt", "twin.txt"};
  for (const std::string& name : names) scratch_.WriteFile("work/" + name, name);
  // Two items of one name: the second finds the first's file in place.
  Dialogue("a\n*.txt\ny\n\nn\na\ntwin.txt\ny\n\nn\nq\n");
  // Where the items were, now: a directory, a FIFO, a link to a file
  // elsewhere, a link to nothing yet, and a file of other content.
  scratch_.MakeDir("outside");
  scratch_.WriteFile("outside/kept", "kept");
  for (const std::string& name : names) {
    ASSERT_EQ(std::remove(scratch_.Path("work/" + name).c_str()), 0);
  }
  scratch_.MakeDir("work/dir.txt");
  ASSERT_EQ(mkfifo(scratch_.Path("work/fifo.txt").c_str(), 0600), 0);
  ASSERT_EQ(symlink("../outside/kept", scratch_.Path("work/link.txt").c_str()), 0);
  ASSERT_EQ(symlink("../outside/new", scratch_.Path("work/loose.txt").c_str()), 0);
  scratch_.WriteFile("work/plain.txt", "old");
  KaspoResult result = Run("e\n.txt\ny\ny\ny\nq\n", {kBox});
  const std::string overwrite = "File already exists. Overwrite? (y/n/q) ";
  EXPECT_NE(result.out.find(std::string(kSureExport) + overwrite +
                            "  file './plain.txt' exported\n  file './twin.txt' exported\n" +
                            overwrite + "  file './twin.txt' exported\nexported 3 items\n"),
            std::string::npos);
  EXPECT_EQ(result.err, std::string(kStartupErr) +
                            "warning: file './dir.txt' is not a regular file, not exported!\n"
                            "warning: file './fifo.txt' is not a regular file, not exported!\n"
                            "warning: file './link.txt' is a symbolic link, not exported!\n"
                            "warning: file './loose.txt' is a symbolic link, not exported!\n");
  EXPECT_EQ(scratch_.ReadFile("work/plain.txt"), "plain.txt");
  EXPECT_EQ(scratch_.ReadFile("outside/kept"), "kept");
  EXPECT_FALSE(PLATFORM_Exists(scratch_.Path("outside/new").c_str()));
  std::vector<std::string> files;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(work_.c_str(), &files));
  EXPECT_EQ(files, (std::vector<std::string>{"box.ksp", "link.txt", "plain.txt", "twin.txt"}));
}
}  // namespace
