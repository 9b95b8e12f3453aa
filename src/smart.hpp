// Smart punctuation.
#pragma once
#include <string>
#include <string_view>
#include "ast.hpp"
namespace quenlor::smart {
// Stands for "no previous character" (the start of a text).
inline constexpr char32_t no_previous = 0x110000;
// Converted copy of one text: curly quotes, en and em dashes, ellipses.
std::string smarten(std::string_view text);
// Whether a quotation mark after this character opens.
bool opening_context(char32_t previous);
// Converts the text nodes of the body, then of every footnote.
void apply(Document& document);
}
