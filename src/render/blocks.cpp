// Markup of blocks, tables, lists and the footnotes section.
#include <type_traits>

#include "render.hpp"

namespace quenlor {

namespace {

void open_tag(std::string_view tag, const Attr& attr, std::string_view end, std::string& out) {
    out.push_back('<');
    out.append(tag);
    attrs_html(attr, out);
    out.append(end);
}

void close_tag(std::string_view tag, std::string& out) {
    out.append("</");
    out.append(tag);
    out.append(">\n");
}

bool is_task(const ListItem& item) { return item.checked != TaskState::NotTask; }

}  // namespace

void Renderer::blocks(const Blocks& list, std::string& out) {
    for (const Block& b : list) block(b, out);
}

void Renderer::block(const Block& node, std::string& out) {
    std::visit(
        [&](const auto& n) {
            using T = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<T, Paragraph>) {
                open_tag("p", n.attr, ">", out);
                paragraph_inlines(n, out);
                out.append("</p>\n");
            } else if constexpr (std::is_same_v<T, Heading>) {
                out.append("<h");
                append_decimal(n.level, out);
                attrs_html(n.attr, out);
                out.push_back('>');
                inlines(n.inlines, out);
                out.append("</h");
                append_decimal(n.level, out);
                out.append(">\n");
            } else if constexpr (std::is_same_v<T, BlockQuote>) {
                open_tag("blockquote", n.attr, ">\n", out);
                blocks(n.blocks, out);
                out.append("</blockquote>\n");
            } else if constexpr (std::is_same_v<T, List>) {
                list(n, out);
            } else if constexpr (std::is_same_v<T, DefinitionList>) {
                definition_list(n, out);
            } else if constexpr (std::is_same_v<T, CodeBlock>) {
                append_code_block_open(n.attr, n.lang, out);
                escape_text(n.text, out);
                out.append("</code></pre>\n");
            } else if constexpr (std::is_same_v<T, HtmlBlock>) {
                out.append(n.html);
            } else if constexpr (std::is_same_v<T, HtmlContainer>) {
                open_tag(n.tag, n.attr, ">\n", out);
                blocks(n.blocks, out);
                close_tag(n.tag, out);
            } else if constexpr (std::is_same_v<T, ThematicBreak>) {
                open_tag("hr", n.attr, " />\n", out);
            } else if constexpr (std::is_same_v<T, Table>) {
                table(n, out);
            } else if constexpr (std::is_same_v<T, Div>) {
                open_tag("div", n.attr, ">\n", out);
                blocks(n.blocks, out);
                out.append("</div>\n");
            } else if constexpr (std::is_same_v<T, MathBlock>) {
                out.append("<div");
                attrs_html(n.attr, {"math", "display"}, out);
                out.push_back('>');
                escape_text(n.tex, out);
                out.append("</div>\n");
            } else if constexpr (std::is_same_v<T, Figure>) {
                open_tag("figure", n.attr, ">\n", out);
                const Inline& image = *n.image;
                inline_node(image, out);
                if (const Image* img = image.get_if<Image>(); img && !img->children.empty()) {
                    out.append("\n<figcaption>");
                    inlines(img->children, out);
                    out.append("</figcaption>");
                }
                out.append("\n</figure>\n");
            } else if constexpr (std::is_same_v<T, RawBlock>) {
                out.append("<script type=\"text/x-");
                escape_attr(n.format, out);
                out.append("\">");
                escape_text(n.text, out);
                out.append("</script>\n");
            } else {
                static_assert(sizeof(T) == 0, "every block kind is rendered");
            }
        },
        node.v);
}

void Renderer::list(const List& l, std::string& out) {
    const std::string_view tag = l.ordered ? "ol" : "ul";
    out.push_back('<');
    out.append(tag);
    bool tasks = false;
    for (const auto& item : l.items) {
        if (is_task(item)) {
            tasks = true;
            break;
        }
    }
    if (tasks) attrs_html(l.attr, {"task-list"}, out);
    else attrs_html(l.attr, out);
    if (l.ordered && l.start != 1) {
        out.append(" start=\"");
        append_decimal(l.start, out);
        out.push_back('"');
    }
    out.append(">\n");
    for (const auto& item : l.items) {
        open_tag("li", item.attr, ">", out);
        if (is_task(item)) {
            out.append("<input type=\"checkbox\" disabled=\"disabled\"");
            if (item.checked == TaskState::Checked) out.append(" checked=\"checked\"");
            out.append(" /> ");
        }
        if (l.tight) {
            // Paragraphs of a tight item lose their element (and its attributes).
            for (const Block& b : item.blocks) {
                if (const Paragraph* p = b.get_if<Paragraph>()) {
                    paragraph_inlines(*p, out);
                } else {
                    out.push_back('\n');
                    block(b, out);
                }
            }
        } else {
            out.push_back('\n');
            blocks(item.blocks, out);
        }
        out.append("</li>\n");
    }
    close_tag(tag, out);
}

