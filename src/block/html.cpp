#include "html.hpp"

#include "../attrs.hpp"
#include "../line.hpp"
#include "../unicode.hpp"

namespace quenlor {

namespace {

constexpr std::string_view nesting_tags[] = {
    "dd",      "dl",      "dt",       "li",       "ol",         "td",         "th",      "tr",
    "ul",      "div",     "nav",      "pre",      "svg",        "body",       "form",    "head",
    "html",    "main",    "math",     "aside",    "table",      "tbody",      "tfoot",   "thead",
    "dialog",  "figure",  "footer",   "header",   "address",    "article",    "caption", "details",
    "section", "summary", "colgroup", "fieldset", "blockquote", "figcaption",
};

constexpr std::string_view commonmark_block_tags[] = {
    "p",        "dd",       "dl",       "dt",       "h1",       "h2",         "h3",        "h4",
    "h5",       "h6",       "hr",       "li",       "ol",       "td",         "th",        "tr",
    "ul",       "col",      "dir",      "div",      "nav",      "base",       "body",      "form",
    "head",     "html",     "link",     "main",     "menu",     "aside",      "frame",     "param",
    "table",    "tbody",    "tfoot",    "thead",    "title",    "track",      "center",    "dialog",
    "figure",   "footer",   "header",   "iframe",   "legend",   "option",     "search",    "address",
    "article",  "caption",  "details",  "section",  "summary",  "basefont",   "colgroup",  "fieldset",
    "frameset", "menuitem", "noframes", "optgroup", "blockquote", "figcaption",
};

constexpr std::string_view void_tags[] = {
    "br", "hr", "col", "img", "wbr", "area", "base", "link", "meta", "embed", "input", "param", "track", "source",
};

template <std::size_t N>
bool in_table(const std::string_view (&table)[N], std::string_view name) {
    for (auto t : table)
        if (t == name) return true;
    return false;
}

// ASCII whitespace or Unicode White_Space at pos.
bool whitespace_at(std::string_view s, std::size_t pos) {
    if (pos >= s.size()) return false;
    if (is_ascii_whitespace(s[pos])) return true;
    if (static_cast<unsigned char>(s[pos]) < 0x80) return false;
    std::size_t p = pos;
    return is_white_space(decode_utf8(s, p));
}

bool equals_ignore_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

// Position of the first ">" at or after `from` that is not inside a quoted string.
std::size_t find_unquoted_gt(std::string_view s, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The text before position `gt`, trailing whitespace ignored, ends in "/".
bool slash_before(std::string_view s, std::size_t from, std::size_t gt) {
    std::size_t k = gt;
    while (k > from && is_ascii_whitespace(s[k - 1])) --k;
    return k > from && s[k - 1] == '/';
}

bool is_attr_name_start(char c) { return is_ascii_alpha(c) || c == '_' || c == ':'; }
bool is_attr_name_char(char c) { return is_ascii_alnum(c) || c == '_' || c == '.' || c == ':' || c == '-'; }
bool is_unquoted_value_char(char c) {
    return !is_ascii_whitespace(c) && c != '"' && c != '\'' && c != '=' && c != '<' && c != '>' && c != '`';
}

std::string_view trim_ascii(std::string_view s) {
    std::size_t a = 0, b = s.size();
    while (a < b && is_ascii_whitespace(s[a])) ++a;
    while (b > a && is_ascii_whitespace(s[b - 1])) --b;
    return s.substr(a, b - a);
}

}  // namespace

bool is_void_html_tag(std::string_view name) { return in_table(void_tags, name); }
bool is_commonmark_block_html_tag(std::string_view name) { return in_table(commonmark_block_tags, name); }
bool is_nesting_html_tag(std::string_view name) {
    return name.find('-') != std::string_view::npos || in_table(nesting_tags, name);
}

std::size_t tag_name_end(std::string_view text) {
    if (text.empty() || !is_ascii_alpha(text[0])) return 0;
    std::size_t i = 1;
    while (i < text.size() && (is_ascii_alnum(text[i]) || text[i] == '-')) ++i;
    return i;
}

std::optional<std::string> html_tag_name(std::string_view text) {
    if (text.empty() || text[0] != '<') return std::nullopt;
    std::size_t start = (text.size() > 1 && text[1] == '/') ? 2 : 1;
    std::size_t len = tag_name_end(text.substr(start));
    if (len == 0) return std::nullopt;
    std::size_t after = start + len;
    if (after < text.size() && text[after] != '/' && text[after] != '>' && !whitespace_at(text, after))
        return std::nullopt;
    return ascii_lowercase(text.substr(start, len));
}

std::optional<std::string_view> valid_open_tag_attrs(std::string_view text) {
    std::string_view t = trim_ascii(text);
    std::size_t i = 0, n = t.size();
    while (i < n) {
        if (t[i] == '/' && i + 1 == n) break;  // final slash
        if (!is_attr_name_start(t[i])) return std::nullopt;
        ++i;
        while (i < n && is_attr_name_char(t[i])) ++i;
        std::size_t j = i;
        while (j < n && is_ascii_whitespace(t[j])) ++j;
        if (j < n && t[j] == '=') {
            ++j;
            while (j < n && is_ascii_whitespace(t[j])) ++j;
            if (j >= n) return std::nullopt;
            if (t[j] == '"' || t[j] == '\'') {
                std::size_t close = t.find(t[j], j + 1);
                if (close == std::string_view::npos) return std::nullopt;
                j = close + 1;
            } else {
                std::size_t k = j;
                while (k < n && is_unquoted_value_char(t[k])) ++k;
                if (k == j) return std::nullopt;
                j = k;
            }
            i = j;
        }
        // Attributes are separated by whitespace; a final "/" may follow directly.
        if (i >= n) break;
        if (t[i] == '/' && i + 1 == n) break;
        if (!is_ascii_whitespace(t[i])) return std::nullopt;
        while (i < n && is_ascii_whitespace(t[i])) ++i;
    }
    return t;
}

std::optional<OpenTag> parse_open_tag(std::string_view text, bool with_attrs) {
    std::size_t lt = text.find('<');
    if (lt == std::string_view::npos || lt + 1 >= text.size()) return std::nullopt;
    char c = text[lt + 1];
    if (c == '!' || c == '/' || c == '?') return std::nullopt;
    std::size_t name_len = tag_name_end(text.substr(lt + 1));
    if (name_len == 0) return std::nullopt;
    std::size_t name_end = lt + 1 + name_len;
    if (name_end >= text.size()) return std::nullopt;
    if (text[name_end] != '>' && text[name_end] != '/' && !whitespace_at(text, name_end)) return std::nullopt;
    std::size_t gt = find_unquoted_gt(text, name_end);
    if (gt == std::string_view::npos) return std::nullopt;
    auto part = valid_open_tag_attrs(text.substr(name_end, gt - name_end));
    if (!part) return std::nullopt;
    OpenTag tag;
    tag.name = ascii_lowercase(text.substr(lt + 1, name_len));
    if (with_attrs) {
        std::string_view attrs = *part;
        if (!attrs.empty() && attrs.back() == '/') attrs.remove_suffix(1);  // self-closing slash is no attribute
        HtmlAttrs parsed = parse_html_attrs(attrs);
        tag.attr = std::move(parsed.attr);
        tag.markdown = std::move(parsed.markdown);
    }
    tag.end = gt + 1;
    tag.self_closing = slash_before(text, name_end, gt);
    return tag;
}

std::size_t find_ignore_ascii_case(std::string_view hay, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
    if (hay.size() < needle.size()) return std::string_view::npos;
    char first = needle[0];
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
        if (ascii_lower(hay[i]) != first) continue;
        if (equals_ignore_ascii_case(hay.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

void update_html_tag_depth(std::string_view line, std::string_view name, std::size_t& depth) {
    bool tracked_void = is_void_html_tag(name);
    std::size_t i = 0;
    while ((i = line.find('<', i)) != std::string_view::npos) {
        std::string_view rest = line.substr(i);
        if (rest.substr(0, 4) == "<!--") {
            std::size_t close = line.find("-->", i + 4);
            if (close == std::string_view::npos) return;
            i = close + 3;
            continue;
        }
        if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '?')) {
            std::size_t gt = find_unquoted_gt(line, i + 2);
            if (gt == std::string_view::npos) return;
            i = gt + 1;
            continue;
        }
        bool closing = rest.size() > 1 && rest[1] == '/';
        std::size_t name_start = i + (closing ? 2 : 1);
        std::size_t len = tag_name_end(line.substr(name_start));
        std::size_t after = name_start + len;
        if (len > 0 && (after >= line.size() || line[after] == '>' || line[after] == '/' || whitespace_at(line, after))) {
            std::size_t gt = find_unquoted_gt(line, after);
            if (gt == std::string_view::npos) return;
            if (equals_ignore_ascii_case(line.substr(name_start, len), name)) {
                if (closing) {
                    if (depth > 0) --depth;
                } else if (!slash_before(line, after, gt) && !tracked_void) {
                    ++depth;
                }
            }
            i = gt + 1;
            continue;
        }
        ++i;
    }
}

bool html_block_closed_on_line(const HtmlBlockEnd& end, std::string_view line) {
    if (end.kind != HtmlBlockEnd::Kind::Marker) return false;
    return find_ignore_ascii_case(line, end.text) != std::string_view::npos;
}

std::optional<HtmlBlockStart> html_block_start(std::string_view text) {
    std::string_view t = trim_white_space_start(text);
    if (t.empty() || t[0] != '<') return std::nullopt;
    HtmlBlockStart start;
    if (auto tag = parse_open_tag(t, false); tag && !tag->self_closing && !is_void_html_tag(tag->name) &&
                                      is_nesting_html_tag(tag->name)) {
        start.end.kind = HtmlBlockEnd::Kind::TagDepth;
        start.end.text = tag->name;
        update_html_tag_depth(t, tag->name, start.end.depth);
        start.closed = start.end.depth == 0;
        return start;
    }
    auto marker = [&](std::string_view m) {
        start.end.kind = HtmlBlockEnd::Kind::Marker;
        start.end.text = std::string(m);
    };
    if (t.substr(0, 4) == "<!--") {
        marker("-->");
    } else if (t.substr(0, 2) == "<?") {
        marker("?>");
    } else if (t.size() > 8 && starts_with_ignore_ascii_case(t, "<![cdata[")) {
        marker("]]>");
    } else if (t.size() > 2 && t[1] == '!' && is_ascii_alpha(t[2])) {
        marker(">");
    } else {
        auto name = html_tag_name(t);
        if (!name) return std::nullopt;
        if (*name == "pre" || *name == "style" || *name == "script" || *name == "textarea") {
            marker("</" + *name + ">");
        } else if (is_commonmark_block_html_tag(*name)) {
            start.end.kind = HtmlBlockEnd::Kind::BlankLine;
        } else if (t.size() > 1 && t[1] == '/') {
            std::size_t i = 2 + tag_name_end(t.substr(2));
            while (i < t.size() && whitespace_at(t, i)) i += utf8_len(static_cast<unsigned char>(t[i]));
            std::string_view rest = trim_unicode_end(t.substr(i));
            if (rest.empty() || rest.find_first_not_of('>') != std::string_view::npos) return std::nullopt;
            start.end.kind = HtmlBlockEnd::Kind::BlankLine;
        } else {
            auto tag = parse_open_tag(t, false);
            if (!tag || !is_blank(t.substr(tag->end))) return std::nullopt;
            start.end.kind = HtmlBlockEnd::Kind::BlankLine;
        }
    }
    start.closed = html_block_closed_on_line(start.end, text);
    return start;
}

}  // namespace quenlor
