// Dialogues around container files: content that survives a save and a
// new run byte for byte, the exact empty container, containers written by
// another layout, damaged content, a failed save, the commands new and
// open, and what keeps a save from writing over data: failed loads,
// repeated keys, two sessions, files changed on disk, links, the
// left-overs of killed saves and exports, the rescue of unsaved changes
// when a run ends unasked, and the checksums, times and modes of items.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "e2e/session.h"
#include "platform/files.h"
#include "platform/locks.h"

namespace {
constexpr char kKaspoDescriptor[] =
    "1000,280|KASPO_Id,11,9,20|Filename,11,81,29|Description,11,161,110|Size,4,4,272|"
    "Compressed,1,1,276";
constexpr char kBlobjDescriptor[] =
    "100,4048|BLOBJ_Id,11,9,20|FK_Id,11,9,29|FK_Table,2,2,38|ItemNumber,2,2,40|"
    "ComprData,18,4002,42|Compressed,1,1,4045";
constexpr char kDirectory[] = "# Directory? ";
constexpr char kCorrect[] = "Correct directory? (y/n/q) ";
constexpr char kFile[] = "# File? ";

std::string Zero() { return std::string(1, '\0'); }

// The bytes of a container without items.
std::string EmptyContainer() {
  return "00000," + std::string(kKaspoDescriptor) + Zero() + "00000," + kBlobjDescriptor + Zero();
}

// Content of one kind: random bytes, the run mark 0xB0 of the "#01" code,
// or runs of many lengths (around 180, 258 and 259 too), mixed with text.
std::string Content(std::size_t size, char kind) {
  std::string data(size, '\0');
  std::mt19937 gen(static_cast<unsigned>(size));
  std::size_t i = 0;
  while (i < size) {
    const unsigned r = gen();
    if (kind == 'r') {
      data[i++] = static_cast<char>(r);
    } else if (kind == 'b') {
      data[i++] = r % 5 == 0 ? 'x' : '\xB0';
    } else {
      const std::size_t run = std::min<std::size_t>(size - i, 1 + r % 300);
      data.replace(i, run, run, r % 3 == 0 ? '\xB0' : static_cast<char>('a' + r % 26));
      i += run;
    }
  }
  return data;
}

struct Sample {
  const char* name;
  std::size_t size;
  char kind;
};
const Sample kSamples[] = {
    {"s1", 1, 'r'},        {"s4000", 4000, 'r'},  {"s4001", 4001, 'r'}, {"s100000", 100000, 'r'},
    {"big", 3000000, 'u'}, {"marks", 20000, 'b'}, {"runs", 50000, 'u'},
};

class Containers : public Session {
 protected:
  std::string Container(const std::string& name) { return scratch_.ReadFile("work/" + name); }
};

// Where the first chunk row of the item `name` begins in a container: the
// item's key sits 9 bytes before its blank-padded file name in its KASPO
// record and again 29 bytes into each of its BLOBJ records; npos when
// there is none. The chunk's tag is 44 bytes into the row, its size 272
// bytes into the KASPO record (ItemSize).
std::size_t FirstChunk(const std::string& bytes, const std::string& name) {
  const std::size_t at_name = bytes.find(name + std::string(80 - name.size(), ' ') + Zero());
  if (at_name == std::string::npos) return at_name;
  const std::string key = bytes.substr(at_name - 9, 9);
  const std::string blobj_head = "," + std::string(kBlobjDescriptor) + Zero();
  std::size_t at = bytes.find(blobj_head);
  if (at == std::string::npos) return at;
  for (at += blobj_head.size(); at + 4048 <= bytes.size(); at += 4048) {
    if (bytes.compare(at + 29, 9, key) == 0) return at;
  }
  return std::string::npos;
}
std::size_t ItemSize(const std::string& bytes, const std::string& name) {
  return bytes.find(name + std::string(80 - name.size(), ' ') + Zero()) - 29 + 272;
}

TEST_F(Containers, ContentSurvivesASaveAndANewRunByteForByte) {
  scratch_.MakeDir("work/in");
  for (const Sample& s : kSamples)
    scratch_.WriteFile("work/in/" + std::string(s.name), Content(s.size, s.kind));
  for (const char* box : {"plain.ksp", "packed.ksp"}) {
    SCOPED_TRACE(box);
    const bool packed = std::string(box) == "packed.ksp";
    KaspoResult add =
        Run(std::string("cd\nin\na\n*\ny\nsamples\n") + (packed ? "y" : "n") + "\ns\nq\n", {box});
    EXPECT_NE(add.out.find("7 items added\n"), std::string::npos);
    EXPECT_NE(add.out.find("  adding of file 'big' can take some time (file-size 2929 kb)!\n"),
              std::string::npos);
    EXPECT_NE(add.out.find("kaspo-db '" + std::string(box) + "' saved!\n"), std::string::npos);
    EXPECT_EQ(add.err, kStartupErr);
    const std::string saved = Container(box);

    const std::string out = packed ? "outz" : "outp";
    scratch_.MakeDir("work/" + out);
    KaspoResult back = Run("cd\n" + out + "\ne\n*\ny\ns\nq\n", {box});
    EXPECT_NE(back.out.find("exported 7 items\n"), std::string::npos);
    EXPECT_EQ(back.err, kStartupErr);
    for (const Sample& s : kSamples) {
      SCOPED_TRACE(s.name);
      EXPECT_TRUE(scratch_.ReadFile("work/" + out + "/" + s.name) == Content(s.size, s.kind));
    }
    // Read and written again, the container is the same file.
    EXPECT_TRUE(Container(box) == saved);
  }
}

TEST_F(Containers, ManyItemsExportInOneWalk) {
  // From 32 items on, an export gathers all chunks in one walk.
  scratch_.MakeDir("work/in");
  scratch_.MakeDir("work/out");
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) {
    names.push_back("f" + std::to_string(100 + i));
    scratch_.WriteFile("work/in/" + names.back(), Content(std::size_t(i) * 997 + 1, "rbu"[i % 3]));
  }
  // Ten items each without and with compression, by turns.
  std::string input = "cd\nin\n";
  for (int tens = 0; tens < 4; ++tens) {
    input += "a\nf1" + std::to_string(tens) + "*\ny\n\n" + (tens % 2 ? "y" : "n") + "\n";
  }
  KaspoResult add = Run(input + "s\nq\n", {"many.ksp"});
  EXPECT_NE(add.out.find("10 items added\n"), std::string::npos);
  EXPECT_EQ(add.err, kStartupErr);
  // One file is there already and kept: its rows are passed over.
  scratch_.WriteFile("work/out/f105", "kept");
  KaspoResult back = Run("cd\nout\ne\nf1\ny\nn\nq\n", {"many.ksp"});
  EXPECT_NE(back.out.find("exported 39 items\n"), std::string::npos);
  EXPECT_EQ(back.err, kStartupErr);
  for (int i = 0; i < 40; ++i) {
    SCOPED_TRACE(names[size_t(i)]);
    EXPECT_TRUE(scratch_.ReadFile("work/out/" + names[size_t(i)]) ==
                (i == 5 ? "kept" : Content(std::size_t(i) * 997 + 1, "rbu"[i % 3])));
  }
}

