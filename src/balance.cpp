// Output balancing: a single left-to-right pass with a stack of open elements.
#include "balance.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quenlor {

namespace {

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// A tag name of up to eight bytes as one number (0 for a longer one), so that
// a name is told from the known ones by integer comparisons: every tag of the
// output is looked up.
constexpr std::uint64_t packed(std::string_view name) {
    if (name.empty() || name.size() > 8) return 0;
    std::uint64_t v = 0;
    for (char c : name) v = (v << 8) | static_cast<unsigned char>(c);
    return v;
}

bool is_void_element(std::uint64_t name) {
    switch (name) {
        case packed("area"): case packed("base"): case packed("br"): case packed("col"): case packed("embed"):
        case packed("hr"): case packed("img"): case packed("input"): case packed("link"): case packed("meta"):
        case packed("param"): case packed("source"): case packed("track"): case packed("wbr"): return true;
        default: return false;
    }
}

bool is_raw_text_element(std::uint64_t name, std::string_view lower) {
    switch (name) {
        case packed("script"): case packed("style"): case packed("textarea"): case packed("title"):
        case packed("xmp"): return true;
        default: return lower == "plaintext";
    }
}

// The elements the converter writes, and a few that authors often do, are
// counted in an array; any other name in a map (hashing the name each time).
constexpr std::array<std::uint64_t, 40> kCommonElements = {
    packed("p"), packed("a"), packed("b"), packed("i"), packed("s"), packed("u"), packed("em"), packed("li"),
    packed("ul"), packed("ol"), packed("dl"), packed("dt"), packed("dd"), packed("tr"), packed("th"), packed("td"),
    packed("h1"), packed("h2"), packed("h3"), packed("h4"), packed("h5"), packed("h6"), packed("del"), packed("sup"),
    packed("sub"), packed("pre"), packed("div"), packed("kbd"), packed("code"), packed("mark"), packed("span"),
    packed("abbr"), packed("table"), packed("thead"), packed("tbody"), packed("tfoot"), packed("strong"),
    packed("figure"), packed("section"), packed("caption")};
constexpr int kOtherElement = -1;

int common_element(std::uint64_t name) {
    if (name == 0) return kOtherElement;
    for (std::size_t i = 0; i < kCommonElements.size(); ++i)
        if (kCommonElements[i] == name) return static_cast<int>(i);
    return kOtherElement;
}

// How many elements of each name are open.
class OpenCounts {
public:
    void add(int id, const std::string& lower) {
        if (id != kOtherElement) ++common_[static_cast<std::size_t>(id)];
        else ++others_[lower];
    }
    void remove(int id, const std::string& lower) {
        if (id != kOtherElement) {
            if (common_[static_cast<std::size_t>(id)] > 0) --common_[static_cast<std::size_t>(id)];
            return;
        }
        auto it = others_.find(lower);
        if (it != others_.end() && --it->second == 0) others_.erase(it);
    }
    bool any(int id, const std::string& lower) const {
        return id != kOtherElement ? common_[static_cast<std::size_t>(id)] > 0 : others_.contains(lower);
    }

private:
    std::array<std::size_t, kCommonElements.size()> common_{};
    std::unordered_map<std::string, std::size_t> others_;
};

bool equal_ignoring_ascii_case(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != lower[i]) return false;
    return true;
}

void push_close(std::string_view name, std::string& out) {
    out.append("</");
    out.append(name);
    out.push_back('>');
}

// Whether a scan for an unquoted ">" starting at each position, outside any
// quote, reaches the end of the text without one. Computed backwards once, so
// that runs of "<" without a closing ">" do not rescan the rest of the text
// again and again.
std::vector<bool> unclosed_from(std::string_view text) {
    const std::size_t n = text.size();
    std::vector<bool> fails(n + 1);
    bool plain = true, in_double = true, in_single = true;  // results at position i + 1
    for (std::size_t i = n; i-- > 0;) {
        const char c = text[i];
        bool p, d, s;
        if (c == '>') p = false;
        else if (c == '"') p = in_double;
        else if (c == '\'') p = in_single;
        else p = plain;
        d = c == '"' ? plain : in_double;
        s = c == '\'' ? plain : in_single;
        plain = p;
        in_double = d;
        in_single = s;
        fails[i] = p;
    }
    fails[n] = true;
    return fails;
}

