// Square brackets: inline and reference links and images, citations, spans,
// footnote references and inline notes.
#include <algorithm>

#include "../byte_scan.hpp"
#include "../entity.hpp"
#include "../unicode.hpp"
#include "scanner.hpp"

namespace quenlor {

namespace {
constexpr std::size_t npos = std::string_view::npos;

bool is_link_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_key_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}
bool is_ascii_alnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Most destinations and titles hold neither escapes nor references.
bool needs_link_decoding(std::string_view raw) {
    return find_first_of_bytes<'\\', '&'>(raw.data(), raw.data() + raw.size()) != raw.data() + raw.size();
}

// Backslash escapes of punctuation removed, then references decoded; an
// escaped "&" stays literal (it must not start a reference).
std::string decode_link_text(std::string_view raw) {
    if (!needs_link_decoding(raw)) return std::string(raw);
    std::string out;
    out.reserve(raw.size());
    bool placeholder = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size() && is_ascii_punctuation(static_cast<unsigned char>(raw[i + 1]))) {
            ++i;
            if (raw[i] == '&') {
                out += "\xEE\x80\x80";
                placeholder = true;
                continue;
            }
        }
        out.push_back(raw[i]);
    }
    if (out.find('&') != std::string::npos) out = decode_entities(out);
    if (placeholder) {
        std::string fixed;
        fixed.reserve(out.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (out.compare(i, 3, "\xEE\x80\x80") == 0) {
                fixed.push_back('&');
                i += 2;
            } else {
                fixed.push_back(out[i]);
            }
        }
        out = std::move(fixed);
    }
    return out;
}

// One piece of a citation bracket: "[prefix ][-]@key".
std::optional<Link> citation_item(std::string_view piece, bool single) {
    piece = trim_unicode(piece);
    const std::size_t at = piece.find('@');
    if (at == npos) return std::nullopt;
    std::string_view prefix = piece.substr(0, at);
    bool bare = false;
    if (!prefix.empty() && prefix.back() == '-') {
        bare = true;
        prefix.remove_suffix(1);
    }
    const std::string_view trimmed = trim_unicode_end(prefix);
    if (!trimmed.empty() && (!single || trimmed.size() == prefix.size())) return std::nullopt;
    const std::string_view key = piece.substr(at + 1);
    if (key.empty() || !is_ascii_alnum(key[0])) return std::nullopt;
    if (!std::all_of(key.begin(), key.end(), is_key_char)) return std::nullopt;
    Link link;
    link.url = "#" + std::string(key);
    link.attr.set_pair("data-ref", bare ? "bare" : "");
    if (!trimmed.empty()) link.children.emplace_back(Text{NodeText(trimmed)});
    return link;
}

// Quick rejection: the last piece must end in "@key" (after white space).
bool may_be_citation(std::string_view inside) {
    std::string_view t = trim_unicode_end(inside);
    std::size_t i = t.size();
    while (i > 0 && is_key_char(t[i - 1])) --i;
    return i > 0 && i < t.size() && t[i - 1] == '@';
}
}  // namespace

std::string_view trim_link_space(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && is_link_space(text[b])) ++b;
    while (e > b && is_link_space(text[e - 1])) --e;
    return text.substr(b, e - b);
}

namespace {
// The scan of paren_content. With `stops` (every unescaped ">" and line feed of
// the text, ascending) an angle segment is skipped by one lookup, so repeated
// scans over a text full of unclosed "<" stay cheap.
std::optional<ParenContent> paren_scan(std::string_view text, std::size_t start, std::uint64_t max_depth,
                                       const std::vector<std::size_t>* stops) {
    std::uint64_t depth = 0;
    std::size_t i = start;
    const std::size_t n = text.size();
    while (i < n) {
        // Only these four bytes matter; the bytes between are skipped in bulk.
        i = static_cast<std::size_t>(find_first_of_bytes<'\\', '<', '(', ')'>(text.data() + i, text.data() + n) -
                                     text.data());
        if (i == n) break;
        const char c = text[i];
        if (c == '\\') {
            i += 2;
            continue;
        }
        if (c == '<') {
            // An angle segment hides everything up to its ">".
            ++i;
            if (stops) {
                auto it = std::lower_bound(stops->begin(), stops->end(), i);
                if (it == stops->end() || text[*it] == '\n') return std::nullopt;
                i = *it + 1;
                continue;
            }
            while (i < n && text[i] != '>') {
                if (text[i] == '\n') return std::nullopt;
                i += text[i] == '\\' ? 2 : 1;
            }
            if (i >= n) return std::nullopt;
            ++i;
            continue;
        }
        if (c == '(') {
            if (++depth > max_depth) return std::nullopt;
        } else if (c == ')') {
            if (depth == 0) return ParenContent{text.substr(start, i - start), i + 1};
            --depth;
        }
        ++i;
    }
    return std::nullopt;
}
}  // namespace

