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

}  // namespace

std::string Line::strip_from(const Line& line, std::size_t target) {
    std::string buf;
    std::string_view v = strip_view(line, target, buf);
    if (v.data() == buf.data()) return buf;
    return std::string(v);
}

std::string_view Line::strip_view(const Line& line, std::size_t target, std::string& buf) {
    std::string_view text = line.text;
    std::size_t pos = line.pos;
    std::size_t col = line.col;
    std::string out;
    // The rewritten text is built apart and then moved in, since `text` may
    // point into `buf`.
    auto rewritten = [&]() -> std::string_view {
        buf.swap(out);
        return buf;
    };
    while (pos < text.size()) {
        if (col >= target) {
            // On a tab stop the rest keeps its tabs: they span the same columns
            // whether counted from here or from the start of the result, and
            // literal content (code) must not have its tabs rewritten.
            // Without tabs there is nothing to rewrite either.
            if (col % 4 == 0 || text.find('\t', pos) == std::string_view::npos) return text.substr(pos);
            out.reserve(text.size() - pos + 4);
            append_expanded(out, text.substr(pos), col);
            return rewritten();
        }
        char c = text[pos];
        if (c == ' ') {
            ++col;
            ++pos;
        } else if (c == '\t') {
            std::size_t t = next_tab_stop(col);
            if (t > target) {
                // The tab straddles the target: its remainder stays as spaces.
                out.reserve(text.size() - pos + 4);
                out.append(t - target, ' ');
                append_expanded(out, text.substr(pos + 1), t);
                return rewritten();
            }
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
    for (char c : text) {
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
