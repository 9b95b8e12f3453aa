// Leaf rules of the container builder: paragraphs, headings, code, math,
// tables, and the leaf-like starts of definitions, footnotes, divs and HTML.
#include <algorithm>
#include <utility>

#include "../line.hpp"
#include "../tagfilter.hpp"
#include "../unicode.hpp"
#include "builder.hpp"
#include "parser.hpp"
#include "predicates.hpp"
#include "tables.hpp"

namespace quenlor {

namespace {

bool is_heading_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// First character after indentation of at most 3 columns, or 0.
char first_shallow_char(std::string_view text) {
    const Indent in = leading_indent(text);
    if (in.columns > 3) return 0;
    return in.bytes < text.size() ? text[in.bytes] : 0;
}

// Strips `target` columns of indentation from code content. A tab that
// straddles the target is split into spaces; everything after the stripped
// columns, tabs included, is kept as written.
std::string_view strip_code_indent(std::string_view text, std::size_t target, std::string& buf) {
    std::size_t col = 0, pos = 0;
    while (pos < text.size()) {
        if (col >= target) return text.substr(pos);
        char c = text[pos];
        if (c == ' ') {
            ++col;
            ++pos;
        } else if (c == '\t') {
            std::size_t t = col - col % 4 + 4;
            if (t > target) {
                buf.assign(t - target, ' ');
                buf.append(text.substr(pos + 1));
                return buf;
            }
            col = t;
            ++pos;
        } else {
            return text.substr(pos);
        }
    }
    return std::string_view();
}

void append_code_line(std::string& out, std::string_view text, std::size_t target) {
    std::string buf;
    out.append(strip_code_indent(text, target, buf));
    out.push_back('\n');
}

struct FenceStart {
    std::size_t length = 0;
    std::size_t indent = 0;
    char fence_char = '`';
    std::string_view info;
};

std::optional<FenceStart> fence_start(std::string_view text, char c) {
    const Indent in = leading_indent(text);
    std::size_t indent = in.columns;
    if (indent > 3) return std::nullopt;
    std::size_t b = in.bytes;
    std::size_t e = b;
    while (e < text.size() && text[e] == c) ++e;
    if (e - b < 3) return std::nullopt;
    std::string_view info = text.substr(e);
    if (c == '`' && info.find('`') != std::string_view::npos) return std::nullopt;
    return FenceStart{e - b, indent, c, info};
}

bool has_whitespace(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[pos]);
        if (b < 0x80) {
            if (is_ascii_whitespace(s[pos])) return true;
            ++pos;
            continue;
        }
        if (is_white_space(decode_utf8(s, pos))) return true;
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------- the leaf step

bool ContainerBuilder::append_leaf_inner(std::string_view text, bool setext_allowed, bool indented_code_allowed,
                                         std::size_t depth) {
    const Options& opt = parser_.options();
    bool went_paragraph = false;

    // A line that begins with a letter (or "!", "(" or a quote) and follows no
    // open leaf can only start a paragraph; "[" may still open a footnote.
    if (!leaf_open_ && !text.empty() && starts_nothing(text[0]) && text[0] != '[') {
        open_paragraph(text, setext_allowed);
        return true;
    }
    if (leaf_open_ && continue_pipe_table(text)) return false;
    if (depth < opt.max_block_depth && start_another_definition(text, depth, went_paragraph)) return went_paragraph;
    if (leaf_open_ && start_pipe_table(text)) return false;
    if (leaf_open_ && start_setext_heading(text)) return false;
    if (depth < opt.max_block_depth && start_first_definition(text, depth, went_paragraph)) return went_paragraph;
    if (leaf_open_) {
        if (auto* p = last_child_as<build::Paragraph>()) {
            if (!starts_block(text) && !list_interrupts_paragraph(text) && !has_def_marker(text)) {
                p->lines.push(text, in_source(text));
                p->setext_allowed = p->setext_allowed && setext_allowed;
                return true;
            }
        }
    }

    char first = first_shallow_char(text);
    std::string_view unindented = trim_white_space_start(text);
    char first_any = unindented.empty() ? 0 : unindented[0];
    if (first == '+') {
        if (auto g = normalize_grid_line(text); g && is_grid_border_line(*g)) {
            build::GridTable grid;
            grid.lines.push_back(std::move(*g));
            open_node(make_kind(std::move(grid)));
            leaf_open_ = true;
            return false;
        }
    }
    if (first == '`' || first == '~') {
        if (auto f = fence_start(text, first)) {
            build::FencedCode code;
            code.info = std::string(f->info);
            code.fence_len = f->length;
            code.indent = f->indent;
            code.fence_char = f->fence_char;
            open_node(make_kind(std::move(code)));
            leaf_open_ = true;
            return false;
        }
    }
    if (opt.math >= MathMode::Brackets && (first_any == '\\' || first_any == '$')) {
        std::string_view t = trim_white_space(text);
        std::string_view closing = t == "\\[" ? std::string_view("\\]") : t == "$$" ? std::string_view("$$") : "";
        if (!closing.empty()) {
            open_node(make_kind(build::MathBlock{std::string(), closing, false}));
            leaf_open_ = true;
            return false;
        }
    }
    if (first == ':' && start_fenced_div(text)) return false;
    if (first == '[' && start_footnote_definition(text, depth, went_paragraph)) return went_paragraph;
    if (first_any == '<' && start_html_container(text)) return false;
    if (indented_code_allowed && leading_indent_columns(text) >= 4 && !is_blank(text)) {
        build::IndentedCode code;
        append_code_line(code.text, text, 4);
        open_node(make_kind(std::move(code)));
        leaf_open_ = true;
        return false;
    }
    if (start_html_block(text)) return false;
    if (first == '#' && start_atx_heading(text)) return false;
    if (thematic_line(text)) {
        open_node(make_kind(build::ThematicBreak{}));
        leaf_open_ = false;
        return false;
    }
    open_paragraph(text, setext_allowed);
    return true;
}

void ContainerBuilder::open_paragraph(std::string_view text, bool setext_allowed) {
    build::Paragraph& para = emplace_child<build::Paragraph>(current());
    para.lines.push(text, in_source(text));
    para.setext_allowed = setext_allowed;
    leaf_open_ = true;
}

// ---------------------------------------------------------------- pipe tables

bool ContainerBuilder::continue_pipe_table(std::string_view text) {
    auto* t = last_child_as<build::Table>();
    if (!t) return false;
    if (!t->table.caption) {
        if (auto cap = table_caption_line(text)) {
            t->table.caption = std::make_unique<std::string>(std::move(*cap));
            return true;
        }
    }
    bool has_pipe = text.find('|') != std::string_view::npos;
    if (is_blank(text) || (!has_pipe && starts_block(text))) return false;
    std::string_view trimmed = trim_white_space(text);
    if (trimmed.substr(0, 2) == "{:") {
        AttrLine al = parse_attr_line(trimmed, parser_.attr_defs());
        if (al.kind == AttrLine::Kind::Attributes) {
            t->table.attr.merge(al.attr);
            return true;
        }
    }
    // The row has as many cells as the table has columns: extra cells are
    // dropped, missing ones are empty.
    const std::vector<Align>& aligns = t->table.aligns;
    const std::size_t columns = aligns.size();
    DraftTableRow& row = t->table.body.emplace_back();
    row.cells = make_node_list<decltype(row.cells)>(parser_.arena());
    row.cells.reserve(columns);
    auto add_cell = [&](std::string_view content) {
        if (row.cells.size() == columns) return;
        DraftTableCell& cell = row.cells.emplace_back();
        cell.content.v.emplace<std::string>(content);
        cell.align = aligns[row.cells.size() - 1];
    };
    if (has_pipe) {
        bool first = t->leading_pipe;  // an empty cell before a leading pipe is none
        for_each_raw_cell(text, [&](std::string_view c) {
            if (std::exchange(first, false) && c.empty()) return;
            add_cell(c);
        });
    } else {
        add_cell(trimmed);
    }
    while (row.cells.size() < columns) add_cell({});
    return true;
}

bool ContainerBuilder::start_pipe_table(std::string_view text) {
    auto lc = last_child(current());
    if (!lc) return false;
    auto* p = get<build::Paragraph>(*lc);
    if (!p || p->lines.empty() || text.find('|') == std::string_view::npos) return false;
    auto aligns = table_delimiter_row(text);
    if (!aligns) return false;
    std::string_view header = p->lines.back();
    auto head = table_head_row(header, *aligns);
    if (!head) return false;

    build::Table table;
    table.leading_pipe = trim_white_space_start(header).substr(0, 1) == "|";
    table.table.head.push_back(std::move(*head));
    table.table.aligns = std::move(*aligns);
    if (p->lines.size() == 1) {
        nodes_[*lc].kind = make_kind(std::move(table));
    } else {
        p->lines.pop();
        std::uint32_t node = open_node(make_kind(std::move(table)));
        nodes_[node].start_line = line_ > 0 ? line_ - 1 : 0;
    }
    leaf_open_ = true;
    return true;
}

// ---------------------------------------------------------------- headings

bool ContainerBuilder::start_setext_heading(std::string_view text) {
    if (leading_indent_columns(text) > 3) return false;
    std::string_view t = trim_white_space(text);
    if (t.empty()) return false;
    std::uint8_t level;
    if (t.find_first_not_of('=') == std::string_view::npos) level = 1;
    else if (t.find_first_not_of('-') == std::string_view::npos) level = 2;
    else return false;
    auto lc = last_child(current());
    if (!lc) return false;
    auto* p = get<build::Paragraph>(*lc);
    if (!p || !p->setext_allowed) return false;
    std::string joined;
    for (std::size_t j = 0; j < p->lines.size(); ++j) {
        if (j > 0) joined.push_back('\n');
        joined.append(trim_white_space(p->lines[j]));
    }
    TrailingAttrSplit split = strip_trailing_attr(joined, parser_.attr_defs());
    nodes_[*lc].kind = make_kind(build::Heading{std::move(split.attr), level, std::move(split.text)});
    leaf_open_ = false;
    return true;
}

bool ContainerBuilder::start_atx_heading(std::string_view text) {
    const Indent in = leading_indent(text);
    if (in.columns > 3) return false;
    std::size_t b = in.bytes;
    std::size_t e = b;
    while (e < text.size() && text[e] == '#') ++e;
    std::size_t level = e - b;
    if (level < 1 || level > 6) return false;
    if (e < text.size() && !is_heading_space(text[e])) return false;
    TrailingAttrSplit split = strip_trailing_attr(trim_white_space(text.substr(e)), parser_.attr_defs());
    std::string_view s = split.text;
    std::size_t k = s.size();
    while (k > 0 && s[k - 1] == '#') --k;
    if (k == 0) s = std::string_view();
    else if (k < s.size() && is_heading_space(s[k - 1])) s = trim_unicode_end(s.substr(0, k));
    open_node(make_kind(build::Heading{std::move(split.attr), static_cast<std::uint8_t>(level), std::string(s)}));
    leaf_open_ = false;
    return true;
}

// ---------------------------------------------------------------- definitions and footnotes

// The leaf rules recurse once per definition marker on a line; a copy of the
// rest of the line held by every level would cost the line's length per level.
// One buffer serves all levels: each caller returns right after the recursive
// call, so the text of the levels above is never read again.
std::string_view ContainerBuilder::hold_definition_content(std::string& content) {
    definition_content_.swap(content);
    std::string().swap(content);  // the caller's copy would live on through the recursion
    return definition_content_;
}

bool ContainerBuilder::start_another_definition(std::string_view text, std::size_t depth, bool& went_paragraph) {
    // Most lines hold no marker: skip the walk down the stack for them.
    const std::size_t first = leading_indent_bytes(text);
    if (first == text.size() || (text[first] != ':' && text[first] != '~')) return false;
    std::size_t k = stack_.size();
    while (k > 0 && !get<build::DefinitionItem>(stack_[k - 1])) --k;
    if (k == 0) return false;
    auto content = def_marker(text);
    if (!content) return false;
    std::uint32_t item = stack_[k - 1];
    stack_.resize(k);
    bool loose = false;
    if (nodes_[item].has_children()) {
        if (auto* last = get<build::Definition>(nodes_[item].last_child)) loose = last->blank_seen;
    }
    std::uint32_t def = push_child(item, make_kind(build::Definition{loose, false}));
    stack_.push_back(def);
    leaf_open_ = false;
    if (!content->empty())
        went_paragraph = append_leaf_inner(hold_definition_content(*content), false, true, depth + 1);
    return true;
}

bool ContainerBuilder::start_first_definition(std::string_view text, std::size_t depth, bool& went_paragraph) {
    auto lc = last_child(current());
    if (!lc) return false;
    auto* p = get<build::Paragraph>(*lc);
    if (!p || p->lines.empty()) return false;
    if (stack_.size() - 1 >= parser_.max_containers()) return false;
    auto content = def_marker(text);
    if (!content) return false;

    std::vector<std::string> terms;
    for (std::size_t j = 0; j < p->lines.size(); ++j) {
        std::string_view t = trim_white_space(p->lines[j]);
        if (!t.empty()) terms.emplace_back(t);
    }
    bool loose = !leaf_open_;
    std::uint32_t list = *lc;
    nodes_[list].kind = make_kind(build::DefinitionList{});
    stack_.push_back(list);
    std::uint32_t item = push_child(list, make_kind(build::DefinitionItem{std::move(terms)}));
    stack_.push_back(item);
    std::uint32_t def = push_child(item, make_kind(build::Definition{loose, false}));
    stack_.push_back(def);
    leaf_open_ = false;
    if (!content->empty())
        went_paragraph = append_leaf_inner(hold_definition_content(*content), false, true, depth + 1);
    return true;
}

bool ContainerBuilder::start_footnote_definition(std::string_view text, std::size_t depth, bool& went_paragraph) {
    if (stack_.size() - 1 >= parser_.max_containers()) return false;
    std::string_view t = text.substr(leading_indent_bytes(text));
    if (t.substr(0, 2) != "[^") return false;
    std::size_t close = t.find("]:");
    if (close == std::string_view::npos) return false;
    std::string_view label = t.substr(2, close - 2);
    if (has_whitespace(label)) return false;
    open_node(make_kind(build::FootnoteDefinition{std::string(label)}));
    leaf_open_ = false;
    std::string_view content = trim_white_space_start(t.substr(close + 2));
    if (!content.empty()) went_paragraph = append_leaf_inner(content, false, true, depth + 1);
    return true;
}

// ---------------------------------------------------------------- fenced divs

bool ContainerBuilder::start_fenced_div(std::string_view text) {
    if (stack_.size() - 1 >= parser_.max_containers()) return false;
    std::size_t b = leading_indent_bytes(text);
    std::size_t e = b;
    while (e < text.size() && text[e] == ':') ++e;
    std::size_t n = e - b;
    if (n < 3) return false;
    std::string_view rest = text.substr(e);
    std::size_t keep = rest.find_last_not_of(':');
    if (keep == std::string_view::npos) return false;  // colons alone open nothing
    std::string_view t = trim_white_space(rest.substr(0, keep + 1));
    if (t.empty()) return false;

    Attr attr;
    const AttrDefs& defs = parser_.attr_defs();
    if (t[0] == '{') {
        attr = parse_fence_info(t, defs).attr;
    } else {
        std::size_t pos = 0, word_end = t.size();
        while (pos < t.size()) {
            std::size_t here = pos;
            if (is_white_space(decode_utf8(t, pos))) {
                word_end = here;
                break;
            }
        }
        std::string_view word = t.substr(0, word_end);
        std::size_t a = word.find_first_not_of(':');
        std::size_t z = word.find_last_not_of(':');
        if (a != std::string_view::npos) attr.push_class(word.substr(a, z - a + 1));
        if (std::size_t brace = t.find('{'); brace != std::string_view::npos)
            attr.merge(parse_fence_info(t.substr(brace), defs).attr);
    }
    open_node(make_kind(build::Div{std::move(attr), n}));
    leaf_open_ = false;
    return true;
}

// ---------------------------------------------------------------- open leaves

bool ContainerBuilder::feed_open_fenced_code(std::string_view text) {
    auto* code = last_child_as<build::FencedCode>();
    if (!code || code->closed) return false;
    if (const Indent in = leading_indent(text); in.columns <= 3) {
        std::size_t b = in.bytes;
        std::size_t e = b;
        while (e < text.size() && text[e] == code->fence_char) ++e;
        if (e - b == code->fence_len && is_blank(text.substr(e))) {
            code->closed = true;
            leaf_open_ = false;
            return true;
        }
    }
    append_code_line(code->text, text, code->indent);
    leaf_open_ = true;
    return true;
}

bool ContainerBuilder::feed_open_math(std::string_view text) {
    auto* math = last_child_as<build::MathBlock>();
    if (!math || math->closed) return false;
    if (trim_white_space(text) == math->closing) {
        math->closed = true;
        leaf_open_ = false;
        return true;
    }
    math->text.append(text);
    math->text.push_back('\n');
    leaf_open_ = true;
    return true;
}

bool ContainerBuilder::feed_open_grid(std::string_view text) {
    auto* grid = last_child_as<build::GridTable>();
    if (!grid) return false;
    if (grid->finished) {
        if (!grid->caption_allowed) return false;
        grid->caption_allowed = false;
        if (grid->caption) return false;
        auto cap = table_caption_line(text);
        if (!cap) return false;
        grid->caption = std::move(*cap);
        grid->caption_line = std::string(text);
        return true;
    }
    auto normalized = normalize_grid_line(text);
    grid->lines.push_back(normalized ? std::move(*normalized) : std::string(text));
    if (is_grid_border_line(grid->lines.back())) {
        // The raw next line decides, container markers and all.
        bool continues = false;
        if (line_ + 1 < parser_.line_count()) {
            if (auto nx = normalize_grid_line(parser_.line(line_ + 1)))
                continues = (!nx->empty() && (*nx)[0] == '|') || is_grid_border_line(*nx);
        }
        if (!continues) {
            grid->finished = true;
            grid->caption_allowed = true;
        }
    }
    leaf_open_ = !grid->finished;
    return true;
}

bool ContainerBuilder::feed_open_indented_code(std::string_view text, std::optional<std::size_t> next) {
    auto* code = last_child_as<build::IndentedCode>();
    if (!code) return false;
    if (!is_blank(text)) {
        if (leading_indent_columns(text) < 4) return false;
        append_code_line(code->text, text, 4);
        return true;
    }
    if (!next) return false;
    const auto& rest = lookahead_through(*next, stack_.size());
    if (!rest || leading_indent_columns(*rest) <= 3) return false;
    code = last_child_as<build::IndentedCode>();
    append_code_line(code->text, text, 4);
    return true;
}

// ---------------------------------------------------------------- HTML

bool ContainerBuilder::start_html_block(std::string_view text) {
    std::string_view t = trim_white_space_start(text);
    if (t.empty() || t[0] != '<') return false;
    if (parser_.options().tagfilter && is_tagfiltered_start(t)) return false;
    auto start = html_block_start(text);
    if (!start) return false;
    build::HtmlBlock block;
    block.text.reserve(text.size() + 1);
    block.text.append(text);
    block.text.push_back('\n');
    block.end = std::move(start->end);
    block.closed = start->closed;
    open_node(make_kind(std::move(block)));
    leaf_open_ = !start->closed;
    return true;
}

bool ContainerBuilder::feed_open_html_block(std::string_view text) {
    auto* block = last_child_as<build::HtmlBlock>();
    if (!block || block->closed) return false;
    switch (block->end.kind) {
        case HtmlBlockEnd::Kind::BlankLine:
            if (is_blank(text)) {
                block->closed = true;
                leaf_open_ = false;
                return false;
            }
            break;
        case HtmlBlockEnd::Kind::Marker:
            block->closed = html_block_closed_on_line(block->end, text);
            break;
        case HtmlBlockEnd::Kind::TagDepth:
            update_html_tag_depth(text, block->end.text, block->end.depth);
            block->closed = block->end.depth == 0;
            break;
    }
    block->text.append(text);
    block->text.push_back('\n');
    leaf_open_ = !block->closed;
    return true;
}

bool ContainerBuilder::start_html_container(std::string_view text) {
    if (stack_.size() - 1 >= parser_.max_containers()) return false;
    // The tag must open the line, so that no text before it is lost.
    std::string_view t = trim_white_space_start(text);
    if (t.empty() || t[0] != '<') return false;
    // Only a "markdown" attribute makes a container.
    if (find_ignore_ascii_case(t, "markdown") == std::string_view::npos) return false;
    auto tag = parse_open_tag(t);
    if (!tag || !tag->markdown || *tag->markdown != "1") return false;
    // A void or self-closing element has no content, and a filtered element
    // must never become live markup.
    if (tag->self_closing || is_void_html_tag(tag->name)) return false;
    if (parser_.options().tagfilter && is_tagfiltered_start(t)) return false;
    std::string closing = "</" + tag->name + ">";
    std::uint32_t node = open_node(make_kind(build::HtmlContainer{tag->name, std::move(tag->attr), std::move(closing)}));
    leaf_open_ = false;
    std::string_view rest = t.substr(tag->end);
    if (!rest.empty()) feed_html_markdown_inner(node, rest);
    return true;
}

void ContainerBuilder::feed_html_markdown_inner(std::uint32_t container, std::string_view text) {
    const std::string closing = kind_as<build::HtmlContainer>(nodes_[container].kind).closing;
    std::size_t found = std::string_view::npos;
    // Run lengths known to have no closing run further on: searching for them
    // again could only fail again, and would make long lines quadratic.
    std::vector<bool> unmatched;  // indexed by run length, made at the first backtick
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '`') {
            std::size_t r = i;
            while (r < text.size() && text[r] == '`') ++r;
            std::size_t run = r - i;
            if (unmatched.empty()) unmatched.resize(text.size() + 1);
            if (unmatched[run]) {
                i = r;
                continue;
            }
            // Skip a code span: resume after the next run of exactly the same length.
            std::size_t j = r, resume = r;
            bool closed = false;
            while (j < text.size()) {
                if (text[j] != '`') {
                    ++j;
                    continue;
                }
                std::size_t e = j;
                while (e < text.size() && text[e] == '`') ++e;
                if (e - j == run) {
                    resume = e;
                    closed = true;
                    break;
                }
                j = e;
            }
            if (!closed) unmatched[run] = true;
            i = resume;
            continue;
        }
        if (ascii_lower(text[i]) == closing[0] && starts_with_ignore_ascii_case(text.substr(i), closing)) {
            found = i;
            break;
        }
        ++i;
    }
    if (found == std::string_view::npos) {
        feed_markdown_inner_line(text);
        return;
    }
    std::string_view before = text.substr(0, found);
    if (!is_blank(before)) feed_markdown_inner_line(before);
    auto pos = std::find(stack_.begin(), stack_.end(), container);
    if (pos != stack_.end()) stack_.erase(pos, stack_.end());
    if (stack_.empty()) stack_.push_back(0);
    leaf_open_ = false;
}

void ContainerBuilder::feed_markdown_inner_line(std::string_view text) {
    if (feed_open_fenced_code(text) || feed_open_math(text) || feed_open_html_block(text)) {
        lazy_ = false;
        return;
    }
    if (is_blank(text)) {
        mark_blank();
        lazy_ = false;
        leaf_open_ = false;
        return;
    }
    std::string buf;
    open_starters(text, buf);
    if (is_blank(text)) {
        lazy_ = false;
        leaf_open_ = false;
        return;
    }
    mark_content();
    bool para = append_leaf_inner(text, true, false, 0);
    lazy_ = para && is_lazy_paragraph_continuation(text);
}

}  // namespace quenlor