std::optional<ParenContent> paren_content(std::string_view text, std::size_t start, std::uint64_t max_depth) {
    return paren_scan(text, start, max_depth, nullptr);
}

std::optional<DestinationSplit> parse_link_destination(std::string_view text, std::uint64_t max_depth) {
    const std::size_t n = text.size();
    if (!text.empty() && text[0] == '<') {
        for (std::size_t i = 1; i < n; ++i) {
            const char c = text[i];
            if (c == '\\') {
                ++i;
            } else if (c == '>') {
                return DestinationSplit{text.substr(1, i - 1), text.substr(i + 1)};
            } else if (c == '\n' || c == '\r' || c == '<') {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    std::uint64_t depth = 0;
    for (std::size_t i = 0; i < n; ++i) {
        i = static_cast<std::size_t>(
            find_first_of_bytes<'\\', ' ', '\t', '\n', '\r', '(', ')'>(text.data() + i, text.data() + n) - text.data());
        if (i == n) break;
        const char c = text[i];
        if (c == '\\') {
            ++i;
        } else if (is_link_space(c)) {
            if (i == 0 || depth != 0) return std::nullopt;
            return DestinationSplit{text.substr(0, i), text.substr(i)};
        } else if (c == '(') {
            if (++depth > max_depth) return std::nullopt;
        } else if (c == ')') {
            if (depth == 0) return std::nullopt;
            --depth;
        }
    }
    if (depth != 0) return std::nullopt;
    return DestinationSplit{text, text.substr(n)};
}

std::optional<DestinationTitle> parse_link_destination_title(std::string_view content, std::uint64_t max_depth) {
    const std::string_view t = trim_link_space(content);
    if (t.empty()) return DestinationTitle{};
    auto dest = parse_link_destination(t, max_depth);
    if (!dest) return std::nullopt;
    std::string_view rest = dest->rest;
    while (!rest.empty() && is_link_space(rest.front())) rest.remove_prefix(1);
    DestinationTitle out;
    if (!rest.empty()) {
        const char open = rest[0];
        if (open != '"' && open != '\'' && open != '(') return std::nullopt;
        const char close = open == '(' ? ')' : open;
        std::size_t i = 1;
        while (i < rest.size() && rest[i] != close) i += rest[i] == '\\' ? 2 : 1;
        if (i >= rest.size()) return std::nullopt;
        if (!trim_link_space(rest.substr(i + 1)).empty()) return std::nullopt;
        std::string title = decode_link_text(rest.substr(1, i - 1));
        if (!title.empty()) out.title = std::move(title);
    }
    const std::string_view destination = dest->destination;
    // Copied straight into the node's own room when there is nothing to decode.
    if (needs_link_decoding(destination)) out.url = decode_link_text(destination);
    else out.url = destination;
    return out;
}

Inline link_or_image_shell(bool image, const LinkRef& ref) {
    if (image) return Image{ref.attr, {}, ref.url, ref.title};
    return Link{ref.attr, {}, ref.url, ref.title};
}

std::optional<FootnoteRefMatch> footnote_ref(std::string_view text, std::size_t pos,
                                             const std::unordered_set<std::string>& labels) {
    if (labels.empty() || text.compare(pos, 2, "[^") != 0) return std::nullopt;
    std::size_t i = pos + 2;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == ']') break;
        if (b == '[') return std::nullopt;
        std::size_t next = i;
        if (is_white_space(decode_utf8(text, next))) return std::nullopt;
        i = next;
    }
    if (i >= text.size() || i == pos + 2) return std::nullopt;
    std::string_view label = text.substr(pos + 2, i - pos - 2);
    if (!labels.contains(std::string(label))) return std::nullopt;
    return FootnoteRefMatch{label, i + 1};
}

// ---- scanner rules -----------------------------------------------------------

std::optional<std::size_t> InlineScanner::footnote_reference(std::size_t pos, std::size_t label_pos) {
    auto m = footnote_ref(text_, label_pos, ctx_.footnote_labels);
    if (!m) return std::nullopt;
    if (label_pos != pos) pending_.append_source(pos, 1);
    push_node(FootnoteRef{std::string(m->label)});
    return m->end;
}

std::optional<std::size_t> InlineScanner::inline_note(std::size_t pos) {
    const std::size_t open = pos + 1;
    if (!note_pairs_built_) {
        // One pass from the first note on matches every "[" with its "]"; the
        // escape state of a character depends only on the backslashes right
        // before it, so the pairs hold for every later note as well.
        note_pairs_built_ = true;
        std::vector<std::size_t> stack;
        for (std::size_t i = open; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '\\') {
                ++i;
            } else if (c == '[') {
                stack.push_back(i);
            } else if (c == ']' && !stack.empty()) {
                note_pairs_.emplace_back(stack.back(), i);
                stack.pop_back();
            }
        }
        std::sort(note_pairs_.begin(), note_pairs_.end());
        note_view_ = note_pairs_;
    }
    const auto& pairs = note_view_;
    while (note_cursor_ < pairs.size() && pairs[note_cursor_].first - note_base_ < open) ++note_cursor_;
    if (note_cursor_ >= pairs.size() || pairs[note_cursor_].first - note_base_ != open) return std::nullopt;
    const std::size_t close = pairs[note_cursor_].second - note_base_;
    flush_text();
    // The pairs inside the note serve its nested parse.
    auto inner_first = pairs.begin() + static_cast<std::ptrdiff_t>(note_cursor_ + 1);
    auto inner_last = std::lower_bound(inner_first, pairs.end(), note_base_ + close,
                                       [](const BracketPair& p, std::size_t at) { return p.first < at; });
    Note note{parse_note_content(text_.substr(open + 1, close - open - 1), ctx_, depth_ + 1,
                                 std::span<const BracketPair>(inner_first, inner_last), note_base_ + open + 1)};
    push_node(std::move(note));
    return close + 1;
}

