// Smart punctuation.
#pragma once
#include <string>
#include <string_view>
#include "ast.hpp"
namespace quenlor::smart {
std::string smarten(std::string_view text);
bool opening_context(char32_t previous);
void apply(Document& document);
}
