#include "parser.hpp"

#include <algorithm>

#include "../line.hpp"
#include "../limits.hpp"
#include "../unicode.hpp"
#include "builder.hpp"
#include "predicates.hpp"

namespace quenlor {

namespace {

bool is_caret_line(std::string_view line) { return trim_white_space(line) == "^"; }

bool same_attr(const Attr& a, const Attr& b) { return a == b; }

}  // namespace

Parser::Parser(std::string_view source, const Options& options, bool want_edit_nodes)
    : source_(source), options_(within_ceilings(options)), want_edit_nodes_(want_edit_nodes) {
    std::string_view s = source_;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t nl = s.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines_.push_back(s.substr(pos));
            break;
        }
        lines_.push_back(s.substr(pos, nl - pos));
        pos = nl + 1;
    }
    next_nonblank_.assign(lines_.size() + 1, lines_.size());
    for (std::size_t i = lines_.size(); i-- > 0;)
        next_nonblank_[i] = is_blank(lines_[i]) ? next_nonblank_[i + 1] : i;
}

Parser::~Parser() = default;

void Parser::release_lines() {
    std::vector<std::string_view>().swap(lines_);
    std::vector<std::size_t>().swap(next_nonblank_);
    std::vector<std::string>().swap(window_);
}

// ---------------------------------------------------------------- tables

bool Parser::has_link_ref(const std::string& key) const {
    for (const Parser* p = this; p; p = p->parent_)
        if (p->link_refs_.count(key)) return true;
    return false;
}

bool Parser::has_abbr(const std::string& key) const {
    for (const Parser* p = this; p; p = p->parent_)
        if (p->abbrs_.count(key)) return true;
    return false;
}

void Parser::add_link_def(LinkRefDef def) {
    std::string key = normalize_label(def.label);
    if (has_link_ref(key)) return;  // the first definition of a label wins
    link_refs_.emplace(std::move(key), std::move(def.ref));
}

void Parser::add_abbr_def(AbbrDef def) {
    if (has_abbr(def.abbr)) return;
    abbrs_.emplace(std::move(def.abbr), std::move(def.expansion));
}

void Parser::add_attr_def(const std::string& name, const Attr& attr) { attr_defs_[name].merge(attr); }

std::optional<LinkRefDef> Parser::link_ref_at(std::size_t i) {
    // A definition's label ends with "]:" on one of the lines up to the next
    // blank one; most lines that start with "[" start a link instead.
    bool label_end = false;
    for (std::size_t j = i; j < lines_.size() && !label_end && !is_blank_line(j); ++j)
        label_end = lines_[j].find("]:") != std::string_view::npos;
    if (!label_end) return std::nullopt;
    if (i < window_start_ || i >= window_start_ + window_.size()) {
        window_.clear();
        window_start_ = i;
        for (std::size_t j = i; j < lines_.size() && !is_blank_line(j); ++j) window_.emplace_back(lines_[j]);
    }
    auto def = parse_link_ref_at(window_, window_.size(), i - window_start_, attr_defs_);
    if (def) def->next_line += window_start_;
    return def;
}

// ---------------------------------------------------------------- document loop

void Parser::literalize_pending(std::size_t draft_pos, std::size_t span_pos) {
    if (pending_.lines.empty()) return;
    draft::Paragraph para;
    for (std::size_t j = 0; j < pending_.lines.size(); ++j) {
        if (j > 0) para.text.push_back('\n');
        para.text.append(trim_white_space(lines_[pending_.lines[j]]));
    }
    auto& drafts = out_->drafts;
    auto& spans = out_->spans;
    drafts.insert(draft_pos < drafts.size() ? drafts.begin() + draft_pos : drafts.end(), DraftBlock(std::move(para)));
    // Pending lines that a definition followed already have their "attr_def"
    // span; only those after the last such definition get the paragraph span,
    // so that no line is covered by two spans.
    if (pending_.start) {
        BlockSpan span;
        span.kind = "paragraph";
        span.start = *pending_.start;
        span.end = pending_.lines.back() + 1;
        spans.insert(span_pos < spans.size() ? spans.begin() + span_pos : spans.end(), std::move(span));
    }
    pending_ = Pending{};
}

