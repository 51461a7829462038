// Dialogues around container files: content that survives a save and a
// new run byte for byte, the exact empty container, containers written by
// another layout, damaged content, a failed save, and the commands new
// and open.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "e2e/session.h"
#include "platform/files.h"

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
    {"s1", 1, 'r'},           {"s4000", 4000, 'r'},       {"s4001", 4001, 'r'},
    {"s100000", 100000, 'r'}, {"big", 3000000, 'u'},      {"marks", 20000, 'b'},
    {"runs", 50000, 'u'},
};

class Containers : public Session {
 protected:
  std::string Container(const std::string& name) { return scratch_.ReadFile("work/" + name); }
};

TEST_F(Containers, ContentSurvivesASaveAndANewRunByteForByte) {
  scratch_.MakeDir("work/in");
  for (const Sample& s : kSamples) scratch_.WriteFile("work/in/" + std::string(s.name), Content(s.size, s.kind));
  for (const char* box : {"plain.ksp", "packed.ksp"}) {
    SCOPED_TRACE(box);
    const bool packed = std::string(box) == "packed.ksp";
    KaspoResult add = Run(std::string("cd\nin\na\n*\ny\nsamples\n") + (packed ? "y" : "n") + "\ns\nq\n", {box});
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
  KaspoResult back = Run("cd\nout\ne\nf1\ny\nq\n", {"many.ksp"});
  EXPECT_NE(back.out.find("exported 40 items\n"), std::string::npos);
  EXPECT_EQ(back.err, kStartupErr);
  for (int i = 0; i < 40; ++i) {
    SCOPED_TRACE(names[size_t(i)]);
    EXPECT_TRUE(scratch_.ReadFile("work/out/" + names[size_t(i)]) ==
                Content(std::size_t(i) * 997 + 1, "rbu"[i % 3]));
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
            kBanner + StatusLine("old.ksp", 2, 19, 0) + "\n" + kMenu + p +
                "# Search pattern? one.txt (size 0 kb)\n\ntwo.txt (size 19 kb)\n\nfound 2 items\n" +
                p + "# Search pattern? one.txt (size 0 kb)\n\nAre you sure? (y/n/q) " +
                "exported 0 items\n" + p);
  const std::string missing = "(TABLE_File_Load) Warning: Attribute 'Description' not found!\n";
  // The item has no chunks: its export fails, the program goes on.
  EXPECT_EQ(result.err, kStartupErr + missing + missing +
                            "(BLOBJ_Read) Corrupted BLOBJ data-header\nBLOBJ_Write error!\n");
  EXPECT_EQ(scratch_.ReadFile("work/one.txt"), "");
}

TEST_F(Containers, DamagedContentFailsOneItemOnly) {
  scratch_.WriteFile("work/a.txt", "alpha content");
  scratch_.WriteFile("work/b.txt", "beta content");
  scratch_.WriteFile("work/c.txt", "gamma content");
  scratch_.MakeDir("work/out");
  Run("a\n*.txt\ny\n\nn\ns\nq\n", {"box.ksp"});
  std::string bytes = Container("box.ksp");
  // The tag of a.txt's chunk: its key is 20 bytes into its KASPO record
  // (the file name, blank-padded as the table keeps it, 29), the key again
  // 29 bytes into its BLOBJ record and the chunk's content 44.
  const std::size_t name = bytes.find("a.txt" + std::string(75, ' ') + Zero());
  ASSERT_NE(name, std::string::npos);
  const std::string key = bytes.substr(name - 9, 9);
  const std::string blobj_head = "," + std::string(kBlobjDescriptor) + Zero();
  std::size_t at = bytes.find(blobj_head);
  ASSERT_NE(at, std::string::npos);
  at += blobj_head.size();
  while (at < bytes.size() && bytes.compare(at + 29, 9, key) != 0) at += 4048;
  ASSERT_LT(at, bytes.size());
  const std::size_t tag = at + 44;
  ASSERT_EQ(bytes.substr(tag, 3), "#01");
  bytes[tag + 1] = '9';
  // b.txt's recorded size (272 bytes into its record) says 0: its content
  // decodes to more than an item of that size can hold.
  const std::size_t b_name = bytes.find("b.txt" + std::string(75, ' ') + Zero());
  ASSERT_NE(b_name, std::string::npos);
  bytes.replace(b_name - 29 + 272, 4, std::string(4, '\0'));
  scratch_.WriteFile("work/box.ksp", bytes);
  KaspoResult result = Run("cd\nout\ne\n*\ny\nq\n", {"box.ksp"});
  EXPECT_NE(result.out.find("  file 'out/c.txt' exported\nexported 1 items\n"), std::string::npos);
  EXPECT_EQ(result.out.find("out/a.txt"), std::string::npos);
  EXPECT_EQ(result.out.find("out/b.txt"), std::string::npos);
  EXPECT_EQ(result.err, std::string(kStartupErr) +
                            "(COMPR_AddBin) Invalid '#91'-encoded data!\nBLOBJ_Write error!\n" +
                            "(COMPR_AddBin) Decoded data too long (max = 12)!\n" +
                            "BLOBJ_Write error!\n");
  EXPECT_EQ(scratch_.ReadFile("work/out/c.txt"), "gamma content");
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(Containers, AFailedSaveKeepsTheOldContainerAndTheChange) {
  scratch_.WriteFile("work/a.txt", "alpha");
  scratch_.WriteFile("work/b.txt", "beta");
  Run("a\na.txt\ny\n\nn\ns\nq\n", {"box.ksp"});
  const std::string saved = Container("box.ksp");
  ASSERT_FALSE(saved.empty());
  // Without its chunk table the container cannot be written whole.
  // Still changed, so quitting saves again; when that fails too the user
  // may go back ("n") or quit without the change ("y").
  KaspoResult result =
      Run("a\nb.txt\ny\n\nn\ng\nDROP TABLE BLOBJ\nq\ns\nq\nn\nq\nx\ny\n", {"box.ksp"});
  const std::string failed =
      "BAD RESPONSE to dbexec1 command.\nError: (SELECT) Table 'BLOBJ' does not exist\n"
      "(TABLE_File_Save) Error in DB-Select!\nerror saving kaspo-db 'box.ksp'!\n";
  EXPECT_EQ(result.err, kStartupErr + failed + failed + failed);
  const std::string question = "kaspo not saved! Quit anyway? (n/y) ";
  const std::string p = Prompt();
  const std::string end = p + question + p + question;
  ASSERT_GE(result.out.size(), end.size());
  EXPECT_EQ(result.out.substr(result.out.size() - end.size()), end);
  EXPECT_EQ(result.out.find("' saved!"), std::string::npos);
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(Container("box.ksp") == saved);
  // No temporary file is left behind.
  std::vector<std::string> names;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(work_.c_str(), &names));
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "box.ksp"}));
}