void Renderer::definition_list(const DefinitionList& dl, std::string& out) {
    open_tag("dl", dl.attr, ">\n", out);
    for (const auto& item : dl.items) {
        for (const auto& term : item.terms) {
            out.append("<dt>");
            inlines(term, out);
            out.append("</dt>\n");
        }
        for (const auto& def : item.definitions) {
            out.append("<dd>");
            const Paragraph* only = def.blocks.size() == 1 ? def.blocks.front().get_if<Paragraph>() : nullptr;
            if (def.tight && only && only->attr.empty()) {
                paragraph_inlines(*only, out);
            } else {
                out.push_back('\n');
                blocks(def.blocks, out);
            }
            out.append("</dd>\n");
        }
    }
    out.append("</dl>\n");
}

void Renderer::table(const Table& t, std::string& out) {
    open_tag("table", t.attr, ">\n", out);
    if (!t.caption.empty()) {
        out.append("<caption>");
        inlines(t.caption, out);
        out.append("</caption>\n");
    }
    auto section = [&](std::string_view name, const std::vector<TableRowData>& rows, std::string_view cell_tag) {
        if (rows.empty()) return;
        out.push_back('<');
        out.append(name);
        out.append(">\n");
        for (const auto& row : rows) table_row(row, t.aligns, cell_tag, out);
        close_tag(name, out);
    };
    section("thead", t.head, "th");
    section("tbody", t.body, "td");
    section("tfoot", t.foot, "td");
    out.append("</table>\n");
}

void Renderer::table_row(const TableRowData& row, std::span<const Align> aligns, std::string_view cell_tag,
                         std::string& out) {
    open_tag("tr", row.attr, ">", out);
    std::size_t column = 0;
    for (const auto& cell : row.cells) {
        Align align = cell.align;
        if (align == Align::None && column < aligns.size()) align = aligns[column];
        open_tag(cell_tag, cell.attr, "", out);
        if (align != Align::None) {
            out.append(" align=\"");
            out.append(align_text(align));
            out.push_back('"');
        }
        if (cell.rowspan > 1) {
            out.append(" rowspan=\"");
            append_decimal(cell.rowspan, out);
            out.push_back('"');
        }
        if (cell.colspan > 1) {
            out.append(" colspan=\"");
            append_decimal(cell.colspan, out);
            out.push_back('"');
        }
        out.push_back('>');
        if (const Inlines* content = std::get_if<Inlines>(&cell.content.v)) {
            inlines(*content, out);
        } else if (const Blocks& content = std::get<Blocks>(cell.content.v); !content.empty()) {
            out.push_back('\n');
            blocks(content, out);
        }
        out.append("</");
        out.append(cell_tag);
        out.push_back('>');
        column += cell.colspan > 1 ? cell.colspan : 1;
    }
    out.append("</tr>\n");
}

void Renderer::footnotes_section(std::string& out) {
    if (footnote_order_.empty()) return;

    // Label to definition; of several definitions with one label the last wins.
    std::unordered_map<std::string_view, const Footnote*> definitions;
    definitions.reserve(document_.footnotes.size());
    for (const Footnote& f : document_.footnotes) definitions.insert_or_assign(f.label, &f);

    // Bodies go into one buffer, split by end offsets. Rendering a body may
    // reference further footnotes, which join the order and are rendered in turn.
    std::string bodies;
    std::vector<std::size_t> body_ends;
    for (std::size_t i = 0; i < footnote_order_.size(); ++i) {
        const Footnote* def = nullptr;
        const Inlines* note = nullptr;
        if (auto d = definitions.find(footnote_order_[i]); d != definitions.end()) {
            def = d->second;
        } else if (auto n = notes_.find(footnote_order_[i]); n != notes_.end()) {
            note = n->second;
        }
        if (def) {
            blocks(def->blocks, bodies);
        } else if (note) {
            bodies.append("<p>");
            inlines(*note, bodies);
            bodies.append("</p>\n");
        }
        body_ends.push_back(bodies.size());
    }

    out.reserve(out.size() + bodies.size() + footnote_order_.size() * 200 + 64);
    out.append("<section class=\"footnotes\" role=\"doc-endnotes\">\n<ol>\n");
    std::size_t body_start = 0;
    for (std::size_t i = 0; i < footnote_order_.size(); ++i) {
        const std::string& label = footnote_order_[i];
        out.append("<li id=\"fn-");
        append_fragment(label, out);
        out.append("\">\n");
        out.append(bodies, body_start, body_ends[i] - body_start);
        body_start = body_ends[i];
        const std::size_t refs = footnote_uses_.at(label).refs;
        for (std::size_t k = 1; k <= refs; ++k) {
            if (k > 1) out.push_back(' ');
            out.append("<a href=\"#fnref-");
            append_fragment(label, out);
            if (k > 1) {
                out.push_back('-');
                append_decimal(k, out);
            }
            out.append("\" class=\"footnote-backref\" role=\"doc-backlink\">\u21A9");
            if (k > 1) {
                out.append("<sup>");
                append_decimal(k, out);
                out.append("</sup>");
            }
            out.append("</a>");
        }
        out.append("\n</li>\n");
    }
    out.append("</ol>\n</section>\n");
}

std::string to_xhtml_document(const Document& document, std::size_t source_size) {
    std::string out;
    out.reserve(source_size + source_size / 4 + 64);
    Renderer renderer(document);
    for (const Block& b : document.blocks) renderer.block(b, out);
    renderer.footnotes_section(out);
    return out;
}

}  // namespace quenlor
