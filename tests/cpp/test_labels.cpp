#include <gtest/gtest.h>

#include "attrs.hpp"

using namespace quenlor;

TEST(LabelsScan, Table) {
    struct Case {
        std::string text;
        std::optional<std::string> content;
        std::size_t consumed;
    } cases[] = {
        {"[foo] x", "foo", 5},
        {"[]", "", 2},
        {"[a\\]b]", "a\\]b", 6},
        {"[a\\[b]", "a\\[b", 6},
        {"[a[b]c]", std::nullopt, 0},  // no nesting and no shorter label
        {"[abc", std::nullopt, 0},
        {"[abc\\", std::nullopt, 0},
        {"[", std::nullopt, 0},
        {"", std::nullopt, 0},
        {"x[a]", std::nullopt, 0},
        {"[\xC3\xA9]", "\xC3\xA9", 4},
        {"[a\nb]", "a\nb", 5},
    };
    for (const auto& c : cases) {
        auto r = scan_link_label(c.text);
        ASSERT_EQ(r.has_value(), c.content.has_value()) << c.text;
        if (r) {
            EXPECT_EQ(r->content, *c.content) << c.text;
            EXPECT_EQ(r->consumed, c.consumed) << c.text;
        }
    }
}

TEST(LabelsScan, LengthLimitCountsCharacters) {
    std::string e = "\xC3\xA9";  // two bytes, one character
    std::string s999, s1000;
    for (int i = 0; i < 999; ++i) s999 += e;
    s1000 = s999 + e;
    auto r = scan_link_label("[" + s999 + "]");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->consumed, s999.size() + 2);
    EXPECT_FALSE(scan_link_label("[" + s1000 + "]"));
    // A backslash and the escaped character count as two.
    EXPECT_FALSE(scan_link_label("[" + std::string(998, 'a') + "\\]]"));
    EXPECT_TRUE(scan_link_label("[" + std::string(997, 'a') + "\\]]"));

    EXPECT_TRUE(valid_link_label(std::string(999, 'a'), false));
    EXPECT_FALSE(valid_link_label(std::string(1000, 'a'), false));
}

TEST(LabelsValid, Substance) {
    struct Case {
        std::string content;
        bool strict, blank_ok;
    } cases[] = {
        {"foo", true, true},
        {"", false, true},
        {"  \n ", false, true},
        {"\\", true, true},
        {"\\ ", true, true},               // a backslash counts as substance
        {"a]b", false, false},
        {"a\\]b", true, true},
        {"a[b", false, false},
        {"\xE3\x80\x80", false, true},     // ideographic space only
    };
    for (const auto& c : cases) {
        EXPECT_EQ(valid_link_label(c.content, false), c.strict) << c.content;
        EXPECT_EQ(valid_link_label(c.content, true), c.blank_ok) << c.content;
    }
}

TEST(LabelsNormalize, Keys) {
    EXPECT_EQ(normalize_label("  Foo \t\n  BAR  "), "foo bar");
    EXPECT_EQ(normalize_label("Foo Bar"), normalize_label("foo\nbar"));
    EXPECT_NE(normalize_label("a\\*b"), normalize_label("a*b"));
    EXPECT_EQ(normalize_label("\xE1\xBA\x9E"), "\xC3\x9F");           // capital sharp s
    EXPECT_NE(normalize_label("\xC3\x9F"), normalize_label("SS"));    // no case folding
    EXPECT_EQ(normalize_label("\xCE\x91\xCE\xA3"), "\xCE\xB1\xCF\x83");  // sigma without context
    EXPECT_EQ(normalize_label("\xC4\xB0x"), "i\xCC\x87x");
    EXPECT_EQ(normalize_label("a\xC2\xA0\xE3\x80\x80" "b"), "a b");
    EXPECT_EQ(normalize_label(" \t "), "");
}
