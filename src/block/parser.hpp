// The block parser: the document loop over the source lines, the definition
// tables it fills, and nested parses for table cells.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../attrs.hpp"
#include "../inline/inline.hpp"
#include "../options.hpp"
#include "definitions.hpp"
#include "draft.hpp"

namespace quenlor {

struct BlockParse {
    DraftBlocks drafts;
    std::vector<BlockSpan> spans;
};

class ContainerBuilder;

class Parser {
public:
    // `source` is normalised text (line feeds only), which must outlive the
    // parser; it is split into lines here.
    Parser(std::string_view source, const Options& options, bool want_edit_nodes);
    ~Parser();
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    BlockParse parse_blocks_with_spans(std::size_t depth);
    DraftBlocks parse_nested_blocks(const std::string& text, std::size_t depth);

    // ---- definition tables ----
    void add_link_def(LinkRefDef def);
    void add_abbr_def(AbbrDef def);
    void add_attr_def(const std::string& name, const Attr& attr);
    // Link reference definition starting at line i of the source.
    std::optional<LinkRefDef> link_ref_at(std::size_t i);

    std::size_t line_count() const { return lines_.size(); }
    std::string_view line(std::size_t i) const { return lines_[i]; }
    bool is_blank_line(std::size_t i) const { return next_nonblank_[i] != i; }
    // First non-blank line after i, if any.
    std::optional<std::size_t> next_nonblank_after(std::size_t i) const {
        std::size_t j = next_nonblank_[i + 1];
        if (j >= lines_.size()) return std::nullopt;
        return j;
    }

    std::string_view source() const { return source_; }
    const std::vector<std::string_view>& lines() const { return lines_; }
    const Options& options() const { return options_; }
    // Most containers one builder run may open: the block depth limit, less the
    // depth of this parse when it is nested in a table cell, so that nested
    // parses cannot multiply the nesting past the internal ceiling.
    std::uint64_t max_containers() const;
    const AttrDefs& attr_defs() const { return attr_defs_; }
    bool want_edit_nodes() const { return want_edit_nodes_; }
    // The text, info and language of code and math spans are only needed by
    // callers that read the spans.
    void set_want_span_extras(bool on) { want_span_extras_ = on; }
    bool want_span_extras() const { return want_span_extras_; }
    // The caller keeps the source until the drafts are finalised: a paragraph
    // whose lines are one range of it is then held as that range, not copied.
    // Never so for a nested parse, whose source is a cell's temporary text.
    void set_drafts_may_view_source(bool on) { drafts_may_view_source_ = on; }
    bool drafts_may_view_source() const { return drafts_may_view_source_; }
    // Memory for the draft lists; none: the general allocator. It must
    // outlive the drafts.
    void set_arena(NodeArena* arena) { arena_ = arena; }
    NodeArena* arena() const { return arena_; }

    std::vector<DraftFootnote>& footnotes() { return footnotes_; }
    std::vector<EditRegion>& regions() { return regions_; }

    // Hands the tables over (used once the block parse is done).
    AttrDefs take_attr_defs() { return std::move(attr_defs_); }
    LinkRefMap take_link_refs() { return std::move(link_refs_); }
    AbbrMap take_abbrs() { return std::move(abbrs_); }
    // Frees the line tables once the block parse is over and nothing reads lines.
    void release_lines();

private:
    // Pending attribute lines become a paragraph, inserted at the given draft
    // and span positions (at the end when absent).
    void literalize_pending(std::size_t draft_pos = npos, std::size_t span_pos = npos);
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    void run_builder(std::size_t depth);

    bool has_link_ref(const std::string& key) const;
    bool has_abbr(const std::string& key) const;

    std::string_view source_;
    std::vector<std::string_view> lines_;
    std::vector<std::size_t> next_nonblank_;  // first non-blank line at or after i (size + 1 entries)
    std::size_t index_ = 0;
    Options options_;
    AttrDefs attr_defs_;
    LinkRefMap link_refs_;
    AbbrMap abbrs_;
    const Parser* parent_ = nullptr;  // running parser of a nested parse: its tables are consulted
    std::size_t nest_depth_ = 0;       // depth of a nested parse, 0 for the document
    std::vector<DraftFootnote> footnotes_;
    std::vector<EditRegion> regions_;
    bool want_edit_nodes_ = false;
    bool want_span_extras_ = true;
    bool drafts_may_view_source_ = false;
    NodeArena* arena_ = nullptr;

    // Owned copies of the lines a link reference definition may use (up to the
    // next blank line, which no definition crosses).
    std::vector<std::string> window_;
    std::size_t window_start_ = 0;

    // Document-loop state of one parse_blocks_with_spans call.
    struct Pending {
        Attr attr;
        std::vector<std::size_t> lines;
        std::optional<std::size_t> start;
    };
    Pending pending_;
    BlockParse* out_ = nullptr;
    std::unique_ptr<ContainerBuilder> builder_;  // reused by every run
};

}  // namespace quenlor
