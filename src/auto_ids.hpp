// Automatic heading identifiers.
#pragma once
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include "ast.hpp"
namespace quenlor::auto_ids {
// Gives every heading without an id one derived from its text (footnote bodies
// are not visited).
void assign(Document& document);

// The same assignment spread over several calls, for a document handled block
// by block: every explicit id of the whole document is reserved first, then
// the blocks are given ids in document order.
class Assigner {
public:
    void reserve(std::string id);
    // Room for this many identifiers in all, so that the set is not rebuilt
    // as it grows.
    void expect(std::size_t ids) { used_.reserve(ids); }
    void reserve_explicit(Blocks& blocks);
    void assign(Blocks& blocks);

private:
    std::unordered_set<std::string> used_;
    std::unordered_map<std::string, std::size_t> next_suffix_;
    std::string candidate_;
};
// The identifier base for a heading's plain text, before making it unique.
std::string slug(std::string_view text);
}
