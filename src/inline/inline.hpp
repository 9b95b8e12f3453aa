// The inline parser: turns the raw text of one leaf into inline nodes.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "../ast.hpp"
#include "../attrs.hpp"
#include "../options.hpp"
#include "abbr_trie.hpp"

namespace quenlor {

using LinkRefMap = std::unordered_map<std::string, LinkRef>;
using AbbrMap = std::unordered_map<std::string, std::string>;

struct ScannerScratch;

// Working buffers of the inline parses of one document, handed from one parse
// to the next so that every leaf does not allocate them anew. A copy starts
// empty: buffers are never shared.
class ScratchPool {
public:
    ScratchPool();
    ~ScratchPool();
    ScratchPool(const ScratchPool&) : ScratchPool() {}
    ScratchPool& operator=(const ScratchPool&) { return *this; }
    ScratchPool(ScratchPool&&) noexcept;
    ScratchPool& operator=(ScratchPool&&) noexcept;

    std::unique_ptr<ScannerScratch> take();
    void give(std::unique_ptr<ScannerScratch> scratch);

private:
    std::vector<std::unique_ptr<ScannerScratch>> free_;
};

// The read-only tables of one document handed to every inline parse (and the
// parses' reusable buffers: one context serves one conversion on one thread).
struct InlineContext {
    Options options;
    AttrDefs attr_defs;
    LinkRefMap link_refs;
    AbbrMap abbrs;
    std::vector<std::string> abbr_keys;  // longest first, then ascending bytes
    AbbrTrie abbr_trie;                  // over abbr_keys (see set_abbreviations)
    std::unordered_set<std::string> footnote_labels;
    mutable ScratchPool scratch;
    // Memory for the node lists the parses build; none: the general allocator.
    // The arena must outlive every tree made with this context.
    NodeArena* arena = nullptr;
    // The document the parsed texts are usually views of (while it lives): a
    // copy of a text that lies in it may read on past the text, up to its end.
    std::string_view source;
    // Paragraphs that lie in the source are finalised unparsed, to be parsed
    // as they are rendered (see visit_inlines, which also applies smart
    // punctuation); for a conversion that renders its tree before the source
    // goes.
    bool lazy_paragraphs = false;
};

// How far the buffer that `text` lies in may be read: the end of the
// context's source when the text lies there, else the text's own end.
const char* readable_end(std::string_view text, const InlineContext& ctx);

// Installs the abbreviation table with its sorted keys and their trie.
void set_abbreviations(InlineContext& ctx, AbbrMap abbrs);

// Parses one leaf's raw text; the result is coalesced.
Inlines parse_inner(std::string_view text, const InlineContext& ctx, std::size_t depth);
// parse_inner at the top level for a text the caller gives up: a text with no
// markup at all becomes its single text node without a copy.
Inlines parse_owned(std::string&& text, const InlineContext& ctx);
// Receives the nodes of one parse in order, as they are, without a list of
// them being built: adjacent texts may come as several pieces.
class InlineSink {
public:
    virtual void node(const Inline& node) = 0;
    virtual void text(std::string_view text) = 0;

protected:
    ~InlineSink() = default;
};
// parse_inner at the top level, handing the nodes to `sink` instead of
// returning them: the same content, without building and freeing the list.
void visit_inlines(std::string_view text, const InlineContext& ctx, InlineSink& sink);

// Merges adjacent text nodes (recursively) and flattens attribute-less nested strong.
Inlines coalesce(Inlines list);
void push_coalesced(Inlines& list, Inline&& node);

// ---- look-ahead recognisers shared with the edit-node scan ----
struct CodeSpanMatch {
    Code node;
    std::size_t end = 0;  // position after the closing run
};
std::optional<CodeSpanMatch> code_span(std::string_view text, std::size_t start);
// Same, remembering failed searches in `memo` so that a text full of unclosed
// backtick runs is scanned in linear time (one memo per text).
struct BacktickMemo;
std::optional<CodeSpanMatch> code_span(std::string_view text, std::size_t start, BacktickMemo* memo);
std::optional<std::size_t> find_unescaped(std::string_view text, std::size_t start, std::string_view delim);
bool can_open_dollar(std::string_view text, std::size_t pos);
std::optional<std::size_t> find_closing_dollar(std::string_view text, std::size_t start);

struct ParenContent {
    std::string_view content;
    std::size_t end = 0;  // position after the closing parenthesis
};
std::optional<ParenContent> paren_content(std::string_view text, std::size_t start, std::uint64_t max_depth);

struct DestinationTitle {
    UrlText url;
    std::optional<std::string> title;
};
std::optional<DestinationTitle> parse_link_destination_title(std::string_view content, std::uint64_t max_depth);

struct DestinationSplit {
    std::string_view destination;  // raw, as written (without angle brackets)
    std::string_view rest;
};
std::optional<DestinationSplit> parse_link_destination(std::string_view text, std::uint64_t max_depth);
std::string_view trim_link_space(std::string_view text);

// ---- autolinks and raw inline HTML (autolink.cpp) ----
// At a "<": a URI or e-mail autolink, or raw inline HTML (comment, processing
// instruction, CDATA, declaration, closing or open tag) ending within 1024 bytes.
// With `tagfilter` the raw HTML text is neutralised by tagfilter_html.
struct AngleMatch {
    Inline node;          // Autolink or HtmlInline
    std::size_t end = 0;  // position after it
};
std::optional<AngleMatch> angle_or_html(std::string_view text, std::size_t pos, bool tagfilter);

// Bare autolinks ("http://", "https://", "ftp://", "www.", "mailto:", "xmpp:",
// bare e-mail addresses) tried at `pos`; text[pos, link_start) is ordinary text
// (punctuation trimmed off the front of an e-mail word), the link ends at `end`.
// Cheap to call at every ordinary character: anything not after a boundary is
// rejected at once. Pass `bracket_open` while a "[" or "![" waits on the bracket
// stack: URL candidates then also stop before "]", so «[see http://a.b]» keeps
// its "]" (a link resolved around such an autolink should turn it back into text).
struct BareAutolinkMatch {
    Autolink node;
    std::size_t link_start = 0;
    std::size_t end = 0;
};
std::optional<BareAutolinkMatch> bare_autolink(std::string_view text, std::size_t pos,
                                               bool bracket_open = false);
bool is_email(std::string_view text);
// Length of an HTML tag name (ASCII letter, then letters, digits, "-").
std::optional<std::size_t> html_tag_name_end(std::string_view text);
// Longest e-mail address at the start of a word (leading ".,;:!?)" skipped);
// a view into `word`.
std::optional<std::string_view> bare_email_prefix(std::string_view word);
// The run of non-whitespace characters from pos, at most 255 bytes.
std::string_view bounded_autolink_word(std::string_view text, std::size_t pos);
// End of a bare URL text[start, end) after trailing punctuation, an entity-like
// tail and unbalanced ")" are removed.
std::size_t trim_bare_url_end(std::string_view text, std::size_t start, std::size_t end);
std::size_t trim_trailing_url_punct(std::string_view text, std::size_t start, std::size_t end);
// Whether the last non-whitespace character before pos is "<".
bool preceded_by_angle_opener(std::string_view text, std::size_t pos);
// Whitespace and ( [ { : ; ' " / * ~ may stand before a bare autolink.
bool is_boundary(char32_t c);

}  // namespace quenlor