TEST_F(Containers, AnEmptyContainerIsTwoSectionHeaders) {
  KaspoResult result = Run("s\nq\n", {"empty.ksp"});
  EXPECT_EQ(result.out, kBanner + NamedContainerStatus("empty.ksp") + kMenu + Prompt() +
                            "kaspo-db 'empty.ksp' saved!\n" + Prompt());
  EXPECT_EQ(result.err, kStartupErr);
  EXPECT_EQ(Container("empty.ksp"), EmptyContainer());
  EXPECT_EQ(Container("empty.ksp").size(), 226u);
}

// A KASPO record of another layout: 20 header bytes, then the fields.
std::string OldItem(const std::string& id, const std::string& name, int32_t size) {
  std::string record(160, '\0');
  record.replace(20, id.size(), id);
  record.replace(29, name.size(), name);
  record.replace(110, 4, reinterpret_cast<const char*>(&size), 4);
  record[114] = '0';
  record.replace(115, 6, "origin");
  return record;
}

TEST_F(Containers, AContainerOfAnotherLayoutLoadsWithWarnings) {
  // Upper-case names, an unknown field, and no Description.
  const std::string header =
      "00002,1000,160|KASPO_ID,11,9,20|FILENAME,11,81,29|SIZE,4,4,110|Compressed,1,1,114|"
      "Origin,11,40,115";
  scratch_.WriteFile("work/old.ksp", header + Zero() + OldItem("abcdefgh", "one.txt", 10) +
                                         OldItem("ijklmnop", "two.txt", 20000) + "00000," +
                                         kBlobjDescriptor + Zero());
  KaspoResult result = Run("f\n*\ne\none\ny\nq\n", {"old.ksp"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out,
            std::string(kBanner) +
                "error reading kaspo-db 'old.ksp'!\nonly 2 items could be read!\n" +
                StatusLine("old.ksp", 2, 19, 0) + "\n" + kMenu + p +
                "# Search pattern? one.txt (size 0 kb)\n\ntwo.txt (size 19 kb)\n\nfound 2 items\n" +
                p + "# Search pattern? one.txt (size 0 kb)\n\nAre you sure? (y/n/q) " +
                "exported 0 items\n" + p);
  const std::string missing = "(TABLE_File_Load) Warning: Attribute 'Description' not found!\n";
  // The item has no chunks: its export fails and names it, the program
  // goes on. Each field's warning comes once, and the load counts as failed.
  EXPECT_EQ(result.err, kStartupErr + missing +
                            "(BLOBJ_Read) Corrupted BLOBJ data-header\nBLOBJ_Write error!\n"
                            "item 'one.txt' is damaged!\n");
  EXPECT_EQ(scratch_.ReadFile("work/one.txt"), "");
}

TEST_F(Containers, DamagedContentFailsOneItemOnly) {
  scratch_.WriteFile("work/a.txt", "alpha content");
  scratch_.WriteFile("work/b.txt", "beta content");
  scratch_.WriteFile("work/c.txt", "gamma content");
  scratch_.MakeDir("work/out");
  Run("a\n*.txt\ny\n\nn\ns\nq\n", {"box.ksp"});
  std::string bytes = Container("box.ksp");
  const std::size_t chunk = FirstChunk(bytes, "a.txt");
  ASSERT_NE(chunk, std::string::npos);
  const std::size_t tag = chunk + 44;
  ASSERT_EQ(bytes.substr(tag, 3), "#01");
  bytes[tag + 1] = '9';
  // b.txt's recorded size says 0: its content decodes to more than an item
  // of that size can hold.
  bytes.replace(ItemSize(bytes, "b.txt"), 4, std::string(4, '\0'));
  scratch_.WriteFile("work/box.ksp", bytes);
  KaspoResult result = Run("cd\nout\ne\n*\ny\nq\n", {"box.ksp"});
  EXPECT_NE(result.out.find("  file 'out/c.txt' exported\nexported 1 items\n"), std::string::npos);
  EXPECT_EQ(result.out.find("out/a.txt"), std::string::npos);
  EXPECT_EQ(result.out.find("out/b.txt"), std::string::npos);
  EXPECT_EQ(result.err, std::string(kStartupErr) +
                            "(COMPR_AddBin) Invalid '#91'-encoded data!\nBLOBJ_Write error!\n" +
                            "item 'a.txt' is damaged!\n" +
                            "(COMPR_AddBin) Decoded data too long (max = 12)!\n" +
                            "BLOBJ_Write error!\nitem 'b.txt' is damaged!\n");
  EXPECT_EQ(scratch_.ReadFile("work/out/c.txt"), "gamma content");
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(Containers, AFailedSaveKeepsTheOldContainerAndTheChange) {
  scratch_.WriteFile("work/a.txt", "alpha");
  scratch_.WriteFile("work/b.txt", "beta");
  Run("a\na.txt\ny\n\nn\ns\nq\n", {"box.ksp"});
  const std::string saved = Container("box.ksp");
  ASSERT_FALSE(saved.empty());
  // A container named as long as a file name may be leaves no room for
  // the new file a save writes beside it first, so every save fails.
  // Still changed, so quitting saves again; when that fails too the user
  // may go back ("n") or quit without the change ("y").
  const std::string box = std::string(251, 'b') + ".ksp";
  scratch_.WriteFile("work/" + box, saved);
  KaspoResult result = Run("a\nb.txt\ny\n\nn\ns\nq\nn\nq\nx\ny\n", {box});
  const std::string failed =
      "(dbio) Cannot open file '" + box + "' for output!\nerror saving kaspo-db '" + box + "'!\n";
  EXPECT_EQ(result.err, kStartupErr + failed + failed + failed);
  const std::string question = "kaspo not saved! Quit anyway? (n/y) ";
  const std::string p = Prompt();
  const std::string end = p + question + p + question;
  ASSERT_GE(result.out.size(), end.size());
  EXPECT_EQ(result.out.substr(result.out.size() - end.size()), end);
  EXPECT_EQ(result.out.find("' saved!"), std::string::npos);
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(Container(box) == saved);
  // No temporary file is left behind.
  std::vector<std::string> names;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(work_.c_str(), &names));
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", box, "box.ksp"}));
}

TEST_F(Containers, NewAsksAgainForANameThatExists) {
  scratch_.WriteFile("work/old.ksp", EmptyContainer());
  scratch_.WriteFile("work/a.txt", "alpha");
  const std::string p = Prompt();
  KaspoResult result = Run("n\n\ny\nold\nfresh\na\na.txt\ny\n\nn\nn\n\ny\nnext\nq\n");
  EXPECT_EQ(result.out, kBanner + std::string(kMenu) + p + kDirectory +
                            "(.) [a.txt]\t[old.ksp]\t\n" + kCorrect + kFile +
                            "file 'old' already exists!\n" + kFile +
                            "new kaspo './fresh.ksp' created\n" + p +
                            "# Filename: [a.txt]\t\nAre you sure? (n/y/q) # Description: "
                            "# Compressed? (y/n/q)   file 'a.txt' added\n1 items added\n" +
                            // A changed container is saved before the next one is made.
                            p + kDirectory + "(.) [a.txt]\t[old.ksp]\t\n" + kCorrect + kFile +
                            "kaspo-db './fresh.ksp' saved!\nnew kaspo './next.ksp' created\n" + p);
  EXPECT_EQ(result.err, kStartupErr);
  EXPECT_NE(Container("fresh.ksp").find("a.txt"), std::string::npos);
}

TEST_F(Containers, OpenListsOnlyContainerFiles) {
  scratch_.MakeDir("work/sub");
  scratch_.MakeDir("work/d.ksp");
  scratch_.WriteFile("work/notes.txt", "x");
  scratch_.WriteFile("work/c.b.ksp", EmptyContainer());
  scratch_.WriteFile("work/a.ksp", EmptyContainer());
  scratch_.WriteFile("work/item.txt", "item");
  const std::string p = Prompt();
  Run("a\nitem.txt\ny\n\nn\ns\nq\n", {"b.ksp"});
  KaspoResult result = Run("o\nsub\nmissing\n\nn\n\nx\ny\nb.ksp\nt\nq\n");
  EXPECT_EQ(result.out, kBanner + std::string(kMenu) + p + kDirectory +
                            "(.) no kaspo-file in directory 'sub'!\n" + kDirectory + "(.) " +
                            kDirectory + "(.) [a.ksp]\t[b.ksp]\t\n" + kCorrect + kDirectory +
                            "(.) [a.ksp]\t[b.ksp]\t\n" + kCorrect + kFile +
                            "(b.ksp) kaspo './b.ksp' opened\n" + p +
                            StatusLine("./b.ksp", 1, 0, 3) + p);
  EXPECT_EQ(result.err, kStartupErr);
}

// The question before a save writes over a container that did not load.
std::string Unread(const std::string& box) {
  return "kaspo-db '" + box + "' could not be read! Overwrite it? (n/y) ";
}
const std::string kQuitUnsaved = "kaspo not saved! Quit anyway? (n/y) ";

TEST_F(Containers, AFailedLoadIsWrittenOverOnlyWhenTheUserSaysYes) {
  scratch_.WriteFile("work/a.txt", "alpha");
  scratch_.WriteFile("work/b.txt", "beta");
  scratch_.WriteFile("work/c.txt", "gamma");
  Run("a\na.txt\ny\n\nn\na\nb.txt\ny\n\nn\ns\nq\n", {"good.ksp"});
  const std::string good = Container("good.ksp");
  // Cut inside the chunks, before the items' facts.
  const std::size_t facts = good.rfind("00002,1001,");
  ASSERT_NE(facts, std::string::npos);
  scratch_.WriteFile("work/cut.ksp", good.substr(0, facts - 100));
  scratch_.WriteFile("work/bad.ksp", "no container at all");
  const std::string cut = Container("cut.ksp");
  const std::string p = Prompt();
  const std::string add = "a\nc.txt\ny\n\nn\n";

  // Named at start-up: "s" and "q" ask, "n" and Enter keep the file.
  KaspoResult kept = Run(add + "s\nn\nq\n\ny\n", {"cut.ksp"});
  EXPECT_NE(kept.out.find("error reading kaspo-db 'cut.ksp'!\nonly 2 items could be read!\n" +
                          StatusLine("cut.ksp", 2, 0, 0)),
            std::string::npos);
  const std::string end = p + Unread("cut.ksp") + p + Unread("cut.ksp") + kQuitUnsaved;
  ASSERT_GE(kept.out.size(), end.size());
  EXPECT_EQ(kept.out.substr(kept.out.size() - end.size()), end);
  EXPECT_EQ(kept.err, kStartupErr + std::string("(TABLE_File_Load) Error reading file!\n"));
  EXPECT_TRUE(Container("cut.ksp") == cut);

  // Opened: the previous container's items are gone, only what was read
  // stays. After a "y" the file is the session's again and saves freely.
  KaspoResult taken = Run("o\n\ny\nbad.ksp\nt\n" + add + "s\ny\ns\nq\n", {"good.ksp"});
  EXPECT_NE(taken.out.find("error reading kaspo-db './bad.ksp'!\nonly 0 items could be read!\n" +
                           p + StatusLine("./bad.ksp", 0, 0, 0)),
            std::string::npos);
  EXPECT_NE(taken.out.find(p + Unread("./bad.ksp") + "kaspo-db './bad.ksp' saved!\n" + p +
                           "kaspo-db './bad.ksp' saved!\n" + p),
            std::string::npos);
  EXPECT_EQ(Run("t\nq\n", {"bad.ksp"}).out, kBanner + StatusLine("bad.ksp", 1, 0, 3) + "\n" +
                                                kMenu + p + StatusLine("bad.ksp", 1, 0, 3) + p);
  EXPECT_TRUE(Container("good.ksp") == good);
}

TEST_F(Containers, ARepeatedKeyIsDamageAndNeverMerged) {
  scratch_.WriteFile("work/a.txt", "alpha");
  scratch_.WriteFile("work/b.txt", "beta");
  Run("a\n*.txt\ny\n\nn\ns\nq\n", {"box.ksp"});
  const std::string saved = Container("box.ksp");
  const std::size_t items = ("00002," + std::string(kKaspoDescriptor) + Zero()).size();
  const std::size_t chunks =
      items + 2 * 280 + ("00002," + std::string(kBlobjDescriptor) + Zero()).size();
  struct Case {
    std::size_t first;  // offset of the section's first record
    std::size_t size;
    const char* field;
    int items_read;  // the items section is read from its last record on
  };
  for (const Case& c : {Case{items, 280, "KASPO_Id", 1}, Case{chunks, 4048, "BLOBJ_Id", 2}}) {
    SCOPED_TRACE(c.field);
    std::string bytes = saved;
    bytes.replace(c.first + 20, 8, "twinkey1");
    bytes.replace(c.first + c.size + 20, 8, "twinkey1");
    scratch_.WriteFile("work/twins.ksp", bytes);
    KaspoResult result = Run("s\n\nq\n", {"twins.ksp"});
    EXPECT_EQ(result.err,
              kStartupErr +
                  std::string("(TABLE_File_Load) Duplicate key 'twinkey1' for attribute '") +
                  c.field + "'!\n");
    EXPECT_NE(result.out.find("error reading kaspo-db 'twins.ksp'!\nonly " +
                              std::to_string(c.items_read) + " items could be read!\n"),
              std::string::npos);
    EXPECT_NE(result.out.find(Prompt() + Unread("twins.ksp") + Prompt()), std::string::npos);
    EXPECT_TRUE(Container("twins.ksp") == bytes);
  }
}

TEST_F(Containers, TwoSessionsNeverSaveOverEachOther) {
  scratch_.WriteFile("work/a.txt", "alpha");
  scratch_.WriteFile("work/b.txt", "beta");
  Run("s\nq\n", {"box.ksp"});
  const std::string p = Prompt();
  KaspoProcess first;
  KaspoProcess second;
  Start(&first, "", {"box.ksp"});
  ASSERT_TRUE(AwaitKaspo(&first, p));
  Start(&second, "", {"box.ksp"});
  ASSERT_TRUE(AwaitKaspo(&second, p));
  ASSERT_TRUE(SendKaspo(&first, "a\na.txt\ny\n\nn\ns\n"));
  ASSERT_TRUE(AwaitKaspo(&first, "kaspo-db 'box.ksp' saved!\n" + p));
  // While the first session runs, the second one's saves are refused.
  ASSERT_TRUE(SendKaspo(&second, "a\nb.txt\ny\n\nn\ns\n"));
  ASSERT_TRUE(AwaitKaspo(&second, "1 items added\n" + p + p));
  KaspoResult one;
  ASSERT_TRUE(FinishKaspo(&first, &one));
  EXPECT_EQ(one.err, kStartupErr);
  // Then the second takes the file over, but it has changed since read.
  ASSERT_TRUE(SendKaspo(&second, "s\nn\ns\ny\nq\n"));
  KaspoResult two;
  ASSERT_TRUE(FinishKaspo(&second, &two));
  EXPECT_EQ(two.out.substr(0, two.out.find(kMenu)),
            kBanner + std::string("kaspo-db 'box.ksp' is in use by another session: read-only!\n") +
                StatusLine("box.ksp", 0, 0, 0) + "\n");
  const std::string changed = "kaspo-db 'box.ksp' was changed on disk! Overwrite it? (n/y) ";
  const std::string end = p + p + changed + p + changed + "kaspo-db 'box.ksp' saved!\n" + p;
  ASSERT_GE(two.out.size(), end.size());
  EXPECT_EQ(two.out.substr(two.out.size() - end.size()), end);
  EXPECT_EQ(
      two.err,
      kStartupErr + std::string("kaspo-db 'box.ksp' is in use by another session, not saved!\n"));
  EXPECT_NE(Container("box.ksp").find("b.txt"), std::string::npos);
}

TEST_F(Containers, ASaveAsksBeforeWritingOverAFileChangedOnDisk) {
  for (const char* box : {"old.ksp", "new.ksp"}) {  // replaced, and appeared where none was
    SCOPED_TRACE(box);
    if (std::string(box) == "old.ksp") scratch_.WriteFile("work/old.ksp", EmptyContainer());
    KaspoProcess process;
    Start(&process, "", {box});
    ASSERT_TRUE(AwaitKaspo(&process, Prompt()));
    scratch_.WriteFile("work/" + std::string(box), "written by someone else");
    ASSERT_TRUE(SendKaspo(&process, "s\n\nq\n"));
    KaspoResult result;
    ASSERT_TRUE(FinishKaspo(&process, &result));
    EXPECT_NE(result.out.find(Prompt() + "kaspo-db '" + box +
                              "' was changed on disk! Overwrite it? (n/y) " + Prompt()),
              std::string::npos);
    EXPECT_EQ(Container(box), "written by someone else");
  }
}

TEST_F(Containers, SavingThroughALinkKeepsTheLinkAndThePermissions) {
  scratch_.MakeDir("work/real");
  scratch_.WriteFile("work/real/old.ksp", EmptyContainer());
  ASSERT_EQ(chmod(scratch_.Path("work/real/old.ksp").c_str(), 0604), 0);
  scratch_.WriteFile("work/a.txt", "alpha");
  for (const char* name : {"old.ksp", "new.ksp"}) {  // a link to a file, and a dangling one
    SCOPED_TRACE(name);
    const std::string link = scratch_.Path("work/" + std::string(name));
    const std::string target = "real/" + std::string(name);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    KaspoResult result = Run("a\na.txt\ny\n\nn\nq\n", {name});
    EXPECT_NE(result.out.find(QuitSaving(name)), std::string::npos);
    std::string kept;
    EXPECT_TRUE(PLATFORM_FinalPath(link, &kept) && kept != link);
    EXPECT_EQ(kept, work_ + "/" + target);
    EXPECT_NE(Container(target).find("a.txt"), std::string::npos);
  }
  struct stat info;
  ASSERT_EQ(stat(scratch_.Path("work/real/old.ksp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
}

// The id of a process that has ended.
long EndedProcess() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

TEST_F(Containers, ASaveRemovesOnlyWhatKilledSavesLeft) {
  KaspoProcess live;  // a session that runs while the save happens
  Start(&live, "", {"other.ksp"});
  ASSERT_TRUE(AwaitKaspo(&live, Prompt()));
  const std::string dead = std::to_string(EndedProcess());
  const std::vector<std::string> stale = {"box.ksp." + dead + "-0.tmp",
                                          "box.ksp." + dead + "-17.tmp"};
  const std::vector<std::string> kept = {
      "box.ksp." + dead + "-1.tmp",  // locked: still being written
      "box.ksp." + std::to_string(live.pid) + "-0.tmp",
      "box.ksp." + dead + "-x.tmp",
      "box.ksp." + dead + "-0.tmp.old",
      "box.ksp.tmp",
      "other.ksp." + dead + "-0.tmp"};
  for (const std::string& name : stale) scratch_.WriteFile("work/" + name, "half a save");
  for (const std::string& name : kept) scratch_.WriteFile("work/" + name, "half a save");
  PLATFORM_LOCK held;
  ASSERT_EQ(PLATFORM_Lock(scratch_.Path("work/" + kept[0]).c_str(), &held), PLATFORM_LOCK_TAKEN);
  KaspoResult result = Run("s\nq\n", {"box.ksp"});
  PLATFORM_Unlock(&held);
  for (const std::string& name : stale) {
    EXPECT_NE(result.out.find("removed left-over file '" + name + "'\n"), std::string::npos);
  }
  std::vector<std::string> names;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(work_.c_str(), &names));
  std::vector<std::string> expected = kept;
  expected.push_back("box.ksp");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  KaspoResult other;
  ASSERT_TRUE(FinishKaspo(&live, &other));
}

TEST_F(Containers, ItemsProveTheirContentAndGetTheirFilesBack) {
  const std::vector<std::string> names = {"plain.txt", "packed.bin"};
  const std::vector<std::string> contents = {Content(9000, 't'), Content(20000, 'r')};
  const mode_t modes[] = {0640, 0600};
  const time_t times[] = {1000000000, 1234567890};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string path = scratch_.Path("work/" + names[i]);
    scratch_.WriteFile("work/" + names[i], contents[i]);
    ASSERT_EQ(chmod(path.c_str(), modes[i]), 0);
    const struct timespec stamp[2] = {{times[i], 0}, {times[i], 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), stamp, 0), 0);
  }
  Run("a\nplain.txt\ny\n\nn\na\npacked.bin\ny\n\ny\ns\nq\n", {"box.ksp"});
  const std::string good = Container("box.ksp");
  const std::string p = Prompt();
  auto verified = [](int damaged, int unchecked) {
    return "verified 2 items, " + std::to_string(damaged) + " damaged, " +
           std::to_string(unchecked) + " without checksum\n";
  };

  // Intact: nothing to say, and each file comes back with its bits and time.
  scratch_.MakeDir("work/out");
  KaspoResult back = Run("v\n*\ncd\nout\ne\n*\ny\nq\n", {"box.ksp"});
  EXPECT_NE(back.out.find(p + "# Search pattern? " + verified(0, 0)), std::string::npos);
  EXPECT_NE(back.out.find("exported 2 items\n"), std::string::npos);
  EXPECT_EQ(back.err, kStartupErr);
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_TRUE(scratch_.ReadFile("work/out/" + names[i]) == contents[i]);
    struct stat info;
    ASSERT_EQ(stat(scratch_.Path("work/out/" + names[i]).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, modes[i]);
    EXPECT_EQ(info.st_mtime, times[i]);
  }

  // One byte changed in a chunk of the stored item and of the compressed
  // one, and a size that lies: each is named by `v` and by `e`, and no file
  // is written over the good ones already there.
  std::string bad = good;
  for (const std::string& name : names) {
    const std::size_t chunk = FirstChunk(bad, name);
    ASSERT_NE(chunk, std::string::npos);
    // A byte of the chunk's content (its length is the 16 bits before it).
    const std::size_t length = static_cast<unsigned char>(bad[chunk + 42]) |
                               static_cast<unsigned char>(bad[chunk + 43]) << 8;
    ASSERT_GT(length, 8u);
    bad[chunk + 44 + length / 2] ^= 0x01;
  }
  scratch_.WriteFile("work/bad.ksp", bad);
  std::string lying = good;
  const int32_t size = 9001;
  lying.replace(ItemSize(lying, "plain.txt"), 4, reinterpret_cast<const char*>(&size), 4);
  scratch_.WriteFile("work/lying.ksp", lying);
  for (const char* box : {"bad.ksp", "lying.ksp"}) {
    SCOPED_TRACE(box);
    const bool both = std::string(box) == "bad.ksp";
    KaspoResult hurt = Run("v\n*\ncd\nout\ne\n*\ny\ny\ny\nq\n", {box});
    EXPECT_NE(hurt.out.find(verified(both ? 2 : 1, 0)), std::string::npos);
    EXPECT_NE(hurt.out.find(both ? "exported 0 items\n" : "exported 1 items\n"), std::string::npos);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string named = "item '" + names[i] + "' is damaged";
      const std::size_t first = hurt.err.find(named);
      EXPECT_EQ(first != std::string::npos && hurt.err.find(named, first + 1) != std::string::npos,
                both || i == 0)
          << hurt.err;
      EXPECT_TRUE(scratch_.ReadFile("work/out/" + names[i]) == contents[i]);
    }
    if (!both) {
      EXPECT_NE(hurt.err.find("item 'plain.txt' is damaged: 9000 bytes instead of 9001!\n"),
                std::string::npos);
    }
  }
  // A damaged item whose size claims 2 GB is not decoded whole to say why:
  // no recorded size makes a read hold the item in memory.
  std::string huge = good;
  huge[FirstChunk(huge, "packed.bin") + 44 + 1] = '9';  // "#90": no chunk tag
  const int32_t claimed = 2000000000;
  huge.replace(ItemSize(huge, "packed.bin"), 4, reinterpret_cast<const char*>(&claimed), 4);
  scratch_.WriteFile("work/huge.ksp", huge);
  KaspoResult huge_run = Run("v\npacked\nq\n", {"huge.ksp"});
  EXPECT_NE(huge_run.err.find("(BLOBJ_Read) Corrupted BLOBJ data-content\n"
                              "item 'packed.bin' is damaged!\n"),
            std::string::npos)
      << huge_run.err;

  // Written as before checksums were kept (two sections and nothing after):
  // it loads without a word, its items without checksum, and the next save
  // gives them one, leaving the two sections byte for byte as they were.
  const std::size_t facts = good.rfind("00002,1001,");
  ASSERT_NE(facts, std::string::npos);
  scratch_.WriteFile("work/old.ksp", good.substr(0, facts));
  KaspoResult old = Run("v\n*\ns\nv\n*\nq\n", {"old.ksp"});
  EXPECT_NE(old.out.find(verified(0, 2) + p + "kaspo-db 'old.ksp' saved!\n" + p +
                         "# Search pattern? " + verified(0, 0)),
            std::string::npos);
  EXPECT_EQ(old.err, kStartupErr);
  const std::string upgraded = Container("old.ksp");
  EXPECT_GT(upgraded.size(), facts);
  EXPECT_TRUE(upgraded.substr(0, facts) == good.substr(0, facts));

  // Facts whose item was deleted through `g` go at the next save.
  scratch_.WriteFile("work/gone.ksp", good);
  Run("g\nBEGIN\nDELETE FROM KASPO WHERE FILENAME = 'packed.bin'\nCOMMIT\nq\ns\nq\n", {"gone.ksp"});
  EXPECT_NE(Container("gone.ksp").find("00001,1001,"), std::string::npos);

  // Bytes after the last section, and a chunk count lowered or raised: the
  // load fails, and a save asks before it writes over the file.
  const std::size_t count = good.find("," + std::string(kBlobjDescriptor)) - 5;
  const int chunks = std::stoi(good.substr(count, 5));
  auto with_count = [&](int n) {
    char digits[6];
    std::snprintf(digits, sizeof digits, "%05d", n);
    return good.substr(0, count) + digits + good.substr(count + 5);
  };
  for (const std::string& damaged : {good + "x", with_count(chunks - 1), with_count(chunks + 1)}) {
    scratch_.WriteFile("work/damaged.ksp", damaged);
    KaspoResult result = Run("s\nn\nq\n", {"damaged.ksp"});
    EXPECT_NE(result.out.find("error reading kaspo-db 'damaged.ksp'!\n"), std::string::npos);
    EXPECT_NE(result.out.find(Unread("damaged.ksp")), std::string::npos);
    EXPECT_TRUE(Container("damaged.ksp") == damaged);
  }
}

