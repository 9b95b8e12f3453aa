#include "attrs.hpp"

#include "entity.hpp"
#include "line.hpp"
#include "unicode.hpp"

namespace quenlor {

namespace {

bool is_quote(char c) { return c == '"' || c == '\''; }

// Splits at unquoted whitespace; `escapes` says whether a backslash protects
// the next character (HTML attribute lists have no escapes).
std::vector<std::string> split_tokens(std::string_view text, bool escapes) {
    std::vector<std::string> tokens;
    std::string cur;
    bool escaped = false;
    char quote = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = pos;
        unsigned char b = static_cast<unsigned char>(text[pos]);
        char32_t c = b < 0x80 ? (++pos, char32_t(b)) : decode_utf8(text, pos);
        std::string_view ch = text.substr(start, pos - start);
        if (escaped) {
            escaped = false;
            cur.append(ch);
            continue;
        }
        if (escapes && c == '\\') {
            escaped = true;
            cur.push_back('\\');
            continue;
        }
        if (quote) {
            if (c == char32_t(quote)) quote = 0;
            cur.append(ch);
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = static_cast<char>(c);
            cur.push_back(quote);
            continue;
        }
        if (is_white_space(c)) {
            if (!cur.empty()) tokens.push_back(std::move(cur));
            cur.clear();
            continue;
        }
        cur.append(ch);
    }
    if (!cur.empty()) tokens.push_back(std::move(cur));
    return tokens;
}

// A value with one pair of matching surrounding quotes removed.
std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && is_quote(v.front()) && v.back() == v.front()) return v.substr(1, v.size() - 2);
    return v;
}

// Adds the id and class segments of a token that begins with "#" or ".".
void add_id_class_segments(Attr& attr, std::string_view token) {
    char marker = 0;
    std::size_t seg_start = 0;
    auto flush = [&](std::size_t end) {
        if (marker && end > seg_start) {
            std::string name = unescape_attr(token.substr(seg_start, end - seg_start));
            if (marker == '#') attr.set_id(std::move(name));
            else attr.push_class(name);
        }
    };
    for (std::size_t i = 0; i < token.size(); ++i) {
        char c = token[i];
        if (c == '\\') {
            ++i;
            continue;
        }
        if (c == '#' || c == '.') {
            flush(i);
            marker = c;
            seg_start = i + 1;
        }
    }
    flush(token.size());
}

// Byte index of the "}" closing the block that opens at text[0] == '{', with
// escapes and quoted runs honoured; npos when it never closes.
std::size_t closing_brace(std::string_view text) {
    char quote = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            ++i;
            continue;
        }
        if (quote) {
            if (c == quote) quote = 0;
        } else if (is_quote(c)) {
            quote = c;
        } else if (c == '}') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The inside of a braced block without its colon, trimmed; `colon` receives
// whether the colon form was used.
std::string_view block_inside(std::string_view inside, bool& colon) {
    colon = !inside.empty() && inside.front() == ':';
    if (colon) inside.remove_prefix(1);
    return trim_unicode(inside);
}

std::string_view first_word(std::string_view text, std::string_view* rest) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = pos;
        if (is_white_space(decode_utf8(text, pos))) {
            if (rest) *rest = text.substr(start);
            return text.substr(0, start);
        }
    }
    if (rest) *rest = {};
    return text;
}

bool only_white_space(std::string_view text) { return trim_unicode_start(text).empty(); }

// Fence info shorthand: a first word of "#"/"." attributes, possibly with a
// braced block glued on, and optionally one more braced block after it.
std::optional<Attr> fence_shorthand(std::string_view word, std::string_view rest, const AttrDefs& defs) {
    Attr attr;
    std::size_t brace = word.find('{');
    if (brace != std::string_view::npos) {
        std::string_view before = word.substr(0, brace);
        if (!before.empty()) {
            if (auto a = parse_synthetic_attrs(before, defs)) attr.merge(*a);
        }
        std::string_view tail = word.substr(brace);
        auto block = parse_braced_attr(tail, defs);
        if (!block || !only_white_space(tail.substr(block->consumed))) return std::nullopt;
        attr.merge(block->attr);
    } else {
        auto a = parse_synthetic_attrs(word, defs);
        if (!a) return std::nullopt;
        attr.merge(*a);
    }
    if (!rest.empty()) {
        if (rest.front() != '{') return std::nullopt;
        auto block = parse_braced_attr(rest, defs);
        if (!block || !only_white_space(rest.substr(block->consumed))) return std::nullopt;
        attr.merge(block->attr);
    }
    return attr;
}

}  // namespace

std::vector<std::string> attr_tokens(std::string_view text) { return split_tokens(text, true); }

std::string unescape_attr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        out.push_back(text[i]);
    }
    return out;
}

std::string unescape_backslash_punctuation(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && is_ascii_punctuation(static_cast<unsigned char>(text[i + 1])))
            ++i;
        out.push_back(text[i]);
    }
    return out;
}

