// Automatic heading identifiers.
#pragma once
#include <string>
#include <string_view>
#include "ast.hpp"
namespace quenlor::auto_ids {
// Gives every heading without an id one derived from its text (footnote bodies
// are not visited).
void assign(Document& document);
// The identifier base for a heading's plain text, before making it unique.
std::string slug(std::string_view text);
}
