// Character references: named (HTML5 list), decimal and hexadecimal.
#pragma once

#include <string>
#include <string_view>

namespace quenlor {

std::string decode_entities(std::string_view text);

// Looks up a named reference; `name` excludes "&" and ";". Returns the
// replacement UTF-8 text, or an empty view when the name is unknown.
std::string_view lookup_named_entity(std::string_view name);

}  // namespace quenlor
