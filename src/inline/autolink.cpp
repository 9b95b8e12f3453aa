// Autolinks in angle brackets, bare URL and e-mail autolinks, and raw inline HTML.
#include <algorithm>
#include <cstring>

#include "../byte_scan.hpp"
#include "../line.hpp"
#include "../tagfilter.hpp"
#include "../unicode.hpp"
#include "inline.hpp"

namespace quenlor {

namespace {

// A construct opened by "<" must close within this many bytes after the "<".
constexpr std::size_t angle_window = 1024;
// A bare e-mail address is looked for in at most this many bytes of a word.
constexpr std::size_t email_word_limit = 255;
// Longer host names do not exist (DNS allows 253 bytes); the bound keeps the
// look-ahead of a bare URL's host short.
constexpr std::size_t max_host_length = 255;

// Byte length of the whitespace character at i, or 0 when it is something else.
std::size_t space_len_at(std::string_view s, std::size_t i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return (b == ' ' || (b >= '\t' && b <= '\r')) ? 1 : 0;
    std::size_t j = i;
    char32_t c = decode_utf8(s, j);
    return is_white_space(c) ? j - i : 0;
}

// Byte length of the character at i (at least 1, never past the end).
std::size_t char_len_at(std::string_view s, std::size_t i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return 1;
    std::size_t j = i;
    decode_utf8(s, j);
    return j - i;
}

std::size_t skip_spaces(std::string_view s, std::size_t i) {
    while (i < s.size()) {
        std::size_t n = space_len_at(s, i);
        if (n == 0) break;
        i += n;
    }
    return i;
}

bool starts_with_ci(std::string_view s, std::size_t pos, std::string_view lower_prefix) {
    if (s.size() - pos < lower_prefix.size()) return false;
    for (std::size_t i = 0; i < lower_prefix.size(); ++i)
        if (ascii_lower(s[pos + i]) != lower_prefix[i]) return false;
    return true;
}

bool boundary_before(std::string_view text, std::size_t pos) {
    if (pos == 0) return true;
    unsigned char b = static_cast<unsigned char>(text[pos - 1]);
    if (b < 0x80) return is_boundary(b);
    return is_boundary(decode_utf8_before(text, pos));
}

bool is_email_local_char(char c) {
    return is_ascii_alnum(c) || (c != '\0' && std::strchr(".!#$%&'*+/=?^_`{|}~-", c) != nullptr);
}

bool valid_email_domain_label(std::string_view label) {
    if (label.empty() || !is_ascii_alnum(label.front()) || !is_ascii_alnum(label.back())) return false;
    for (char c : label)
        if (!is_ascii_alnum(c) && c != '_' && c != '-') return false;
    return true;
}

// Scheme of 2 to 32 characters, ":", then no control, space, "<" or ">".
bool is_uri_autolink(std::string_view inner) {
    std::size_t colon = inner.find(':');
    if (colon == std::string_view::npos || colon < 2 || colon > 32) return false;
    if (!is_ascii_alpha(inner[0])) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        char c = inner[i];
        if (!is_ascii_alnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    for (std::size_t i = colon + 1; i < inner.size();) {
        unsigned char b = static_cast<unsigned char>(inner[i]);
        if (b < 0x21 || b == 0x7f || b == '<' || b == '>') return false;
        std::size_t n = space_len_at(inner, i);
        if (n) return false;
        i += char_len_at(inner, i);
    }
    return true;
}

// Attribute name: ASCII letter, "_" or ":", then letters, digits, "_", ".", ":", "-".
std::size_t attr_name_end(std::string_view s, std::size_t i) {
    if (i >= s.size() || !(is_ascii_alpha(s[i]) || s[i] == '_' || s[i] == ':')) return i;
    ++i;
    while (i < s.size() && (is_ascii_alnum(s[i]) || s[i] == '_' || s[i] == '.' || s[i] == ':' || s[i] == '-'))
        ++i;
    return i;
}

// End of an attribute value starting at i, or nothing.
std::optional<std::size_t> attr_value_end(std::string_view s, std::size_t i) {
    if (i >= s.size()) return std::nullopt;
    if (s[i] == '"' || s[i] == '\'') {
        std::size_t close = s.find(s[i], i + 1);
        if (close == std::string_view::npos) return std::nullopt;
        return close + 1;
    }
    std::size_t j = i;
    while (j < s.size()) {
        char c = s[j];
        if (c == '"' || c == '\'' || c == '=' || c == '<' || c == '>' || c == '`' || space_len_at(s, j)) break;
        j += char_len_at(s, j);
    }
    if (j == i) return std::nullopt;
    return j;
}

// Length of an open tag at the start of w ("<" included), or nothing.
std::optional<std::size_t> open_tag_length(std::string_view w) {
    auto name = html_tag_name_end(w.substr(1));
    if (!name) return std::nullopt;
    std::size_t i = 1 + *name;
    for (;;) {
        std::size_t j = skip_spaces(w, i);
        if (j == i) break;
        std::size_t k = attr_name_end(w, j);
        if (k == j) {
            i = j;
            break;
        }
        i = k;
        std::size_t v = skip_spaces(w, k);
        if (v < w.size() && w[v] == '=') {
            auto end = attr_value_end(w, skip_spaces(w, v + 1));
            if (!end) return std::nullopt;
            i = *end;
        }
    }
    if (i < w.size() && w[i] == '/') ++i;
    if (i < w.size() && w[i] == '>') return i + 1;
    return std::nullopt;
}

// Length of raw inline HTML at the start of the window w ("<" at 0), or nothing.
std::optional<std::size_t> raw_html_length(std::string_view w) {
    auto closed_by = [&](std::size_t from, std::string_view marker) -> std::optional<std::size_t> {
        std::size_t f = w.find(marker, from);
        if (f == std::string_view::npos || f + marker.size() > angle_window) return std::nullopt;
        return f + marker.size();
    };
    if (w.size() < 2) return std::nullopt;
    if (w.substr(0, 4) == "<!--") return closed_by(2, "-->");
    if (w[1] == '?') return closed_by(1, "?>");
    if (starts_with_ci(w, 0, "<![cdata[")) return closed_by(9, "]]>");
    if (w[1] == '!') {
        std::size_t i = 2;
        while (i < w.size() && w[i] >= 'A' && w[i] <= 'Z') ++i;
        if (i == 2 || i >= w.size() || space_len_at(w, i) == 0) return std::nullopt;
        std::size_t gt = w.find('>', i);
        if (gt == std::string_view::npos) return std::nullopt;
        return gt + 1;
    }
    if (w[1] == '/') {
        auto name = html_tag_name_end(w.substr(2));
        if (!name) return std::nullopt;
        std::size_t i = skip_spaces(w, 2 + *name);
        if (i < w.size() && w[i] == '>') return i + 1;
        return std::nullopt;
    }
    return open_tag_length(w);
}

// Host rules of a bare URL: no empty label; the last two labels hold no "_"
// and do not end with "-".
bool valid_bare_host(std::string_view host) {
    if (host.empty()) return false;
    // One pass from the end, label by label.
    std::size_t labels = 0;
    std::size_t label_end = host.size();
    for (std::size_t i = host.size(); i-- > 0;) {
        const char c = host[i];
        if (c == '.') {
            if (i + 1 == label_end) return false;  // an empty label
            ++labels;
            label_end = i;
        } else if (labels < 2 && (c == '_' || (c == '-' && i + 1 == label_end))) {
            return false;
        }
    }
    return label_end != 0;
}

bool is_url_punct(char c) { return c != '\0' && std::strchr("!\"'*,.:?~", c) != nullptr; }

// Whether trimming a candidate that continues at h (a "?") could cut it back
// to h or before: only trailing punctuation, ";", ")" and one "&name;" tail
// are ever cut, so any other character past h keeps the cut after h.
bool trim_may_reach(std::string_view text, std::size_t h, bool bracket_open) {
    bool in_entity = false;
    for (std::size_t i = h; i < text.size(); ++i) {
        char c = text[i];
        if (c == '<' || (bracket_open && c == ']') || space_len_at(text, i)) return true;
        if (c == '&') {
            in_entity = true;
        } else if (is_ascii_alnum(c)) {
            if (!in_entity) return false;
        } else if (is_url_punct(c) || c == ';' || c == ')') {
            in_entity = false;
        } else {
            return false;
        }
    }
    return true;
}

// End of a URL candidate starting at p: the next whitespace, "<" (or "]" while
// a bracket is open), or the end of the text.
std::size_t url_candidate_end(std::string_view text, std::size_t p, bool bracket_open) {
    std::size_t i = p;
    while (i < text.size()) {
        char c = text[i];
        if (c == '<' || (bracket_open && c == ']') || space_len_at(text, i)) break;
        i += char_len_at(text, i);
    }
    return i;
}

// "http://", "https://", "ftp://" or "www." at p; prefix and host start.
std::optional<BareAutolinkMatch> bare_url(std::string_view text, std::size_t p, bool bracket_open) {
    std::string_view rest = text.substr(p);
    bool www = false;
    std::size_t host_start;
    if (rest.starts_with("http://")) host_start = p + 7;
    else if (rest.starts_with("https://")) host_start = p + 8;
    else if (rest.starts_with("ftp://")) host_start = p + 6;
    else if (rest.starts_with("www.")) host_start = p, www = true;
    else return std::nullopt;
    if (p >= 2 && text[p - 2] == '!' && text[p - 1] == '[') return std::nullopt;
    if (preceded_by_angle_opener(text, p)) return std::nullopt;

    // The host is judged before the rest of the candidate is read, so that the
    // tries at every "www." of one long unbroken run do not each read it all.
    // A host that stops at "/" or "#" cannot be shortened by trimming.
    std::size_t h = host_start;
    bool long_host = false;
    while (h < text.size()) {
        char c = text[h];
        if (c == '/' || c == '?' || c == '#' || c == '<' || (bracket_open && c == ']')) break;
        if (h - host_start >= max_host_length) {
            long_host = true;
            break;
        }
        if (static_cast<unsigned char>(c) < 0x80) {
            if (c == ' ' || (c >= '\t' && c <= '\r')) break;
            ++h;
        } else {
            if (space_len_at(text, h)) break;
            h += char_len_at(text, h);
        }
    }
    bool host_ok = false;  // the host before h is valid and ends at "/", "?" or "#"
    if (long_host) {
        if (!trim_may_reach(text, h, bracket_open)) return std::nullopt;
    } else if (h < text.size() && (text[h] == '/' || text[h] == '#' || text[h] == '?')) {
        host_ok = valid_bare_host(text.substr(host_start, h - host_start));
        if (!host_ok && (text[h] != '?' || !trim_may_reach(text, h + 1, bracket_open))) return std::nullopt;
    }

    std::size_t end = trim_bare_url_end(text, p, url_candidate_end(text, h, bracket_open));
    // A "www." whose dot was trimmed away is no link.
    if (end <= host_start || (www && end <= p + 4)) return std::nullopt;
    std::string_view candidate = text.substr(p, end - p);
    // A cut that stops past h leaves the host judged above (but for its length).
    if (host_ok && end > h) {
        if (h - host_start > max_host_length) return std::nullopt;
    } else {
        std::string_view host = text.substr(host_start, end - host_start);
        host = host.substr(0, static_cast<std::size_t>(
                                  find_first_of_bytes<'/', '?', '#'>(host.data(), host.data() + host.size()) - host.data()));
        if (host.size() > max_host_length || !valid_bare_host(host)) return std::nullopt;
    }

    BareAutolinkMatch m;
    m.node.text = std::string(candidate);
    m.node.url = www ? "http://" + m.node.text : m.node.text;
    m.link_start = p;
    m.end = end;
    return m;
}

// "mailto:" or "xmpp:" (any case) followed by an address.
std::optional<BareAutolinkMatch> scheme_email(std::string_view text, std::size_t p, bool bracket_open) {
    bool mailto = starts_with_ci(text, p, "mailto:");
    if (!mailto && !starts_with_ci(text, p, "xmpp:")) return std::nullopt;
    std::size_t after = p + (mailto ? 7 : 5);
    auto addr = bare_email_prefix(bounded_autolink_word(text, after));
    if (!addr) return std::nullopt;
    BareAutolinkMatch m;
    m.link_start = p;
    if (mailto) {
        m.end = static_cast<std::size_t>(addr->data() - text.data()) + addr->size();
        m.node.url = "mailto:";
        m.node.url += *addr;
        m.node.text = std::string(text.substr(p, m.end - p));
        m.node.email = true;
    } else {
        // The link runs on past the address so that a resource ("/home") is kept.
        m.end = trim_bare_url_end(text, p, url_candidate_end(text, after, bracket_open));
        m.node.text = std::string(text.substr(p, m.end - p));
        m.node.url = m.node.text;
    }
    return m;
}

std::optional<BareAutolinkMatch> bare_email(std::string_view text, std::size_t p) {
    std::size_t window = std::min(email_word_limit, text.size() - p);
    if (std::memchr(text.data() + p, '@', window) == nullptr) return std::nullopt;
    std::string_view word = bounded_autolink_word(text, p);
    if (word.find('@') == std::string_view::npos) return std::nullopt;
    if (p >= 2 && text[p - 2] == '!' && text[p - 1] == '[') return std::nullopt;
    if (preceded_by_angle_opener(text, p)) return std::nullopt;
    auto addr = bare_email_prefix(word);
    if (!addr) return std::nullopt;
    BareAutolinkMatch m;
    m.link_start = static_cast<std::size_t>(addr->data() - text.data());
    m.end = m.link_start + addr->size();
    m.node.text = std::string(*addr);
    m.node.url = "mailto:" + m.node.text;
    m.node.email = true;
    return m;
}

}  // namespace

bool is_boundary(char32_t c) {
    switch (c) {
    case '(': case '[': case '{': case ':': case ';': case '\'': case '"': case '/': case '*': case '~':
        return true;
    default:
        return is_white_space(c);
    }
}

std::optional<std::size_t> html_tag_name_end(std::string_view text) {
    if (text.empty() || !is_ascii_alpha(text[0])) return std::nullopt;
    std::size_t i = 1;
    while (i < text.size() && (is_ascii_alnum(text[i]) || text[i] == '-')) ++i;
    return i;
}

bool is_email(std::string_view text) {
    std::size_t at = text.find('@');
    if (at == std::string_view::npos || at == 0) return false;
    for (std::size_t i = 0; i < at; ++i)
        if (!is_email_local_char(text[i])) return false;
    std::string_view domain = text.substr(at + 1);
    if (domain.empty() || domain.find('.') == std::string_view::npos) return false;
    for (;;) {
        std::size_t dot = domain.find('.');
        if (!valid_email_domain_label(domain.substr(0, dot))) return false;
        if (dot == std::string_view::npos) return true;
        domain.remove_prefix(dot + 1);
    }
}

// Every prefix of the word, stripped of ".,;:!?)" at both ends, is an address
// candidate; they all start at the same place, so one forward pass over the
// domain finds the longest that is an address.
std::optional<std::string_view> bare_email_prefix(std::string_view word) {
    auto strippable = [](char c) { return c != '\0' && std::strchr(".,;:!?)", c) != nullptr; };
    std::size_t a = 0;
    while (a < word.size() && strippable(word[a])) ++a;
    std::size_t at = a;
    while (at < word.size() && word[at] != '@' && is_email_local_char(word[at])) ++at;
    if (at == a || at >= word.size() || word[at] != '@') return std::nullopt;

    std::size_t best = 0;
    bool seen_dot = false;
    std::size_t label_start = at + 1;
    for (std::size_t i = at + 1; i < word.size(); ++i) {
        char c = word[i];
        if (c == '.') {
            if (i == label_start || !is_ascii_alnum(word[i - 1])) break;
            seen_dot = true;
            label_start = i + 1;
            continue;
        }
        if (is_ascii_alnum(c)) {
            if (seen_dot) best = i + 1;
            continue;
        }
        if ((c != '_' && c != '-') || i == label_start) break;
    }
    if (best == 0) return std::nullopt;
    if (best < word.size() && (word[best] == '_' || word[best] == '-')) return std::nullopt;
    return word.substr(a, best - a);
}

std::string_view bounded_autolink_word(std::string_view text, std::size_t pos) {
    std::size_t i = pos;
    while (i < text.size() && space_len_at(text, i) == 0) {
        std::size_t n = char_len_at(text, i);
        if (i + n - pos > email_word_limit) break;
        i += n;
    }
    return text.substr(pos, i - pos);
}

std::size_t trim_trailing_url_punct(std::string_view text, std::size_t start, std::size_t end) {
    while (end > start && is_url_punct(text[end - 1])) --end;
    return end;
}

std::size_t trim_bare_url_end(std::string_view text, std::size_t start, std::size_t end) {
    end = trim_trailing_url_punct(text, start, end);
    if (end > start && text[end - 1] == ';') {
        std::string_view cand = text.substr(start, end - start);
        std::size_t amp = cand.rfind('&');
        if (amp != std::string_view::npos) {
            std::string_view name = cand.substr(amp + 1, cand.size() - amp - 2);
            if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return is_ascii_alnum(c); }))
                end = start + amp;
        } else {
            while (end > start && text[end - 1] == ';') --end;
        }
    }
    if (end > start && text[end - 1] == ')') {
        std::string_view cand = text.substr(start, end - start);
        auto open = std::count(cand.begin(), cand.end(), '(');
        auto close = std::count(cand.begin(), cand.end(), ')');
        while (end > start && text[end - 1] == ')' && close > open) --end, --close;
    }
    return trim_trailing_url_punct(text, start, end);
}

