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

ParseOutput parse_document(std::string_view markdown, const Options& options, bool want_edit_nodes,
                           bool want_span_extras) {
    Parser parser(normalize_line_ends(markdown), options, want_edit_nodes);
    parser.set_want_span_extras(want_span_extras);
    BlockParse blocks = parser.parse_blocks_with_spans(0);

    InlineContext ctx;
    ctx.options = options;
    ctx.attr_defs = parser.take_attr_defs();
    ctx.link_refs = parser.take_link_refs();
    set_abbreviations(ctx, parser.take_abbrs());
    for (const auto& f : parser.footnotes()) ctx.footnote_labels.insert(f.label);

    ParseOutput out;
    if (want_edit_nodes) {
        const std::string& text = parser.source();
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

std::string to_xhtml(std::string_view markdown, const Options& options) {
    Document doc = parse(markdown, options);
    std::string html = to_xhtml_document(doc);
    if (options.balance) html = balance_fragment(html);
    return html;
}

}  // namespace quenlor
