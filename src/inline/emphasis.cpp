// Emphasis, strong emphasis and strikethrough from delimiter runs; highlight,
// superscript and subscript found by looking ahead for the closing marker.
#include <algorithm>

#include "../unicode.hpp"
#include "scanner.hpp"

namespace quenlor {

namespace {
constexpr std::size_t npos = std::string_view::npos;

int delimiter_row(char c) { return c == '*' ? 0 : c == '_' ? 1 : 2; }
}  // namespace

bool is_flanking_punct(char32_t c) {
    return c < 0x80 ? is_ascii_punctuation(c) : is_punctuation(c);
}

std::size_t InlineScanner::delimiter_run(std::size_t pos) {
    const std::string_view s = text_;
    const char c = s[pos];
    std::size_t end = pos;
    while (end < s.size() && s[end] == c) ++end;
    const std::size_t n = end - pos;
    if (c == '~' && n == 1) {
        pending_.append_source(pos, 1);
        return pos + 1;
    }
    flush_text();

    // A missing neighbour (start or end of the text) counts as white space.
    char32_t before = pos == 0 ? U' ' : decode_utf8_before(s, pos);
    std::size_t p = end;
    char32_t after = end >= s.size() ? U' ' : decode_utf8(s, p);
    const bool before_ws = is_white_space(before), after_ws = is_white_space(after);
    const bool before_punct = is_flanking_punct(before), after_punct = is_flanking_punct(after);
    const bool left = !after_ws && (!after_punct || before_ws || before_punct);
    const bool right = !before_ws && (!before_punct || after_ws || after_punct);

    Delimiter d;
    d.ch = c;
    d.count = n;
    if (c == '_') {
        d.can_open = left && (!right || before_punct);
        d.can_close = right && (!left || after_punct);
    } else {
        d.can_open = left;
        d.can_close = right;
    }
    d.node = push_leaf(TextInBuffer{s.substr(pos, n), pending_.source_end()});
    if (delims_.empty()) {
        delims_.reserve(16);
        dskip_.reserve(16);
    }
    dskip_.push_back(delims_.size());
    delims_.push_back(d);
    return end;
}

// Largest delimiter index <= k that has not been retired, or npos.
std::size_t InlineScanner::find_down(std::size_t k) {
    if (k == npos) return npos;
    std::size_t r = k;
    while (r != npos && dskip_[r] != r) r = dskip_[r];
    while (k != r) {  // path compression
        std::size_t nx = dskip_[k];
        dskip_[k] = r;
        k = nx;
    }
    return r;
}

// An inactive or used-up delimiter can never open again: searches skip it.
void InlineScanner::retire(std::size_t k) {
    delims_[k].active = false;
    dskip_[k] = k == 0 ? npos : k - 1;
}

void InlineScanner::process_delimiters_range(std::size_t lo, std::size_t hi) {
    // Most texts end with no run left that could close (or none at all).
    if (too_deep_ || delims_.empty() || delims_.back().node < lo) return;
    // Entries below `first` hold nodes before lo and can take no part.
    const std::size_t first = static_cast<std::size_t>(
        std::lower_bound(delims_.begin(), delims_.end(), lo,
                         [](const Delimiter& d, std::size_t v) { return d.node < v; }) -
        delims_.begin());
    std::size_t bottom[3][2][3];
    for (auto& a : bottom)
        for (auto& b : a)
            for (auto& x : b) x = first;

    std::size_t cur = first;
    while (cur < delims_.size()) {
        {
            const Delimiter& cl = delims_[cur];
            if (!cl.active || !cl.can_close || cl.count == 0 || cl.node < lo || cl.node >= hi) {
                ++cur;
                continue;
            }
        }
        Delimiter& cl = delims_[cur];
        std::size_t& floor = bottom[delimiter_row(cl.ch)][cl.can_open ? 1 : 0][cl.count % 3];
        std::size_t found = npos;
        bool mismatch = false;
        for (std::size_t k = find_down(cur == 0 ? npos : cur - 1); k != npos && k >= floor;
             k = find_down(k == 0 ? npos : k - 1)) {
            const Delimiter& op = delims_[k];
            if (!op.active || op.count == 0 || !op.can_open || op.ch != cl.ch || op.node < lo) continue;
            if (cl.ch == '~') {
                // The nearest "~" opener decides.
                if (op.count != cl.count || cl.count > 2) mismatch = true;
                else found = k;
                break;
            }
            if ((cl.can_open || op.can_close) && (op.count + cl.count) % 3 == 0 &&
                !(op.count % 3 == 0 && cl.count % 3 == 0))
                continue;
            found = k;
            break;
        }
        if (mismatch) {
            ++cur;
            continue;
        }
        if (found == npos) {
            floor = cur;
            ++cur;
            continue;
        }
        Delimiter& op = delims_[found];
        const std::size_t used = cl.ch == '~' ? cl.count : (op.count >= 2 && cl.count >= 2 ? 2 : 1);
        const std::size_t slot = find_alive(op.node + 1);
        if (slot >= cl.node) {
            ++cur;  // empty emphasis does not exist
            continue;
        }
        const std::size_t height = 1 + height_of(slot, cl.node);
        if (height > max_height_) {
            // Pathological nesting: leave the remaining runs as text.
            too_deep_ = true;
            return;
        }
        Inlines children = take_alive(op.node + 1, cl.node);
        // The new node takes the slot of its first child (moved out above).
        InlineVariant& made = nodes_[slot].value.v;
        if (cl.ch == '~') made.emplace<Strike>(Strike{Attr{}, std::move(children)});
        else if (used == 2) made.emplace<Strong>(Strong{Attr{}, std::move(children)});
        else made.emplace<Emph>(Emph{Attr{}, std::move(children)});
        nodes_[slot].height = height;

        op.count -= used;
        {
            NodeText& t = nodes_[op.node].value.as<Text>().text;
            t.remove_suffix(used);
            if (t.empty()) {
                kill(op.node);
                retire(found);
            }
        }
        cl.count -= used;
        {
            NodeText& t = nodes_[cl.node].value.as<Text>().text;
            t.remove_prefix(used);
            if (t.empty()) {
                kill(cl.node);
                retire(cur);
            }
        }
        if (cl.count == 0) {
            // Attribute blocks right after the closer belong to the new node.
            Attr* attr = attr_of(nodes_[slot].value);
            const std::size_t next = cl.node + 1;
            while (next < nodes_.size() && nodes_[next].alive) {
                Text* t = nodes_[next].value.get_if<Text>();
                if (!t || t->text.empty() || t->text[0] != '{') break;
                auto block = trailing_attr(t->text, ctx_.attr_defs);
                if (!block) break;
                attr->merge(block->attr);
                t->text.remove_prefix(block->consumed);
                if (t->text.empty()) kill(next);
            }
        }
        flatten_strong(nodes_[slot].value);  // with its attributes final
        // Delimiters inside the new node can no longer pair.
        for (std::size_t j = find_down(cur - 1); j != npos && j > found; j = find_down(j - 1)) retire(j);
        if (cl.count == 0) ++cur;
    }
}

std::optional<std::size_t> script_end(std::string_view text, std::size_t start, char marker) {
    bool escaped = false, content = false;
    std::size_t i = start;
    while (i < text.size()) {
        const std::size_t here = i;
        const char32_t c = decode_utf8(text, i);
        if (escaped) {
            escaped = false;
            content = true;
        } else if (c == '\\') {
            escaped = true;
            content = true;
        } else if (c == static_cast<unsigned char>(marker)) {
            bool closes = marker == '^' ||
                          ((here == 0 || text[here - 1] != '~') && (here + 1 >= text.size() || text[here + 1] != '~'));
            if (closes) {
                if (!content) return std::nullopt;
                return here;
            }
            content = true;
        } else if (is_white_space(c)) {
            return std::nullopt;
        } else {
            content = true;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> InlineScanner::script(std::size_t pos, char marker) {
    auto end = script_end(text_, pos + 1, marker);
    if (!end) return std::nullopt;
    std::string content(text_.substr(pos + 1, *end - pos - 1));
    Inline node;
    if (marker == '^') node = Superscript{Attr{}, std::move(content)};
    else node = Subscript{Attr{}, std::move(content)};
    return push_with_attrs(std::move(node), *end + 1);
}

std::optional<std::size_t> InlineScanner::highlight(std::size_t pos) {
    const std::size_t start = pos + 2;
    if (memo_failed(MemoHighlight, start)) return std::nullopt;
    auto close = find_unescaped(text_, start, "==");
    if (!close) {
        memo_fail(MemoHighlight, start, text_.size());
        return std::nullopt;
    }
    if (*close == start) return std::nullopt;
    flush_text();
    Highlight h{Attr{}, parse_inner(text_.substr(start, *close - start), ctx_, depth_ + 1)};
    return push_with_attrs(std::move(h), *close + 2);
}

}  // namespace quenlor
