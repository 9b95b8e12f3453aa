// Unicode character data compiled in from generated tables (unicode_tables.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quenlor {

// Decodes one code point at pos and advances pos past it. Invalid or truncated
// sequences yield U+FFFD and advance by one byte, so scanning never stalls.
// At or past the end it returns 0 and leaves pos alone.
char32_t decode_utf8_sequence(std::string_view s, std::size_t& pos);
inline char32_t decode_utf8(std::string_view s, std::size_t& pos) {
    // ASCII, most of any text, without a call.
    if (pos < s.size() && static_cast<unsigned char>(s[pos]) < 0x80) return static_cast<unsigned char>(s[pos++]);
    return decode_utf8_sequence(s, pos);
}
// Code point ending just before pos (pos itself is not moved); U+FFFD when invalid,
// 0 when pos is 0. `len` receives the byte length of that character.
char32_t decode_utf8_sequence_before(std::string_view s, std::size_t pos, std::size_t* len);
inline char32_t decode_utf8_before(std::string_view s, std::size_t pos, std::size_t* len = nullptr) {
    if (pos > 0 && static_cast<unsigned char>(s[pos - 1]) < 0x80) {
        if (len) *len = 1;
        return static_cast<unsigned char>(s[pos - 1]);
    }
    return decode_utf8_sequence_before(s, pos, len);
}
// Byte length of the UTF-8 sequence whose lead byte is b (1 for invalid bytes).
inline std::size_t utf8_len(unsigned char b) {
    return b < 0x80 ? 1 : b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1;
}
void append_utf8(std::string& out, char32_t c);

// The character properties, decided inline for ASCII and by table beyond it.
bool is_white_space_beyond_ascii(char32_t c);
bool is_alphabetic_beyond_ascii(char32_t c);
bool is_numeric_beyond_ascii(char32_t c);
bool is_punctuation_beyond_ascii(char32_t c);
inline bool is_ascii_punctuation(char32_t c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
           (c >= '{' && c <= '~');
}
// White_Space property
inline bool is_white_space(char32_t c) {
    return c < 0x80 ? c == ' ' || (c >= 0x09 && c <= 0x0D) : is_white_space_beyond_ascii(c);
}
// Alphabetic property
inline bool is_alphabetic(char32_t c) {
    return c < 0x80 ? (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') : is_alphabetic_beyond_ascii(c);
}
// general category Nd, Nl or No
inline bool is_numeric(char32_t c) { return c < 0x80 ? c >= '0' && c <= '9' : is_numeric_beyond_ascii(c); }
// general category P (Pc Pd Ps Pe Pi Pf Po); ASCII's P excludes the symbols $+<=>^`|~
inline bool is_punctuation(char32_t c) {
    if (c < 0x80)
        return is_ascii_punctuation(c) && c != '$' && c != '+' && c != '<' && c != '=' && c != '>' && c != '^' &&
               c != '`' && c != '|' && c != '~';
    return is_punctuation_beyond_ascii(c);
}
inline bool is_alphanumeric(char32_t c) { return is_alphabetic(c) || is_numeric(c); }

// Full lower-case mapping of one code point (may append several), no context.
void append_lower(std::string& out, char32_t c);
// Full lower-casing of a whole string, applying the final-sigma rule in context.
std::string lowercase_full(std::string_view s);
// Lower-casing without context (U+03A3 always becomes U+03C3), as labels need.
std::string lowercase_no_context(std::string_view s);

// Display width: 0 for combining/zero-width, 2 for East Asian Wide/Fullwidth, else 1.
// Control characters (0-31, 127-159) are 0; tab is handled by callers.
unsigned east_asian_column_width(char32_t c);

// Trimming by Unicode White_Space.
std::string_view trim_unicode(std::string_view s);
std::string_view trim_unicode_start(std::string_view s);
std::string_view trim_unicode_end(std::string_view s);

}  // namespace quenlor
