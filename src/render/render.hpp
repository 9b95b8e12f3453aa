// XHTML rendering of the document tree.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "../ast.hpp"

namespace quenlor {

void escape_text(std::string_view s, std::string& out);
void escape_attr(std::string_view s, std::string& out);
void escape_url_attr(std::string_view s, std::string& out);
std::string escape_fragment(std::string_view s);
void percent_encode_char(char32_t c, std::string& out);
void attrs_html(const Attr& attr, std::string& out);
std::string plain(const Inlines& inlines);
std::string code_block_open(const Attr& attr, const std::optional<std::string>& lang);

class Renderer {
public:
    explicit Renderer(const Document& document) : document_(document) {}

    void block(const Block& block, std::string& out);
    void inlines(const Inlines& list, std::string& out);
    void inline_node(const Inline& node, std::string& out);
    void table_row(const TableRowData& row, const std::vector<Align>& aligns, std::string_view cell_tag, std::string& out);
    void footnote_ref(const std::string& label, std::string& out);

    // Appends the footnotes section (nothing when no footnote was referenced).
    void footnotes_section(std::string& out);

private:
    const Document& document_;
    std::vector<std::string> footnote_order_;
    std::unordered_map<std::string, std::size_t> footnote_numbers_;
    std::unordered_map<std::string, std::size_t> footnote_ref_counts_;
    std::unordered_map<std::string, Inlines> notes_;
    std::size_t note_counter_ = 0;
};

std::string to_xhtml_document(const Document& document);

}  // namespace quenlor
