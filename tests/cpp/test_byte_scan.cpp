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

TEST(ByteScan, SameByteSet) {
    static_assert(same_byte_set<'a', 'b'>("ba", 2));
    static_assert(!same_byte_set<'a', 'b'>("a", 1));
    static_assert(!same_byte_set<'a'>("ab", 2));
}
