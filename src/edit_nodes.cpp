// The edit-node scan: byte ranges of inline images and inline math in the raw
// source text of paragraphs, headings and pipe tables.
#include <algorithm>
#include <array>

#include "inline/inline.hpp"
#include "quenlor.hpp"
#include "render/render.hpp"
#include "unicode.hpp"

namespace quenlor {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Remembered failed closer searches, one per math opener: a search that starts
// at or after a failed one cannot succeed, so unclosed openers cost one scan.
enum MathCloser : std::size_t { CloseBracket, CloseParen, CloseDoubleDollar, CloseDollar, CloserCount };

class RegionScan {
public:
    RegionScan(std::string_view text, std::size_t base, const InlineContext& ctx, std::vector<EditNode>& out)
        : text_(text), base_(base), ctx_(ctx), out_(out) {
        failed_.fill(npos);
    }

    void run() {
        const MathMode math = ctx_.options.math;
        std::size_t p = 0;
        while (p < text_.size()) {
            const char c = text_[p];
            std::optional<std::size_t> next;
            if (c == '\\' && math >= MathMode::Brackets && p + 1 < text_.size() &&
                (text_[p + 1] == '[' || text_[p + 1] == '(')) {
                next = bracket_math(p);
            } else if (c == '$' && math >= MathMode::Brackets) {
                next = dollar_math(p, math == MathMode::Dollars);
            } else if (c == '`') {
                next = skip_code(p);
            } else if (c == '!' && p + 1 < text_.size() && text_[p + 1] == '[') {
                next = image(p);
            } else if (c == '<') {
                if (auto m = angle_or_html(text_, p, ctx_.options.tagfilter)) next = m->end;
            } else if (c == '[') {
                next = skip_inline_link(p);
            }
            if (next) {
                p = *next;
            } else if (c == '\\' && p + 1 < text_.size()) {
                p = next_char(p + 1);  // the escaped character is skipped with its backslash
            } else {
                p = next_char(p);
            }
        }
    }

private:
    std::size_t next_char(std::size_t p) const {
        unsigned char b = static_cast<unsigned char>(text_[p]);
        if (b < 0x80) return p + 1;
        decode_utf8(text_, p);
        return p;
    }

    std::optional<std::size_t> find_closer(MathCloser kind, std::size_t from, std::string_view delim) {
        if (failed_[kind] != npos && from >= failed_[kind]) return std::nullopt;
        std::optional<std::size_t> q = kind == CloseDollar ? find_closing_dollar(text_, from)
                                                           : find_unescaped(text_, from, delim);
        if (!q) failed_[kind] = std::min(failed_[kind], from);
        return q;
    }

    void add_math(std::string_view tex, std::string_view delimiter, std::size_t start, std::size_t end) {
        out_.push_back(EditNode{EditMath{std::string(tex), delimiter, base_ + start, base_ + end}});
    }

    // "\[" ... "\]" or "\(" ... "\)".
    std::optional<std::size_t> bracket_math(std::size_t p) {
        const bool display = text_[p + 1] == '[';
        auto q = find_closer(display ? CloseBracket : CloseParen, p + 2, display ? "\\]" : "\\)");
        if (!q) return std::nullopt;
        add_math(text_.substr(p + 2, *q - (p + 2)), display ? "\\[" : "\\(", p, *q + 2);
        return *q + 2;
    }

    // "$$" ... "$$" (trimmed), then, in dollar mode, "$" ... "$".
    std::optional<std::size_t> dollar_math(std::size_t p, bool single) {
        if (p + 1 < text_.size() && text_[p + 1] == '$') {
            if (auto q = find_closer(CloseDoubleDollar, p + 2, "$$")) {
                add_math(trim_unicode(text_.substr(p + 2, *q - (p + 2))), "$$", p, *q + 2);
                return *q + 2;
            }
        }
        if (!single || !can_open_dollar(text_, p)) return std::nullopt;
        auto q = find_closer(CloseDollar, p + 1, "$");
        if (!q) return std::nullopt;
        add_math(text_.substr(p + 1, *q - (p + 1)), "$", p, *q + 1);
        return *q + 1;
    }

