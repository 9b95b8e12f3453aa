// The container builder: one run over the lines of one top-level block.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "../ast.hpp"
#include "../attrs.hpp"
#include "draft.hpp"
#include "html.hpp"
#include "predicates.hpp"

namespace quenlor {

class Parser;

// Lines of a paragraph. Lines that lie in the source are kept as views (its
// bytes stay put for the whole run); others are copied aside. The text is
// joined once, at the end, with room made for it all at once: growing a
// buffer line by line would copy it over and over.
class LineList {
public:
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::string_view operator[](std::size_t i) const { return view(piece(i)); }
    std::string_view back() const { return (*this)[size() - 1]; }
    // `in_source`: the text stays valid and unchanged until the list is joined.
    void push(std::string_view s, bool in_source) {
        Piece p{s.data(), 0, s.size()};
        if (!in_source) {
            p.data = nullptr;
            p.offset = owned_.size();
            owned_.append(s);
        }
        bytes_ += s.size();
        if (count_ < kInline) first_[count_] = p;
        else more_.push_back(p);
        ++count_;
    }
    void pop() {
        --count_;
        const Piece p = piece(count_);
        bytes_ -= p.size;
        if (!p.data) owned_.resize(p.offset);
        if (count_ >= kInline) more_.pop_back();
    }
    // All the lines joined by line feeds; the list is left empty.
    std::string take_joined() {
        std::string out;
        out.reserve(bytes_ + count_);
        for (std::size_t i = 0; i < count_; ++i) {
            if (i != 0) out.push_back('\n');
            out.append(view(piece(i)));
        }
        clear();
        return out;
    }
    // The joined text as one range of the source, when every line lies there
    // and each follows the one before across a single line feed; else a view
    // with no data.
    std::string_view joined_in_source() const {
        if (count_ == 0 || !first_[0].data) return {};
        const char* end = first_[0].data + first_[0].size;
        for (std::size_t i = 1; i < count_; ++i) {
            const Piece& p = piece(i);
            if (p.data != end + 1 || *end != '\n') return {};
            end = p.data + p.size;
        }
        return std::string_view(first_[0].data, static_cast<std::size_t>(end - first_[0].data));
    }
    void clear() {
        count_ = 0;
        bytes_ = 0;
        more_.clear();
        owned_.clear();
    }
private:
    // A line in place (data) or in owned_ (data null, at offset).
    struct Piece {
        const char* data;
        std::size_t offset;
        std::size_t size;
    };
    // Most paragraphs are a few lines long: their pieces need no allocation.
    static constexpr std::size_t kInline = 4;
    const Piece& piece(std::size_t i) const { return i < kInline ? first_[i] : more_[i - kInline]; }
    std::string_view view(const Piece& p) const {
        return p.data ? std::string_view(p.data, p.size) : std::string_view(owned_).substr(p.offset, p.size);
    }
    std::size_t count_ = 0;
    std::size_t bytes_ = 0;
    std::array<Piece, kInline> first_{};
    std::vector<Piece> more_;
    std::string owned_;
};

namespace build {
struct Root {};
struct BlockQuote {};
struct List { std::size_t start = 1; char delimiter = '-'; bool ordered = false; };
struct ListItem {
    std::size_t content_col = 0;
    bool loose = false;
    TaskState task = TaskState::NotTask;
    std::unique_ptr<Attr> attr;  // made only when the item has attributes
};
struct FootnoteDefinition { std::string label; };
struct DefinitionList {};
struct DefinitionItem { std::vector<std::string> terms; };
struct Definition { bool loose = false; bool blank_seen = false; };
struct Div { Attr attr; std::size_t fence_len = 3; };
struct HtmlContainer { std::string tag; Attr attr; std::string closing; };
struct FencedCode {
    std::string info;
    std::string text;
    std::size_t fence_len = 3;
    std::size_t indent = 0;
    char fence_char = '`';
    bool closed = false;
    std::optional<FenceInfo> parsed;  // filled once, for the span and the draft
};
struct MathBlock { std::string text; std::string_view closing; bool closed = false; };
struct Paragraph { LineList lines; bool setext_allowed = true; };
struct Heading { Attr attr; std::uint8_t level = 1; std::string text; };
struct ThematicBreak {};
struct IndentedCode { std::string text; };
struct HtmlBlock { std::string text; HtmlBlockEnd end; bool closed = false; };
struct Table { draft::Table table; bool leading_pipe = false; };
struct GridTable {
    std::vector<std::string> lines;
    bool finished = false;
    bool caption_allowed = false;
    std::optional<std::string> caption;
    std::string caption_line;  // the caption as written, kept for a grid that fails to parse
};

// The large variants live on the heap so that nodes stay small.
template <class T> struct boxed : std::false_type {};
template <> struct boxed<Div> : std::true_type {};
template <> struct boxed<HtmlContainer> : std::true_type {};
template <> struct boxed<FencedCode> : std::true_type {};
template <> struct boxed<Heading> : std::true_type {};
template <> struct boxed<HtmlBlock> : std::true_type {};
template <> struct boxed<Table> : std::true_type {};
template <> struct boxed<GridTable> : std::true_type {};
template <class T> using Slot = std::conditional_t<boxed<T>::value, std::unique_ptr<T>, T>;
}  // namespace build

// Variants in declared order: 1 to 9 are containers, 10 to 18 leaves.
using BuildKind = std::variant<build::Root, build::BlockQuote, build::List, build::ListItem,
                               build::FootnoteDefinition, build::DefinitionList, build::DefinitionItem,
                               build::Definition, build::Slot<build::Div>, build::Slot<build::HtmlContainer>,
                               build::Slot<build::FencedCode>, build::MathBlock, build::Paragraph,
                               build::Slot<build::Heading>, build::ThematicBreak, build::IndentedCode,
                               build::Slot<build::HtmlBlock>, build::Slot<build::Table>, build::Slot<build::GridTable>>;

template <class T>
BuildKind make_kind(T value) {
    if constexpr (build::boxed<T>::value) return BuildKind(std::make_unique<T>(std::move(value)));
    else return BuildKind(std::move(value));
}

// The variant's data when it holds a T, else nullptr.
template <class T>
T* kind_if(BuildKind& k) {
    auto* slot = std::get_if<build::Slot<T>>(&k);
    if constexpr (build::boxed<T>::value) return slot ? slot->get() : nullptr;
    else return slot;
}
template <class T>
const T* kind_if(const BuildKind& k) {
    auto* slot = std::get_if<build::Slot<T>>(&k);
    if constexpr (build::boxed<T>::value) return slot ? slot->get() : nullptr;
    else return slot;
}
template <class T> T& kind_as(BuildKind& k) { return *kind_if<T>(k); }
template <class T> const T& kind_as(const BuildKind& k) { return *kind_if<T>(k); }

inline constexpr std::uint32_t no_node = static_cast<std::uint32_t>(-1);

// Children are kept as a linked list of indices, in order.
struct BuildNode {
    BuildNode(BuildKind&& k, std::size_t line) : kind(std::move(k)), start_line(line) {}
    template <class T>
    BuildNode(std::in_place_type_t<T> t, std::size_t line) : kind(t), start_line(line) {}
    BuildKind kind;
    std::size_t start_line = 0;
    std::uint32_t first_child = no_node;
    std::uint32_t last_child = no_node;
    std::uint32_t next_sibling = no_node;
    std::uint32_t child_count = 0;
    bool has_children() const { return first_child != no_node; }
};

class ContainerBuilder {
public:
    explicit ContainerBuilder(Parser& parser);
    // Starts a new run at first_line, keeping the storage of the last one.
    void reset(std::size_t first_line);

