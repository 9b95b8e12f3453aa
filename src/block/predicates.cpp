#include "predicates.hpp"

#include "../line.hpp"
#include "../unicode.hpp"
#include "definitions.hpp"
#include "html.hpp"

namespace quenlor {

namespace {

// Whitespace allowed right after a list marker.
bool is_marker_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// The first character after the leading indentation, when the indentation is
// at most 3 columns; nothing otherwise (or when the line is only indentation).
std::optional<std::size_t> shallow_content_start(std::string_view text) {
    const Indent in = leading_indent(text);
    if (in.columns > 3 || in.bytes >= text.size()) return std::nullopt;
    return in.bytes;
}

// Column reached after the leading spaces and tabs of `text`, starting at `col`.
std::size_t column_after(std::string_view text, std::size_t col, std::size_t* bytes) {
    std::size_t i = 0;
    while (i < text.size() && is_ascii_space_or_tab(text[i])) {
        col = text[i] == '\t' ? (col / 4) * 4 + 4 : col + 1;
        ++i;
    }
    if (bytes) *bytes = i;
    return col;
}

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

}  // namespace

std::optional<ListMarker> parse_list_marker(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i > 3 || i >= text.size() || text[i] == '\t') return std::nullopt;
    ListMarker m;
    char c = text[i];
    std::size_t end;
    if (c == '-' || c == '+' || c == '*') {
        end = i + 1;
        m.start = 1;
        m.delimiter = c;
        m.ordered = false;
    } else if (is_ascii_digit(c)) {
        std::size_t j = i;
        std::size_t n = 0;
        while (j < text.size() && is_ascii_digit(text[j])) {
            n = n * 10 + std::size_t(text[j] - '0');
            ++j;
        }
        if (j - i > 9 || j >= text.size() || (text[j] != '.' && text[j] != ')')) return std::nullopt;
        m.start = n;
        m.delimiter = text[j];
        m.ordered = true;
        end = j + 1;
    } else {
        return std::nullopt;
    }
    if (end < text.size() && !is_marker_space(text[end])) return std::nullopt;
    m.marker_end = end;
    m.marker_end_col = end;  // only spaces precede the marker
    std::size_t skipped = 0;
    std::size_t col = column_after(text.substr(end), m.marker_end_col, &skipped);
    std::size_t gap = col - m.marker_end_col;
    bool line_ends = end + skipped >= text.size();
    m.content_col = (!line_ends && gap >= 1 && gap <= 4) ? col : m.marker_end_col + 1;
    return m;
}

bool list_interrupts_paragraph(std::string_view text) {
    auto m = list_marker(text);
    if (!m) return false;
    if (is_blank(text.substr(m->marker_end))) return false;
    return !m->ordered || m->start == 1;
}

std::string_view strip_quote_marker_view(std::string_view text, std::string& buf) {
    const Indent in = leading_indent(text);
    if (in.columns > 3 || in.bytes >= text.size() || text[in.bytes] != '>') return text;
    std::size_t col = in.columns + 1;
    std::string_view after = text.substr(in.bytes + 1);
    std::size_t target = (!after.empty() && is_ascii_space_or_tab(after[0])) ? col + 1 : col;
    return Line::strip_view(Line{after, 0, col}, target, buf);
}

std::string strip_quote_marker(std::string_view text) {
    std::string buf;
    return std::string(strip_quote_marker_view(text, buf));
}

namespace {
// The text after a definition marker, or nothing when the line has none.
std::optional<std::string_view> after_def_marker(std::string_view text) {
    auto b = shallow_content_start(text);
    if (!b || (text[*b] != ':' && text[*b] != '~')) return std::nullopt;
    std::string_view after = text.substr(*b + 1);
    if (after.empty()) return std::nullopt;
    std::size_t pos = 0;
    char32_t c = decode_utf8(after, pos);
    if (!is_ascii_whitespace(after[0]) && !is_white_space(c)) return std::nullopt;
    return after;
}
}  // namespace

