// Output balancing: repairs the nesting of tags in an XHTML fragment.
#pragma once
#include <string>
#include <string_view>
namespace quenlor {
// Closes what is left open, drops end tags that close nothing, closes elements
// an end tag skips over, and self-closes void elements. One pass; never fails.
std::string balance_fragment(std::string_view text);
}