Attr parse_attrs_body(std::string_view text, const AttrDefs& defs) {
    Attr attr;
    for (const std::string& token : attr_tokens(text)) {
        if (!defs.empty()) {
            auto it = defs.find(token);
            if (it != defs.end()) {
                attr.merge(it->second);
                continue;
            }
        }
        if (token[0] == '#' || token[0] == '.') {
            add_id_class_segments(attr, token);
            continue;
        }
        std::size_t eq = token.find('=');
        if (eq == std::string::npos) continue;
        std::string_view key = trim_unicode(std::string_view(token).substr(0, eq));
        if (key.empty()) continue;
        std::string_view value = unquote(trim_unicode(std::string_view(token).substr(eq + 1)));
        attr.set_pair(std::string(key), unescape_attr(value));
    }
    return attr;
}

bool looks_like_attrs(std::string_view text, bool colon_form) {
    text = trim_unicode(text);
    if (text.empty()) return false;
    if (colon_form) return true;
    if (text[0] == '#' || text[0] == '.') return true;
    std::string_view word = first_word(text, nullptr);
    std::size_t eq = word.find('=');
    return eq != std::string_view::npos && eq > 0;
}

std::optional<BracedAttr> parse_braced_attr(std::string_view text, const AttrDefs& defs) {
    if (text.empty() || text[0] != '{') return std::nullopt;
    std::size_t close = closing_brace(text);
    if (close == std::string_view::npos) return std::nullopt;
    bool colon = false;
    std::string_view inside = block_inside(text.substr(1, close - 1), colon);
    if (!looks_like_attrs(inside, colon)) return std::nullopt;
    return BracedAttr{parse_attrs_body(inside, defs), close + 1};
}

TrailingAttrSplit strip_trailing_attr(std::string_view text, const AttrDefs& defs) {
    std::string_view body = trim_unicode_end(text);
    if (!body.empty() && body.back() == '}') {
        // Quotes count only inside a brace candidate, so apostrophes in the
        // text before the block do not hide it.
        std::size_t open = std::string_view::npos, closed_open = std::string_view::npos;
        std::size_t closed_at = std::string_view::npos;
        char quote = 0;
        for (std::size_t i = 0; i < body.size(); ++i) {
            char c = body[i];
            if (c == '\\') {
                ++i;
                continue;
            }
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '{') {
                open = i;
            } else if (open != std::string_view::npos && is_quote(c)) {
                quote = c;
            } else if (c == '}' && open != std::string_view::npos) {
                closed_open = open;
                closed_at = i;
                open = std::string_view::npos;
            }
        }
        if (closed_at == body.size() - 1) {
            bool colon = false;
            std::string_view inside = block_inside(body.substr(closed_open + 1, closed_at - closed_open - 1), colon);
            if (looks_like_attrs(inside, colon)) {
                return TrailingAttrSplit{std::string(trim_unicode_end(body.substr(0, closed_open))),
                                         parse_attrs_body(inside, defs)};
            }
        }
    }
    return TrailingAttrSplit{std::string(trim_unicode(text)), Attr{}};
}

bool is_definition_name(std::string_view name) {
    if (name.empty()) return false;
    char first = name[0];
    if (!is_ascii_alnum(first) && first != '_') return false;
    for (char c : name)
        if (!is_ascii_alnum(c) && c != '_' && c != '-') return false;
    return true;
}

AttrLine parse_attr_line(std::string_view line, const AttrDefs& defs) {
    AttrLine result;
    std::string_view t = trim_unicode(line);
    if (t.size() < 3 || t.substr(0, 2) != "{:" || t.back() != '}') return result;
    std::string_view inside = t.substr(2, t.size() - 3);
    std::size_t colon = inside.find(':');
    if (colon != std::string_view::npos) {
        std::string_view name = trim_unicode(inside.substr(0, colon));
        if (is_definition_name(name)) {
            result.kind = AttrLine::Kind::Definition;
            result.name = std::string(name);
            result.attr = parse_attrs_body(inside.substr(colon + 1), defs);
            return result;
        }
    }
    result.kind = AttrLine::Kind::Attributes;
    result.attr = parse_attrs_body(inside, defs);
    return result;
}

std::optional<Attr> parse_synthetic_attrs(std::string_view text, const AttrDefs& defs) {
    std::string wrapped;
    wrapped.reserve(text.size() + 2);
    wrapped.push_back('{');
    wrapped.append(text);
    wrapped.push_back('}');
    auto block = parse_braced_attr(wrapped, defs);
    if (!block || block->consumed != wrapped.size()) return std::nullopt;
    return std::move(block->attr);
}

