// Output balancing: repairs the nesting of tags in an XHTML fragment.
#pragma once
#include <string>
#include <string_view>
namespace quenlor {
std::string balance_fragment(std::string_view text);
}