bool has_def_marker(std::string_view text) { return after_def_marker(text).has_value(); }

std::optional<std::string> def_marker(std::string_view text) {
    auto after = after_def_marker(text);
    if (!after) return std::nullopt;
    return Line::strip_from(Line{*after, 0, 0}, 3);
}

bool thematic_line(std::string_view text) {
    // Most lines are ruled out by their first byte after spaces and tabs: any
    // ASCII byte but a marker or other white space.
    const Indent in = leading_indent(text);
    const std::size_t first = in.bytes;
    if (first == text.size()) return false;
    const auto lead = static_cast<unsigned char>(text[first]);
    if (lead < 0x80 && lead != '*' && lead != '-' && lead != '_' && !is_ascii_whitespace(static_cast<char>(lead)))
        return false;
    if (in.columns > 3) return false;
    // Most lines that start with a marker (list items, emphasis) show within
    // a few bytes that they are not a break: an ASCII byte other than a
    // marker or white space.
    for (std::size_t i = first; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80 || b == '*' || b == '-' || b == '_' || is_ascii_whitespace(static_cast<char>(b))) continue;
        return false;
    }
    std::string_view t = trim_white_space(text);
    char kind = 0;
    std::size_t count = 0;
    for (char c : t) {
        if (c == ' ' || c == '\t') continue;
        if (c != '*' && c != '-' && c != '_') return false;
        if (kind == 0) kind = c;
        else if (c != kind) return false;
        ++count;
    }
    return count >= 3;
}

bool starts_block(std::string_view text) {
    auto b = shallow_content_start(text);
    if (!b) return false;
    std::string_view t = text.substr(*b);
    char c = t[0];
    if (c == '>' || c == '#') return true;
    if ((c == '`' || c == '~' || c == ':') && t.size() >= 3 && t[1] == c && t[2] == c) return true;
    if (c == '*' && t.size() > 1 && t[1] == '[' && parse_abbr_def(text)) return true;
    if (c == '<') {
        if (starts_with(t, "<!--") || starts_with(t, "<?") || starts_with_ignore_ascii_case(t, "<![cdata["))
            return true;
        if (t.size() > 2 && t[1] == '!' && is_ascii_alpha(t[2])) return true;
        if (auto name = html_tag_name(t)) {
            // Raw-text elements start a block only with their opening tag.
            const std::string& n = *name;
            bool closing = t.size() > 1 && t[1] == '/';
            if (is_commonmark_block_html_tag(n)) return true;
            if (!closing && (n == "pre" || n == "style" || n == "script" || n == "textarea")) return true;
        }
    }
    // A thematic break begins with a marker (or other white space or a
    // non-ASCII byte); most lines are ruled out here without the call.
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80 && c != '*' && c != '-' && c != '_' && !is_ascii_whitespace(c)) return false;
    return thematic_line(text);
}

bool is_lazy_paragraph_continuation(std::string_view text) {
    if (!text.empty() && starts_nothing(text[0])) return true;
    std::string_view t = text;
    for (;;) {
        auto b = shallow_content_start(t);
        if (!b || t[*b] != '>') break;
        t = t.substr(*b + 1);
        if (!t.empty() && is_ascii_space_or_tab(t[0])) t = t.substr(1);
    }
    if (is_blank(t) || leading_indent_columns(t) > 3) return false;
    return !starts_block(t) && !list_marker(t) && !has_def_marker(t);
}

bool span_kind_accepts_attrs(std::string_view kind) {
    static constexpr std::string_view accepted[] = {
        "div",        "list",      "table",          "heading",        "paragraph",       "code_block",
        "math_block", "block_quote", "html_container", "thematic_break", "definition_list",
    };
    for (auto k : accepted)
        if (k == kind) return true;
    return false;
}

}  // namespace quenlor