TEST_F(Containers, NewAsksAgainForANameThatExists) {
  scratch_.WriteFile("work/old.ksp", EmptyContainer());
  scratch_.WriteFile("work/a.txt", "alpha");
  const std::string p = Prompt();
  KaspoResult result = Run("n\n\ny\nold\nfresh\na\na.txt\ny\n\nn\nn\n\ny\nnext\nq\n");
  EXPECT_EQ(result.out,
            kBanner + std::string(kMenu) + p + kDirectory + "(.) [a.txt]\t[old.ksp]\t\n" + kCorrect +
                kFile + "file 'old' already exists!\n" + kFile + "new kaspo './fresh.ksp' created\n" +
                p + "# Filename: [a.txt]\t\nAre you sure? (n/y/q) # Description: "
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
  EXPECT_EQ(result.out,
            kBanner + std::string(kMenu) + p + kDirectory + "(.) no kaspo-file in directory 'sub'!\n" +
                kDirectory + "(.) " + kDirectory + "(.) [a.ksp]\t[b.ksp]\t\n" +
                kCorrect + kDirectory + "(.) [a.ksp]\t[b.ksp]\t\n" + kCorrect + kFile +
                "(b.ksp) kaspo './b.ksp' opened\n" + p + StatusLine("./b.ksp", 1, 0, 3) + p);
  EXPECT_EQ(result.err, kStartupErr);
}
}  // namespace
