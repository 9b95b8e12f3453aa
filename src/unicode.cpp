#include "unicode.hpp"

#include "unicode_tables.hpp"

namespace quenlor {

namespace ut = unicode_tables;

namespace {

constexpr char32_t replacement = 0xFFFD;

bool in_ranges(const ut::CodeRange* table, std::size_t size, char32_t c) {
    std::size_t lo = 0, hi = size;
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (table[mid].hi < c) lo = mid + 1;
        else if (table[mid].lo > c) hi = mid;
        else return true;
    }
    return false;
}

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

bool is_cased(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return in_ranges(ut::cased, ut::cased_size, c);
}

bool is_case_ignorable(char32_t c) {
    if (c < 0x80) return c == '\'' || c == '.' || c == ':' || c == '^' || c == '`';
    return in_ranges(ut::case_ignorable, ut::case_ignorable_size, c);
}

// Final sigma: a capital sigma preceded by a cased letter (case-ignorable
// characters skipped) and not followed by one.
bool is_final_sigma(std::string_view s, std::size_t start, std::size_t end) {
    bool cased_before = false;
    std::size_t pos = start;
    while (pos > 0) {
        std::size_t len = 0;
        char32_t c = decode_utf8_before(s, pos, &len);
        pos -= len;
        if (is_case_ignorable(c)) continue;
        cased_before = is_cased(c);
        break;
    }
    if (!cased_before) return false;
    pos = end;
    while (pos < s.size()) {
        char32_t c = decode_utf8(s, pos);
        if (is_case_ignorable(c)) continue;
        return !is_cased(c);
    }
    return true;
}

template <bool with_context>
std::string lowercase_impl(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    while (pos < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[pos]);
        if (b < 0x80) {
            out.push_back(b >= 'A' && b <= 'Z' ? char(b + 32) : char(b));
            ++pos;
            continue;
        }
        std::size_t start = pos;
        char32_t c = decode_utf8(s, pos);
        if constexpr (with_context) {
            if (c == 0x03A3 && is_final_sigma(s, start, pos)) {
                append_utf8(out, 0x03C2);
                continue;
            }
        }
        if (c == replacement) {
            // Keep undecodable bytes as they were rather than inventing text.
            out.append(s.substr(start, pos - start));
            continue;
        }
        append_lower(out, c);
    }
    return out;
}

}  // namespace

char32_t decode_utf8_sequence(std::string_view s, std::size_t& pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size();
    if (pos >= n) return 0;  // nothing left to read; pos stays
    unsigned char b0 = p[pos];
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    std::size_t len;
    char32_t c;
    char32_t min;
    if (b0 >= 0xC2 && b0 < 0xE0) { len = 2; c = b0 & 0x1F; min = 0x80; }
    else if (b0 >= 0xE0 && b0 < 0xF0) { len = 3; c = b0 & 0x0F; min = 0x800; }
    else if (b0 >= 0xF0 && b0 < 0xF5) { len = 4; c = b0 & 0x07; min = 0x10000; }
    else { ++pos; return replacement; }
    if (pos + len > n) { ++pos; return replacement; }
    for (std::size_t i = 1; i < len; ++i) {
        unsigned char b = p[pos + i];
        if (!is_continuation(b)) { ++pos; return replacement; }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) { ++pos; return replacement; }
    pos += len;
    return c;
}

char32_t decode_utf8_sequence_before(std::string_view s, std::size_t pos, std::size_t* len) {
    if (pos == 0) {
        if (len) *len = 0;
        return 0;
    }
    unsigned char last = static_cast<unsigned char>(s[pos - 1]);
    if (last < 0x80) {
        if (len) *len = 1;
        return last;
    }
    // Step back over at most three continuation bytes to the lead byte.
    std::size_t start = pos - 1;
    while (start > 0 && pos - start < 4 && is_continuation(static_cast<unsigned char>(s[start])))
        --start;
    std::size_t p = start;
    char32_t c = decode_utf8(s, p);
    if (p == pos && c != replacement) {
        if (len) *len = pos - start;
        return c;
    }
    if (len) *len = 1;
    return replacement;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        char buf[2] = {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
        out.append(buf, 2);
    } else if (c < 0x10000) {
        char buf[3] = {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
        out.append(buf, 3);
    } else if (c <= 0x10FFFF) {
        char buf[4] = {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)),
                       char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
        out.append(buf, 4);
    } else {
        out.append("\xEF\xBF\xBD");
    }
}

bool is_white_space_beyond_ascii(char32_t c) { return in_ranges(ut::white_space, ut::white_space_size, c); }
bool is_alphabetic_beyond_ascii(char32_t c) { return in_ranges(ut::alphabetic, ut::alphabetic_size, c); }
bool is_numeric_beyond_ascii(char32_t c) { return in_ranges(ut::numeric, ut::numeric_size, c); }
bool is_punctuation_beyond_ascii(char32_t c) { return in_ranges(ut::punctuation, ut::punctuation_size, c); }

void append_lower(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(c >= 'A' && c <= 'Z' ? char(c + 32) : char(c));
        return;
    }
    std::size_t lo = 0, hi = ut::lower_multi_size;
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (ut::lower_multi[mid].cp < c) lo = mid + 1;
        else hi = mid;
    }
    if (lo < ut::lower_multi_size && ut::lower_multi[lo].cp == c) {
        out.append(ut::lower_multi[lo].utf8);
        return;
    }
    // Last run starting at or before c.
    lo = 0;
    hi = ut::lower_runs_size;
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (ut::lower_runs[mid].start <= c) lo = mid + 1;
        else hi = mid;
    }
    if (lo > 0) {
        const ut::LowerRun& r = ut::lower_runs[lo - 1];
        if (c <= r.end && (c - r.start) % r.step == 0) {
            append_utf8(out, static_cast<char32_t>(static_cast<std::int32_t>(c) + r.delta));
            return;
        }
    }
    append_utf8(out, c);
}

std::string lowercase_full(std::string_view s) { return lowercase_impl<true>(s); }

std::string lowercase_no_context(std::string_view s) { return lowercase_impl<false>(s); }

unsigned east_asian_column_width(char32_t c) {
    if (c < 0x7F) return c < 0x20 ? 0 : 1;
    if (c < 0xA0) return 0;
    std::size_t lo = 0, hi = ut::widths_size;
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (ut::widths[mid].hi < c) lo = mid + 1;
        else if (ut::widths[mid].lo > c) hi = mid;
        else return ut::widths[mid].width;
    }
    return 1;
}

std::string_view trim_unicode_start(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[pos]);
        if (b < 0x80) {
            if (b == ' ' || (b >= 0x09 && b <= 0x0D)) { ++pos; continue; }
            break;
        }
        std::size_t next = pos;
        if (!is_white_space(decode_utf8(s, next))) break;
        pos = next;
    }
    return std::string_view(s.data() + pos, s.size() - pos);
}

std::string_view trim_unicode_end(std::string_view s) {
    std::size_t end = s.size();
    while (end > 0) {
        unsigned char b = static_cast<unsigned char>(s[end - 1]);
        if (b < 0x80) {
            if (b == ' ' || (b >= 0x09 && b <= 0x0D)) { --end; continue; }
            break;
        }
        std::size_t len = 0;
        if (!is_white_space(decode_utf8_before(s, end, &len))) break;
        end -= len;
    }
    return std::string_view(s.data(), end);
}

std::string_view trim_unicode(std::string_view s) { return trim_unicode_end(trim_unicode_start(s)); }

}  // namespace quenlor
