#include "inline/brace_index.hpp"

#include <algorithm>
#include <limits>

#include "unicode.hpp"

namespace quenlor {

namespace {
constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();
// Short texts are cheap to rescan; the index only pays off on long ones.
constexpr std::size_t min_indexed_size = 2048;
}  // namespace

void BraceIndex::build(std::string_view text) {
    built_ = true;
    const std::size_t n = text.size();
    if (n < min_indexed_size || n >= none - 2) return;
    usable_ = true;
    for (auto& v : close_) v.assign(n + 2, none);
    next_eq_.assign(n + 1, none);
    next_ws_.assign(n + 1, none);
    // The same walk as the closing-brace search: a backslash hides the next
    // byte in every state, a quote opens a run that the same quote closes.
    for (std::size_t i = n; i-- > 0;) {
        const char c = text[i];
        for (int s = 0; s < 3; ++s) {
            std::uint32_t r;
            if (c == '\\') r = i + 2 <= n ? close_[s][i + 2] : none;
            else if (s == 0) r = c == '}' ? static_cast<std::uint32_t>(i)
                               : c == '"' ? close_[1][i + 1]
                               : c == '\'' ? close_[2][i + 1]
                                           : close_[0][i + 1];
            else r = c == (s == 1 ? '"' : '\'') ? close_[0][i + 1] : close_[s][i + 1];
            close_[s][i] = r;
        }
        next_eq_[i] = c == '=' ? static_cast<std::uint32_t>(i) : next_eq_[i + 1];
    }
    std::uint32_t ws = none;
    std::vector<std::uint32_t>& nw = next_ws_;
    // White space is found per character; bytes inside a character take the next one's answer.
    std::vector<std::uint8_t> starts(n, 0);
    for (std::size_t pos = 0; pos < n;) {
        std::size_t at = pos;
        starts[at] = is_white_space(decode_utf8(text, pos)) ? 2 : 1;
    }
    for (std::size_t i = n; i-- > 0;) {
        if (starts[i] == 2) ws = static_cast<std::uint32_t>(i);
        nw[i] = ws;
    }
}

bool BraceIndex::may_read(std::string_view text, std::size_t pos, bool trailing) {
    if (!built_) build(text);
    if (!usable_ || pos >= text.size() || text[pos] != '{') return true;
    const std::uint32_t close = close_[0][pos + 1];
    if (close == none) return false;  // no closing brace: neither reading succeeds
    const bool colon = pos + 1 < text.size() && text[pos + 1] == ':';
    if (trailing && colon && text.size() - pos >= 3) return true;  // "{:" … "}" always reads
    // Otherwise the trimmed inside must pass the attribute-block test.
    std::size_t s = pos + 1 + (colon ? 1 : 0);
    while (s < close) {
        std::size_t next = s;
        if (!is_white_space(decode_utf8(text, next))) break;
        s = next;
    }
    if (s >= close) return false;  // blank inside
    if (colon || text[s] == '#' || text[s] == '.') return true;
    const std::uint32_t word_end = std::min(next_ws_[s], close);
    const std::uint32_t eq = next_eq_[s];
    return eq < word_end && eq > s;
}

}  // namespace quenlor