constexpr char kAbnormal[] = "(TARVICDB) Abnormal termination\n";

bool IsTemp(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0;
}

// An export that a signal cuts short leaves no temporary file; the next
// export into that directory removes those of ended runs, only those.
TEST_F(Containers, AnExportLeavesNoTemporaryFilesBehind) {
  scratch_.MakeDir("work/in");
  scratch_.MakeDir("work/out");
  constexpr int kItems = 48;  // of 1 MB: far more than the writer takes at once
  for (int i = 0; i < kItems; ++i) {
    scratch_.WriteFile("work/in/f" + std::to_string(100 + i), Content(1000000 + i, 'r'));
  }
  ASSERT_EQ(Run("cd\nin\na\n*\ny\n\nn\ns\nq\n", {"many"}).status, kRunStatus);
  const std::string dead = std::to_string(EndedProcess());
  const std::vector<std::string> stale = {"f100." + dead + "-0.tmp", "x.ksp." + dead + "-3.tmp"};
  const std::vector<std::string> kept = {"f101." + std::to_string(getpid()) + "-0.tmp",
                                         "f102." + dead + "-x.tmp", "f103.tmp"};
  for (const std::string& name : stale) scratch_.WriteFile("work/out/" + name, "half");
  for (const std::string& name : kept) scratch_.WriteFile("work/out/" + name, "half");
  // The signal comes while the export has a temporary file of its own.
  KaspoProcess exporting;
  Start(&exporting, "cd\nout\ne\n*\ny\n", {"many"});
  ASSERT_TRUE(AwaitKaspo(&exporting, "(y/n/q) "));
  const std::string own = "." + std::to_string(exporting.pid) + "-";
  std::vector<std::string> names;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::none_of(names.begin(), names.end(), [&](const std::string& name) {
    return name.find(own) != std::string::npos;
  })) {
    ASSERT_LT(std::chrono::steady_clock::now(), until) << "no temporary file seen";
    ASSERT_TRUE(PLATFORM_ListRegularFiles((work_ + "/out").c_str(), &names));
  }
  kill(static_cast<pid_t>(exporting.pid), SIGTERM);
  KaspoResult result;
  ASSERT_TRUE(FinishKaspo(&exporting, &result));
  EXPECT_EQ(result.err, kStartupErr + std::string(kAbnormal));
  EXPECT_EQ(result.status, kRunStatus);
  for (const std::string& name : stale) {
    EXPECT_NE(result.out.find("removed left-over file 'out/" + name + "'\n"), std::string::npos);
  }
  ASSERT_TRUE(PLATFORM_ListRegularFiles((work_ + "/out").c_str(), &names));
  std::vector<std::string> temps;
  std::copy_if(names.begin(), names.end(), std::back_inserter(temps), IsTemp);
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(temps, expected);
  EXPECT_LT(names.size() - temps.size(), static_cast<std::size_t>(kItems));  // cut short
}