    // Feeds line i; false when the run ends before it.
    bool feed_line(std::size_t i);

    // Span kinds and drafts of the finished run.
    void collect_spans(std::size_t end, std::vector<BlockSpan>& out);
    DraftBlocks finish_children(std::uint32_t node, std::size_t depth);
    // The same, appending to out.
    void finish_children_into(std::uint32_t node, std::size_t depth, DraftBlocks& out);
    void collect_edit_regions(std::uint32_t node, std::size_t end, std::vector<EditRegion>& out) const;

    const std::vector<BuildNode>& node_list() const { return nodes_; }

private:
    // ---- tree ----
    std::uint32_t push_child(std::uint32_t parent, BuildKind kind);
    // A new last child of a kind stored inline, made in place: the common
    // nodes are cheaper filled where they live than moved there.
    template <class T> T& emplace_child(std::uint32_t parent) {
        static_assert(!build::boxed<T>::value);
        nodes_.emplace_back(std::in_place_type<T>, line_);
        link_last_child(parent);
        return std::get<T>(nodes_.back().kind);
    }
    void link_last_child(std::uint32_t parent);
    std::uint32_t open_node(BuildKind kind);
    std::uint32_t current() const { return stack_.back(); }
    std::optional<std::uint32_t> last_child(std::uint32_t node) const;
    template <class T> T* get(std::uint32_t node) { return kind_if<T>(nodes_[node].kind); }
    template <class T> const T* get(std::uint32_t node) const { return kind_if<T>(nodes_[node].kind); }
    template <class T> T* last_child_as() {
        std::uint32_t last = nodes_[stack_.back()].last_child;
        return last == no_node ? nullptr : get<T>(last);
    }
    bool current_is_list() const;
    bool current_is_definition_item() const;
    bool can_continue_definition_term(std::string_view text) const;

