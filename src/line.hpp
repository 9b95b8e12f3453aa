// Source lines, columns and indentation (tab stops every 4 columns).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "unicode.hpp"

namespace quenlor {

// A read-only view of part of a line for stripping indentation: the text, the
// byte position where stripping starts, and the column that position has in
// the whole source line (so tab stops stay aligned with the full line).
struct Line {
    std::string_view text;
    std::size_t pos = 0;
    std::size_t col = 0;

    // Text from pos on with whitespace removed up to `target` column; a tab
    // that straddles the target is split and its remainder kept as spaces.
    static std::string strip_from(const Line& line, std::size_t target);
    // The same as a view: into the line's own text when the result is a plain
    // suffix of it (nothing to rewrite, the common case), else into `buf`,
    // which is overwritten (the line may be a view into `buf` itself).
    static std::string_view strip_view(const Line& line, std::size_t target, std::string& buf);
};

// The text with its leading spaces and tabs rewritten as spaces, the text being
// taken to start at column `start_col`.
std::string expand_leading_indent(std::string_view text, std::size_t start_col);

inline bool is_ascii_space_or_tab(char c) { return c == ' ' || c == '\t'; }

// The leading run of spaces and tabs: its length in bytes and the column of
// the first character after it, counting from column 0 (the shared
// indentation rule of the block predicates).
struct Indent {
    std::size_t bytes = 0;
    std::size_t columns = 0;
};
// The run measured, for text that begins with a space or a tab.
Indent leading_indent_slow(std::string_view text);
inline Indent leading_indent(std::string_view text) {
    // Most lines are not indented: decided without a call.
    if (text.empty() || !is_ascii_space_or_tab(text[0])) return {};
    return leading_indent_slow(text);
}
inline std::size_t leading_indent_columns(std::string_view text) { return leading_indent(text).columns; }
inline std::size_t leading_indent_bytes(std::string_view text) { return leading_indent(text).bytes; }

// The full blank test, for text whose first byte did not decide.
bool is_blank_slow(std::string_view text);
// Blank: nothing left after trimming Unicode White_Space.
inline bool is_blank(std::string_view text) {
    // Most lines start with a visible ASCII byte or are empty: decided
    // without a call.
    if (text.empty()) return true;
    const auto b = static_cast<unsigned char>(text[0]);
    if (b > ' ' && b < 0x80) return false;
    return is_blank_slow(text);
}

// trim_unicode_start and trim_unicode with the usual case decided inline: text
// that begins (and ends) with a visible ASCII byte has nothing to trim there.
inline bool is_visible_ascii(char c) { return static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x7F; }
inline std::string_view trim_white_space_start(std::string_view s) {
    return !s.empty() && is_visible_ascii(s.front()) ? s : trim_unicode_start(s);
}
inline std::string_view trim_white_space(std::string_view s) {
    return !s.empty() && is_visible_ascii(s.front()) && is_visible_ascii(s.back()) ? s : trim_unicode(s);
}

// ASCII helpers used throughout the parsers.
inline bool is_ascii_whitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool is_ascii_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_ascii_alnum(char c) { return is_ascii_alpha(c) || is_ascii_digit(c); }
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
std::string ascii_lowercase(std::string_view s);
bool starts_with_ignore_ascii_case(std::string_view s, std::string_view prefix);

}  // namespace quenlor
