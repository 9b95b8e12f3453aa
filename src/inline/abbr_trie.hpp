// A byte trie over the abbreviation keys, so that finding every key that
// starts at one position costs the length of the longest key prefix there,
// whatever the number of keys.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenlor {

class AbbrTrie {
public:
    AbbrTrie() = default;
    // `keys` longest first; the index of each key in it is what matches report.
    explicit AbbrTrie(const std::vector<std::string>& keys);

    bool empty() const { return nodes_.empty(); }
    // The first position at or after pos whose byte may start a key, else the
    // text's size.
    std::size_t next_start(std::string_view text, std::size_t pos) const;
    // Key indices of every key that text[pos...] begins with, longest first.
    void matches_at(std::string_view text, std::size_t pos, std::vector<std::uint32_t>& out) const;

private:
    struct TrieNode {
        std::uint32_t edges_begin = 0, edges_end = 0;  // sorted slice of edges_
        std::uint32_t key = kNoKey;
    };
    struct Edge {
        unsigned char byte;
        std::uint32_t child;
    };
    static constexpr std::uint32_t kNoKey = 0xFFFFFFFF;

    std::uint32_t child_of(std::uint32_t node, unsigned char b) const;

    std::array<std::uint32_t, 256> root_{};  // node index + 1 of each first byte, 0 for none
    // Most sets of keys start with a few distinct bytes: those are searched
    // for sixteen bytes at a time (the list repeats its last byte to fill it).
    static constexpr std::size_t kFewStarts = 4;
    std::array<unsigned char, kFewStarts> few_starts_{};
    bool few_ = false;
    std::vector<TrieNode> nodes_;
    std::vector<Edge> edges_;
};

}  // namespace quenlor
