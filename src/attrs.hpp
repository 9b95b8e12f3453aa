// The brace attribute language, fence info strings, HTML attribute lists and
// link labels.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ast.hpp"

namespace quenlor {

// Named attribute definitions ("{:name: ...}"), read by every attribute parse.
using AttrDefs = std::unordered_map<std::string, Attr>;

struct AttrLine {
    enum class Kind { None, Attributes, Definition } kind = Kind::None;
    std::string name;  // Definition only
    Attr attr;
};

struct BracedAttr {
    Attr attr;
    std::size_t consumed = 0;  // closing brace included
};

struct TrailingAttrSplit {
    std::string text;
    Attr attr;
};

struct FenceInfo {
    std::string info;
    std::optional<std::string> lang;
    Attr attr;
};

struct RawFormat {
    std::string format;
    std::size_t consumed = 0;
};

struct HtmlAttrs {
    Attr attr;
    std::optional<std::string> markdown;
};

std::vector<std::string> attr_tokens(std::string_view text);
std::string unescape_attr(std::string_view text);
Attr parse_attrs_body(std::string_view text, const AttrDefs& defs);
bool looks_like_attrs(std::string_view text, bool colon_form);
std::optional<BracedAttr> parse_braced_attr(std::string_view text, const AttrDefs& defs);
TrailingAttrSplit strip_trailing_attr(std::string_view text, const AttrDefs& defs);
AttrLine parse_attr_line(std::string_view line, const AttrDefs& defs);
std::optional<Attr> parse_synthetic_attrs(std::string_view text, const AttrDefs& defs);
std::optional<RawFormat> raw_attr(std::string_view text);
FenceInfo parse_fence_info(std::string_view info, const AttrDefs& defs);
HtmlAttrs parse_html_attrs(std::string_view text);
bool is_definition_name(std::string_view name);
// Drops every backslash that precedes an ASCII punctuation character.
std::string unescape_backslash_punctuation(std::string_view text);

// ---- link labels ----
struct ScannedLabel {
    std::string content;
    std::size_t consumed = 0;  // brackets included
};
std::optional<ScannedLabel> scan_link_label(std::string_view text);
bool valid_link_label(std::string_view content, bool allow_blank);
std::string normalize_label(std::string_view content);

}  // namespace quenlor
