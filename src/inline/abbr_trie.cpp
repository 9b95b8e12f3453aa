#include "abbr_trie.hpp"

#include <algorithm>
#include <map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "inline.hpp"

namespace quenlor {

AbbrTrie::AbbrTrie(const std::vector<std::string>& keys) {
    // Built through ordered maps, then frozen into flat sorted edge slices.
    struct Build {
        std::map<unsigned char, std::uint32_t> next;
        std::uint32_t key = kNoKey;
    };
    std::vector<Build> tmp;
    std::map<unsigned char, std::uint32_t> first;
    for (std::uint32_t k = 0; k < keys.size(); ++k) {
        const std::string& key = keys[k];
        if (key.empty()) continue;
        auto b0 = static_cast<unsigned char>(key[0]);
        auto [it, fresh] = first.try_emplace(b0, static_cast<std::uint32_t>(tmp.size()));
        if (fresh) tmp.emplace_back();
        std::uint32_t node = it->second;
        for (std::size_t i = 1; i < key.size(); ++i) {
            auto b = static_cast<unsigned char>(key[i]);
            auto found = tmp[node].next.find(b);
            if (found == tmp[node].next.end()) {
                auto child = static_cast<std::uint32_t>(tmp.size());
                tmp[node].next.emplace(b, child);
                tmp.emplace_back();
                node = child;
            } else {
                node = found->second;
            }
        }
        // A repeated key keeps its first index.
        if (tmp[node].key == kNoKey) tmp[node].key = k;
    }
    nodes_.resize(tmp.size());
    for (std::size_t i = 0; i < tmp.size(); ++i) {
        nodes_[i].key = tmp[i].key;
        nodes_[i].edges_begin = static_cast<std::uint32_t>(edges_.size());
        for (auto [b, child] : tmp[i].next) edges_.push_back(Edge{b, child});
        nodes_[i].edges_end = static_cast<std::uint32_t>(edges_.size());
    }
    for (auto [b, node] : first) root_[b] = node + 1;
    few_ = !first.empty() && first.size() <= kFewStarts;
    if (few_) {
        std::size_t n = 0;
        for (auto [b, node] : first) few_starts_[n++] = b;
        for (; n < kFewStarts; ++n) few_starts_[n] = few_starts_[n - 1];
    }
}

std::size_t AbbrTrie::next_start(std::string_view text, std::size_t pos) const {
    const std::size_t n = text.size();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
#if defined(__SSE2__)
    if (few_) {
        const __m128i s0 = _mm_set1_epi8(static_cast<char>(few_starts_[0]));
        const __m128i s1 = _mm_set1_epi8(static_cast<char>(few_starts_[1]));
        const __m128i s2 = _mm_set1_epi8(static_cast<char>(few_starts_[2]));
        const __m128i s3 = _mm_set1_epi8(static_cast<char>(few_starts_[3]));
        for (; pos + 16 <= n; pos += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
            const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, s0), _mm_cmpeq_epi8(v, s1)),
                                             _mm_or_si128(_mm_cmpeq_epi8(v, s2), _mm_cmpeq_epi8(v, s3)));
            if (const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit)))
                return pos + static_cast<std::size_t>(__builtin_ctz(bits));
        }
    }
#endif
    for (; pos + 4 <= n; pos += 4) {
        if (root_[p[pos]] | root_[p[pos + 1]] | root_[p[pos + 2]] | root_[p[pos + 3]]) break;
    }
    while (pos < n && root_[p[pos]] == 0) ++pos;
    return pos;
}

std::uint32_t AbbrTrie::child_of(std::uint32_t node, unsigned char b) const {
    const Edge* lo = edges_.data() + nodes_[node].edges_begin;
    const Edge* hi = edges_.data() + nodes_[node].edges_end;
    const Edge* e = std::lower_bound(lo, hi, b, [](const Edge& x, unsigned char v) { return x.byte < v; });
    return e != hi && e->byte == b ? e->child : kNoKey;
}

void AbbrTrie::matches_at(std::string_view text, std::size_t pos, std::vector<std::uint32_t>& out) const {
    out.clear();
    if (pos >= text.size()) return;
    std::uint32_t node = root_[static_cast<unsigned char>(text[pos])];
    if (node == 0) return;
    --node;
    for (std::size_t i = pos + 1;; ++i) {
        if (nodes_[node].key != kNoKey) out.push_back(nodes_[node].key);
        if (i >= text.size()) break;
        node = child_of(node, static_cast<unsigned char>(text[i]));
        if (node == kNoKey) break;
    }
    // Deeper nodes are longer keys.
    std::reverse(out.begin(), out.end());
}

void set_abbreviations(InlineContext& ctx, AbbrMap abbrs) {
    ctx.abbrs = std::move(abbrs);
    ctx.abbr_keys.clear();
    ctx.abbr_keys.reserve(ctx.abbrs.size());
    for (const auto& entry : ctx.abbrs) ctx.abbr_keys.push_back(entry.first);
    // Longest first so that the longest abbreviation wins; then byte order.
    std::sort(ctx.abbr_keys.begin(), ctx.abbr_keys.end(), [](const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return a.size() > b.size();
        return a < b;
    });
    // An empty table needs no trie (the common case, and it is built per call).
    ctx.abbr_trie = ctx.abbr_keys.empty() ? AbbrTrie() : AbbrTrie(ctx.abbr_keys);
}

}  // namespace quenlor
