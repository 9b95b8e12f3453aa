// The tag filter: neutralises the opening of nine raw-text and embedding elements.
#pragma once

#include <string>
#include <string_view>

namespace quenlor {

bool is_tagfiltered_start(std::string_view text);
std::string tagfilter_html(std::string_view text);

}  // namespace quenlor
