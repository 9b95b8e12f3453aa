#include <gtest/gtest.h>

#include <random>
#include <string>

#include "attrs.hpp"
#include "inline/brace_index.hpp"
#include "inline/scanner.hpp"

namespace quenlor {
namespace {

// Refusing a block must be exact: whenever the index says no, both ways of
// reading an attribute block at that "{" fail; whenever it says yes for a
// text it indexes, the reading succeeds (so the text after it is consumed).
TEST(BraceIndex, AgreesWithTheAttributeReadersOnRandomText) {
    static const char* pieces[] = {"{", "}", "{:", "\"", "'", "\\", "=", " ", "\t", "#", ".", ":", "a", "b=c",
                                   "x", "\xC2\xA0", "\xE3\x80\x80", "\xC3\xA9", "{.k}", "{a=\"}\"}", "[x]"};
    std::mt19937 rng(7);
    AttrDefs defs;
    for (int round = 0; round < 40; ++round) {
        std::string text;
        while (text.size() < 3000) text += pieces[rng() % std::size(pieces)];
        BraceIndex index;
        for (std::size_t pos = 0; pos < text.size(); ++pos) {
            if (text[pos] != '{') continue;
            const std::string_view rest = std::string_view(text).substr(pos);
            const bool braced = parse_braced_attr(rest, defs).has_value();
            const bool trailing = trailing_attr(rest, defs).has_value();
            ASSERT_EQ(index.may_read(text, pos, false), braced) << "at " << pos;
            ASSERT_EQ(index.may_read(text, pos, true), trailing) << "at " << pos;
        }
    }
}

TEST(BraceIndex, ShortTextsAreNotIndexed) {
    BraceIndex index;
    EXPECT_TRUE(index.may_read("[x]{", 3, false));  // too short to index: the caller reads it
}

}  // namespace
}  // namespace quenlor
