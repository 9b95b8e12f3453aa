// The block-at-a-time byte search must agree with a plain search at every
// length and position, across the sixteen-byte boundaries in particular.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "byte_scan.hpp"

using namespace quenlor;

TEST(ByteScan, AgreesWithAPlainSearch) {
    const std::string_view set = "&<>\"";
    for (std::size_t len = 0; len <= 70; ++len) {
        // Every position of one hit, a hit of each byte in the set, and no hit at all.
        for (std::size_t hit = 0; hit <= len; ++hit) {
            for (char c : set) {
                std::string s(len, 'a');
                for (std::size_t i = 0; i < len; ++i) s[i] = static_cast<char>(0x80 + (i * 7) % 0x7F);  // high bytes too
                if (hit < len) s[hit] = c;
                const char* end = s.data() + s.size();
                const char* found = find_first_of_bytes<'&', '<', '>', '"'>(s.data(), end);
                const std::size_t expected = std::string_view(s).find_first_of(set);
                EXPECT_EQ(static_cast<std::size_t>(found - s.data()), expected == std::string_view::npos ? len : expected)
                    << "length " << len << " hit " << hit;
            }
        }
    }
}

// Several hits, searches that start inside the text, and a set small enough
// to be tested byte by byte without a table: the first hit wins each time.
TEST(ByteScan, FirstOfSeveralHitsFromAnyStart) {
    unsigned seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 3000; ++round) {
        std::string s(next() % 60, 'x');
        for (char& c : s) c = next() % 16 == 0 ? "&<\n"[next() % 3] : "ab \xC3"[next() % 4];  // sparse hits
        const std::size_t from = s.empty() ? 0 : next() % (s.size() + 1);
        const char* begin = s.data() + from;
        const char* end = s.data() + s.size();
        const std::size_t wide = std::string_view(s).find_first_of("&<\n", from);
        const std::size_t narrow = std::string_view(s).find_first_of("&<", from);
        const auto wide_at = static_cast<std::size_t>(find_first_of_bytes<'&', '<', '\n'>(begin, end) - s.data());
        const auto narrow_at = static_cast<std::size_t>(find_first_of_bytes<'&', '<'>(begin, end) - s.data());
        EXPECT_EQ(wide_at, wide == std::string_view::npos ? s.size() : wide) << s << " from " << from;
        EXPECT_EQ(narrow_at, narrow == std::string_view::npos ? s.size() : narrow) << s << " from " << from;
    }
}

// The range search stops at bytes below, above (multibyte characters among
// them) and listed inside the range, wherever they fall in the text.
TEST(ByteScan, OutsideRangeAgreesWithAPlainSearch) {
    unsigned seed = 5;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    const auto stops = [](unsigned char b) { return b < 0x21 || b > 0x7E || b == '&' || b == '<'; };
    for (int round = 0; round < 4000; ++round) {
        std::string s(next() % 70, 'x');
        for (char& c : s) c = next() % 12 == 0 ? " &<\x7F\xC3\x01"[next() % 6] : "az/?=%~!"[next() % 8];
        const std::size_t from = s.empty() ? 0 : next() % (s.size() + 1);
        std::size_t expected = from;
        while (expected < s.size() && !stops(static_cast<unsigned char>(s[expected]))) ++expected;
        const char* found = find_first_outside<0x21, 0x7E, '&', '<'>(s.data() + from, s.data() + s.size());
        EXPECT_EQ(static_cast<std::size_t>(found - s.data()), expected) << s << " from " << from;
    }
}

// The word search finds what a plain search finds: words cut by the end of
// the text or by a sixteen-byte boundary, runs of the doubled letter longer
// than the word's ("wwww."), pairs that start no word, and words whose
// first two bytes differ.
TEST(ByteScan, WordAgreesWithAPlainSearch) {
    unsigned seed = 11;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 6000; ++round) {
        std::string s(next() % 70, 'x');
        for (char& c : s) c = "ww.a \xC3"[next() % 6];
        const std::size_t from = s.empty() ? 0 : next() % (s.size() + 1);
        const char* end = s.data() + s.size();
        for (std::string_view word : {"www.", "w.a", ".a"}) {  // a doubled letter or not
            const std::size_t expected = std::string_view(s).find(word, from);
            const char* found = find_word(s.data() + from, end, word);
            EXPECT_EQ(static_cast<std::size_t>(found - s.data()), expected == std::string_view::npos ? s.size() : expected)
                << word << " in " << s << " from " << from;
        }
    }
    for (std::size_t len = 4; len <= 40; ++len) {
        for (std::size_t at = 0; at + 4 <= len; ++at) {
            std::string s(len, 'w');  // only the dot makes the word
            s[at + 3] = '.';
            EXPECT_EQ(static_cast<std::size_t>(find_word(s.data(), s.data() + len, "www.") - s.data()), at)
                << s;
        }
    }
}

TEST(ByteScan, SameByteSet) {
    static_assert(same_byte_set<'a', 'b'>("ba", 2));
    static_assert(!same_byte_set<'a', 'b'>("a", 1));
    static_assert(!same_byte_set<'a'>("ab", 2));
}
