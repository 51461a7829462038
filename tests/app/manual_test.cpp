// The user's manual (docs/manual.md) held against the program's sources:
// every question a dialogue asks, every command of the main prompt and
// every SQL keyword must appear in it. The texts are gathered from the
// sources, so a question or keyword added later fails here until the
// manual describes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {
const std::filesystem::path kRoot = KASPO_SOURCE_DIR;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text constants of a source (house style keeps every message and
// question in one: `constexpr char kName[] = "..." "...";`), adjacent
// literals joined and the escapes the sources use decoded.
std::vector<std::string> TextConstants(const std::string& code) {
  static const std::regex constant(R"re(char \w+\[\] =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);)re");
  static const std::regex literal(R"re("((?:[^"\\]|\\.)*)")re");
  static const std::regex escape(R"re(\\(x[0-9A-Fa-f]{2}|.))re");
  std::vector<std::string> texts;
  for (std::sregex_iterator c(code.begin(), code.end(), constant), end; c != end; ++c) {
    const std::string body = (*c)[1].str();
    std::string text;
    for (std::sregex_iterator l(body.begin(), body.end(), literal); l != end; ++l) {
      const std::string raw = (*l)[1].str();
      std::size_t done = 0;
      for (std::sregex_iterator e(raw.begin(), raw.end(), escape); e != end; ++e) {
        text += raw.substr(done, e->position() - done);
        const std::string what = (*e)[1].str();
        text += what[0] == 'x' ? static_cast<char>(std::stoi(what.substr(1), nullptr, 16))
                : what == "n"  ? '\n'
                : what == "t"  ? '\t'
                               : what[0];
        done = e->position() + e->length();
      }
      text += raw.substr(done);
    }
    texts.push_back(text);
  }
  return texts;
}

// A question is printed without a line end and waits on the same line:
// its text ends in a blank after "?", ":", ")" or ">".
bool IsQuestion(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end != std::string::npos && end + 1 < text.size() &&
         std::string("?:)>").find(text[end]) != std::string::npos;
}

// The question without its last blank as a pattern over the manual; the
// printf conversions stand for what they print.
std::regex QuestionPattern(const std::string& question) {
  const std::string text = question.substr(0, question.find_last_not_of(' ') + 1);
  std::string pattern;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      const char conversion = text[++i];
      pattern += conversion == 'd' ? "-?[0-9]+" : conversion == '%' ? "%" : ".+";
    } else if (std::string("\\^$.|?*+()[]{}").find(text[i]) != std::string::npos) {
      pattern += std::string("\\") + text[i];
    } else {
      pattern += text[i];
    }
  }
  return std::regex(pattern);
}

std::vector<std::filesystem::path> AppSources() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kRoot / "app")) {
    const std::filesystem::path extension = entry.path().extension();
    if (extension == ".cpp" || extension == ".h") files.push_back(entry.path());
  }
  return files;
}

TEST(Manual, ShowsEveryQuestionTheProgramAsks) {
  const std::string manual = ReadText(kRoot / "docs" / "manual.md");
  int questions = 0;
  for (const std::filesystem::path& file : AppSources()) {
    for (const std::string& text : TextConstants(ReadText(file))) {
      if (!IsQuestion(text)) continue;
      ++questions;
      EXPECT_TRUE(std::regex_search(manual, QuestionPattern(text)))
          << "docs/manual.md lacks the question \"" << text << "\" of " << file.filename();
    }
  }
  // Guards the scan itself: the dialogues ask far more than this.
  EXPECT_GT(questions, 10);
}

TEST(Manual, DescribesEveryCommandAndKeyword) {
  const std::string manual = ReadText(kRoot / "docs" / "manual.md");
  struct Source {
    const char* file;
    const char* item;       // the first group is the command or keyword
    const char* in_manual;  // how the manual must show it: %s is the item
  };
  const Source sources[] = {
      // Each command of the main prompt has its own section.
      {"app/session/command_loop.cpp", R"re(\{"([a-z]+)", (true|false),)re", R"(\n###[^\n]*`%s`)"},
      {"app/session/command_loop.cpp", R"re(kQuit\[\] = "([a-z]+)")re", R"(\n###[^\n]*`%s`)"},
      // Each keyword, including the second words of two-word keywords.
      {"client/lexer.cpp", R"re("([A-Z]+)", DBTK_)re", R"(\b%s\b)"},
  };
  for (const Source& source : sources) {
    const std::string code = ReadText(kRoot / source.file);
    const std::regex item(source.item);
    int found = 0;
    for (std::sregex_iterator m(code.begin(), code.end(), item), end; m != end; ++m, ++found) {
      std::string expected = source.in_manual;
      expected.replace(expected.find("%s"), 2, (*m)[1].str());
      EXPECT_TRUE(std::regex_search(manual, std::regex(expected)))
          << "docs/manual.md lacks \"" << expected << "\" (" << source.file << ")";
    }
    EXPECT_GT(found, 0) << source.item;
  }
}
}  // namespace
