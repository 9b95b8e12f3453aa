#include "options.hpp"

namespace quenlor {

std::optional<MathMode> parse_math_mode(std::string_view text) {
    if (text == "off") return MathMode::Off;
    if (text == "on") return MathMode::On;
    if (text == "brackets") return MathMode::Brackets;
    if (text == "dollars") return MathMode::Dollars;
    return std::nullopt;
}

}  // namespace quenlor