// Position of the first ">" at or after from that is outside quoted runs.
std::size_t unquoted_gt(std::string_view text, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
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

// End (one past the ">") of the end tag that closes a raw-text element, or npos.
std::size_t raw_text_end(std::string_view text, std::size_t from, std::string_view lower_name) {
    for (std::size_t at = text.find("</", from); at != std::string_view::npos; at = text.find("</", at + 2)) {
        const std::size_t name_at = at + 2;
        const std::size_t after = name_at + lower_name.size();
        if (after >= text.size()) return std::string_view::npos;
        if (!equal_ignoring_ascii_case(text.substr(name_at, lower_name.size()), lower_name)) continue;
        if (text[after] != '>' && !is_ascii_space(text[after])) continue;
        const std::size_t gt = text.find('>', after);
        return gt == std::string_view::npos ? gt : gt + 1;
    }
    return std::string_view::npos;
}

// Position of the last character of the first terminator at or after from, or
// npos. A failed search is remembered in none_left, so that runs of openers
// without a terminator do not rescan the rest of the text again and again.
std::size_t find_terminator(std::string_view text, std::size_t from, std::string_view terminator, bool& none_left) {
    if (none_left) return std::string_view::npos;
    const std::size_t at = text.find(terminator, std::min(from, text.size()));
    if (at == std::string_view::npos) {
        none_left = true;
        return at;
    }
    return at + terminator.size() - 1;
}

struct OpenElement {
    std::string_view name;  // as written in the start tag
    int id = kOtherElement; // its common element, if it is one
    std::string lower;      // ASCII lower-cased, for the other elements
    bool same(int other_id, const std::string& other_lower) const {
        return id == other_id && (id != kOtherElement || lower == other_lower);
    }
};

// Length of the tag name at the start of text (an ASCII letter, then letters,
// digits and "-"), or nothing.
std::optional<std::size_t> tag_name_end(std::string_view text) {
    if (text.empty() || !is_ascii_letter(text[0])) return std::nullopt;
    std::size_t i = 1;
    while (i < text.size() && (is_ascii_letter(text[i]) || (text[i] >= '0' && text[i] <= '9') || text[i] == '-')) ++i;
    return i;
}

}  // namespace