std::string Rescued(const std::string& path) {
  return "unsaved changes written to '" + path + "'!\n";
}

// Unsaved items outlive every end the user did not ask for: each writes
// them to the next free rescue name beside the container, with its
// permission bits; an end with nothing unsaved writes none. Naming or
// opening the container tells of each rescue, which opens as a container.
TEST_F(Containers, UnsavedItemsAreRescuedAtEveryUnaskedEnd) {
  scratch_.WriteFile("work/f.txt", "first");
  ASSERT_EQ(Run("a\nf.txt\ny\n\nn\nq\n", {"box"}).status, kRunStatus);
  ASSERT_EQ(chmod(scratch_.Path("work/box.ksp").c_str(), 0640), 0);
  const std::string saved = Container("box.ksp");
  struct Case {
    int signal;  // 0: standard input ends
    const char* message;
  };
  constexpr Case kCases[] = {{SIGINT, ""}, {SIGTERM, kAbnormal}, {SIGHUP, kAbnormal}, {0, ""}};
  std::vector<std::string> rescues;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.signal);
    const std::string name = "g" + std::to_string(rescues.size()) + ".txt";
    scratch_.WriteFile("work/" + name, "more");
    const KaspoRun run = Setting("a\n" + name + "\ny\n\nn\n", {"box"});
    KaspoResult result;
    if (c.signal == 0) {
      ASSERT_TRUE(RunKaspo(run, &result));
    } else {
      ASSERT_TRUE(RunKaspoSignalled(run, "1 items added\n" + Prompt(), c.signal, &result));
    }
    const std::string number = rescues.empty() ? "" : "-" + std::to_string(rescues.size() + 1);
    rescues.push_back("box-rescue" + number + ".ksp");
    EXPECT_EQ(result.err, kStartupErr + std::string(c.message) + Rescued(rescues.back()));
    EXPECT_EQ(result.status, kRunStatus);
  }
  KaspoResult idle;
  ASSERT_TRUE(RunKaspoSignalled(Setting("", {"box"}), Prompt(), SIGTERM, &idle));
  EXPECT_EQ(idle.err, kStartupErr + std::string(kAbnormal));
  EXPECT_EQ(Container("box.ksp"), saved);

  std::string told;
  for (const std::string& r : rescues) {
    told += "rescue file '" + r + "' exists: open it with o or 'kaspo " + r + "'\n";
  }
  KaspoResult named = Run("o\n\ny\nbox.ksp\nq\n", {"box"});
  EXPECT_NE(named.out.find(" kb)\n" + told + "\n" + kMenu), std::string::npos) << named.out;
  std::string told_open;  // o names the file in its directory
  for (const std::string& r : rescues) {
    told_open += "rescue file './" + r + "' exists: open it with o or 'kaspo ./" + r + "'\n";
  }
  EXPECT_NE(named.out.find("kaspo './box.ksp' opened\n" + told_open), std::string::npos);
  for (std::size_t i = 0; i < rescues.size(); ++i) {
    SCOPED_TRACE(rescues[i]);
    struct stat info;
    ASSERT_EQ(stat(scratch_.Path("work/" + rescues[i]).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    KaspoResult back = Run("l\n*\nq\n", {rescues[i]});
    EXPECT_NE(back.out.find("[f.txt]\t\n[g" + std::to_string(i) + ".txt]\t\nfound 2 items\n"),
              std::string::npos);
    EXPECT_EQ(back.err, kStartupErr);
  }
}

// Past the file size limit a save fails as any failed write does: it says
// so, leaves no file behind and keeps the change, which the end then
// cannot rescue either.
TEST_F(Containers, AFileSizeLimitFailsTheSaveNotTheRun) {
  scratch_.WriteFile("work/big", Content(300000, 'r'));
  KaspoRun run = Setting("a\nbig\ny\n\nn\ns\n", {"box"});
  run.file_size_limit = 100000;
  KaspoResult result;
  ASSERT_TRUE(RunKaspo(run, &result));
  const std::string failed = "(TABLE_File_Save) Error writing file!\n";
  EXPECT_EQ(result.err, kStartupErr + failed + "error saving kaspo-db 'box.ksp'!\n" + failed +
                            "unsaved changes of kaspo-db 'box.ksp' lost!\n");
  EXPECT_EQ(result.status, kRunStatus);
  std::vector<std::string> names;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(work_.c_str(), &names));
  EXPECT_EQ(names, std::vector<std::string>{"big"});
}
}  // namespace
