#include "line.hpp"

#include "unicode.hpp"

namespace quenlor {

namespace {

constexpr std::size_t next_tab_stop(std::size_t col) { return col - col % 4 + 4; }

// Appends text with its leading spaces and tabs rewritten as spaces.
void append_expanded(std::string& out, std::string_view text, std::size_t col) {
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == ' ') {
            out.push_back(' ');
            ++col;
        } else if (c == '\t') {
            std::size_t t = next_tab_stop(col);
            out.append(t - col, ' ');
            col = t;
        } else {
            break;
        }
    }
    out.append(text.substr(i));
}

// `pad` spaces and then `rest` (at column `col`) with its indentation expanded,
// in `buf`. Built apart and then moved in, since `rest` may point into `buf`;
// kept out of strip_view, whose usual case needs no string.
std::string_view rewrite_rest(std::string_view rest, std::size_t col, std::size_t pad, std::string& buf) {
    std::string out;
    out.reserve(rest.size() + pad + 4);
    out.append(pad, ' ');
    append_expanded(out, rest, col);
    buf.swap(out);
    return buf;
}

}  // namespace

std::string Line::strip_from(const Line& line, std::size_t target) {
    std::string buf;
    std::string_view v = strip_view(line, target, buf);
    if (v.data() == buf.data()) return buf;
    return std::string(v);
}

std::string_view Line::strip_view(const Line& line, std::size_t target, std::string& buf) {
    const std::string_view text = line.text;
    std::size_t pos = line.pos;
    std::size_t col = line.col;
    while (pos < text.size()) {
        if (col >= target) {
            // On a tab stop the rest keeps its tabs: they span the same columns
            // whether counted from here or from the start of the result, and
            // literal content (code) must not have its tabs rewritten.
            // Without tabs there is nothing to rewrite either.
            if (col % 4 == 0 || text.find('\t', pos) == std::string_view::npos) return text.substr(pos);
            return rewrite_rest(text.substr(pos), col, 0, buf);
        }
        char c = text[pos];
        if (c == ' ') {
            ++col;
            ++pos;
        } else if (c == '\t') {
            std::size_t t = next_tab_stop(col);
            // A tab straddling the target leaves its remainder as spaces.
            if (t > target) return rewrite_rest(text.substr(pos + 1), t, t - target, buf);
            col = t;
            ++pos;
        } else {
            return text.substr(pos);
        }
    }
    return text.substr(text.size());
}

std::string expand_leading_indent(std::string_view text, std::size_t start_col) {
    std::string out;
    out.reserve(text.size() + 4);
    append_expanded(out, text, start_col);
    return out;
}

Indent leading_indent_slow(std::string_view text) {
    Indent in;
    // Indentation is mostly spaces: those are passed over before tabs are
    // looked at.
    while (in.bytes < text.size() && text[in.bytes] == ' ') ++in.bytes;
    in.columns = in.bytes;
    for (char c : text.substr(in.bytes)) {
        if (c == ' ') ++in.columns;
        else if (c == '\t') in.columns = next_tab_stop(in.columns);
        else break;
        ++in.bytes;
    }
    return in;
}

bool is_blank_slow(std::string_view text) {
    // Indentation is mostly spaces: passed over before the full test.
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    for (; i < text.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            if (b == ' ' || (b >= 0x09 && b <= 0x0D)) continue;
            return false;
        }
        return trim_unicode_start(text.substr(i)).empty();
    }
    return true;
}

std::string ascii_lowercase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

bool starts_with_ignore_ascii_case(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (ascii_lower(s[i]) != ascii_lower(prefix[i])) return false;
    return true;
}

}  // namespace quenlor
