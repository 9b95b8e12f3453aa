// Line predicates shared by the container builder, the leaf rules and tables.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quenlor {

struct ListMarker {
    std::size_t start = 1;       // number of the first item (1 for bullets)
    std::size_t marker_end = 0;  // byte just after the marker
    std::size_t marker_end_col = 0;
    std::size_t content_col = 0;
    char delimiter = '-';        // bullet character, '.' or ')'
    bool ordered = false;
};

// The marker at the start of the text; a call only for text that begins with
// a space, a bullet or a digit (most lines begin otherwise).
std::optional<ListMarker> parse_list_marker(std::string_view text);
inline std::optional<ListMarker> list_marker(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const char c = text[0];
    if (c != ' ' && c != '-' && c != '+' && c != '*' && (c < '0' || c > '9')) return std::nullopt;
    return parse_list_marker(text);
}
bool list_interrupts_paragraph(std::string_view text);
std::string strip_quote_marker(std::string_view text);
// The same as a view into the text or into `buf` (see Line::strip_view).
std::string_view strip_quote_marker_view(std::string_view text, std::string& buf);
// Definition marker (":" or "~" then whitespace): the content after it.
std::optional<std::string> def_marker(std::string_view text);
// Whether the line has one (without making its content).
bool has_def_marker(std::string_view text);
bool thematic_line(std::string_view text);
bool starts_block(std::string_view text);
bool is_lazy_paragraph_continuation(std::string_view text);
// Whether a line that begins with this byte (unindented) can start no block
// and no container: a letter, "[", "!", "(" or a quote.
inline bool starts_nothing(char first) {
    return (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z') || first == '[' || first == '!' ||
           first == '(' || first == '"' || first == '\'';
}
bool span_kind_accepts_attrs(std::string_view kind);

}  // namespace quenlor