    // A code span is skipped whole; a backtick run that opens none is skipped
    // whole too, as the inline scanner treats it as text.
    std::optional<std::size_t> skip_code(std::size_t p) const {
        if (auto m = code_span(text_, p)) return m->end;
        std::size_t q = p;
        while (q < text_.size() && text_[q] == '`') ++q;
        return q;
    }

    struct LinkTail {
        std::string label;
        std::size_t content_start = 0;
        ParenContent paren;
    };
    // A valid label at `open` ("[") followed by "(" and a closed parenthesis.
    std::optional<LinkTail> label_and_parens(std::size_t open) const {
        auto label = scan_link_label(text_.substr(open));
        if (!label || !valid_link_label(label->content, true)) return std::nullopt;
        std::size_t paren = open + label->consumed;
        if (paren >= text_.size() || text_[paren] != '(') return std::nullopt;
        auto content = paren_content(text_, paren + 1, ctx_.options.max_link_paren_depth);
        if (!content) return std::nullopt;
        return LinkTail{std::move(label->content), paren + 1, *content};
    }

    std::optional<std::size_t> skip_inline_link(std::size_t p) const {
        if (auto tail = label_and_parens(p)) return tail->paren.end;
        return std::nullopt;
    }

    std::optional<std::size_t> image(std::size_t p) {
        auto tail = label_and_parens(p + 1);
        if (!tail) return std::nullopt;
        const std::uint64_t max_depth = ctx_.options.max_link_paren_depth;
        std::string_view content = tail->paren.content;
        std::string_view trimmed = trim_link_space(content);
        std::size_t url_start, url_end;
        if (trimmed.empty()) {
            // Empty destination: the empty range after the leading white space.
            std::size_t lead = content.find_first_not_of(" \t\r\n");
            url_start = url_end = tail->content_start + (lead == npos ? content.size() : lead);
        } else {
            auto dest = parse_link_destination(trimmed, max_depth);
            if (!dest) return std::nullopt;
            url_start = offset_in_text(dest->destination);
            url_end = url_start + dest->destination.size();
        }
        auto dt = parse_link_destination_title(content, max_depth);
        if (!dt) return std::nullopt;
        EditImage img;
        img.alt = plain(coalesce(parse_inner(tail->label, ctx_, 0)));
        img.url = dt->url.str();
        img.title = std::move(dt->title);
        img.start = base_ + p;
        img.end = base_ + tail->paren.end;
        img.url_start = base_ + url_start;
        img.url_end = base_ + url_end;
        out_.push_back(EditNode{std::move(img)});
        return tail->paren.end;
    }

    // Offset of a view into the region text.
    std::size_t offset_in_text(std::string_view part) const {
        return static_cast<std::size_t>(part.data() - text_.data());
    }

    std::string_view text_;
    std::size_t base_;
    const InlineContext& ctx_;
    std::vector<EditNode>& out_;
    std::array<std::size_t, CloserCount> failed_{};
};

std::size_t node_start(const EditNode& n) {
    return std::visit([](const auto& x) { return x.start; }, n.v);
}

}  // namespace

std::vector<EditNode> edit_nodes_for_regions(const std::vector<EditRegion>& regions, std::string_view text,
                                             const std::vector<std::size_t>& line_starts,
                                             const InlineContext& ctx) {
    std::vector<EditNode> out;
    for (const EditRegion& r : regions) {
        if (r.first >= r.end || r.first >= line_starts.size() || r.end - 1 >= line_starts.size()) continue;
        std::size_t begin = std::min(line_starts[r.first], text.size());
        std::size_t last = std::min(line_starts[r.end - 1], text.size());
        std::size_t stop = text.find('\n', last);
        if (stop == npos) stop = text.size();
        RegionScan(text.substr(begin, stop - begin), begin, ctx, out).run();
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const EditNode& a, const EditNode& b) { return node_start(a) < node_start(b); });
    return out;
}

}  // namespace quenlor
