// XHTML rendering of the document tree.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "../ast.hpp"
#include "../inline/inline.hpp"

namespace quenlor {

// Encoders: each appends its input, encoded for where it lands, to out.
void escape_text(std::string_view s, std::string& out);
void escape_attr(std::string_view s, std::string& out);
void escape_url_attr(std::string_view s, std::string& out);
std::string escape_fragment(std::string_view s);
void append_fragment(std::string_view s, std::string& out);
void percent_encode_char(char32_t c, std::string& out);

// The attribute text of attr: id, class, then the pairs, each led by a space.
void attrs_html(const Attr& attr, std::string& out);
// As attrs_html with the extra classes added after attr's own ones (skipping
// any it already has), without copying attr.
void attrs_html(const Attr& attr, std::initializer_list<std::string_view> extra_classes, std::string& out);

// Plain text of an inline list (alt attributes, callback dictionaries, slugs).
std::string plain(const Inlines& inlines);
void append_plain(const Inlines& inlines, std::string& out);

std::string code_block_open(const Attr& attr, const std::optional<std::string>& lang);
void append_code_block_open(const Attr& attr, const std::optional<std::string>& lang, std::string& out);

void append_decimal(std::size_t n, std::string& out);

// One rendering. It keeps pointers to the content of inline notes it met, so
// the tree it renders must outlive the call to footnotes_section.
class Renderer {
public:
    explicit Renderer(const Document& document) : document_(document) {}
    // For a tree whose paragraphs may still be unparsed (unparsed_text): they are
    // parsed with ctx as they are rendered.
    Renderer(const Document& document, const InlineContext& ctx) : document_(document), ctx_(&ctx) {}

    void block(const Block& block, std::string& out);
    void inlines(const Inlines& list, std::string& out);
    void inline_node(const Inline& node, std::string& out);
    // A paragraph's inlines, parsed first when the paragraph is still unparsed.
    void paragraph_inlines(const Paragraph& p, std::string& out);
    void table_row(const TableRowData& row, std::span<const Align> aligns, std::string_view cell_tag, std::string& out);
    void footnote_ref(const std::string& label, std::string& out);

    // Appends the footnotes section (nothing when no footnote was referenced).
    void footnotes_section(std::string& out);
    // Inline notes met so far: a tree that added some must outlive footnotes_section.
    std::size_t note_count() const { return notes_.size(); }

private:
    struct FootnoteUse {
        std::size_t number = 0;  // 1-based position in footnote_order_
        std::size_t refs = 0;    // references rendered so far
    };

    void list(const List& list, std::string& out);
    void definition_list(const DefinitionList& list, std::string& out);
    void table(const Table& table, std::string& out);
    void blocks(const Blocks& list, std::string& out);

    const Document& document_;
    const InlineContext* ctx_ = nullptr;
    std::vector<std::string> footnote_order_;
    std::unordered_map<std::string, FootnoteUse> footnote_uses_;
    // Inline notes under their synthetic labels, pointing into the rendered tree.
    std::unordered_map<std::string, const Inlines*> notes_;
};

// Renders the whole document. source_size, when known, sizes the output buffer.
std::string to_xhtml_document(const Document& document, std::size_t source_size = 0);

}  // namespace quenlor
