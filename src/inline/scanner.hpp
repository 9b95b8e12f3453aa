// The working state of one inline parse and the helpers its rule files share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "inline.hpp"
#include "inline/brace_index.hpp"

namespace quenlor {

// One entry of the node list. Nodes are never removed during a parse: a node
// that has been moved into a container (or whose text was used up) is dead.
struct Node {
    // Built straight from the kind (a Text, an Emph, ...) without a moved-from Inline.
    template <class T>
    Node(T&& v, std::size_t h) : value(std::forward<T>(v)), height(h) {}
    Inline value;
    std::size_t height = 0;  // nesting levels of containers inside and including this node
    bool alive = true;
    bool bare_autolink = false;  // a link written without brackets (turned back into text inside link text)
};

// One run of "*", "_" or "~" waiting for emphasis processing.
struct Delimiter {
    std::size_t node = 0;
    std::size_t count = 0;
    char ch = '*';
    bool can_open = false;
    bool can_close = false;
    bool active = true;
};

// One "[" or "![" waiting for its "]".
struct Bracket {
    std::size_t node = 0;
    std::size_t after = 0;  // position just after the opener
    bool image = false;
    bool active = true;
};

// Failed searches for a closing backtick run, so unclosed runs cost one scan.
struct BacktickMemo {
    std::size_t scanned_from = std::string_view::npos;  // catalogue covers runs starting at or after this
    std::vector<std::size_t> last_run;                  // by run length: start of the last such run, or npos
};

// Bound on the nesting of inline containers (all parse levels together), so
// that no later recursive walk over the tree can exhaust the stack.
constexpr std::size_t kMaxInlineNesting = 1000;

// Strong emphasis without attributes takes in the children of the same kind
// directly inside it; the rest of a new node's coalescing is done as its
// children are taken.
void flatten_strong(Inline& node);

// Height of the deepest container nesting in a list.
std::size_t inlines_height(const Inlines& list);

// Kinds of look-ahead whose failed searches are remembered.
enum MemoKind : std::size_t { MemoDisplayBracket, MemoInlineBracket, MemoDoubleDollar, MemoDollar, MemoHighlight, MemoCount };

struct BracedAttrRead {
    Attr attr;
    std::size_t consumed = 0;
};
// One attribute block ("{...}" or "{:...}") at the start of the text.
std::optional<BracedAttrRead> trailing_attr(std::string_view text, const AttrDefs& defs);

// Whether the code point counts as punctuation for the flanking rules.
bool is_flanking_punct(char32_t c);
// Closing position of a superscript ("^") or subscript ("~") opened just before start.
std::optional<std::size_t> script_end(std::string_view text, std::size_t start, char marker);

// Label of a defined footnote referenced by "[^label]" at pos, and the position after "]".
struct FootnoteRefMatch {
    std::string_view label;
    std::size_t end = 0;
};
std::optional<FootnoteRefMatch> footnote_ref(std::string_view text, std::size_t pos,
                                             const std::unordered_set<std::string>& labels);

// Link or image without children, carrying a reference definition's target.
Inline link_or_image_shell(bool image, const LinkRef& ref);

// Matching "]" of each "[" (from the first inline note on), sorted by opener.
using BracketPair = std::pair<std::size_t, std::size_t>;

// parse_inner for the content of an inline note: the nested parse borrows the
// pairs inside the note, whose positions count from `base` bytes before `text`.
Inlines parse_note_content(std::string_view text, const InlineContext& ctx, std::size_t depth,
                           std::span<const BracketPair> pairs, std::size_t base);

// The text waiting to become a text node. While it is one unbroken stretch of
// the leaf it is kept as a range of the leaf and copied once, when flushed;
// anything else (an escape, a stretch further on) moves it into the buffer.
class PendingText {
public:
    // `source` may be read up to source_end.
    PendingText(std::string_view source, const char* source_end, std::string& buffer)
        : src_(source.data()), src_end_(source_end), buf_(buffer) {}
    bool empty() const { return size() == 0; }
    std::size_t size() const { return in_source_ ? end_ - begin_ : buf_.size(); }
    std::string_view view() const {
        return in_source_ ? std::string_view(src_ + begin_, end_ - begin_) : std::string_view(buf_);
    }
    // How far the leaf's buffer may be read.
    const char* source_end() const { return src_end_; }
    // How far the buffer that view() lies in may be read.
    const char* readable_end() const { return in_source_ ? src_end_ : buf_.data() + buf_.size(); }
    // The leaf's bytes [pos, pos + len).
    void append_source(std::size_t pos, std::size_t len) {
        if (in_source_) {
            if (pos == end_) {
                end_ += len;
                return;
            }
            spill();
        } else if (buf_.empty()) {
            in_source_ = true;
            begin_ = pos;
            end_ = pos + len;
            return;
        }
        buf_.append(src_ + pos, len);
    }
    void append(std::string_view s) {
        if (in_source_) spill();
        buf_.append(s);
    }
    void resize(std::size_t n) {
        if (in_source_) end_ = begin_ + n;
        else buf_.resize(n);
    }
    void clear() {
        in_source_ = false;
        buf_.clear();
    }

private:
    void spill() {
        buf_.assign(src_ + begin_, end_ - begin_);
        in_source_ = false;
    }
    const char* src_;
    const char* src_end_;
    std::string& buf_;
    bool in_source_ = false;
    std::size_t begin_ = 0, end_ = 0;
};

struct ScannerScratch {
    std::string pending;
    std::vector<Node> nodes;
    std::vector<std::size_t> skip;
    std::vector<Delimiter> delims;
    std::vector<std::size_t> dskip;
    std::vector<Bracket> brackets;
    std::vector<BracketPair> note_pairs;
    std::vector<std::size_t> angle_stops;
    std::vector<std::size_t> backtick_runs;
};

class InlineScanner {
public:
    InlineScanner(std::string_view text, const InlineContext& ctx, std::size_t depth);
    ~InlineScanner();
    InlineScanner(const InlineScanner&) = delete;
    InlineScanner& operator=(const InlineScanner&) = delete;
    Inlines run();
    // The parse without its result: the alive nodes are then read in place.
    void scan();
    template <class F>
    void for_each_alive(F&& f) {
        for (Node& node : nodes_)
            if (node.alive) f(node.value);
    }
    void borrow_note_pairs(std::span<const BracketPair> pairs, std::size_t base) {
        note_view_ = pairs;
        note_base_ = base;
        note_pairs_built_ = true;
    }

