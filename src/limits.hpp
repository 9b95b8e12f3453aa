// Internal ceilings on nesting. The document tree is recursive and so are the
// stages that walk it (block finishing, finalisation, rendering, automatic ids,
// smart punctuation, callbacks, and the tree's own copies and destruction), so
// its depth must stay within what the stack of any thread holds, whatever depth
// limits the caller asks for. The inline side has its own bound on container
// nesting (kMaxInlineNesting in inline/scanner.hpp).
#pragma once

#include <algorithm>
#include <cstdint>

#include "options.hpp"

namespace quenlor {

// Block containers open at once, nested block parses (grid-table cells) and the
// containers inside those parses, all counted together. Every line is matched
// against the open containers, so this also bounds the work per line.
inline constexpr std::uint64_t kMaxBlockNesting = 256;
// Nested inline parses (highlights inside highlights, notes inside notes): each
// level rescans its text, so this also bounds the work per byte.
inline constexpr std::uint64_t kMaxInlineParseDepth = 100;

// The options a parse runs with: the caller's, with the depth limits brought
// within the ceilings. Parentheses in link destinations are only counted, never
// recursed into, so that limit stays as given.
constexpr Options within_ceilings(Options options) {
    options.max_block_depth = std::min(options.max_block_depth, kMaxBlockNesting);
    options.max_inline_depth = std::min(options.max_inline_depth, kMaxInlineParseDepth);
    return options;
}

}  // namespace quenlor
