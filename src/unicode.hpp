// Unicode character data compiled in from generated tables (unicode_tables.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quenlor {

// Decodes one code point at pos and advances pos past it. Invalid or truncated
// sequences yield U+FFFD and advance by one byte, so scanning never stalls.
// At or past the end it returns 0 and leaves pos alone.
char32_t decode_utf8(std::string_view s, std::size_t& pos);
// Code point ending just before pos (pos itself is not moved); U+FFFD when invalid,
// 0 when pos is 0. `len` receives the byte length of that character.
char32_t decode_utf8_before(std::string_view s, std::size_t pos, std::size_t* len = nullptr);
// Byte length of the UTF-8 sequence whose lead byte is b (1 for invalid bytes).
inline std::size_t utf8_len(unsigned char b) {
    return b < 0x80 ? 1 : b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1;
}
void append_utf8(std::string& out, char32_t c);

bool is_white_space(char32_t c);   // White_Space property
bool is_alphabetic(char32_t c);    // Alphabetic property
bool is_numeric(char32_t c);       // general category Nd, Nl or No
bool is_punctuation(char32_t c);   // general category P (Pc Pd Ps Pe Pi Pf Po)
inline bool is_alphanumeric(char32_t c) { return is_alphabetic(c) || is_numeric(c); }
inline bool is_ascii_punctuation(char32_t c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
           (c >= '{' && c <= '~');
}

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