BlockParse Parser::parse_blocks_with_spans(std::size_t depth) {
    BlockParse out;
    out_ = &out;
    pending_ = Pending{};
    const std::size_t n = lines_.size();
    // Room for a block every few lines saves moving the drafts as they grow.
    out.drafts.reserve((n - std::min(n, index_)) / 4 + 4);
    out.spans.reserve((n - std::min(n, index_)) / 4 + 4);

    if (depth > options_.max_block_depth) {
        // Too deep to nest further: the rest is one paragraph of text.
        if (index_ < n) {
            draft::Paragraph para;
            for (std::size_t j = index_; j < n; ++j) {
                if (j > index_) para.text.push_back('\n');
                para.text.append(lines_[j]);
            }
            out.drafts.emplace_back(std::move(para));
            BlockSpan span;
            span.kind = "paragraph";
            span.start = index_;
            span.end = n;
            out.spans.push_back(std::move(span));
            index_ = n;
        }
        out_ = nullptr;
        return out;
    }

    std::size_t last_run_span = static_cast<std::size_t>(-1);  // last span of the most recent builder run
    bool last_run_span_accepts = false;

    auto span_of = [&](std::string_view kind, std::size_t start, std::size_t end) {
        BlockSpan span;
        span.kind = kind;
        span.start = start;
        span.end = end;
        out.spans.push_back(std::move(span));
    };
    auto flush_pending_start = [&] {
        if (pending_.start) {
            span_of("attr_def", *pending_.start, index_);
            pending_.start.reset();
        }
    };

    while (index_ < n) {
        std::string_view line = lines_[index_];
        if (is_blank_line(index_) || is_caret_line(line)) {
            literalize_pending();
            ++index_;
            continue;
        }
        std::string_view t = trim_white_space_start(line);
        if (t.substr(0, 2) == "{:") {
            AttrLine al = parse_attr_line(line, attr_defs_);
            if (al.kind == AttrLine::Kind::Attributes) {
                // An attribute line below one that is already waiting for the next block waits
                // with it, rather than jumping back over the blank line to the previous block.
                bool prev_ok = index_ > 0 && !is_blank_line(index_ - 1) && !is_caret_line(lines_[index_ - 1]) &&
                               pending_.lines.empty();
                Attr* target = (!out.drafts.empty() && prev_ok) ? draft_attr(out.drafts.back()) : nullptr;
                if (target) {
                    target->merge(al.attr);
                    // The block's span grows over the line unless a definition's
                    // span came in between: spans never overlap.
                    if (last_run_span < out.spans.size() && last_run_span + 1 == out.spans.size() &&
                        last_run_span_accepts)
                        out.spans[last_run_span].end = index_ + 1;
                } else {
                    pending_.attr.merge(al.attr);
                    pending_.lines.push_back(index_);
                    if (!pending_.start) pending_.start = index_;
                }
                ++index_;
                continue;
            }
            if (al.kind == AttrLine::Kind::Definition) {
                add_attr_def(al.name, al.attr);
                flush_pending_start();
                span_of("attr_def", index_, index_ + 1);
                ++index_;
                continue;
            }
        }
        if (!t.empty() && t[0] == '[') {
            if (auto def = link_ref_at(index_); def && def->next_line > index_) {
                std::size_t next = def->next_line;
                add_link_def(std::move(*def));
                flush_pending_start();
                span_of("link_ref", index_, next);
                index_ = next;
                continue;
            }
        }
        if (t.substr(0, 2) == "*[") {
            if (auto abbr = parse_abbr_def(line)) {
                add_abbr_def(std::move(*abbr));
                flush_pending_start();
                span_of("abbr_def", index_, index_ + 1);
                ++index_;
                continue;
            }
        }
        std::size_t before = out.spans.size();
        run_builder(depth);
        if (out.spans.size() > before) {
            last_run_span = out.spans.size() - 1;
            last_run_span_accepts = span_kind_accepts_attrs(out.spans.back().kind);
        } else {
            last_run_span = static_cast<std::size_t>(-1);
            last_run_span_accepts = false;
        }
    }
    literalize_pending();
    if (pending_.start) {
        span_of("attr_def", *pending_.start, n);
        pending_.start.reset();
    }
    out_ = nullptr;
    return out;
}

