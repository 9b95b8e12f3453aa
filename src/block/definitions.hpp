// Link reference and abbreviation definitions read from source lines.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../ast.hpp"
#include "../attrs.hpp"

namespace quenlor {

struct LinkRefDef {
    std::string label;  // as written
    LinkRef ref;
    std::size_t next_line = 0;  // index of the first line after the definition
};

struct AbbrDef {
    std::string abbr;
    std::string expansion;
};

std::optional<LinkRefDef> parse_link_ref_at(const std::vector<std::string>& lines, std::size_t count,
                                            std::size_t index, const AttrDefs& defs);
std::optional<AbbrDef> parse_abbr_def(std::string_view line);

struct ScannedDestination {
    std::string destination;  // unescaped and decoded
    std::size_t consumed = 0;
};
std::optional<ScannedDestination> scan_link_ref_destination(std::string_view text);

struct ScannedTitle {
    std::string title;
    std::string after;          // text after the closing character
    std::size_t next_line = 0;  // first line not used
};
std::optional<ScannedTitle> scan_link_ref_title_lines(std::string title_so_far, const std::vector<std::string>& lines,
                                                      std::size_t count, std::size_t next_line);
std::optional<Attr> parse_link_ref_attrs(std::string_view text, const AttrDefs& defs);
bool starts_definition_title(std::string_view text);

}  // namespace quenlor
