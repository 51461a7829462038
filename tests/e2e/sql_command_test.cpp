// Dialogues of the generic SQL command "g": statements through the printing
// execute, engine errors on standard error, and a transaction the
// statements leave open.
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
                            "Error: (SELECT) Table 'NOTHING' does not exist\n" + StatusErr() +
                            QuitSavingErr("archive.ksp"));
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
                            Said("DROP TABLE kaspo; DROP TABLE blobj", "") +
                            Said("GRANT ALL", "") + kAsk + p);
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
                Said("MAX", "Max-Results\n1\nsql-command successfully evaluated 1 items\n") +
                kAsk + p + QuitSaving("archive.ksp"));
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

}  // namespace
