#include "quenlor.hpp"

#include <algorithm>
#include <unordered_set>

#include "auto_ids.hpp"
#include "balance.hpp"
#include "block/finalize.hpp"
#include "block/parser.hpp"
#include "inline/inline.hpp"
#include "render/render.hpp"
#include "smart.hpp"

namespace quenlor {

std::size_t EditNode::start() const {
    return std::visit([](const auto& x) { return x.start; }, v);
}

std::string normalize_line_ends(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t cr = text.find('\r', pos);
        if (cr == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, cr - pos));
        out.push_back('\n');
        pos = cr + 1;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return out;
}

namespace {

// The text with line feeds only: the caller's own text unless it holds a
// carriage return, in which case the normalised copy goes to `storage`.
std::string_view line_feed_text(std::string_view markdown, std::string& storage) {
    if (markdown.find('\r') == std::string_view::npos) return markdown;
    storage = normalize_line_ends(markdown);
    return storage;
}

// Freezes the parser's tables into the read-only context of the inline parses.
InlineContext inline_context(Parser& parser, const Options& options) {
    InlineContext ctx;
    ctx.options = options;
    ctx.source = parser.source();
    ctx.attr_defs = parser.take_attr_defs();
    ctx.link_refs = parser.take_link_refs();
    set_abbreviations(ctx, parser.take_abbrs());
    for (const auto& f : parser.footnotes()) ctx.footnote_labels.insert(f.label);
    return ctx;
}

ParseOutput parse_document(std::string_view markdown, const Options& options, bool want_edit_nodes,
                           bool want_span_extras) {
    std::string storage;
    Parser parser(line_feed_text(markdown, storage), options, want_edit_nodes);
    parser.set_want_span_extras(want_span_extras);
    parser.set_drafts_may_view_source(true);
    BlockParse blocks = parser.parse_blocks_with_spans(0);

    InlineContext ctx = inline_context(parser, options);

    ParseOutput out;
    if (want_edit_nodes) {
        const std::string_view text = parser.source();
        std::vector<std::size_t> line_starts;
        line_starts.reserve(parser.line_count());
        for (std::string_view line : parser.lines()) line_starts.push_back(static_cast<std::size_t>(line.data() - text.data()));
        out.edit_nodes = edit_nodes_for_regions(parser.regions(), text, line_starts, ctx);
        std::stable_sort(out.edit_nodes.begin(), out.edit_nodes.end(),
                         [](const EditNode& a, const EditNode& b) { return a.start() < b.start(); });
    }

    out.document.blocks = finalize_blocks(std::move(blocks.drafts), ctx);
    auto& footnotes = parser.footnotes();
    out.document.footnotes.reserve(footnotes.size());
    for (auto& f : footnotes)
        out.document.footnotes.push_back(Footnote{std::move(f.label), finalize_blocks(std::move(f.blocks), ctx)});
    out.spans = std::move(blocks.spans);
    return out;
}

}  // namespace

ParseOutput parse_source(std::string_view markdown, const Options& options, bool want_edit_nodes) {
    return parse_document(markdown, options, want_edit_nodes, true);
}

Document parse(std::string_view markdown, const Options& options) {
    // The spans are dropped here, so their extra fields are not made.
    Document doc = std::move(parse_document(markdown, options, false, false).document);
    if (options.auto_ids) auto_ids::assign(doc);
    if (options.smart) smart::apply(doc);
    return doc;
}