std::size_t InlineScanner::push_bracket(bool image, std::size_t pos) {
    flush_text();
    const std::size_t after = pos + (image ? 2 : 1);
    // The opener's text is its own bytes in the leaf.
    const std::size_t node = push_leaf(TextInBuffer{text_.substr(pos, after - pos), pending_.source_end()});
    brackets_.push_back(Bracket{node, after, image, true});
    return after;
}

bool InlineScanner::bracket_active(std::size_t index) const {
    const Bracket& b = brackets_[index];
    return b.active && (b.image || index >= links_close_below_);
}

std::optional<Inline> InlineScanner::citation(std::string_view inside) const {
    if (!may_be_citation(inside)) return std::nullopt;
    std::vector<std::string_view> pieces;
    for (std::size_t from = 0;;) {
        std::size_t semi = inside.find(';', from);
        pieces.push_back(inside.substr(from, semi == npos ? npos : semi - from));
        if (semi == npos) break;
        from = semi + 1;
    }
    Inlines links = make_node_list<Inlines>(ctx_.arena);
    for (std::string_view piece : pieces) {
        auto item = citation_item(piece, pieces.size() == 1);
        if (!item) return std::nullopt;
        links.emplace_back(std::move(*item));
    }
    if (links.size() == 1) return std::move(links.front());
    Span span;
    span.attr.push_class("refs");
    span.children = std::move(links);
    return Inline(std::move(span));
}

// Links cannot hold links: bare autolinks written inside link text stay text.
void InlineScanner::bare_links_to_text(std::size_t from) {
    for (std::size_t i = find_alive(from); i < nodes_.size(); i = find_alive(i + 1)) {
        if (!nodes_[i].bare_autolink) continue;
        std::string text = std::move(nodes_[i].value.as<Autolink>().text);
        nodes_[i].value = Text{std::move(text)};
        nodes_[i].bare_autolink = false;
    }
}