    // Cuts the pending text into text (and abbreviation) nodes.
    void flush_text();
    // Appends a finished node, merging attribute blocks that follow it at pos.
    std::size_t push_with_attrs(Inline&& node, std::size_t pos);
    std::size_t push_node(Inline&& node);

    void process_delimiters_range(std::size_t lo, std::size_t hi);

private:
    // rules, each returns the new position or nothing when it does not apply
    std::optional<std::size_t> bracket_math(std::size_t pos, bool display);
    std::optional<std::size_t> double_dollar_math(std::size_t pos);
    std::optional<std::size_t> dollar_math(std::size_t pos);
    std::size_t code_or_backticks(std::size_t pos);
    std::optional<std::size_t> highlight(std::size_t pos);
    std::optional<std::size_t> inline_note(std::size_t pos);
    std::optional<std::size_t> script(std::size_t pos, char marker);
    std::optional<std::size_t> footnote_reference(std::size_t pos, std::size_t label_pos);
    std::size_t push_bracket(bool image, std::size_t pos);
    std::optional<std::size_t> resolve_bracket(std::size_t pos);
    std::size_t delimiter_run(std::size_t pos);
    std::optional<std::size_t> angle(std::size_t pos);
    std::optional<std::size_t> bare_link(std::size_t pos);
    std::size_t line_break(std::size_t pos);

