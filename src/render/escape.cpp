// Encoders for text copied from the tree into the output, the attribute writer
// and the plain-text form of inline lists.
#include <array>
#include <charconv>
#include <type_traits>

#include "../byte_scan.hpp"
#include "render.hpp"

namespace quenlor {

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

inline void append_percent_byte(unsigned char b, std::string& out) {
    const char buf[3] = {'%', hex_digits[b >> 4], hex_digits[b & 15]};
    out.append(buf, 3);
}

// Entity replacement of each byte: 0 copies the byte, otherwise an index
// into entities.
constexpr std::string_view entities[] = {"", "&amp;", "&lt;", "&gt;", "&quot;"};
using EntityTable = std::array<unsigned char, 256>;

constexpr EntityTable make_entity_table(bool quote) {
    EntityTable t{};
    t['&'] = 1;
    t['<'] = 2;
    t['>'] = 3;
    if (quote) t['"'] = 4;
    return t;
}
constexpr EntityTable text_entities = make_entity_table(false);
constexpr EntityTable attr_entities = make_entity_table(true);

// Copies runs of bytes that need nothing in bulk, replacing the others.
template <char... Special>
void escape_with(std::string_view s, const EntityTable& table, std::string& out) {
    const char* p = s.data();
    const char* const end = p + s.size();
    while (p != end) {
        const char* run = p;
        p = find_first_of_bytes<Special...>(p, end);
        out.append(run, static_cast<std::size_t>(p - run));
        if (p == end) break;
        out.append(entities[table[static_cast<unsigned char>(*p)]]);
        ++p;
    }
}

enum class UrlByte : unsigned char { Copy, Percent, Amp };

// Bytes of non-ASCII characters are all percent-encoded, which is the same as
// encoding each character's UTF-8 sequence.
constexpr std::array<UrlByte, 256> make_url_table() {
    std::array<UrlByte, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = (b >= 0x21 && b <= 0x7E) ? UrlByte::Copy : UrlByte::Percent;
    for (unsigned char c : {' ', '"', '<', '>', '[', '\\', ']', '`'}) t[c] = UrlByte::Percent;
    t['&'] = UrlByte::Amp;
    return t;
}
constexpr auto url_bytes = make_url_table();
// The bulk search in escape_url_attr stops exactly at the bytes not copied.
constexpr bool url_search_matches_table() {
    constexpr std::string_view stops = "\"<>[\\]`&";
    for (int b = 0; b < 256; ++b) {
        const bool stop = b < 0x21 || b > 0x7E || stops.find(static_cast<char>(b)) != std::string_view::npos;
        if (stop != (url_bytes[b] != UrlByte::Copy)) return false;
    }
    return true;
}
static_assert(url_search_matches_table());

constexpr std::array<bool, 256> make_fragment_table() {
    std::array<bool, 256> keep{};
    for (int b = 0; b < 256; ++b)
        keep[b] = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9');
    for (unsigned char c : {'(', ')', '-', '.', '/', '_', '~'}) keep[c] = true;
    return keep;
}
constexpr auto fragment_keeps = make_fragment_table();

// Attribute names that would break the markup (quotes, angle brackets, "=",
// "/", "&", white space, control characters) are never written.
constexpr std::array<bool, 256> make_name_table() {
    std::array<bool, 256> ok{};
    for (int b = 0; b < 256; ++b) ok[b] = b > 0x20 && b != 0x7F;
    for (unsigned char c : {'"', '\'', '<', '>', '/', '=', '&'}) ok[c] = false;
    return ok;
}
constexpr auto name_bytes = make_name_table();

bool writable_attribute_name(std::string_view key) {
    if (key.empty()) return false;
    for (char c : key)
        if (!name_bytes[static_cast<unsigned char>(c)]) return false;
    return true;
}

void write_classes(const Attr& attr, std::initializer_list<std::string_view> extra, std::string& out) {
    bool first = true;
    auto add = [&](std::string_view name) {
        out.append(first ? " class=\"" : " ");
        first = false;
        escape_attr(name, out);
    };
    for (const auto& c : attr.classes()) add(c);
    for (std::string_view e : extra) {
        bool present = false;
        for (const auto& c : attr.classes()) {
            if (c == e) {
                present = true;
                break;
            }
        }
        if (!present && !e.empty()) add(e);
    }
    if (!first) out.push_back('"');
}

}  // namespace

void escape_text(std::string_view s, std::string& out) { escape_with<'&', '<', '>'>(s, text_entities, out); }

void escape_attr(std::string_view s, std::string& out) { escape_with<'&', '<', '>', '"'>(s, attr_entities, out); }