bool preceded_by_angle_opener(std::string_view text, std::size_t pos) {
    while (pos > 0) {
        std::size_t len = 1;
        char32_t c = static_cast<unsigned char>(text[pos - 1]);
        if (c >= 0x80) c = decode_utf8_before(text, pos, &len);
        if (!is_white_space(c)) return c == '<';
        pos -= len;
    }
    return false;
}

std::optional<AngleMatch> angle_or_html(std::string_view text, std::size_t pos, bool tagfilter) {
    if (pos >= text.size() || text[pos] != '<') return std::nullopt;
    // Nothing past index angle_window (relative to "<") can belong to the construct.
    std::string_view w = text.substr(pos, std::min(text.size() - pos, angle_window + 1));

    std::size_t gt = w.find('>', 1);
    if (gt != std::string_view::npos) {
        std::string_view inner = w.substr(1, gt - 1);
        if (is_uri_autolink(inner)) {
            std::string s(inner);
            return AngleMatch{Autolink{s, s, false}, pos + gt + 1};
        }
        if (is_email(inner)) {
            std::string s(inner);
            return AngleMatch{Autolink{"mailto:" + s, s, true}, pos + gt + 1};
        }
    }

    auto len = raw_html_length(w);
    if (!len) return std::nullopt;
    std::string_view raw = w.substr(0, *len);
    HtmlInline node{tagfilter ? NodeText(tagfilter_html(raw)) : NodeText(raw)};
    return AngleMatch{std::move(node), pos + *len};
}

std::optional<BareAutolinkMatch> bare_autolink(std::string_view text, std::size_t pos, bool bracket_open) {
    if (pos >= text.size() || !boundary_before(text, pos)) return std::nullopt;
    switch (text[pos]) {
    case 'm': case 'M': case 'x': case 'X':
        if (auto m = scheme_email(text, pos, bracket_open)) return m;
        break;
    case 'h': case 'f': case 'w':
        if (auto m = bare_url(text, pos, bracket_open)) return m;
        break;
    default:
        break;
    }
    return bare_email(text, pos);
}

}  // namespace quenlor