    std::size_t apply_trailing_attrs(std::size_t node, std::size_t pos);
    std::optional<Inline> citation(std::string_view inside) const;
    bool bracket_active(std::size_t index) const;
    bool autolink_may_start(std::size_t pos);
    void find_link_zone(std::size_t from);
    std::size_t find_alive(std::size_t index);
    void kill(std::size_t index);
    Inlines take_alive(std::size_t from, std::size_t to);
    std::size_t height_of(std::size_t from, std::size_t to);
    void append_char(std::size_t& pos);
    void flush_abbreviations(std::string text);
    std::size_t push_raw(Inline&& node);
    // Appends a node that holds no children (text, a break); from a
    // TextInBuffer, a text node is built in place.
    template <class Leaf>
    std::size_t push_leaf(Leaf&& node) {
        const std::size_t idx = nodes_.size();
        nodes_.emplace_back(std::forward<Leaf>(node), 0);
        skip_.push_back(idx);
        ++alive_count_;
        return idx;
    }
    bool memo_failed(MemoKind kind, std::size_t start) const;
    void memo_fail(MemoKind kind, std::size_t start, std::size_t until);
    std::size_t find_down(std::size_t k);
    void retire(std::size_t k);
    void bare_links_to_text(std::size_t from);

    std::string_view text_;
    const InlineContext& ctx_;
    std::size_t depth_;
    std::size_t max_height_;  // deepest container nesting this parse may build
    bool too_deep_ = false;   // that nesting was reached: no further containers are built
    // The working buffers, borrowed from the context's pool and given back empty.
    std::unique_ptr<ScannerScratch> scratch_;
    PendingText pending_;
    std::vector<Node>& nodes_;
    std::vector<std::size_t>& skip_;  // next alive candidate (union-find over dead nodes)
    std::vector<Delimiter>& delims_;
    std::vector<std::size_t>& dskip_;  // next usable delimiter below (union-find over retired entries)
    std::vector<Bracket>& brackets_;
    std::size_t links_close_below_ = 0;  // link brackets below this stack index are inactive
    std::size_t alive_count_ = 0;        // nodes not (yet) dead: the result's size at most

    // a search for a closer that started in [from, until] finds none
    std::array<std::size_t, MemoCount> failed_from_;
    std::array<std::size_t, MemoCount> failed_until_;
    BacktickMemo backticks_;
    // matching "]" of each "[" from the first inline note on, for linear note look-ahead
    // Nested notes borrow their part of the outermost list (note_view_, with
    // positions counted from note_base_ bytes before text_): a list per level
    // would cost the text's size at every level.
    std::vector<BracketPair>& note_pairs_;
    std::span<const BracketPair> note_view_;
    std::size_t note_base_ = 0;
    bool note_pairs_built_ = false;
    BraceIndex braces_;  // refuses attribute blocks that cannot close, without rescanning
    std::vector<std::size_t>& angle_stops_;  // unescaped ">" and line feeds, for link destinations
    bool angle_stops_built_ = false;
    std::size_t note_cursor_ = 0;
    std::size_t escaped_backslash_end_ = std::string::npos;  // pending size after an escaped "\\"
    bool has_placeholder_ = false;
    bool link_triggers_ = false;  // the text may hold bare autolinks
    bool has_at_ = false;
    bool text_has_amp_ = false;  // else no pending text can hold a character reference
    std::size_t next_at_ = 0;
    // With no "@" ahead, bare links can start only in [zone_lo_, zone_hi_):
    // a few bytes before the next ":" or at the next "www.".
    std::size_t next_colon_ = 0;
    std::size_t next_www_ = 0;
    std::size_t zone_lo_ = 0;
    std::size_t zone_hi_ = 0;
};

}  // namespace quenlor
