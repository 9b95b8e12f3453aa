#include "entity.hpp"

#include <cstdint>
#include <cstring>

#include "entity_table.hpp"
#include "unicode.hpp"

namespace quenlor {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_scalar_value(std::uint64_t v) { return v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF); }

// Appends the character of a numeric reference. NUL is never produced: it
// becomes U+FFFD, as the first pass does for "&#0;".
void append_numeric(std::string& out, std::uint64_t v) {
    append_utf8(out, v == 0 ? char32_t(0xFFFD) : static_cast<char32_t>(v));
}

// Length of a numeric reference with the limited digit counts (1-7 decimal,
// 1-6 hex) at text[i] == '&', and its value; 0 when there is none.
std::size_t limited_numeric_ref(std::string_view text, std::size_t i, std::uint64_t& value) {
    std::size_t j = i + 2;  // after "&#"
    std::size_t n = text.size();
    value = 0;
    if (j < n && (text[j] == 'x' || text[j] == 'X')) {
        ++j;
        std::size_t start = j;
        while (j < n && j - start < 7 && hex_value(text[j]) >= 0) value = value * 16 + hex_value(text[j++]);
        std::size_t digits = j - start;
        if (digits < 1 || digits > 6 || j >= n || text[j] != ';') return 0;
    } else {
        std::size_t start = j;
        while (j < n && j - start < 8 && is_digit(text[j])) value = value * 10 + (text[j++] - '0');
        std::size_t digits = j - start;
        if (digits < 1 || digits > 7 || j >= n || text[j] != ';') return 0;
    }
    return j + 1 - i;
}

// Numeric references within the usual digit limits, and "&ngE;".
std::string decode_numeric_pass(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0, copied = 0, n = text.size();
    while (i < n) {
        const void* hit = std::memchr(text.data() + i, '&', n - i);
        if (!hit) break;
        i = static_cast<const char*>(hit) - text.data();
        if (text.substr(i, 5) == "&ngE;") {
            out.append(text.substr(copied, i - copied));
            out.append("\xE2\x89\xA7\xCC\xB8");
            i += 5;
            copied = i;
            continue;
        }
        if (i + 1 < n && text[i + 1] == '#') {
            std::uint64_t v;
            std::size_t len = limited_numeric_ref(text, i, v);
            if (len && (v == 0 || is_scalar_value(v))) {
                out.append(text.substr(copied, i - copied));
                append_numeric(out, v);
                i += len;
                copied = i;
                continue;
            }
        }
        ++i;
    }
    out.append(text.substr(copied));
    return out;
}

// The numeric reference text between "&#" and ";" with no digit limit, an
// optional "+" and an "x" for hexadecimal; false when it is not a number.
bool unlimited_numeric_value(std::string_view body, std::uint64_t& value) {
    bool hex = false;
    std::size_t j = 0;
    if (j < body.size() && (body[j] == 'x' || body[j] == 'X')) {
        hex = true;
        ++j;
    }
    if (j < body.size() && body[j] == '+') ++j;
    if (j == body.size()) return false;
    value = 0;
    for (; j < body.size(); ++j) {
        int d = hex ? hex_value(body[j]) : (is_digit(body[j]) ? body[j] - '0' : -1);
        if (d < 0) return false;
        // Saturate: anything this large is not a scalar value anyway.
        if (value <= 0x10FFFFFF) value = value * (hex ? 16 : 10) + d;
    }
    return true;
}

// Named references and numeric references of any length.
std::string decode_named_pass(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0, copied = 0, n = text.size();
    while (i < n) {
        const void* hit = std::memchr(text.data() + i, '&', n - i);
        if (!hit) break;
        i = static_cast<const char*>(hit) - text.data();
        if (i + 1 >= n) break;
        char next = text[i + 1];
        if (next == '&' || next == ';') {
            ++i;
            continue;
        }
        // The candidate runs to the next ";"; an "&" before it abandons it there.
        std::size_t j = i + 1;
        while (j < n && text[j] != ';' && text[j] != '&') ++j;
        if (j >= n) break;  // no ";" left: nothing further can decode
        if (text[j] == '&') {
            i = j;
            continue;
        }
        std::string_view body = text.substr(i + 1, j - i - 1);
        if (body[0] == '#') {
            std::uint64_t v;
            if (unlimited_numeric_value(body.substr(1), v) && is_scalar_value(v)) {
                out.append(text.substr(copied, i - copied));
                append_numeric(out, v);
                copied = j + 1;
            }
        } else {
            std::string_view rep = lookup_named_entity(body);
            if (!rep.empty()) {
                out.append(text.substr(copied, i - copied));
                out.append(rep);
                copied = j + 1;
            }
        }
        i = j + 1;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace

std::string_view lookup_named_entity(std::string_view name) {
    using entity_table::entities;
    std::size_t lo = 0, hi = entity_table::entities_size;
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        std::string_view key(entities[mid].name, entities[mid].name_len);
        int cmp = key.compare(name);
        if (cmp < 0) lo = mid + 1;
        else if (cmp > 0) hi = mid;
        else return std::string_view(entities[mid].text, entities[mid].text_len);
    }
    return {};
}

std::string decode_entities(std::string_view text) {
    if (text.empty()) return {};
    if (std::memchr(text.data(), '&', text.size()) == nullptr) return std::string(text);
    return decode_named_pass(decode_numeric_pass(text));
}

}  // namespace quenlor