void escape_url_attr(std::string_view s, std::string& out) {
    const char* p = s.data();
    const char* const end = p + s.size();
    const char* run = p;
    for (; p != end; ++p) {
        // The bytes copied as they are, most of a URL, are skipped in bulk.
        p = find_first_outside<0x21, 0x7E, '"', '<', '>', '[', '\\', ']', '`', '&'>(p, end);
        if (p == end) break;
        const auto b = static_cast<unsigned char>(*p);
        const UrlByte kind = url_bytes[b];
        out.append(run, static_cast<std::size_t>(p - run));
        if (kind == UrlByte::Amp) out.append("&amp;");
        else append_percent_byte(b, out);
        run = p + 1;
    }
    out.append(run, static_cast<std::size_t>(end - run));
}

void append_fragment(std::string_view s, std::string& out) {
    const char* p = s.data();
    const char* const end = p + s.size();
    const char* run = p;
    for (; p != end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        if (fragment_keeps[b]) continue;
        out.append(run, static_cast<std::size_t>(p - run));
        append_percent_byte(b, out);
        run = p + 1;
    }
    out.append(run, static_cast<std::size_t>(end - run));
}

std::string escape_fragment(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 8);
    append_fragment(s, out);
    return out;
}

void percent_encode_char(char32_t c, std::string& out) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        append_percent_byte(static_cast<unsigned char>(c), out);
    } else if (c < 0x800) {
        append_percent_byte(static_cast<unsigned char>(0xC0 | (c >> 6)), out);
        append_percent_byte(static_cast<unsigned char>(0x80 | (c & 0x3F)), out);
    } else if (c < 0x10000) {
        append_percent_byte(static_cast<unsigned char>(0xE0 | (c >> 12)), out);
        append_percent_byte(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)), out);
        append_percent_byte(static_cast<unsigned char>(0x80 | (c & 0x3F)), out);
    } else {
        append_percent_byte(static_cast<unsigned char>(0xF0 | (c >> 18)), out);
        append_percent_byte(static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F)), out);
        append_percent_byte(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)), out);
        append_percent_byte(static_cast<unsigned char>(0x80 | (c & 0x3F)), out);
    }
}

void attrs_html(const Attr& attr, std::initializer_list<std::string_view> extra_classes, std::string& out) {
    if (attr.id()) {
        out.append(" id=\"");
        escape_attr(*attr.id(), out);
        out.push_back('"');
    }
    write_classes(attr, extra_classes, out);
    for (const auto& [key, value] : attr.pairs()) {
        if (key == "id" || key == "class" || !writable_attribute_name(key)) continue;
        out.push_back(' ');
        out.append(key);
        out.append("=\"");
        escape_attr(value.empty() ? std::string_view(key) : std::string_view(value), out);
        out.push_back('"');
    }
}

void attrs_html(const Attr& attr, std::string& out) {
    if (attr.empty()) return;
    attrs_html(attr, {}, out);
}

void append_plain(const Inlines& inlines, std::string& out) {
    for (const Inline& node : inlines) {
        std::visit(
            [&](const auto& n) {
                using T = std::decay_t<decltype(n)>;
                if constexpr (std::is_same_v<T, Text>) out.append(n.text);
                else if constexpr (std::is_same_v<T, HtmlInline>) out.append(n.html);
                else if constexpr (std::is_same_v<T, SoftBreak> || std::is_same_v<T, HardBreak>) out.push_back(' ');
                else if constexpr (std::is_same_v<T, Superscript> || std::is_same_v<T, Subscript> ||
                                   std::is_same_v<T, Code> || std::is_same_v<T, Autolink> ||
                                   std::is_same_v<T, Abbr>)
                    out.append(n.text);
                else if constexpr (std::is_same_v<T, MathInline>) out.append(n.tex);
                else if constexpr (std::is_same_v<T, FootnoteRef>) out.append(n.label);
                else if constexpr (std::is_same_v<T, RawInline>) {}
                else append_plain(n.children, out);  // containers: emphasis, links, images, notes, spans
            },
            node.v);
    }
}

std::string plain(const Inlines& inlines) {
    std::string out;
    append_plain(inlines, out);
    return out;
}

void append_code_block_open(const Attr& attr, const std::optional<std::string>& lang, std::string& out) {
    out.append("<pre");
    attrs_html(attr, out);
    out.append("><code");
    if (lang) {
        out.append(" class=\"language-");
        escape_attr(*lang, out);
        out.push_back('"');
    }
    out.push_back('>');
}

std::string code_block_open(const Attr& attr, const std::optional<std::string>& lang) {
    std::string out;
    append_code_block_open(attr, lang, out);
    return out;
}

void append_decimal(std::size_t n, std::string& out) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, static_cast<std::size_t>(res.ptr - buf));
}

}  // namespace quenlor
