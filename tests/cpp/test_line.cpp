#include <gtest/gtest.h>

#include "line.hpp"

using namespace quenlor;

TEST(LineStrip, Columns) {
    struct Case {
        std::string text;
        std::size_t pos, col, target;
        std::string expect;
    } cases[] = {
        {"\tfoo", 0, 0, 2, "  foo"},          // tab straddling the target is split
        {"  \tfoo", 0, 0, 4, "foo"},          // tab ends exactly at the target
        {" foo", 0, 0, 4, "foo"},             // indentation runs out early
        {"  \tx", 0, 0, 2, "  x"},            // tab after the target expands from its real column
        {"    ", 0, 0, 2, "  "},              // blank: remaining blanks come back as spaces
        {"  ", 0, 0, 4, ""},                  // blank: text runs out first
        {"\t\tfoo", 0, 0, 2, "      foo"},    // split tab, then a whole tab from column 4
        {"\t\tfoo", 0, 0, 4, "\tfoo"},        // on a tab stop the rest keeps its tabs
        {"\tx", 0, 0, 0, "\tx"},
        {"> \tx", 2, 1, 2, "  x"},            // quote content: starts at column 1
        {">\tx", 1, 1, 2, "  x"},             // tab from column 1 to 4, split at 2
        {"   \xC3\xA9", 0, 0, 4, "\xC3\xA9"}, // multibyte character is never split
        {"", 0, 0, 4, ""},
    };
    for (const auto& c : cases) {
        Line line{c.text, c.pos, c.col};
        EXPECT_EQ(Line::strip_from(line, c.target), c.expect) << '"' << c.text << "\" to " << c.target;
        // The view form gives the same text, also when the line lies in its own buffer.
        std::string buf = c.text;
        EXPECT_EQ(Line::strip_view(Line{buf, c.pos, c.col}, c.target, buf), c.expect) << '"' << c.text << '"';
    }
}

TEST(LineExpand, LeadingIndent) {
    EXPECT_EQ(expand_leading_indent("\tx\ty", 0), "    x\ty");
    EXPECT_EQ(expand_leading_indent("\tx", 1), "   x");
    EXPECT_EQ(expand_leading_indent(" \t x", 2), "   x");
    EXPECT_EQ(expand_leading_indent("\t \t", 0), "        ");
    EXPECT_EQ(expand_leading_indent("", 3), "");
}

TEST(LineIndent, ColumnsAndBytes) {
    EXPECT_EQ(leading_indent_columns("   x"), 3u);
    EXPECT_EQ(leading_indent_columns(" \tx"), 4u);
    EXPECT_EQ(leading_indent_columns("\t x"), 5u);
    EXPECT_EQ(leading_indent_columns("x"), 0u);
    EXPECT_EQ(leading_indent_columns("     \tx"), 8u);   // a tab after a run of spaces
    EXPECT_EQ(leading_indent_columns("  \t  \tx"), 8u);
    EXPECT_EQ(leading_indent_bytes("      "), 6u);       // spaces to the end
    EXPECT_EQ(leading_indent_bytes(" \t x"), 3u);
    EXPECT_EQ(leading_indent_bytes("\xC2\xA0x"), 0u);  // only spaces and tabs are indentation
}

TEST(LineBlank, UnicodeWhiteSpace) {
    EXPECT_TRUE(is_blank(""));
    EXPECT_TRUE(is_blank(" \t\r\f"));
    EXPECT_TRUE(is_blank(" \xC2\xA0\xE3\x80\x80"));
    EXPECT_FALSE(is_blank(" \xE2\x80\x8B"));  // zero-width space is not white space
    EXPECT_FALSE(is_blank("  x "));
}

TEST(LineTrim, InlineFormsAgreeWithUnicodeTrim) {
    // The inline forms decide by the first and last byte; whatever those are,
    // the result must be that of the full trim.
    const std::string cases[] = {
        "",          "x",          " x",          "x ",          "\tx\t",       "\vx\f",
        "x\r",       "\x7Fx\x7F",  "\xC2\xA0x",   "x\xC2\xA0",   "\xC2\xA0",     "x\xE3\x80\x80",
        "\xC3\xA9",  "x \xC3\xA9",  "\xE2\x80\x8Bx", "x y",      "  ",           "a\xC2\x85",
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trim_white_space_start(c), trim_unicode_start(c)) << '"' << c << '"';
        EXPECT_EQ(trim_white_space(c), trim_unicode(c)) << '"' << c << '"';
        EXPECT_EQ(is_blank(c), trim_unicode(c).empty()) << '"' << c << '"';
    }
}

TEST(LineAscii, CaseHelpers) {
    EXPECT_EQ(ascii_lowercase("DiV\xC3\x89"), "div\xC3\x89");
    EXPECT_TRUE(starts_with_ignore_ascii_case("<SCRIPT>", "<script"));
    EXPECT_FALSE(starts_with_ignore_ascii_case("<scr", "<script"));
}
