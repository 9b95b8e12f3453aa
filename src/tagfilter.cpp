#include "tagfilter.hpp"

#include <cstring>

#include "line.hpp"
#include "unicode.hpp"

namespace quenlor {

namespace {

constexpr std::string_view filtered_names[] = {"title",   "textarea", "style",  "xmp",      "iframe",
                                               "noembed", "noframes", "script", "plaintext"};

bool is_filtered_name(std::string_view name) {
    for (std::string_view f : filtered_names)
        if (f.size() == name.size() && starts_with_ignore_ascii_case(name, f)) return true;
    return false;
}

}  // namespace

bool is_tagfiltered_start(std::string_view text) {
    if (text.size() < 2 || text[0] != '<') return false;
    std::size_t i = 1;
    if (text[i] == '/') ++i;
    std::size_t name_start = i;
    while (i < text.size() && is_ascii_alpha(text[i])) ++i;
    if (i == name_start || i >= text.size()) return false;
    if (!is_filtered_name(text.substr(name_start, i - name_start))) return false;
    char c = text[i];
    if (c == '>' || c == '/') return true;
    std::size_t pos = i;
    return is_white_space(decode_utf8(text, pos));
}

std::string tagfilter_html(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0, i = 0;
    while (i < text.size()) {
        const void* hit = std::memchr(text.data() + i, '<', text.size() - i);
        if (!hit) break;
        i = static_cast<const char*>(hit) - text.data();
        if (is_tagfiltered_start(text.substr(i))) {
            out.append(text.substr(copied, i - copied));
            out.append("&lt;");
            copied = i + 1;
        }
        ++i;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace quenlor
