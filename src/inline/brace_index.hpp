// Cheap, exact refusal of attribute blocks that cannot be read, so that a
// text full of "{" after links, spans and code stays linear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quenlor {

// Built once per scanned text, on the first attribute block it is asked about.
class BraceIndex {
public:
    // False only when reading an attribute block at `pos` (a "{") is bound to
    // fail: with `trailing`, as trailing_attr reads it, otherwise as
    // parse_braced_attr does. True means: try it.
    bool may_read(std::string_view text, std::size_t pos, bool trailing);

private:
    void build(std::string_view text);

    bool built_ = false;
    bool usable_ = false;
    // first "}" outside quotes from each position, starting outside quotes,
    // inside a double-quoted and inside a single-quoted run
    std::vector<std::uint32_t> close_[3];
    std::vector<std::uint32_t> next_eq_;  // first "=" at or after each position
    std::vector<std::uint32_t> next_ws_;  // first white-space character at or after each position
};

}  // namespace quenlor
