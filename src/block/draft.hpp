// Draft blocks: blocks whose inline content is still raw text, made by the block
// parser and turned into document blocks by finalisation.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "../ast.hpp"

namespace quenlor {

struct DraftBlock;
using DraftBlocks = std::vector<DraftBlock, NodeAllocator<DraftBlock>>;

struct DraftTableCellContent {
    // Raw inline text (pipe-table cells, plain grid cells) or parsed blocks.
    std::variant<std::string, DraftBlocks> v;
};
using DraftTableCell = BasicTableCell<DraftTableCellContent>;
using DraftTableRow = BasicTableRow<DraftTableCellContent>;

struct DraftListItem { Attr attr; DraftBlocks blocks; TaskState checked = TaskState::NotTask; };
struct DraftDefinition { DraftBlocks blocks; bool tight = true; };
struct DraftDefinitionItem { std::vector<std::string> terms; std::vector<DraftDefinition> definitions; };
struct DraftFootnote { std::string label; DraftBlocks blocks; };

namespace draft {
struct Paragraph {
    Attr attr;
    std::string text;
    // The text when it is a range of the source that outlives the draft
    // (`text` is then empty): most paragraphs need no copy of their lines.
    std::string_view source_text;
    std::string_view content() const { return source_text.data() ? source_text : std::string_view(text); }
};
struct Heading { Attr attr; std::uint8_t level = 1; std::string text; };
struct BlockQuote { Attr attr; DraftBlocks blocks; };
struct List { Attr attr; std::vector<DraftListItem, NodeAllocator<DraftListItem>> items; bool ordered = false; std::size_t start = 1; bool tight = true; };
struct DefinitionList { Attr attr; std::vector<DraftDefinitionItem> items; };
struct HtmlContainer { std::string tag; Attr attr; DraftBlocks blocks; };
struct Table {
    Attr attr;
    std::vector<Align> aligns;
    std::vector<DraftTableRow> head, body, foot;
    // Behind a pointer: most tables have none, and every draft block is as
    // large as the largest kind.
    std::unique_ptr<std::string> caption;
};
struct Div { Attr attr; DraftBlocks blocks; };
}  // namespace draft

// Variants in declared order; code block, HTML block, thematic break, math block
// and raw block are already final and reuse the document types.
using DraftVariant = std::variant<draft::Paragraph, draft::Heading, draft::BlockQuote, draft::List,
                                  draft::DefinitionList, CodeBlock, HtmlBlock, draft::HtmlContainer,
                                  ThematicBreak, draft::Table, draft::Div, MathBlock, RawBlock>;

struct DraftBlock {
    DraftVariant v;
    DraftBlock() : v(draft::Paragraph{}) {}
    template <class T, class = std::enable_if_t<!std::is_same_v<std::decay_t<T>, DraftBlock>>>
    DraftBlock(T&& x) : v(std::forward<T>(x)) {}
    template <class T> bool is() const { return std::holds_alternative<T>(v); }
    template <class T> T& as() { return std::get<T>(v); }
    template <class T> T* get_if() { return std::get_if<T>(&v); }
    template <class T> const T* get_if() const { return std::get_if<T>(&v); }
};

// Attributes of the draft variants that carry them (all but HTML block and raw block).
Attr* draft_attr(DraftBlock& b);

// Extra fields of a code or math block's span.
struct SpanExtras {
    std::optional<std::string> info;  // fenced code only
    std::optional<std::string> lang;  // fenced code with a language
    std::optional<std::string> text;  // code and math blocks
};

// One top-level block span: line indices of the normalised text, end exclusive.
struct BlockSpan {
    std::string_view kind;  // a static literal ("paragraph", "code_block", ...)
    std::size_t start = 0;
    std::size_t end = 0;
    std::unique_ptr<SpanExtras> extras;  // code and math blocks, when asked for
};

// A pair of line indices (first, end exclusive) scanned for edit nodes.
struct EditRegion {
    std::size_t first = 0;
    std::size_t end = 0;
};

}  // namespace quenlor
