#include "finalize.hpp"

#include "../attrs.hpp"

namespace quenlor {

// Drafts are held the same way as blocks: a one-draft list stays in the
// allocator's quickest size class (see the size check of Block).
static_assert(sizeof(void*) != 8 || sizeof(DraftBlock) <= 120);

Attr* draft_attr(DraftBlock& b) {
    return std::visit(
        [](auto& x) -> Attr* {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, HtmlBlock> || std::is_same_v<T, RawBlock>) return nullptr;
            else return &x.attr;
        },
        b.v);
}

namespace {

Inlines inlines_of(std::string_view text, const InlineContext& ctx) { return parse_inner(text, ctx, 0); }

// Whether a paragraph's text may be parsed only when it is rendered: not when
// it could be a lone image (a figure, decided here), nor when it could hold an
// inline note (whose content the renderer keeps until the notes are written).
bool may_parse_when_rendered(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\n");
    return first != std::string_view::npos && text[first] != '!' && text.find("^[") == std::string_view::npos;
}

Block finalize_paragraph(draft::Paragraph& p, const InlineContext& ctx) {
    const bool in_source = p.source_text.data() != nullptr;
    if (ctx.lazy_paragraphs && may_parse_when_rendered(in_source ? p.source_text : std::string_view(p.text))) {
        Paragraph lazy{std::move(p.attr), make_node_list<Inlines>(ctx.arena), {}, {}};
        // A copied text waits in the arena: kept in the general heap until the
        // block is rendered, such copies made glibc give memory back to the
        // system and fault it in again between conversions.
        if (in_source) lazy.lazy_text = p.source_text;
        else lazy.lazy_copy = ArenaString(p.text, NodeAllocator<char>(ctx.arena));
        return Block(std::move(lazy));
    }
    Inlines inlines = in_source ? inlines_of(p.source_text, ctx) : parse_owned(std::move(p.text), ctx);
    if (inlines.size() == 1 && inlines.front().is<Image>()) {
        // A paragraph holding only an image becomes a figure.
        Image& img = inlines.front().as<Image>();
        Figure fig;
        fig.attr = std::move(p.attr);
        if (auto id = img.attr.take_id(); id && !fig.attr.id()) fig.attr.set_id(std::move(*id));
        for (const auto& c : img.attr.classes()) fig.attr.push_class(c);
        img.attr.clear_classes();
        fig.image = Box<Inline>(std::move(inlines.front()));
        return Block(std::move(fig));
    }
    return Block(Paragraph{std::move(p.attr), std::move(inlines), {}, {}});
}

Block finalize_block(DraftBlock& d, const InlineContext& ctx) {
    return std::visit(
        [&](auto& x) -> Block {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, draft::Paragraph>) {
                return finalize_paragraph(x, ctx);
            } else if constexpr (std::is_same_v<T, draft::Heading>) {
                Heading h;
                h.attr = std::move(x.attr);
                h.level = x.level;
                h.inlines = parse_owned(std::move(x.text), ctx);
                return Block(std::move(h));
            } else if constexpr (std::is_same_v<T, draft::BlockQuote>) {
                return Block(BlockQuote{std::move(x.attr), finalize_blocks(std::move(x.blocks), ctx)});
            } else if constexpr (std::is_same_v<T, draft::Div>) {
                return Block(Div{std::move(x.attr), finalize_blocks(std::move(x.blocks), ctx)});
            } else if constexpr (std::is_same_v<T, draft::HtmlContainer>) {
                return Block(HtmlContainer{std::move(x.tag), std::move(x.attr), finalize_blocks(std::move(x.blocks), ctx)});
            } else if constexpr (std::is_same_v<T, draft::List>) {
                List list;
                list.attr = std::move(x.attr);
                list.ordered = x.ordered;
                list.start = x.start;
                list.tight = x.tight;
                list.items = make_node_list<decltype(list.items)>(ctx.arena);
                list.items.reserve(x.items.size());
                for (auto& item : x.items)
                    list.items.push_back(ListItem{std::move(item.attr), finalize_blocks(std::move(item.blocks), ctx), item.checked});
                return Block(std::move(list));
            } else if constexpr (std::is_same_v<T, draft::DefinitionList>) {
                DefinitionList dl;
                dl.attr = std::move(x.attr);
                dl.items.reserve(x.items.size());
                for (auto& item : x.items) {
                    DefinitionItem out;
                    out.terms.reserve(item.terms.size());
                    for (const auto& term : item.terms) out.terms.push_back(inlines_of(term, ctx));
                    for (auto& def : item.definitions)
                        out.definitions.push_back(Definition{finalize_blocks(std::move(def.blocks), ctx), def.tight});
                    dl.items.push_back(std::move(out));
                }
                return Block(std::move(dl));
            } else if constexpr (std::is_same_v<T, draft::Table>) {
                Table t;
                t.attr = std::move(x.attr);
                if (x.caption) {
                    TrailingAttrSplit split = strip_trailing_attr(*x.caption, ctx.attr_defs);
                    t.caption = inlines_of(split.text, ctx);
                    t.attr.merge(split.attr);
                }
                t.aligns = std::move(x.aligns);
                t.head = finalize_table_rows(std::move(x.head), ctx);
                t.body = finalize_table_rows(std::move(x.body), ctx);
                t.foot = finalize_table_rows(std::move(x.foot), ctx);
                return Block(std::move(t));
            } else {
                // Code, HTML, thematic break, math and raw blocks are already final.
                return Block(std::move(x));
            }
        },
        d.v);
}

}  // namespace

Block finalize_draft(DraftBlock& draft, const InlineContext& ctx) { return finalize_block(draft, ctx); }

Blocks finalize_blocks(DraftBlocks drafts, const InlineContext& ctx) {
    Blocks out = make_node_list<Blocks>(ctx.arena);
    out.reserve(drafts.size());
    for (auto& d : drafts) out.push_back(finalize_block(d, ctx));
    return out;
}

std::vector<TableRowData> finalize_table_rows(std::vector<DraftTableRow> rows, const InlineContext& ctx) {
    std::vector<TableRowData> out;
    out.reserve(rows.size());
    for (auto& row : rows) {
        TableRowData r;
        r.attr = std::move(row.attr);
        r.cells = make_node_list<decltype(r.cells)>(ctx.arena);
        r.cells.reserve(row.cells.size());
        for (auto& cell : row.cells) {
            TableCellData c;
            if (auto* text = std::get_if<std::string>(&cell.content.v)) c.content.v = parse_owned(std::move(*text), ctx);
            else c.content.v = finalize_blocks(std::move(std::get<DraftBlocks>(cell.content.v)), ctx);
            c.attr = std::move(cell.attr);
            c.rowspan = cell.rowspan;
            c.colspan = cell.colspan;
            c.align = cell.align;
            r.cells.push_back(std::move(c));
        }
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace quenlor