void Parser::run_builder(std::size_t depth) {
    BlockParse& out = *out_;
    const std::size_t start = index_;
    if (!builder_) builder_ = std::make_unique<ContainerBuilder>(*this);
    ContainerBuilder& builder = *builder_;
    builder.reset(start);
    std::size_t i = start;
    while (i < lines_.size() && builder.feed_line(i)) ++i;
    if (i == start) {
        // Never expected: a run always takes its first line. Keep the line as
        // text rather than loop forever.
        draft::Paragraph para;
        para.text = std::string(trim_white_space(lines_[start]));
        out.drafts.emplace_back(std::move(para));
        BlockSpan span;
        span.kind = "paragraph";
        span.start = start;
        span.end = start + 1;
        out.spans.push_back(std::move(span));
        index_ = start + 1;
        return;
    }
    const std::size_t end = i;
    index_ = end;

    if (want_edit_nodes_) builder.collect_edit_regions(0, end, regions_);
    const std::size_t s0 = out.spans.size();
    const std::size_t d0 = out.drafts.size();
    builder.collect_spans(end, out.spans);
    builder.finish_children_into(0, depth + 1, out.drafts);

    if (!pending_.attr.empty() && out.drafts.size() > d0) {
        if (Attr* attr = draft_attr(out.drafts[d0])) {
            attr->merge(pending_.attr);
            pending_.attr = Attr{};
            pending_.lines.clear();
            if (out.spans.size() > s0 && span_kind_accepts_attrs(out.spans[s0].kind) && pending_.start) {
                out.spans[s0].start = *pending_.start;
                pending_.start.reset();
            }
        } else {
            literalize_pending(d0, s0);
        }
    } else {
        literalize_pending(d0, s0);
    }

    // A definition list directly after one with equal attributes joins it.
    auto& drafts = out.drafts;
    std::size_t keep = d0;
    for (std::size_t j = d0; j < drafts.size(); ++j) {
        if (keep > 0) {
            auto* dl = drafts[j].get_if<draft::DefinitionList>();
            auto* prev = drafts[keep - 1].get_if<draft::DefinitionList>();
            if (dl && prev && same_attr(prev->attr, dl->attr)) {
                for (auto& item : dl->items) prev->items.push_back(std::move(item));
                continue;
            }
        }
        if (keep != j) drafts[keep] = std::move(drafts[j]);
        ++keep;
    }
    drafts.erase(drafts.begin() + static_cast<std::ptrdiff_t>(keep), drafts.end());
}

// ---------------------------------------------------------------- nested parses

std::uint64_t Parser::max_containers() const {
    const std::uint64_t room = kMaxBlockNesting - std::min<std::uint64_t>(nest_depth_, kMaxBlockNesting);
    return std::min(options_.max_block_depth, room);
}

DraftBlocks Parser::parse_nested_blocks(const std::string& text, std::size_t depth) {
    Parser nested(text, options_, want_edit_nodes_);
    nested.attr_defs_ = attr_defs_;
    nested.parent_ = this;
    nested.arena_ = arena_;
    nested.nest_depth_ = depth;
    BlockParse result = nested.parse_blocks_with_spans(depth);
    // Definitions made inside reach the whole document; existing entries keep their value.
    for (auto& [k, v] : nested.link_refs_) link_refs_.try_emplace(k, std::move(v));
    for (auto& [k, v] : nested.abbrs_) abbrs_.try_emplace(k, std::move(v));
    for (auto& [k, v] : nested.attr_defs_) attr_defs_.try_emplace(k, std::move(v));
    for (auto& f : nested.footnotes_) footnotes_.push_back(std::move(f));
    return std::move(result.drafts);
}

}  // namespace quenlor