std::optional<RawFormat> raw_attr(std::string_view text) {
    if (text.size() < 2 || text.substr(0, 2) != "{=") return std::nullopt;
    std::size_t close = text.find('}', 2);
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view format = text.substr(2, close - 2);
    if (format.empty()) return std::nullopt;
    for (char c : format)
        if (!is_ascii_alnum(c) && c != '_' && c != '-') return std::nullopt;
    return RawFormat{std::string(format), format.size() + 3};
}

FenceInfo parse_fence_info(std::string_view info, const AttrDefs& defs) {
    FenceInfo result;
    std::string_view t = trim_unicode(info);
    if (t.empty()) return result;

    if (t[0] == '{') {
        if (auto block = parse_braced_attr(t, defs)) {
            result.attr = std::move(block->attr);
            if (!result.attr.classes().empty()) result.lang = result.attr.classes().front();
            result.info = std::string(trim_unicode(t.substr(0, block->consumed)));
            return result;
        }
    }

    std::string_view rest;
    std::string_view word = first_word(t, &rest);
    rest = trim_unicode(rest);
    while (!word.empty() && word.front() == '`') word.remove_prefix(1);
    while (!word.empty() && word.back() == '`') word.remove_suffix(1);
    result.info = std::string(t);

    if (!word.empty() && (word[0] == '.' || word[0] == '#')) {
        if (auto attr = fence_shorthand(word, rest, defs)) {
            result.attr = std::move(*attr);
            if (!result.attr.classes().empty()) result.lang = result.attr.classes().front();
            return result;
        }
    }

    std::string lang = decode_entities(unescape_backslash_punctuation(word));
    if (!lang.empty()) result.lang = lang;
    if (!rest.empty() && rest[0] == '{') {
        if (auto block = parse_braced_attr(rest, defs)) {
            if (result.lang) result.attr.push_class(*result.lang);
            result.attr.merge(block->attr);
        }
    }
    return result;
}

HtmlAttrs parse_html_attrs(std::string_view text) {
    // HTML has no backslash escapes: values keep their backslashes and have
    // their character references decoded, as a browser would read them.
    HtmlAttrs result;
    for (const std::string& token : split_tokens(text, false)) {
        std::size_t eq = token.find('=');
        if (eq != std::string::npos) {
            std::string name = ascii_lowercase(trim_unicode(std::string_view(token).substr(0, eq)));
            if (name.empty()) continue;  // a pair without a name cannot be written out
            std::string value = decode_entities(unquote(trim_unicode(std::string_view(token).substr(eq + 1))));
            if (name == "markdown") result.markdown = std::move(value);
            else result.attr.set_pair(std::move(name), std::move(value));
        } else if (ascii_lowercase(token) == "markdown") {
            result.markdown = "1";
        } else {
            result.attr.set_pair(token, token);
        }
    }
    return result;
}

// ---- link labels ----

std::optional<ScannedLabel> scan_link_label(std::string_view text) {
    if (text.size() < 2 || text[0] != '[') return std::nullopt;
    std::size_t count = 0;
    bool escaped = false;
    std::size_t pos = 1;
    while (pos < text.size()) {
        std::size_t start = pos;
        unsigned char b = static_cast<unsigned char>(text[pos]);
        pos += b < 0x80 ? 1 : 0;
        if (b >= 0x80) decode_utf8(text, pos);
        ++count;
        if (escaped) {
            escaped = false;
        } else if (b == ']') {
            return ScannedLabel{std::string(text.substr(1, start - 1)), start + 1};
        } else if (b == '[') {
            return std::nullopt;
        } else if (b == '\\') {
            escaped = true;
        }
        if (count >= 1000) return std::nullopt;
    }
    return std::nullopt;
}

bool valid_link_label(std::string_view content, bool allow_blank) {
    std::size_t count = 0;
    bool escaped = false;
    bool substance = false;
    std::size_t pos = 0;
    while (pos < content.size()) {
        unsigned char b = static_cast<unsigned char>(content[pos]);
        char32_t c = b < 0x80 ? (++pos, char32_t(b)) : decode_utf8(content, pos);
        ++count;
        if (escaped) {
            escaped = false;
            if (!is_white_space(c)) substance = true;
            continue;
        }
        if (count >= 1000) return false;
        if (c == '[' || c == ']') return false;
        if (c == '\\') {
            escaped = true;
            substance = true;
        } else if (!is_white_space(c)) {
            substance = true;
        }
    }
    return allow_blank || substance;
}

std::string normalize_label(std::string_view content) {
    std::string out;
    out.reserve(content.size());
    bool pending_space = false;
    std::size_t pos = 0;
    while (pos < content.size()) {
        unsigned char b = static_cast<unsigned char>(content[pos]);
        char32_t c = b < 0x80 ? (++pos, char32_t(b)) : decode_utf8(content, pos);
        if (is_white_space(c)) {
            pending_space = true;
            continue;
        }
        if (pending_space && !out.empty()) out.push_back(' ');
        pending_space = false;
        append_lower(out, c);
    }
    return out;
}

}  // namespace quenlor