std::optional<std::size_t> InlineScanner::resolve_bracket(std::size_t pos) {
    flush_text();
    if (brackets_.empty()) return std::nullopt;
    const std::size_t oi = brackets_.size() - 1;
    const Bracket o = brackets_.back();
    auto drop = [&] {
        brackets_.pop_back();
        links_close_below_ = std::min(links_close_below_, brackets_.size());
    };
    if (!bracket_active(oi) || too_deep_) {
        drop();
        return std::nullopt;
    }
    const std::string_view s = text_;
    const std::size_t n = s.size();
    const std::uint64_t max_depth = ctx_.options.max_link_paren_depth;
    const std::string_view inside = s.substr(o.after, pos - o.after);
    std::optional<Inline> result;
    std::size_t end = pos + 1;
    bool is_citation = false;

    if (pos + 1 < n && s[pos + 1] == '(') {
        if (!angle_stops_built_) {
            angle_stops_built_ = true;
            if (s.find('<') != npos) {
                const char* const last = s.data() + n;
                for (const char* p = s.data(); (p = find_first_of_bytes<'\\', '>', '\n'>(p, last)) != last; ++p) {
                    if (*p == '\\') ++p;  // an escaped ">" does not stop a destination
                    else angle_stops_.push_back(static_cast<std::size_t>(p - s.data()));
                    if (p == last) break;
                }
            }
        }
        if (auto pc = paren_scan(s, pos + 2, max_depth, &angle_stops_)) {
            if (auto dt = parse_link_destination_title(pc->content, max_depth)) {
                if (o.image) result = Image{Attr{}, {}, std::move(dt->url), std::move(dt->title)};
                else result = Link{Attr{}, {}, std::move(dt->url), std::move(dt->title)};
                end = pc->end;
            }
        }
    }
    if (!result && !o.image) {
        if (auto cit = citation(inside)) {
            result = std::move(*cit);
            is_citation = true;
            end = pos + 1;
        } else if (pos + 1 < n && s[pos + 1] == '{' && braces_.may_read(s, pos + 1, false)) {
            if (auto block = parse_braced_attr(s.substr(pos + 1), ctx_.attr_defs)) {
                result = Span{std::move(block->attr), {}};
                end = pos + 1 + block->consumed;
            }
        }
    }
    if (!result && !ctx_.link_refs.empty()) {
        bool shortcut = true;
        if (pos + 1 < n && s[pos + 1] == '[') {
            if (auto label = scan_link_label(s.substr(pos + 1))) {
                const bool collapsed = label->content.empty();
                const std::string_view name = collapsed ? inside : std::string_view(label->content);
                if (valid_link_label(name, false)) {
                    auto it = ctx_.link_refs.find(normalize_label(name));
                    if (it != ctx_.link_refs.end()) {
                        result = link_or_image_shell(o.image, it->second);
                        end = pos + 1 + label->consumed;
                    }
                    shortcut = false;
                }
                if (collapsed) shortcut = false;
            }
        }
        if (!result && shortcut && valid_link_label(inside, false)) {
            auto it = ctx_.link_refs.find(normalize_label(inside));
            if (it != ctx_.link_refs.end()) {
                result = link_or_image_shell(o.image, it->second);
                end = pos + 1;
            }
        }
    }
    if (!result) {
        drop();
        return std::nullopt;
    }

    const bool is_link = result->is<Link>();
    std::size_t height = is_citation ? 1 + inlines_height(*children_of(*result)) : 0;
    if (!is_citation) {
        if (is_link) bare_links_to_text(o.node + 1);
        process_delimiters_range(o.node + 1, npos);
        height = 1 + height_of(o.node + 1, nodes_.size());
        if (height > max_height_ || too_deep_) {
            // Pathological nesting: this bracket and all later ones stay text.
            too_deep_ = true;
            drop();
            return std::nullopt;
        }
        // Coalesced with everything else when the parse ends.
        *children_of(*result) = take_alive(o.node + 1, nodes_.size());
    }
    // Everything after the opener now lives inside the result.
    const std::size_t first = find_alive(o.node + 1);
    if (first < nodes_.size()) kill(first);
    for (std::size_t i = find_alive(o.node + 1); i < nodes_.size(); i = find_alive(i + 1)) kill(i);
    while (!delims_.empty() && delims_.back().node >= o.node) {
        delims_.pop_back();
        dskip_.pop_back();
    }
    nodes_[o.node].value = std::move(*result);
    nodes_[o.node].height = height;
    brackets_.pop_back();
    links_close_below_ = std::min(links_close_below_, brackets_.size());
    if (is_link) links_close_below_ = brackets_.size();
    return apply_trailing_attrs(o.node, end);
}

std::size_t InlineScanner::apply_trailing_attrs(std::size_t node, std::size_t pos) {
    Attr* attr = attr_of(nodes_[node].value);
    if (!attr) return pos;
    while (pos < text_.size() && text_[pos] == '{' && braces_.may_read(text_, pos, true)) {
        auto block = trailing_attr(text_.substr(pos), ctx_.attr_defs);
        if (!block) break;
        attr->merge(block->attr);
        pos += block->consumed;
    }
    return pos;
}

}  // namespace quenlor
