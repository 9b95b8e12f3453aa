// The option record of one conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quenlor {

// Ordered: a test for Brackets "or later" is true for Brackets and Dollars.
enum class MathMode : std::uint8_t { Off = 0, On = 1, Brackets = 2, Dollars = 3 };

struct Options {
    std::uint64_t max_inline_depth = 64;
    std::uint64_t max_block_depth = 128;
    std::uint64_t max_link_paren_depth = 32;
    MathMode math = MathMode::Brackets;
    bool tagfilter = false;
    bool balance = false;
    bool auto_ids = true;
    bool smart = false;
};

// "off", "on", "brackets", "dollars" (exact, case-sensitive); nothing otherwise.
std::optional<MathMode> parse_math_mode(std::string_view text);

}  // namespace quenlor