    // ---- per-line steps ----
    // Takes the markers of the open containers off the line; `blank` (whether
    // the line is blank) is kept true to what is left.
    void match_containers(std::string_view& text, bool& lazy_line, bool& blank);
    bool item_has_content(std::uint32_t item) const;
    void refresh_leaf_open();
    enum class Starters { GoOn, Stop };
    Starters open_starters(std::string_view& text, std::string& buf);
    bool close_finished_list(std::string_view text, std::optional<std::size_t> next);
    // Line `next` matched through the open containers stack_[1, upto): what is
    // left of it, or nothing when a container refuses it. Remembered for the
    // blank lines that share the same next line.
    const std::optional<std::string>& lookahead_through(std::size_t next, std::size_t upto);
    std::optional<std::string> lookahead_strip(std::string_view next, std::size_t upto) const;
    void mark_blank();
    // A content line: a definition or item with a blank line before it turns
    // loose. Most lines follow no such blank line and need no walk.
    void mark_content() {
        if (definition_blank_seen_ || !blank_items_.empty()) mark_content_after_blank();
    }
    void mark_content_after_blank();
    // list_marker and thematic_line of a line's text as its containers left
    // it: the lazy test, the end of a list and the start of an item all ask
    // about the same text. Answers are kept only for text in the source,
    // whose bytes stay as they are, so that a view equal in place and length
    // is the same text.
    bool in_source(std::string_view text) const;
    const std::optional<ListMarker>& marker_of(std::string_view text) {
        if (marker_known_ && text.data() == marker_text_.data() && text.size() == marker_text_.size()) return marker_;
        return find_marker(text);
    }
    const std::optional<ListMarker>& find_marker(std::string_view text);
    bool is_thematic(std::string_view text) {
        if (thematic_known_ && text.data() == thematic_text_.data() && text.size() == thematic_text_.size())
            return thematic_;
        return find_thematic(text);
    }
    bool find_thematic(std::string_view text);

    // ---- leaves ----
    bool append_leaf_inner(std::string_view text, bool setext_allowed, bool indented_code_allowed, std::size_t depth);
    void open_paragraph(std::string_view text, bool setext_allowed);
    bool feed_open_fenced_code(std::string_view text);
    bool feed_open_math(std::string_view text);
    bool feed_open_indented_code(std::string_view text, std::optional<std::size_t> next);
    bool feed_open_grid(std::string_view text);
    bool feed_open_html_block(std::string_view text);
    void feed_html_markdown_inner(std::uint32_t container, std::string_view text);
    void feed_markdown_inner_line(std::string_view text);

    bool continue_pipe_table(std::string_view text);
    bool start_pipe_table(std::string_view text);
    bool start_setext_heading(std::string_view text);
    bool start_first_definition(std::string_view text, std::size_t depth, bool& went_paragraph);
    bool start_another_definition(std::string_view text, std::size_t depth, bool& went_paragraph);
    bool start_fenced_div(std::string_view text);
    bool start_footnote_definition(std::string_view text, std::size_t depth, bool& went_paragraph);
    bool start_html_container(std::string_view text);
    bool start_html_block(std::string_view text);
    bool start_atx_heading(std::string_view text);
    std::string_view hold_definition_content(std::string& content);

    // ---- finishing ----
    void finish_container(std::uint32_t node, std::size_t depth, DraftBlocks& out);
    void finish_leaf(std::uint32_t node, std::size_t depth, DraftBlocks& out);
    // Appends the paragraph's draft unless definitions took all its lines.
    void finish_paragraph(build::Paragraph& p, DraftBlocks& out);
    DraftBlock finish_grid_table(build::GridTable& g, std::size_t depth);
    const FenceInfo& fence_info(build::FencedCode& code);

    Parser& parser_;
    std::vector<BuildNode> nodes_;
    std::vector<std::uint32_t> stack_;
    std::vector<std::uint32_t> blank_items_;
    bool definition_blank_seen_ = false;  // some definition has had a blank line
    std::size_t line_ = 0;
    bool lazy_ = false;
    bool leaf_open_ = false;
    bool fence_closed_ = false;
    std::string scratch_;      // the current line after container markers were taken off
    std::string starter_buf_;  // the same after list and quote markers opened on this line
    std::string definition_content_;  // the text after the latest definition marker

    std::string_view marker_text_;
    std::optional<ListMarker> marker_;
    bool marker_known_ = false;
    std::string_view thematic_text_;
    bool thematic_ = false;
    bool thematic_known_ = false;

    std::size_t lookahead_line_ = static_cast<std::size_t>(-1);
    std::vector<std::uint32_t> lookahead_stack_;
    std::optional<std::string> lookahead_result_;
};

}  // namespace quenlor
