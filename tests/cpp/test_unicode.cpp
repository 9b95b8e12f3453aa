#include <gtest/gtest.h>

#include "unicode.hpp"

using namespace quenlor;

TEST(UnicodeDecode, ValidAndInvalidSequences) {
    struct Case {
        std::string text;
        char32_t cp;
        std::size_t advance;
    } cases[] = {
        {"a", U'a', 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xE2\x82\xAC", 0x20AC, 3},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\xC0\xAF", 0xFFFD, 1},              // overlong
        {"\xED\xA0\x80", 0xFFFD, 1},          // surrogate
        {"\xE2\x82", 0xFFFD, 1},              // truncated
        {"\x80", 0xFFFD, 1},                  // stray continuation
        {"\xF4\x90\x80\x80", 0xFFFD, 1},      // beyond U+10FFFF
    };
    for (const auto& c : cases) {
        std::size_t pos = 0;
        EXPECT_EQ(decode_utf8(c.text, pos), c.cp) << c.text;
        EXPECT_EQ(pos, c.advance) << c.text;
    }
}

TEST(UnicodeDecode, Before) {
    std::string s = "a\xC3\xA9\xF0\x9F\x98\x80";
    std::size_t len = 0;
    EXPECT_EQ(decode_utf8_before(s, s.size(), &len), 0x1F600u);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(decode_utf8_before(s, 3, &len), 0xE9u);
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(decode_utf8_before(s, 1, &len), U'a');
    EXPECT_EQ(decode_utf8_before(s, 0, &len), 0u);
    // Pointing into the middle of a character is not a boundary.
    EXPECT_EQ(decode_utf8_before(s, 2, &len), 0xFFFDu);
    EXPECT_EQ(len, 1u);
}

TEST(UnicodeEncode, RoundTripsEveryLength) {
    for (char32_t c : {U'A', char32_t(0xE9), char32_t(0x20AC), char32_t(0x1F600), char32_t(0x10FFFF)}) {
        std::string s;
        append_utf8(s, c);
        std::size_t pos = 0;
        EXPECT_EQ(decode_utf8(s, pos), c);
        EXPECT_EQ(pos, s.size());
    }
}

TEST(UnicodeProperties, Classes) {
    // White_Space excludes the information separators U+001C..U+001F and ZWSP.
    for (char32_t c : {0x09, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A, 0x2028, 0x202F, 0x3000})
        EXPECT_TRUE(is_white_space(c)) << std::hex << unsigned(c);
    for (char32_t c : {0x1C, 0x1F, 0x200B, 0xFEFF, 0x41})
        EXPECT_FALSE(is_white_space(c)) << std::hex << unsigned(c);

    EXPECT_TRUE(is_alphabetic(U'z'));
    EXPECT_TRUE(is_alphabetic(0xE9));
    EXPECT_TRUE(is_alphabetic(0x4E00));
    EXPECT_FALSE(is_alphabetic(U'5'));
    EXPECT_FALSE(is_alphabetic(0x2014));

    EXPECT_TRUE(is_numeric(U'7'));
    EXPECT_TRUE(is_numeric(0x0663));   // Arabic-Indic digit three (Nd)
    EXPECT_TRUE(is_numeric(0x2163));   // Roman numeral four (Nl)
    EXPECT_TRUE(is_numeric(0x00BD));   // one half (No)
    EXPECT_FALSE(is_numeric(U'x'));

    // ASCII symbols are not general category P.
    for (char32_t c : U"!\"#%&'()*,-./:;?@[\\]_{}") EXPECT_TRUE(c == 0 || is_punctuation(c)) << char(c);
    for (char32_t c : U"$+<=>^`|~") EXPECT_TRUE(c == 0 || !is_punctuation(c)) << char(c);
    EXPECT_TRUE(is_punctuation(0x2014));  // em dash
    EXPECT_TRUE(is_punctuation(0x00BF));  // inverted question mark
    EXPECT_FALSE(is_punctuation(0x20AC)); // euro sign is a symbol
}

TEST(UnicodeLower, FullMappingAndSigma) {
    struct Case {
        std::string in, full, no_context;
    } cases[] = {
        {"ABC xyz", "abc xyz", "abc xyz"},
        {"\xC4\xB0", "i\xCC\x87", "i\xCC\x87"},                 // U+0130 -> i + dot above
        {"\xE1\xBA\x9E", "\xC3\x9F", "\xC3\x9F"},               // capital sharp s -> sharp s
        {"\xC3\x9F", "\xC3\x9F", "\xC3\x9F"},                   // no case folding to "ss"
        {"\xCE\x91\xCE\xA3", "\xCE\xB1\xCF\x82", "\xCE\xB1\xCF\x83"},  // final sigma only in context
        {"\xCE\xA3", "\xCF\x83", "\xCF\x83"},                   // lone sigma is not final
        {"\xCE\x91\xCE\xA3\xCE\x91", "\xCE\xB1\xCF\x83\xCE\xB1", "\xCE\xB1\xCF\x83\xCE\xB1"},
        {"\xCE\x91\xCE\xA3.", "\xCE\xB1\xCF\x82.", "\xCE\xB1\xCF\x83."},
        {"\xD0\x96", "\xD0\xB6", "\xD0\xB6"},                   // Cyrillic
        {"\xE2\x85\xA0", "\xE2\x85\xB0", "\xE2\x85\xB0"},       // Roman numeral one
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", "\xF0\x90\x90\xA8"},  // Deseret
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lowercase_full(c.in), c.full) << c.in;
        EXPECT_EQ(lowercase_no_context(c.in), c.no_context) << c.in;
    }
}

TEST(UnicodeWidth, Columns) {
    struct Case {
        char32_t c;
        unsigned width;
    } cases[] = {
        {U'a', 1}, {0x07, 0}, {0x7F, 0}, {0x9F, 0}, {0xE9, 1},
        {0x0301, 0},   // combining acute
        {0x20DD, 0},   // enclosing circle
        {0x200B, 0}, {0x200D, 0}, {0xFEFF, 0},
        {0x00AD, 1},   // soft hyphen shows
        {0x1160, 0},   // Hangul medial vowel
        {0x4E00, 2}, {0xAC00, 2}, {0xFF21, 2}, {0x3000, 2}, {0x1F600, 2},
        {0x00B1, 1},   // ambiguous counts as narrow
        {0xFF61, 1},   // halfwidth
    };
    for (const auto& c : cases) EXPECT_EQ(east_asian_column_width(c.c), c.width) << std::hex << unsigned(c.c);
}

TEST(UnicodeTrim, WhiteSpaceOnly) {
    EXPECT_EQ(trim_unicode(" \t\xE3\x80\x80x y\xC2\xA0\n"), "x y");
    EXPECT_EQ(trim_unicode_start("\xE2\x80\x8Bx "), "\xE2\x80\x8Bx ");  // ZWSP is not white space
    EXPECT_EQ(trim_unicode_end(" x\xE2\x80\xA9"), " x");
    EXPECT_EQ(trim_unicode(" \xC2\x85 "), "");
    EXPECT_EQ(trim_unicode(""), "");
}
