// Inputs the fuzzers found, kept as ordinary cases: keys in SQL text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/lexer.h"
#include "client/value_strings.h"
#include "engine/types/tokens.h"

namespace {
// The record calls find a row by key through SQL text, the key quoted by
// Make_ValueString, and a container may hold keys with any characters.
// When only quotes were escaped, the lexer read a backslash in a key as an
// escape and the row was never found: container_fuzz found a container
// that loaded but could never be saved again ("(CHUNKWALK) Chunk
// 'ab\cdefg' could not be read!"; the input is
// fuzz/corpus/container/backslash_chunk_key.container).
TEST(FuzzRegressions, QuotedKeyReadsBackAsTheKey) {
  for (const char* key : {"it's", "ab\\cdefg", "abcdefg\\", "a'b\"c\\'"}) {
    SCOPED_TRACE(key);
    std::string sql = std::string("'") + Make_ValueString(key, VALSTR_KEYLEN) + "'";
    std::vector<char> text(sql.begin(), sql.end());
    text.push_back('\0');
    std::vector<char> token(LEX_TEXTSIZE);
    LEXER lexer;
    LEX_Start(&lexer, text.data(), nullptr);
    int kind = 0;
    ASSERT_EQ(LEX_Next(&lexer, &kind, token.data()), 1);
    EXPECT_EQ(kind, DBTK_STRINGVAL);
    EXPECT_EQ(std::string(token.data()), key);
  }
  VALSTR_Free();
}
}  // namespace
