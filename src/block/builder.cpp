#include "builder.hpp"

#include <algorithm>
#include <functional>

#include "../line.hpp"
#include "../tagfilter.hpp"
#include "../unicode.hpp"
#include "parser.hpp"
#include "predicates.hpp"
#include "tables.hpp"

namespace quenlor {

namespace {

// Index of each variant, for switches.
enum Kind : std::size_t {
    kRoot, kBlockQuote, kList, kListItem, kFootnote, kDefinitionList, kDefinitionItem, kDefinition, kDiv,
    kHtmlContainer, kFencedCode, kMathBlock, kParagraph, kHeading, kThematicBreak, kIndentedCode, kHtmlBlock,
    kTable, kGridTable,
};

// Non-blank text indented at most 3 columns whose first character is ">".
bool has_quote_marker(std::string_view text) {
    const Indent in = leading_indent(text);
    return in.columns <= 3 && in.bytes < text.size() && text[in.bytes] == '>';
}

// Line::strip_view of a whole line to column `target`, which its indentation
// `in` reaches. Indentation of spaces alone, the usual kind, is cut off here.
std::string_view strip_indent(std::string_view text, Indent in, std::size_t target, std::string& buf) {
    if (in.bytes == in.columns && (target % 4 == 0 || text.find('\t', target) == std::string_view::npos))
        return text.substr(target);
    return Line::strip_view(Line{text, 0, 0}, target, buf);
}

std::string_view kind_of_span(const BuildKind& k) {
    switch (k.index()) {
        case kBlockQuote: return "block_quote";
        case kList: return "list";
        case kFootnote: return "footnote_def";
        case kDefinitionList: return "definition_list";
        case kDiv: return "div";
        case kHtmlContainer: return "html_container";
        case kFencedCode: return "code_block";
        case kMathBlock: return "math_block";
        case kParagraph: return "paragraph";
        case kHeading: return "heading";
        case kThematicBreak: return "thematic_break";
        case kIndentedCode: return "code_block";
        case kHtmlBlock: return "html_block";
        case kTable: return "table";
        case kGridTable: return "table";
        default: return "paragraph";
    }
}

}  // namespace

ContainerBuilder::ContainerBuilder(Parser& parser) : parser_(parser) { reset(0); }

void ContainerBuilder::reset(std::size_t first_line) {
    nodes_.clear();
    nodes_.push_back(BuildNode{BuildKind(build::Root{}), 0});
    stack_.assign(1, 0);
    blank_items_.clear();
    definition_blank_seen_ = false;
    line_ = first_line;
    lazy_ = leaf_open_ = fence_closed_ = false;
    lookahead_line_ = static_cast<std::size_t>(-1);
}

// ---------------------------------------------------------------- tree

std::uint32_t ContainerBuilder::push_child(std::uint32_t parent, BuildKind kind) {
    nodes_.emplace_back(std::move(kind), line_);
    link_last_child(parent);
    return static_cast<std::uint32_t>(nodes_.size() - 1);
}

void ContainerBuilder::link_last_child(std::uint32_t parent) {
    auto idx = static_cast<std::uint32_t>(nodes_.size() - 1);
    BuildNode& p = nodes_[parent];
    if (p.last_child == no_node) p.first_child = idx;
    else nodes_[p.last_child].next_sibling = idx;
    p.last_child = idx;
    ++p.child_count;
}

std::uint32_t ContainerBuilder::open_node(BuildKind kind) {
    auto idx = push_child(current(), std::move(kind));
    std::size_t k = nodes_[idx].kind.index();
    if (k >= kBlockQuote && k <= kHtmlContainer) stack_.push_back(idx);
    return idx;
}

std::optional<std::uint32_t> ContainerBuilder::last_child(std::uint32_t node) const {
    std::uint32_t last = nodes_[node].last_child;
    if (last == no_node) return std::nullopt;
    return last;
}

bool ContainerBuilder::current_is_list() const { return nodes_[current()].kind.index() == kList; }
bool ContainerBuilder::current_is_definition_item() const {
    return nodes_[current()].kind.index() == kDefinitionItem;
}

bool ContainerBuilder::can_continue_definition_term(std::string_view text) const {
    auto lc = last_child(0);
    return lc && nodes_[*lc].kind.index() == kParagraph && has_def_marker(text);
}

// ---------------------------------------------------------------- per-line steps

bool ContainerBuilder::feed_line(std::size_t i) {
    line_ = i;
    std::string_view text = parser_.line(i);
    std::optional<std::size_t> next = parser_.next_nonblank_after(i);
    bool lazy_line = false;
    fence_closed_ = false;

    // Taking container markers off leaves a line as blank as it was, but for a
    // quote marker, which match_containers accounts for.
    bool blank = parser_.is_blank_line(i);
    const std::size_t open_before = stack_.size();
    if (open_before > 1) match_containers(text, lazy_line, blank);
    // The common line: one that begins with a letter (or "[", "!", "(" or a
    // quote), inside every open container, under an open paragraph. No block
    // or container starts so, so it can only continue that paragraph.
    if (stack_.size() == open_before && !lazy_line && !fence_closed_ && leaf_open_ && !text.empty() &&
        starts_nothing(text[0]) && !current_is_list() && nodes_[current()].kind.index() != kHtmlContainer) {
        if (auto* p = last_child_as<build::Paragraph>()) {
            mark_content();
            p->lines.push(text, in_source(text));
            lazy_ = true;
            return true;
        }
    }
    refresh_leaf_open();
    if (fence_closed_) {
        lazy_ = false;
        return true;
    }
    // Only the last child can be an open leaf, so its kind alone picks the
    // one feeder that may take the line.
    const std::uint32_t last = nodes_[current()].last_child;
    const std::size_t last_kind = last == no_node ? std::variant_npos : nodes_[last].kind.index();
    bool fed = false;
    switch (last_kind) {
        case kFencedCode: fed = feed_open_fenced_code(text); break;
        case kMathBlock: fed = feed_open_math(text); break;
        case kGridTable: fed = feed_open_grid(text); break;
        default: break;
    }
    if (fed) {
        lazy_ = false;
        return true;
    }
    if (nodes_[current()].kind.index() == kHtmlContainer) {
        feed_html_markdown_inner(current(), text);
        lazy_ = false;
        return true;
    }
    switch (last_kind) {
        case kHtmlBlock: fed = feed_open_html_block(text); break;
        case kIndentedCode: fed = feed_open_indented_code(text, next); break;
        default: break;
    }
    if (fed) {
        lazy_ = false;
        return true;
    }

    bool closed_list = current_is_list() && close_finished_list(text, next);
    // Closing a list inside an HTML container makes the container current
    // again; its closing tag must still be seen on this line.
    if (closed_list && nodes_[current()].kind.index() == kHtmlContainer) {
        feed_html_markdown_inner(current(), text);
        lazy_ = false;
        return true;
    }

    if (stack_.size() == 1 && nodes_[0].has_children() && !leaf_open_) {
        if (closed_list || !can_continue_definition_term(text)) return false;
    }

    if (blank) {
        if (stack_.size() == 1) {
            // A term may be separated from its definition by blank lines.
            if (leaf_open_ && next && has_def_marker(parser_.line(*next))) {
                leaf_open_ = false;
                return true;
            }
            return false;
        }
        if (current_is_list() || current_is_definition_item()) return true;
        mark_blank();
        leaf_open_ = false;
        lazy_ = false;
        return true;
    }

    if (open_starters(text, starter_buf_) == Starters::Stop) return false;
    if (is_blank(text)) {
        leaf_open_ = false;
        lazy_ = false;
        return true;
    }
    mark_content();
    bool para = append_leaf_inner(text, !lazy_line, true, 0);
    lazy_ = para && is_lazy_paragraph_continuation(text);
    return true;
}

bool ContainerBuilder::item_has_content(std::uint32_t item) const {
    auto holds_content = [&](std::uint32_t child) {
        const BuildKind& k = nodes_[child].kind;
        if (const auto* p = kind_if<build::Paragraph>(k)) {
            for (std::size_t j = 0; j < p->lines.size(); ++j)
                if (!is_blank(p->lines[j])) return true;
            return false;
        }
        if (const auto* c = kind_if<build::IndentedCode>(k)) return !c->text.empty();
        if (const auto* h = kind_if<build::HtmlBlock>(k)) return !h->text.empty();
        return true;
    };
    // The last child nearly always decides; the walk is only for the rare rest.
    std::uint32_t last = nodes_[item].last_child;
    if (last == no_node) return false;
    if (holds_content(last)) return true;
    for (std::uint32_t c = nodes_[item].first_child; c != last; c = nodes_[c].next_sibling)
        if (holds_content(c)) return true;
    return false;
}

void ContainerBuilder::match_containers(std::string_view& text, bool& lazy_line, bool& blank) {
    std::size_t matched = 1;
    // Taking off indentation leaves a line as blank as it was; only a quote
    // marker can change that.
    for (std::size_t k = 1; k < stack_.size(); ++k) {
        std::uint32_t node = stack_[k];
        std::size_t kind = nodes_[node].kind.index();
        bool ok = false;
        bool may_be_lazy = false;
        bool stop = false;
        switch (kind) {
            case kBlockQuote:
                if (!blank && has_quote_marker(text)) {
                    text = strip_quote_marker_view(text, scratch_);
                    blank = is_blank(text);
                    ok = true;
                } else {
                    may_be_lazy = true;
                }
                break;
            case kListItem: {
                std::size_t col = kind_as<build::ListItem>(nodes_[node].kind).content_col;
                if (blank) {
                    ok = item_has_content(node);
                } else if (const Indent in = leading_indent(text); in.columns >= col) {
                    text = strip_indent(text, in, col, scratch_);
                    ok = true;
                } else {
                    may_be_lazy = true;
                }
                break;
            }
            case kFootnote:
                if (blank) {
                    ok = true;
                } else if (const Indent in = leading_indent(text); in.columns >= 4) {
                    text = strip_indent(text, in, 4, scratch_);
                    ok = true;
                }
                break;
            case kDefinition:
                if (blank) {
                    ok = true;
                } else if (has_def_marker(text)) {
                    // Only the definition closes: the next one joins the same item.
                    matched = k;
                    stop = true;
                } else if (leading_indent_columns(text) >= 4 ||
                           (leaf_open_ && !starts_block(text) && !list_marker(text))) {
                    text = Line::strip_view(Line{text, 0, 0}, 4, scratch_);
                    ok = true;
                } else {
                    // The definition item and the definition list close with it.
                    matched = k >= 3 ? k - 2 : 1;
                    stop = true;
                }
                break;
            case kDiv: {
                // Only a line of colons closes a div; most lines show at once
                // that they are not one (every open div looks at the line).
                const std::size_t first = leading_indent_bytes(text);
                if (first != text.size() && text[first] != ':' &&
                    static_cast<unsigned char>(text[first]) > ' ' && static_cast<unsigned char>(text[first]) < 0x80) {
                    ok = true;
                    break;
                }
                std::size_t n = kind_as<build::Div>(nodes_[node].kind).fence_len;
                std::string_view t = trim_white_space(text);
                // Divs nested directly inside each other with equal fences close
                // innermost first, as their author wrote them.
                auto inner_div_closes = [&] {
                    for (std::size_t j = k + 1; j < stack_.size(); ++j) {
                        const BuildKind& inner = nodes_[stack_[j]].kind;
                        if (inner.index() != kDiv) return false;
                        if (kind_as<build::Div>(inner).fence_len == n) return true;
                    }
                    return false;
                };
                if (leading_indent_columns(text) <= 3 && t.size() == n &&
                    t.find_first_not_of(':') == std::string_view::npos && !inner_div_closes()) {
                    matched = k;
                    leaf_open_ = false;
                    fence_closed_ = true;
                    stop = true;
                } else {
                    ok = true;
                }
                break;
            }
            default:  // List, DefinitionList, DefinitionItem, HtmlContainer
                ok = true;
                break;
        }
        if (stop) break;
        // The marker first: most lines that reach here are new items, and the
        // marker found is kept for the starters of this same line.
        if (!ok && may_be_lazy && lazy_ && !blank && !marker_of(text) && !starts_block(text) &&
            !has_def_marker(text)) {
            ok = true;
            lazy_line = true;
        }
        if (!ok) {
            matched = k;
            break;
        }
        matched = k + 1;
    }
    stack_.resize(matched);
}

void ContainerBuilder::refresh_leaf_open() {
    if (!leaf_open_) return;
    auto lc = last_child(current());
    if (!lc) {
        leaf_open_ = false;
        return;
    }
    const BuildKind& k = nodes_[*lc].kind;
    switch (k.index()) {
        case kFencedCode: leaf_open_ = !kind_as<build::FencedCode>(k).closed; break;
        case kMathBlock: leaf_open_ = !kind_as<build::MathBlock>(k).closed; break;
        case kHtmlBlock: leaf_open_ = !kind_as<build::HtmlBlock>(k).closed; break;
        case kGridTable: leaf_open_ = !kind_as<build::GridTable>(k).finished; break;
        case kParagraph:
        case kIndentedCode:
        case kTable: break;
        default: leaf_open_ = false; break;
    }
}

ContainerBuilder::Starters ContainerBuilder::open_starters(std::string_view& text, std::string& buf) {
    const std::uint64_t max_depth = parser_.max_containers();
    while (stack_.size() - 1 < max_depth) {
        // Text that begins with a letter (the usual case) opens nothing.
        if (!text.empty() && starts_nothing(text[0])) return Starters::GoOn;
        if (has_quote_marker(text)) {
            mark_content();
            open_node(build::BlockQuote{});
            text = strip_quote_marker_view(text, buf);
            continue;
        }
        const std::optional<ListMarker> m = marker_of(text);
        if (!m) return Starters::GoOn;
        // A thematic break never opens an item; asked only of a line with a
        // marker, since no quote marker begins a break.
        if (is_thematic(text)) return Starters::GoOn;
        if (leaf_open_ && !list_interrupts_paragraph(text)) return Starters::GoOn;

        std::uint32_t list;
        const auto* cur = get<build::List>(current());
        if (cur && cur->delimiter == m->delimiter && cur->ordered == m->ordered) {
            list = current();
        } else {
            if (stack_.size() == 1 && nodes_[0].has_children()) return Starters::Stop;
            mark_content();
            list = open_node(build::List{m->start, m->delimiter, m->ordered});
        }
        if (nodes_[list].has_children()) {
            std::uint32_t last = nodes_[list].last_child;
            if (std::find(blank_items_.begin(), blank_items_.end(), last) != blank_items_.end()) {
                kind_as<build::ListItem>(nodes_[last].kind).loose = true;
                blank_items_.clear();
            }
        }
        auto& data = emplace_child<build::ListItem>(list);
        data.content_col = m->content_col;
        stack_.push_back(static_cast<std::uint32_t>(nodes_.size() - 1));
        text = Line::strip_view(Line{text, m->marker_end, m->marker_end_col}, m->content_col, buf);

        // Item attributes: a leading "{:...}" block.
        std::string_view t = trim_white_space_start(text);
        if (t.substr(0, 2) == "{:") {
            AttrLine whole = parse_attr_line(t, parser_.attr_defs());
            if (whole.kind == AttrLine::Kind::Attributes) {
                if (!data.attr) data.attr = std::make_unique<Attr>();
                data.attr->merge(whole.attr);
                text = std::string_view();
            } else if (std::size_t close = t.find('}'); close != std::string_view::npos) {
                AttrLine head = parse_attr_line(t.substr(0, close + 1), parser_.attr_defs());
                if (head.kind == AttrLine::Kind::Attributes) {
                    if (!data.attr) data.attr = std::make_unique<Attr>();
                    data.attr->merge(head.attr);
                    text = trim_white_space_start(t.substr(close + 1));
                }
            }
        }
        // Task marker.
        if (text.size() >= 4 && text[0] == '[' && text[2] == ']' && text[3] == ' ') {
            if (text[1] == ' ') {
                data.task = TaskState::Unchecked;
                text.remove_prefix(4);
            } else if (text[1] == 'x' || text[1] == 'X') {
                data.task = TaskState::Checked;
                text.remove_prefix(4);
            }
        }
    }
    return Starters::GoOn;
}

const std::optional<std::string>& ContainerBuilder::lookahead_through(std::size_t next, std::size_t upto) {
    upto = std::min(upto, stack_.size());
    if (next == lookahead_line_ && lookahead_stack_.size() == upto &&
        std::equal(lookahead_stack_.begin(), lookahead_stack_.end(), stack_.begin()))
        return lookahead_result_;
    lookahead_line_ = next;
    lookahead_stack_.assign(stack_.begin(), stack_.begin() + static_cast<std::ptrdiff_t>(upto));
    lookahead_result_ = lookahead_strip(parser_.line(next), upto);
    return lookahead_result_;
}

std::optional<std::string> ContainerBuilder::lookahead_strip(std::string_view next, std::size_t upto) const {
    std::string buf(next);
    for (std::size_t k = 1; k < upto; ++k) {
        if (is_blank(buf)) buf.clear();
        const BuildKind& kind = nodes_[stack_[k]].kind;
        switch (kind.index()) {
            case kBlockQuote:
                if (!has_quote_marker(buf)) return std::nullopt;
                buf = strip_quote_marker(buf);
                break;
            case kListItem: {
                std::size_t col = kind_as<build::ListItem>(kind).content_col;
                if (leading_indent_columns(buf) < col) return std::nullopt;
                buf = Line::strip_from(Line{buf, 0, 0}, col);
                break;
            }
            case kDefinition:
                if (has_def_marker(buf)) return std::nullopt;
                buf = Line::strip_from(Line{buf, 0, 0}, 4);
                break;
            case kList:
            case kDefinitionList:
            case kDefinitionItem:
            case kDiv:
            case kHtmlContainer: break;
            default:
                if (leading_indent_columns(buf) < 4) return std::nullopt;
                buf = Line::strip_from(Line{buf, 0, 0}, 4);
                break;
        }
    }
    if (is_blank(buf)) buf.clear();
    return buf;
}

bool ContainerBuilder::close_finished_list(std::string_view text, std::optional<std::size_t> next) {
    std::uint32_t list = current();
    const auto& data = kind_as<build::List>(nodes_[list].kind);
    auto same_list = [&](std::string_view t) {
        const std::optional<ListMarker>& m = marker_of(t);
        return m && m->delimiter == data.delimiter && m->ordered == data.ordered;
    };
    if (is_blank(text) && next) {
        const auto& rest = lookahead_through(*next, stack_.size() - 1);
        if (rest && same_list(*rest) && nodes_[list].has_children()) {
            blank_items_.assign(1, nodes_[list].last_child);
            return false;
        }
    }
    if (!is_thematic(text) && same_list(text)) return false;
    stack_.pop_back();
    refresh_leaf_open();
    return true;
}

bool ContainerBuilder::in_source(std::string_view text) const {
    const std::string_view src = parser_.source();
    const std::less<const char*> before;
    return !before(text.data(), src.data()) && !before(src.data() + src.size(), text.data() + text.size());
}

const std::optional<ListMarker>& ContainerBuilder::find_marker(std::string_view text) {
    marker_ = list_marker(text);
    marker_known_ = in_source(text);
    marker_text_ = text;
    return marker_;
}

bool ContainerBuilder::find_thematic(std::string_view text) {
    thematic_ = thematic_line(text);
    thematic_known_ = in_source(text);
    thematic_text_ = text;
    return thematic_;
}

void ContainerBuilder::mark_blank() {
    blank_items_.clear();
    if (auto* g = last_child_as<build::GridTable>()) g->caption_allowed = false;
    for (std::size_t k = stack_.size(); k-- > 0;) {
        if (auto* d = get<build::Definition>(stack_[k])) {
            d->blank_seen = true;
            definition_blank_seen_ = true;
            break;
        }
    }
    for (std::size_t k = stack_.size(); k-- > 0;) {
        std::size_t kind = nodes_[stack_[k]].kind.index();
        if (kind == kListItem) blank_items_.push_back(stack_[k]);
        else if (kind != kList) break;
    }
}

void ContainerBuilder::mark_content_after_blank() {
    for (std::size_t k = stack_.size(); k-- > 0;) {
        if (auto* d = get<build::Definition>(stack_[k])) {
            if (d->blank_seen) {
                d->loose = true;
                d->blank_seen = false;
            }
            break;
        }
    }
    if (auto* item = get<build::ListItem>(current())) {
        if (std::find(blank_items_.begin(), blank_items_.end(), current()) != blank_items_.end()) item->loose = true;
    }
    blank_items_.clear();
}

// ---------------------------------------------------------------- spans and regions

const FenceInfo& ContainerBuilder::fence_info(build::FencedCode& code) {
    if (!code.parsed) code.parsed = parse_fence_info(trim_white_space(code.info), parser_.attr_defs());
    return *code.parsed;
}

void ContainerBuilder::collect_spans(std::size_t end, std::vector<BlockSpan>& out) {
    for (std::uint32_t c = nodes_[0].first_child; c != no_node; c = nodes_[c].next_sibling) {
        BuildNode& node = nodes_[c];
        BlockSpan span;
        span.kind = kind_of_span(node.kind);
        span.start = node.start_line;
        span.end = node.next_sibling != no_node ? nodes_[node.next_sibling].start_line : end;
        while (span.end > span.start && parser_.is_blank_line(span.end - 1)) --span.end;
        if (!parser_.want_span_extras()) {
            // spans without their extra fields
        } else if (auto* code = kind_if<build::FencedCode>(node.kind)) {
            const FenceInfo& fi = fence_info(*code);
            span.extras = std::make_unique<SpanExtras>(SpanExtras{fi.info, fi.lang, code->text});
        } else if (auto* icode = kind_if<build::IndentedCode>(node.kind)) {
            span.extras = std::make_unique<SpanExtras>(SpanExtras{std::nullopt, std::nullopt, icode->text});
        } else if (auto* math = kind_if<build::MathBlock>(node.kind)) {
            span.extras = std::make_unique<SpanExtras>(
                SpanExtras{std::nullopt, std::nullopt, std::string(trim_unicode_end(math->text))});
        }
        out.push_back(std::move(span));
    }
}

void ContainerBuilder::collect_edit_regions(std::uint32_t node, std::size_t end, std::vector<EditRegion>& out) const {
    for (std::uint32_t c = nodes_[node].first_child; c != no_node; c = nodes_[c].next_sibling) {
        const BuildNode& child = nodes_[c];
        std::size_t child_end = child.next_sibling != no_node ? nodes_[child.next_sibling].start_line : end;
        switch (child.kind.index()) {
            case kParagraph:
            case kHeading:
            case kTable: out.push_back(EditRegion{child.start_line, child_end}); break;
            case kFencedCode:
            case kMathBlock:
            case kThematicBreak:
            case kIndentedCode:
            case kHtmlBlock:
            case kGridTable: break;
            default: collect_edit_regions(c, child_end, out); break;
        }
    }
}

// ---------------------------------------------------------------- finishing

DraftBlocks ContainerBuilder::finish_children(std::uint32_t node, std::size_t depth) {
    DraftBlocks out = make_node_list<DraftBlocks>(parser_.arena());
    out.reserve(nodes_[node].child_count);
    finish_children_into(node, depth, out);
    return out;
}

void ContainerBuilder::finish_children_into(std::uint32_t node, std::size_t depth, DraftBlocks& out) {
    // Containers recurse through this loop; each kind is finished in a
    // function of its own so that the recursive frame stays small.
    for (std::uint32_t c = nodes_[node].first_child; c != no_node; c = nodes_[c].next_sibling) {
        switch (nodes_[c].kind.index()) {
            case kBlockQuote:
            case kList:
            case kFootnote:
            case kDefinitionList:
            case kDiv:
            case kHtmlContainer: finish_container(c, depth, out); break;
            default: finish_leaf(c, depth, out); break;
        }
    }
}

[[gnu::noinline]] void ContainerBuilder::finish_container(std::uint32_t c, std::size_t depth, DraftBlocks& out) {
    BuildKind& kind = nodes_[c].kind;
    switch (kind.index()) {
        case kBlockQuote: out.emplace_back(draft::BlockQuote{{}, finish_children(c, depth + 1)}); break;
        case kList: {
            const auto& data = kind_as<build::List>(kind);
            draft::List list;
            list.ordered = data.ordered;
            list.start = data.start;
            list.items = make_node_list<decltype(list.items)>(parser_.arena());
            list.items.reserve(nodes_[c].child_count);
            for (std::uint32_t item = nodes_[c].first_child; item != no_node; item = nodes_[item].next_sibling) {
                auto* it = get<build::ListItem>(item);
                if (!it) continue;
                if (it->loose) list.tight = false;
                DraftListItem& di = list.items.emplace_back();
                if (it->attr) di.attr = std::move(*it->attr);
                di.checked = it->task;
                di.blocks = make_node_list<DraftBlocks>(parser_.arena());
                di.blocks.reserve(nodes_[item].child_count);
                finish_children_into(item, depth + 2, di.blocks);
            }
            out.emplace_back(std::move(list));
            break;
        }
        case kFootnote: {
            std::string label = std::move(kind_as<build::FootnoteDefinition>(kind).label);
            DraftBlocks blocks = finish_children(c, depth + 1);
            parser_.footnotes().push_back(DraftFootnote{std::move(label), std::move(blocks)});
            break;
        }
        case kDefinitionList: {
            draft::DefinitionList dl;
            for (std::uint32_t item = nodes_[c].first_child; item != no_node; item = nodes_[item].next_sibling) {
                auto* di = get<build::DefinitionItem>(item);
                if (!di) continue;
                DraftDefinitionItem out_item;
                out_item.terms = std::move(di->terms);
                for (std::uint32_t def = nodes_[item].first_child; def != no_node; def = nodes_[def].next_sibling) {
                    auto* d = get<build::Definition>(def);
                    if (!d) continue;
                    bool loose = d->loose;
                    out_item.definitions.push_back(DraftDefinition{finish_children(def, depth + 3), !loose});
                }
                dl.items.push_back(std::move(out_item));
            }
            out.emplace_back(std::move(dl));
            break;
        }
        case kDiv: {
            Attr attr = std::move(kind_as<build::Div>(kind).attr);
            out.emplace_back(draft::Div{std::move(attr), finish_children(c, depth + 1)});
            break;
        }
        case kHtmlContainer: {
            auto& h = kind_as<build::HtmlContainer>(kind);
            std::string tag = std::move(h.tag);
            Attr attr = std::move(h.attr);
            out.emplace_back(draft::HtmlContainer{std::move(tag), std::move(attr), finish_children(c, depth + 1)});
            break;
        }
        default: break;
    }
}

[[gnu::noinline]] void ContainerBuilder::finish_leaf(std::uint32_t c, std::size_t depth, DraftBlocks& out) {
    BuildKind& kind = nodes_[c].kind;
    switch (kind.index()) {
        case kFencedCode: {
            auto& code = kind_as<build::FencedCode>(kind);
            std::string_view info = trim_white_space(code.info);
            if (auto raw = raw_attr(info); raw && raw->consumed == info.size()) {
                out.emplace_back(RawBlock{std::move(raw->format), std::move(code.text)});
            } else {
                FenceInfo fi = fence_info(code);
                out.emplace_back(CodeBlock{std::move(fi.attr), std::move(fi.info), std::move(fi.lang),
                                           std::move(code.text)});
            }
            break;
        }
        case kMathBlock: {
            auto& m = kind_as<build::MathBlock>(kind);
            out.emplace_back(MathBlock{{}, std::string(trim_unicode_end(m.text)), true});
            break;
        }
        case kParagraph:
            finish_paragraph(kind_as<build::Paragraph>(kind), out);
            break;
        case kHeading: {
            auto& h = kind_as<build::Heading>(kind);
            out.emplace_back(draft::Heading{std::move(h.attr), h.level, std::move(h.text)});
            break;
        }
        case kThematicBreak: out.emplace_back(ThematicBreak{}); break;
        case kIndentedCode:
            out.emplace_back(CodeBlock{{}, std::string(), std::nullopt, std::move(kind_as<build::IndentedCode>(kind).text)});
            break;
        case kHtmlBlock: {
            auto& h = kind_as<build::HtmlBlock>(kind);
            if (parser_.options().tagfilter) out.emplace_back(HtmlBlock{tagfilter_html(h.text)});
            else out.emplace_back(HtmlBlock{std::move(h.text)});
            break;
        }
        case kTable: out.emplace_back(std::move(kind_as<build::Table>(kind).table)); break;
        case kGridTable: out.push_back(finish_grid_table(kind_as<build::GridTable>(kind), depth)); break;
        default: break;
    }
}

void ContainerBuilder::finish_paragraph(build::Paragraph& p, DraftBlocks& out) {
    const LineList& lines = p.lines;
    std::size_t n = lines.size();
    std::size_t first = 0;
    const AttrDefs& defs = parser_.attr_defs();

    // Definitions are taken off the start of the paragraph.
    std::vector<std::string> owned;  // the lines as owned strings, made only when a definition may start
    while (first < n) {
        std::string_view t = trim_white_space_start(lines[first]);
        if (!t.empty() && t[0] == '[') {
            // A definition's label ends with "]:"; most paragraphs that start
            // with "[" start with a link instead.
            bool label_end = false;
            for (std::size_t j = 0; j < n && !label_end; ++j) label_end = lines[j].find("]:") != std::string_view::npos;
            if (!label_end) break;
            if (owned.empty()) {
                owned.reserve(n);
                for (std::size_t j = 0; j < n; ++j) owned.emplace_back(lines[j]);
            }
            if (auto def = parse_link_ref_at(owned, n, first, defs); def && def->next_line > first) {
                first = def->next_line;
                parser_.add_link_def(std::move(*def));
                continue;
            }
            break;
        }
        if (t.substr(0, 2) == "*[") {
            if (auto abbr = parse_abbr_def(lines[first])) {
                parser_.add_abbr_def(std::move(*abbr));
                ++first;
                continue;
            }
        }
        break;
    }
    if (first >= n) return;

    // Trailing attribute lines, never the first remaining line.
    std::size_t last = n;
    std::vector<Attr> trailing;
    while (last - 1 > first) {
        std::string_view t = trim_white_space(lines[last - 1]);
        if (t.substr(0, 2) != "{:") break;
        AttrLine al = parse_attr_line(t, defs);
        if (al.kind != AttrLine::Kind::Attributes) break;
        trailing.push_back(std::move(al.attr));
        --last;
    }
    // Made where it will live: moving a draft block costs more than filling it.
    auto& para = std::get<draft::Paragraph>(out.emplace_back(draft::Paragraph{}).v);
    for (auto it = trailing.rbegin(); it != trailing.rend(); ++it) para.attr.merge(*it);

    bool whole = first == 0 && last == n;  // no line taken off and none to trim at the start
    for (std::size_t j = first; j < last && whole; ++j) whole = trim_white_space_start(lines[j]).size() == lines[j].size();
    if (whole && parser_.drafts_may_view_source()) {
        if (const std::string_view range = p.lines.joined_in_source(); range.data()) {
            para.source_text = range.substr(0, trim_unicode_end(range).size());
            p.lines.clear();
            return;
        }
    }
    std::string text;
    if (whole) {
        text = p.lines.take_joined();
    } else {
        for (std::size_t j = first; j < last; ++j) {
            if (j > first) text.push_back('\n');
            text.append(trim_white_space_start(lines[j]));
        }
    }
    text.resize(trim_unicode_end(text).size());
    para.text = std::move(text);
}

DraftBlock ContainerBuilder::finish_grid_table(build::GridTable& g, std::size_t depth) {
    NestedBlockParse nested = [this](const std::string& text, std::size_t d) {
        return parser_.parse_nested_blocks(text, d);
    };
    if (auto table = parse_grid_table(g.lines, nested, depth)) {
        if (auto* t = table->get_if<draft::Table>(); t && g.caption)
            t->caption = std::make_unique<std::string>(std::move(*g.caption));
        return std::move(*table);
    }
    // Not a grid after all: the lines are text, the caption line included.
    draft::Paragraph para;
    for (std::size_t j = 0; j < g.lines.size(); ++j) {
        if (j > 0) para.text.push_back('\n');
        para.text.append(g.lines[j]);
    }
    if (g.caption) {
        para.text.push_back('\n');
        para.text.append(trim_white_space(g.caption_line));
    }
    return DraftBlock(std::move(para));
}

}  // namespace quenlor
