// Code spans, raw inlines and inline math: literal constructs found by looking
// ahead for their closing delimiter.
#include <algorithm>
#include <cstring>

#include "../unicode.hpp"
#include "scanner.hpp"

namespace quenlor {

namespace {
constexpr std::size_t npos = std::string_view::npos;

std::size_t backtick_run(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && text[end] == '`') ++end;
    return end - pos;
}

// Start of the next run of exactly n backticks at or after from, or npos.
std::size_t find_backtick_run(std::string_view text, std::size_t from, std::size_t n) {
    while (from < text.size()) {
        const void* hit = std::memchr(text.data() + from, '`', text.size() - from);
        if (!hit) return npos;
        std::size_t j = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        std::size_t m = backtick_run(text, j);
        if (m == n) return j;
        from = j + m;
    }
    return npos;
}

// Records, for every run length, where the last run of that length starts.
void catalogue_backticks(std::string_view text, std::size_t opener, BacktickMemo& memo) {
    memo.scanned_from = opener;
    memo.last_run.clear();
    std::size_t from = opener + backtick_run(text, opener);
    while (from < text.size()) {
        const void* hit = std::memchr(text.data() + from, '`', text.size() - from);
        if (!hit) break;
        std::size_t j = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        std::size_t m = backtick_run(text, j);
        if (memo.last_run.size() <= m) memo.last_run.resize(m + 1, npos);
        memo.last_run[m] = j;
        from = j + m;
    }
}
}  // namespace

std::optional<CodeSpanMatch> code_span(std::string_view text, std::size_t start) {
    return code_span(text, start, nullptr);
}

std::optional<CodeSpanMatch> code_span(std::string_view text, std::size_t start, BacktickMemo* memo) {
    const std::size_t n = backtick_run(text, start);
    const std::size_t open_end = start + n;
    if (n == 0 || open_end >= text.size()) return std::nullopt;
    if (memo && memo->scanned_from != npos && memo->scanned_from <= start) {
        // A closer exists only if a run of this length starts after the opener.
        if (n >= memo->last_run.size() || memo->last_run[n] == npos || memo->last_run[n] <= start)
            return std::nullopt;
    }
    const std::size_t close = find_backtick_run(text, open_end, n);
    if (close == npos) {
        if (memo && (memo->scanned_from == npos || memo->scanned_from > start)) catalogue_backticks(text, start, *memo);
        return std::nullopt;
    }
    // Line feeds and tabs read as spaces; one space is stripped from each
    // end when both ends have one and the content is not all spaces.
    std::string_view content = text.substr(open_end, close - open_end);
    const auto space = [](char c) { return c == ' ' || c == '\n' || c == '\t'; };
    if (content.size() >= 2 && space(content.front()) && space(content.back()) &&
        !std::all_of(content.begin(), content.end(), space)) {
        content = content.substr(1, content.size() - 2);
    }
    CodeText code(content);
    char* const bytes = code.data();
    for (std::size_t i = 0; i < code.size(); ++i)
        if (bytes[i] == '\n' || bytes[i] == '\t') bytes[i] = ' ';
    return CodeSpanMatch{Code{Attr{}, std::move(code)}, close + n};
}

std::optional<std::size_t> find_unescaped(std::string_view text, std::size_t start, std::string_view delim) {
    if (delim.empty()) return std::nullopt;
    const char first = delim[0];
    std::size_t i = start;
    while (i < text.size()) {
        const char c = text[i];
        if (c == first && text.compare(i, delim.size(), delim) == 0) return i;
        i += c == '\\' ? 2 : 1;
    }
    return std::nullopt;
}

bool can_open_dollar(std::string_view text, std::size_t pos) {
    std::size_t p = pos + 1;
    if (p >= text.size()) return false;
    char32_t c = decode_utf8(text, p);
    return c != '$' && !is_white_space(c);
}

namespace {
// Where a single-dollar search from start ends: the closing "$", or the
// position at which it gave up (a "$$", or the end) with found false.
struct DollarSearch {
    std::size_t pos;
    bool found;
};
DollarSearch search_closing_dollar(std::string_view text, std::size_t start) {
    std::size_t i = start;
    while (i < text.size()) {
        const void* hit = std::memchr(text.data() + i, '$', text.size() - i);
        if (!hit) break;
        std::size_t d = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        const char next = d + 1 < text.size() ? text[d + 1] : '\0';
        if (next == '$') return {d, false};
        i = d + 1;
        if (d > 0 && is_white_space(decode_utf8_before(text, d))) continue;
        if (next >= '0' && next <= '9') continue;
        return {d, true};
    }
    return {text.size(), false};
}
}  // namespace

std::optional<std::size_t> find_closing_dollar(std::string_view text, std::size_t start) {
    DollarSearch r = search_closing_dollar(text, start);
    if (!r.found) return std::nullopt;
    return r.pos;
}

// ---- scanner rules -----------------------------------------------------------

bool InlineScanner::memo_failed(MemoKind kind, std::size_t start) const {
    return failed_from_[kind] != npos && start >= failed_from_[kind] && start <= failed_until_[kind];
}

void InlineScanner::memo_fail(MemoKind kind, std::size_t start, std::size_t until) {
    failed_from_[kind] = start;
    failed_until_[kind] = until;
}

std::size_t InlineScanner::code_or_backticks(std::size_t pos) {
    auto m = code_span(text_, pos, &backticks_);
    if (!m) {
        std::size_t n = backtick_run(text_, pos);
        pending_.append_source(pos, n);
        return pos + n;
    }
    if (auto raw = raw_attr(text_.substr(m->end))) {
        push_node(RawInline{std::move(raw->format), m->node.text.str()});
        return m->end + raw->consumed;
    }
    return push_with_attrs(std::move(m->node), m->end);
}

std::optional<std::size_t> InlineScanner::bracket_math(std::size_t pos, bool display) {
    const MemoKind kind = display ? MemoDisplayBracket : MemoInlineBracket;
    const std::size_t start = pos + 2;
    if (memo_failed(kind, start)) return std::nullopt;
    auto close = find_unescaped(text_, start, display ? "\\]" : "\\)");
    if (!close) {
        memo_fail(kind, start, text_.size());
        return std::nullopt;
    }
    MathInline m{Attr{}, std::string(text_.substr(start, *close - start)), display};
    return push_with_attrs(std::move(m), *close + 2);
}

std::optional<std::size_t> InlineScanner::double_dollar_math(std::size_t pos) {
    const std::size_t start = pos + 2;
    if (memo_failed(MemoDoubleDollar, start)) return std::nullopt;
    auto close = find_unescaped(text_, start, "$$");
    if (!close) {
        memo_fail(MemoDoubleDollar, start, text_.size());
        return std::nullopt;
    }
    MathInline m{Attr{}, std::string(trim_unicode(text_.substr(start, *close - start))), true};
    return push_with_attrs(std::move(m), *close + 2);
}

std::optional<std::size_t> InlineScanner::dollar_math(std::size_t pos) {
    if (!can_open_dollar(text_, pos)) return std::nullopt;
    const std::size_t start = pos + 1;
    if (memo_failed(MemoDollar, start)) return std::nullopt;
    DollarSearch r = search_closing_dollar(text_, start);
    if (!r.found) {
        memo_fail(MemoDollar, start, npos);
        return std::nullopt;
    }
    MathInline m{Attr{}, std::string(text_.substr(start, r.pos - start)), false};
    return push_with_attrs(std::move(m), r.pos + 1);
}

}  // namespace quenlor
