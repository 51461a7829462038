// Dialogues of the generic SQL command "g": statements through the printing
// execute, engine errors on standard error, a transaction the statements
// leave open, the statements it refuses, Ctrl-C during a statement, and
// what it must not leave behind for the item commands.
#include <signal.h>

#include <string>

#include "e2e/session.h"

namespace {

constexpr char kAsk[] = "# SQL-command? ";
constexpr char kExecuted[] = "sql-command successfully executed\n";

// One statement at the SQL prompt: the question, the echo and what the
// statement printed.
std::string Said(const std::string& sql, const std::string& printed) {
  return kAsk + sql + "\n" + printed;
}

using SqlCommand = Session;

// Adding f.txt in one pass, as the first command of a dialogue.
constexpr char kAddOne[] = "a\nf.txt\ny\nmy file\nn\n";
const std::string kAddedOne =
    "# Filename: [f.txt]\t\nAre you sure? (n/y/q) # Description: # Compressed? (y/n/q)   "
    "file 'f.txt' added\n1 items added\n";

TEST_F(SqlCommand, RunsStatementsAndShowsRowsAndErrors) {
  const std::string input =
      "g\n"
      "CREATE TABLE fruit (name CHARACTER(10), qty INTEGER)\n"
      "BEGIN\n"
      "INSERT INTO fruit VALUES ('pear', 12)\n"
      "INSERT INTO fruit (qty, name) VALUES (3, 'apple')\n"
      "COMMIT;\n"
      "SELECT * FROM fruit ORDER BY name\n"
      "SELECT name FROM nothing\n"
      "q\n"
      "t\n"
      "q\n";
  KaspoResult result = Run(input, {"archive"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out,
            kBanner + NamedContainerStatus("archive.ksp") + kMenu + p +
                Said("CREATE TABLE fruit (name CHARACTER(10), qty INTEGER)", kExecuted) +
                Said("BEGIN", kExecuted) +
                Said("INSERT INTO fruit VALUES ('pear', 12)", kExecuted) +
                Said("INSERT INTO fruit (qty, name) VALUES (3, 'apple')", kExecuted) +
                Said("COMMIT;", kExecuted) +
                Said("SELECT * FROM fruit ORDER BY name",
                     "NAME, QTY\napple, 3\npear, 12\nsql-command successfully evaluated 2 "
                     "items\n") +
                Said("SELECT name FROM nothing", "") + kAsk + p +
                StatusLine("archive.ksp", 0, 0, 0) + p + QuitSaving("archive.ksp"));
  EXPECT_EQ(result.err, kStartupErr + NamedContainerErr("archive.ksp") +
                            "BAD RESPONSE to SELECT name FROM nothing; command.\n"
                            "Error: (SELECT) Table 'NOTHING' does not exist\n" +
                            StatusErr() + QuitSavingErr("archive.ksp"));
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(SqlCommand, RefusedStatementsSendNothing) {
  const std::string input =
      "g\n"
      "DROP TABLE kaspo; DROP TABLE blobj\n"
      "GRANT ALL\n"
      "q\n"
      "q\n";
  KaspoResult result = Run(input, {"archive"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out, kBanner + NamedContainerStatus("archive.ksp") + kMenu + p +
                            Said("DROP TABLE kaspo; DROP TABLE blobj", "") + Said("GRANT ALL", "") +
                            kAsk + p);
  EXPECT_EQ(result.err, kStartupErr + NamedContainerErr("archive.ksp") +
                            "syntax error in SQL-command (characters after ';')!\n"
                            "NONFATAL ERROR occured in GRANT ALL; command.\n"
                            "Error: (DBexec) Syntax error: SQL-command GRANT not known\n");
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(SqlCommand, ResultsCutAtTheRowMaximumSaySo) {
  const std::string input =
      "g\nCREATE TABLE tt (nm CHARACTER(2))\nBEGIN\nINSERT INTO tt VALUES ('a')\n"
      "INSERT INTO tt VALUES ('a')\nCOMMIT\nMAX 1\nSELECT nm FROM tt\nMAX\nq\nq\n";
  KaspoResult result = Run(input, {"archive"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out,
            kBanner + NamedContainerStatus("archive.ksp") + kMenu + p +
                Said("CREATE TABLE tt (nm CHARACTER(2))", kExecuted) + Said("BEGIN", kExecuted) +
                Said("INSERT INTO tt VALUES ('a')", kExecuted) +
                Said("INSERT INTO tt VALUES ('a')", kExecuted) + Said("COMMIT", kExecuted) +
                Said("MAX 1", kExecuted) +
                Said("SELECT nm FROM tt",
                     "NM\na\nnot all results evaluated!\n"
                     "sql-command successfully evaluated 1 items\nnot all rows evaluated!\n") +
                Said("MAX", "Max-Results\n1\nsql-command successfully evaluated 1 items\n") + kAsk +
                p + QuitSaving("archive.ksp"));
  EXPECT_EQ(result.err,
            kStartupErr + NamedContainerErr("archive.ksp") + QuitSavingErr("archive.ksp"));
}

TEST_F(SqlCommand, LeavingRollsBackWhatTheStatementsLeftOpen) {
  // Left open, the transaction would make the next item command's own
  // BEGIN fail and end the program; rolled back, the row is gone.
  scratch_.WriteFile("work/f.txt", "hello");
  const std::string input =
      "g\n"
      "BEGIN\n"
      "INSERT INTO kaspo (kaspo_id, filename) VALUES ('k1', 'ghost')\n"
      "q\n"
      "g\n"
      "SELECT filename FROM kaspo\n"
      "q\n"
      "a\nf.txt\ny\nmy file\nn\n"
      "t\n"
      "q\n";
  KaspoResult result = Run(input, {"archive"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out,
            kBanner + NamedContainerStatus("archive.ksp") + kMenu + p + Said("BEGIN", kExecuted) +
                Said("INSERT INTO kaspo (kaspo_id, filename) VALUES ('k1', 'ghost')", kExecuted) +
                kAsk + "open transaction rolled back!\n" + p +
                Said("SELECT filename FROM kaspo", std::string("\n") + kExecuted) + kAsk + p +
                "# Filename: [f.txt]\t\nAre you sure? (n/y/q) # Description: # Compressed? "
                "(y/n/q)   file 'f.txt' added\n1 items added\n" +
                p + StatusLine("archive.ksp", 1, 0, 3) + p + QuitSaving("archive.ksp"));
  EXPECT_EQ(result.err, kStartupErr + NamedContainerErr("archive.ksp") + StatusErr() +
                            QuitSavingErr("archive.ksp"));
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(SqlCommand, RefusesStatementsThatWouldCostTheSession) {
  scratch_.WriteFile("work/f.txt", "hello");
  const char* kRefused[][2] = {
      {"STOP", "database 'KASPODB'"},
      {"DROP DATABASE", "database 'KASPODB'"},
      {"SET DATABASE other", "database 'KASPODB'"},
      {"DROP TABLE kaspo", "table 'KASPO'"},
      {"DROP INDEX xblobj01", "index 'XBLOBJ01'"},
      // Without it every add and delete would pass over every chunk row.
      {"DROP INDEX xblobj02", "index 'XBLOBJ02'"},
      // An index of their own: a unique one refuses the rows of the next
      // container opened (export, delete and add then fail).
      {"CREATE UNIQUE INDEX ub ON blobj (fk_id)", "table 'BLOBJ'"},
      {"CREATE INDEX ik ON kaspo (filename)", "table 'KASPO'"},
      // Another kind: every change would write files and a redo log.
      {"SET TABLE kaspo STATIC", "table 'KASPO'"},
      {"SET TABLE blobj SECURE", "table 'BLOBJ'"},
      // The items' checksums, times and modes are Kaspo's own too.
      {"DROP TABLE kfacts", "table 'KFACTS'"},
      {"CREATE INDEX ik ON kfacts (mtime)", "table 'KFACTS'"},
  };
  std::string input = std::string(kAddOne) + "g\n";
  std::string said;
  std::string refusals;
  for (const auto& refused : kRefused) {
    input += std::string(refused[0]) + "\n";
    said += Said(refused[0], "");
    refusals += std::string("sql-command not allowed (kaspo needs ") + refused[1] + ")!\n";
  }
  // What stays allowed: the running database, and tables of the user's own
  // with their indexes and kinds.
  const char* kAllowed[] = {"CREATE TABLE mine (aa INTEGER)", "CREATE UNIQUE INDEX um ON mine (aa)",
                            "CREATE INDEX im ON mine (aa)", "SET TABLE mine SECURE"};
  input += "SET DATABASE kaspodb\nDROP TABLE mine\n";
  std::string allowed;
  for (const char* sql : kAllowed) {
    input += std::string(sql) + "\n";
    allowed += Said(sql, kExecuted);
  }
  input += "q\nt\nq\n";
  KaspoResult result = Run(input, {"archive"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out, kBanner + NamedContainerStatus("archive.ksp") + kMenu + p + kAddedOne + p +
                            said + Said("SET DATABASE kaspodb", kExecuted) +
                            Said("DROP TABLE mine", "") + allowed + kAsk + p +
                            StatusLine("archive.ksp", 1, 0, 3) + p + QuitSaving("archive.ksp"));
  EXPECT_EQ(result.err, kStartupErr + NamedContainerErr("archive.ksp") + refusals +
                            "BAD RESPONSE to DROP TABLE mine; command.\n"
                            "Error: (DROP TABLE) Table 'MINE' does not exist in database "
                            "'KASPODB'\n" +
                            StatusErr() + QuitSavingErr("archive.ksp"));
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(SqlCommand, CtrlCStopsTheRunningStatementOnly) {
  scratch_.WriteFile("work/f.txt", "hello");
  // Ten rows joined ten times over: 10^10 combinations, far more than any
  // run of the test waits for.
  std::string input = std::string(kAddOne) + "g\nCREATE TABLE tt (xx INTEGER)\nBEGIN\n";
  std::string said = Said("CREATE TABLE tt (xx INTEGER)", kExecuted) + Said("BEGIN", kExecuted);
  for (int i = 0; i < 10; ++i) {
    const std::string insert = "INSERT INTO tt VALUES (" + std::to_string(i) + ")";
    input += insert + "\n";
    said += Said(insert, kExecuted);
  }
  const std::string endless =
      "SELECT COUNT(*) FROM tt a, tt b, tt c, tt d, tt e, tt f, tt g, tt h, tt i, tt j "
      "WHERE a.xx < b.xx";
  input += "COMMIT\n" + endless + "\nSELECT COUNT(*) FROM tt\nq\nt\nq\n";
  KaspoRun run;
  run.args = {"archive"};
  run.input = input;
  run.cwd = work_;
  run.home = home_;
  KaspoResult result;
  ASSERT_TRUE(RunKaspoSignalled(run, endless + "\n", SIGINT, &result)) << result.err;
  EXPECT_FALSE(result.timed_out);
  const std::string p = Prompt();
  EXPECT_EQ(result.out, kBanner + NamedContainerStatus("archive.ksp") + kMenu + p + kAddedOne + p +
                            said + Said("COMMIT", kExecuted) + Said(endless, "") +
                            Said("SELECT COUNT(*) FROM tt",
                                 "COUNT(*)\n10\nsql-command successfully evaluated 1 items\n") +
                            kAsk + p + StatusLine("archive.ksp", 1, 0, 3) + p +
                            QuitSaving("archive.ksp"));
  EXPECT_EQ(result.err, kStartupErr + NamedContainerErr("archive.ksp") +
                            "sql-command interrupted!\n" + StatusErr() +
                            QuitSavingErr("archive.ksp"));
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(SqlCommand, LeavesNothingThatBreaksTheItemCommands) {
  scratch_.WriteFile("work/f.txt", "hello");
  scratch_.WriteFile("work/g.txt", "world");
  scratch_.MakeDir("work/out");
  // A row maximum, an update that fails on its second row before a
  // COMMIT, and a cursor left open in a transaction: afterwards both
  // items list, export and save whole.
  const std::string update = "UPDATE kaspo SET kaspo_id = 'SAMEKEY1'";
  const std::string declare = "DECLARE cc CURSOR FOR SELECT * FROM blobj";
  const std::string input = "a\n*.txt\ny\n\nn\ng\nMAX 1\nBEGIN\n" + update + "\nCOMMIT\nBEGIN\n" +
                            declare + "\nq\nl\n*\ncd\nout\ne\n*\ny\ns\nq\n";
  KaspoResult result = Run(input, {"archive"});
  const std::string p = Prompt();
  const std::string out = Prompt("out");
  EXPECT_EQ(result.out,
            kBanner + NamedContainerStatus("archive.ksp") + kMenu + p +
                "# Filename: [f.txt]\t[g.txt]\t\nAre you sure? (n/y/q) # Description: # "
                "Compressed? (y/n/q)   file 'f.txt' added\n  file 'g.txt' added\n2 items added\n" +
                p + Said("MAX 1", kExecuted) + Said("BEGIN", kExecuted) + Said(update, "") +
                Said("COMMIT", kExecuted) + Said("BEGIN", kExecuted) +
                Said(declare, "sql-command successfully evaluated 1 items\n") + kAsk +
                "open transaction rolled back!\n" + p +
                "# Search pattern? [f.txt]\t\n[g.txt]\t\nfound 2 items\n" + p +
                "# Directory? (.) " + out +
                "# Search pattern? f.txt (size 0 kb)\n\ng.txt (size 0 kb)\n\nAre you sure? "
                "(y/n/q)   file 'out/f.txt' exported\n  file 'out/g.txt' exported\nexported 2 "
                "items\n" +
                out + "kaspo-db 'archive.ksp' saved!\n" + out);
  EXPECT_EQ(result.err, kStartupErr + NamedContainerErr("archive.ksp") + "BAD RESPONSE to " +
                            update + "; command.\nError: (UPDATE) Unique index violation\n");
  EXPECT_EQ(scratch_.ReadFile("work/out/f.txt"), "hello");
  EXPECT_EQ(scratch_.ReadFile("work/out/g.txt"), "world");
  EXPECT_EQ(result.status, kRunStatus);
}

}  // namespace
