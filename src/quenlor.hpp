// The library root: one parse of a Markdown text, and the conversion pipeline.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ast.hpp"
#include "block/draft.hpp"
#include "options.hpp"

namespace quenlor {

inline constexpr std::string_view version = "0.1.12";

struct EditImage {
    std::string alt;
    std::string url;
    std::optional<std::string> title;
    std::size_t start = 0, end = 0, url_start = 0, url_end = 0;
};
struct EditMath {
    std::string tex;
    std::string_view delimiter;  // "\\[", "\\(", "$$" or "$"
    std::size_t start = 0, end = 0;
};
struct EditNode {
    std::variant<EditImage, EditMath> v;
    std::size_t start() const;
};

struct ParseOutput {
    Document document;
    std::vector<BlockSpan> spans;
    std::vector<EditNode> edit_nodes;
};

// One parse: line-end normalisation, block parse, reference tables, optional
// edit-node scan, finalisation.
ParseOutput parse_source(std::string_view markdown, const Options& options, bool want_edit_nodes);

// parse_source plus the option-driven tree passes (automatic ids, smart punctuation).
Document parse(std::string_view markdown, const Options& options);

// parse, render, and balance when asked: the whole conversion without callbacks.
std::string to_xhtml(std::string_view markdown, const Options& options);

// The same, with the node-list memory of earlier conversions: between calls
// `arena` keeps what a recent conversion needed (up to kKeptArenaBytes; prose
// needs about its own size, a long list some twenty times its size), so a
// caller converting many documents does not take that memory from the system
// and fault it in again for each one. One conversion at a time per arena.
inline constexpr std::size_t kKeptArenaBytes = std::size_t{32} << 20;
std::string to_xhtml(std::string_view markdown, const Options& options, NodeArena& arena);

// Line-end normalisation: every CR LF and every lone CR becomes LF.
std::string normalize_line_ends(std::string_view text);

struct InlineContext;
// Scans the recorded edit regions of the normalised text; sorted stably by start.
std::vector<EditNode> edit_nodes_for_regions(const std::vector<EditRegion>& regions, std::string_view text,
                                             const std::vector<std::size_t>& line_starts,
                                             const InlineContext& ctx);

}  // namespace quenlor