namespace {

// Calls f on every heading draft, wherever the tree passes of the finished
// document would meet the heading.
template <class F>
void for_each_draft_heading(DraftBlocks& blocks, F& f) {
    for (DraftBlock& b : blocks) {
        std::visit(
            [&](auto& n) {
                using T = std::decay_t<decltype(n)>;
                if constexpr (std::is_same_v<T, draft::Heading>) {
                    f(n);
                } else if constexpr (std::is_same_v<T, draft::BlockQuote> || std::is_same_v<T, draft::Div> ||
                                     std::is_same_v<T, draft::HtmlContainer>) {
                    for_each_draft_heading(n.blocks, f);
                } else if constexpr (std::is_same_v<T, draft::List>) {
                    for (auto& item : n.items) for_each_draft_heading(item.blocks, f);
                } else if constexpr (std::is_same_v<T, draft::DefinitionList>) {
                    for (auto& item : n.items)
                        for (auto& def : item.definitions) for_each_draft_heading(def.blocks, f);
                } else if constexpr (std::is_same_v<T, draft::Table>) {
                    for (auto* rows : {&n.head, &n.body, &n.foot})
                        for (auto& row : *rows)
                            for (auto& cell : row.cells)
                                if (auto* cell_blocks = std::get_if<DraftBlocks>(&cell.content.v))
                                    for_each_draft_heading(*cell_blocks, f);
                }
            },
            b.v);
    }
}

// The same stages as parse and to_xhtml_document, run one top-level block at a
// time: each block is finalised, given its ids, smartened, rendered and freed
// before the next, so that the whole document tree (many times the size of the
// text) never exists at once. Blocks holding inline notes are kept, since the
// footnotes section renders the notes from the tree. Every node list is
// taken from `arena` and given back to it before the return.
std::string convert_streaming(std::string_view markdown, const Options& options, NodeArena& arena) {
    std::string storage;
    const std::string_view source = line_feed_text(markdown, storage);
    Parser parser(source, options, false);
    parser.set_want_span_extras(false);
    // A normalised copy (text with CR line ends) lives to the end of the
    // conversion like the caller's text: its paragraphs are viewed, not copied,
    // and parsed as they are rendered. Such text converts a sixth faster so,
    // for a peak memory about a tenth of its size higher.
    parser.set_drafts_may_view_source(true);
    parser.set_arena(&arena);
    BlockParse blocks = parser.parse_blocks_with_spans(0);
    parser.release_lines();
    std::vector<BlockSpan>().swap(blocks.spans);
    InlineContext context = inline_context(parser, options);
    context.arena = &arena;
    // Paragraphs wait to be parsed until they are rendered (the source they
    // view lives until the end of this call); smart punctuation is applied to
    // them there.
    context.lazy_paragraphs = true;
    const InlineContext& ctx = context;

    Document doc;  // the footnotes only; body blocks pass through `one`
    auto& footnotes = parser.footnotes();
    doc.footnotes.reserve(footnotes.size());
    for (auto& f : footnotes)
        doc.footnotes.push_back(Footnote{std::move(f.label), finalize_blocks(std::move(f.blocks), ctx)});
    if (options.smart) smart::apply(doc);

    auto_ids::Assigner ids;
    if (options.auto_ids) {
        std::size_t headings = 0;
        auto reserve = [&](const draft::Heading& h) {
            ++headings;
            if (h.attr.id()) ids.reserve(*h.attr.id());
        };
        for_each_draft_heading(blocks.drafts, reserve);
        ids.expect(headings);
    }

    std::string html;
    // Pages of the reserve that are never written cost no memory.
    html.reserve(markdown.size() * 2 + 64);
    Renderer renderer(doc, ctx);
    Document one;
    one.blocks.resize(1);
    Blocks kept;
    for (DraftBlock& d : blocks.drafts) {
        one.blocks[0] = finalize_draft(d, ctx);
        d = DraftBlock();
        if (options.auto_ids) ids.assign(one.blocks);
        if (options.smart) smart::apply(one);
        const std::size_t notes = renderer.note_count();
        renderer.block(one.blocks[0], html);
        if (renderer.note_count() != notes) kept.push_back(std::move(one.blocks[0]));
    }
    renderer.footnotes_section(html);
    if (options.balance) html = balance_fragment(html);
    return html;
}

}  // namespace

std::string to_xhtml(std::string_view markdown, const Options& options) {
    NodeArena arena;
    return convert_streaming(markdown, options, arena);
}

std::string to_xhtml(std::string_view markdown, const Options& options, NodeArena& arena) {
    std::string html = convert_streaming(markdown, options, arena);
    // Every list of the conversion is back in the arena by now.
    arena.keep_at_most(kKeptArenaBytes);
    return html;
}

}  // namespace quenlor
