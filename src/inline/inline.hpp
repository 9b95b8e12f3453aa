// The inline parser: turns the raw text of one leaf into inline nodes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "../ast.hpp"
#include "../attrs.hpp"
#include "../options.hpp"

namespace quenlor {

using LinkRefMap = std::unordered_map<std::string, LinkRef>;
using AbbrMap = std::unordered_map<std::string, std::string>;

// The read-only tables of one document handed to every inline parse.
struct InlineContext {
    Options options;
    AttrDefs attr_defs;
    LinkRefMap link_refs;
    AbbrMap abbrs;
    std::vector<std::string> abbr_keys;  // longest first, then ascending bytes
    std::unordered_set<std::string> footnote_labels;
};

// Parses one leaf's raw text; the result is coalesced.
Inlines parse_inner(std::string_view text, const InlineContext& ctx, std::size_t depth);
// Merges adjacent text nodes (recursively) and flattens attribute-less nested strong.
Inlines coalesce(Inlines list);
void push_coalesced(Inlines& list, Inline node);

// ---- look-ahead recognisers shared with the edit-node scan ----
struct CodeSpanMatch {
    Code node;
    std::size_t end = 0;  // position after the closing run
};
std::optional<CodeSpanMatch> code_span(std::string_view text, std::size_t start);
std::optional<std::size_t> find_unescaped(std::string_view text, std::size_t start, std::string_view delim);
bool can_open_dollar(std::string_view text, std::size_t pos);
std::optional<std::size_t> find_closing_dollar(std::string_view text, std::size_t start);

struct ParenContent {
    std::string_view content;
    std::size_t end = 0;  // position after the closing parenthesis
};
std::optional<ParenContent> paren_content(std::string_view text, std::size_t start, std::uint64_t max_depth);

struct DestinationTitle {
    std::string url;
    std::optional<std::string> title;
};
std::optional<DestinationTitle> parse_link_destination_title(std::string_view content, std::uint64_t max_depth);

struct DestinationSplit {
    std::string_view destination;  // raw, as written (without angle brackets)
    std::string_view rest;
};
std::optional<DestinationSplit> parse_link_destination(std::string_view text, std::uint64_t max_depth);
std::string_view trim_link_space(std::string_view text);

struct AngleMatch {
    Inline node;          // Autolink or HtmlInline
    std::size_t end = 0;  // position after it
};
std::optional<AngleMatch> angle_or_html(std::string_view text, std::size_t pos, bool tagfilter);

// Bare autolinks ("http://", "https://", "ftp://", "www.", "mailto:", "xmpp:",
// bare e-mail addresses) tried at `pos`; text[pos, link_start) is ordinary text
// (punctuation trimmed off the front of an e-mail word), the link ends at `end`.
struct BareAutolinkMatch {
    Autolink node;
    std::size_t link_start = 0;
    std::size_t end = 0;
};
std::optional<BareAutolinkMatch> bare_autolink(std::string_view text, std::size_t pos);
bool is_email(std::string_view text);

}  // namespace quenlor