std::string balance_fragment(std::string_view in) {
    constexpr std::size_t npos = std::string_view::npos;
    std::string out;
    out.reserve(in.size() + 64);
    std::vector<OpenElement> stack;
    OpenCounts counts;
    std::vector<bool> unclosed;  // filled on the first tag without a closing ">"
    std::string lower;
    // Set once a search for "?>" or "]]>" reaches the end: later ones would too.
    bool no_pi_end = false, no_cdata_end = false;

    std::size_t pos = 0;
    const std::size_t n = in.size();
    while (true) {
        const std::size_t lt = in.find('<', pos);
        if (lt == npos) {
            out.append(in, pos);
            break;
        }
        out.append(in, pos, lt - pos);

        if (lt + 3 < n && in[lt + 1] == '!' && in[lt + 2] == '-' && in[lt + 3] == '-') {
            // "<!-->" already counts as a closed comment.
            const std::size_t close = in.find("-->", lt + 1);
            if (close == npos) {
                out.append(in, lt);
                out.append("-->");
                break;
            }
            out.append(in, lt, close + 3 - lt);
            pos = close + 3;
            continue;
        }
        if (lt + 1 == n) {
            out.push_back('<');
            break;
        }
        const char next = in[lt + 1];
        if (next == '!' || next == '?') {
            // Read as the inline parser reads raw HTML: an instruction ends at
            // "?>", a CDATA section at "]]>", any other declaration at its first
            // ">"; without its terminator, a construct ends at its first ">".
            // Quotes hide nothing here: a quote that never closes would make the
            // end depend on the text after it, closers added below included, and
            // the result would not read back as it was balanced.
            std::size_t gt = npos;
            if (next == '?') {
                gt = find_terminator(in, lt + 1, "?>", no_pi_end);  // "<?>" is whole
            } else if (equal_ignoring_ascii_case(in.substr(lt + 2, 7), "[cdata[")) {
                gt = find_terminator(in, lt + 9, "]]>", no_cdata_end);
            }
            if (gt == npos) gt = in.find('>', lt + 2);
            if (gt == npos) {
                // One without any ">" is ended when elements are still open:
                // otherwise it would swallow their end tags.
                out.append(in, lt);
                if (!stack.empty()) {
                    const bool had_newline = out.back() == '\n';
                    if (had_newline) out.pop_back();
                    // Not right after "?" or "]": the added ">" would make a
                    // "?>" (or "]]>") that an earlier instruction without its
                    // terminator would then read as its end.
                    if (out.back() == '?' || out.back() == ']') out.push_back(' ');
                    out.push_back('>');
                    if (had_newline) out.push_back('\n');
                }
                break;
            }
            out.append(in, lt, gt + 1 - lt);
            pos = gt + 1;
            continue;
        }

        const bool end_tag = next == '/';
        const std::size_t name_start = lt + (end_tag ? 2 : 1);
        const auto name_len = tag_name_end(in.substr(std::min(name_start, n)));
        if (!name_len) {
            out.push_back('<');
            pos = lt + 1;
            continue;
        }
        const std::size_t name_end = name_start + *name_len;
        std::size_t gt = npos;
        if (unclosed.empty() || !unclosed[name_end]) gt = unquoted_gt(in, name_end);
        if (gt == npos) {
            // The rest is text and is scanned again.
            if (unclosed.empty()) unclosed = unclosed_from(in);
            out.append("&lt;");
            pos = lt + 1;
            continue;
        }
        const std::string_view name = in.substr(name_start, *name_len);
        lower.assign(name);
        for (char& c : lower) c = ascii_lower(c);
        const std::uint64_t key = packed(lower);
        const int id = common_element(key);

        if (end_tag) {
            if (counts.any(id, lower)) {
                // Close whatever this end tag skips over, innermost first.
                while (!stack.back().same(id, lower)) {
                    push_close(stack.back().name, out);
                    counts.remove(stack.back().id, stack.back().lower);
                    stack.pop_back();
                }
                counts.remove(id, lower);
                stack.pop_back();
                out.append(in, lt, gt + 1 - lt);
                pos = gt + 1;
                continue;
            }
            // Dropped. The text on both sides now meets, and must not read as
            // markup the input lacked when read again: a literal "<" or "</"
            // before would open a tag ("<</x>i") or end one ("</</x>i"), and
            // "?" before ">" would make a "?>" (likewise "]]>") ending an
            // earlier instruction elsewhere.
            pos = gt + 1;
            if (!out.empty() && out.back() == '<') {
                out.pop_back();
                out.append("&lt;");
            } else if (out.ends_with("</")) {
                out.resize(out.size() - 2);
                out.append("&lt;/");
            } else if (pos < n && !out.empty() && (out.back() == '?' || out.back() == ']') &&
                       (in[pos] == '>' || in[pos] == ']')) {
                out.append(in[pos] == '>' ? "&gt;" : "&#93;");
                ++pos;
            }
            continue;
        }

        // Whether the tag is written in self-closing form.
        std::size_t inner_end = gt;
        while (inner_end > name_end && is_ascii_space(in[inner_end - 1])) --inner_end;
        const bool self_closed = in[inner_end - 1] == '/';

        if (is_void_element(key)) {
            if (self_closed) {
                out.append(in, lt, gt + 1 - lt);
            } else {
                out.append(in, lt, inner_end - lt);
                out.append(" />");
            }
            pos = gt + 1;
            continue;
        }

        out.append(in, lt, gt + 1 - lt);
        pos = gt + 1;
        if (self_closed) continue;
        if (is_raw_text_element(key, lower)) {
            // Raw-text content, tags included, is copied up to its end tag.
            const std::size_t end = raw_text_end(in, pos, lower);
            if (end == npos) {
                out.append(in, pos);
                push_close(name, out);
                pos = n;
                break;
            }
            out.append(in, pos, end - pos);
            pos = end;
            continue;
        }
        OpenElement& opened = stack.emplace_back();
        opened.name = name;
        opened.id = id;
        if (id == kOtherElement) opened.lower = lower;
        counts.add(id, lower);
    }

    if (!stack.empty()) {
        const bool had_newline = !out.empty() && out.back() == '\n';
        if (had_newline) out.pop_back();
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) push_close(it->name, out);
        if (had_newline && out.back() != '\n') out.push_back('\n');
    }
    return out;
}

}  // namespace quenlor
