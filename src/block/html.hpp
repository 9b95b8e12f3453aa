// HTML at block level: tag scanners, the tag-name tables and the start and end
// conditions of HTML blocks.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "../ast.hpp"

namespace quenlor {

// How an HTML block ends.
struct HtmlBlockEnd {
    enum class Kind { BlankLine, Marker, TagDepth } kind = Kind::BlankLine;
    std::string text;       // Marker: the text to look for; TagDepth: the tracked name
    std::size_t depth = 0;  // TagDepth only
};

struct OpenTag {
    std::string name;  // lower case
    Attr attr;
    std::optional<std::string> markdown;  // value of a "markdown" attribute
    std::size_t end = 0;                  // byte just after the closing ">"
    bool self_closing = false;
};

// "<name" or "</name" followed by whitespace, "/", ">" or the end: the name in
// lower case.
std::optional<std::string> html_tag_name(std::string_view text);
// Byte length of the tag name at the start of text (0 when there is none).
std::size_t tag_name_end(std::string_view text);
// Without `with_attrs` the attributes are only checked, not read (attr and
// markdown stay empty): most callers need the name alone.
std::optional<OpenTag> parse_open_tag(std::string_view text, bool with_attrs = true);
// The attribute part of an opening tag, trimmed, when its syntax is valid.
std::optional<std::string_view> valid_open_tag_attrs(std::string_view text);

bool is_void_html_tag(std::string_view name);
bool is_commonmark_block_html_tag(std::string_view name);
// Elements whose blocks follow tag nesting (names with "-" qualify as well).
bool is_nesting_html_tag(std::string_view name);

// Updates depth by the tags named `name` on one line.
void update_html_tag_depth(std::string_view line, std::string_view name, std::size_t& depth);
// Whether a Marker end condition is met on the line (false for the others).
bool html_block_closed_on_line(const HtmlBlockEnd& end, std::string_view line);

struct HtmlBlockStart {
    HtmlBlockEnd end;
    bool closed = false;  // the first line already meets the end condition
};
// Start of an HTML block on this line (leading whitespace allowed).
std::optional<HtmlBlockStart> html_block_start(std::string_view text);

// Case-insensitive search of `needle` (lower case ASCII) in `hay`.
std::size_t find_ignore_ascii_case(std::string_view hay, std::string_view needle, std::size_t from = 0);

}  // namespace quenlor
