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
// Whether smarten would change anything in the text.
bool has_smart_candidate(std::string_view text);
// Converts the text nodes of the body, then of every footnote.
void apply(Document& document);
// Converts the text nodes of a list and of the lists inside its nodes.
void apply(Inlines& list);
}
