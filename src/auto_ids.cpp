// Automatic heading identifiers: headings without an id get one made from
// their text, unique among all heading ids of the document.
#include "auto_ids.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "render/render.hpp"
#include "unicode.hpp"

namespace quenlor::auto_ids {

namespace {

// Calls f on every heading in document order, descending into the block
// containers (quotes, divs, HTML containers, list items, definitions and
// block-content table cells). Figures, inlines and footnotes hold none.
template <class F>
void for_each_heading(Blocks& blocks, F& f) {
    for (Block& b : blocks) {
        std::visit(
            [&](auto& n) {
                using T = std::decay_t<decltype(n)>;
                if constexpr (std::is_same_v<T, Heading>) {
                    f(n);
                } else if constexpr (std::is_same_v<T, BlockQuote> || std::is_same_v<T, Div> ||
                                     std::is_same_v<T, HtmlContainer>) {
                    for_each_heading(n.blocks, f);
                } else if constexpr (std::is_same_v<T, List>) {
                    for (auto& item : n.items) for_each_heading(item.blocks, f);
                } else if constexpr (std::is_same_v<T, DefinitionList>) {
                    for (auto& item : n.items)
                        for (auto& def : item.definitions) for_each_heading(def.blocks, f);
                } else if constexpr (std::is_same_v<T, Table>) {
                    for (auto* rows : {&n.head, &n.body, &n.foot})
                        for (auto& row : *rows)
                            for (auto& cell : row.cells)
                                if (Blocks* cell_blocks = std::get_if<Blocks>(&cell.content.v))
                                    for_each_heading(*cell_blocks, f);
                }
            },
            b.v);
    }
}

// What an ASCII byte becomes in an identifier: itself lowered, "-" for white
// space, or nothing (0).
constexpr std::array<char, 128> make_ascii_slug_bytes() {
    std::array<char, 128> t{};
    for (int b = 0; b < 128; ++b) {
        if (b >= 'A' && b <= 'Z') t[b] = static_cast<char>(b + 32);
        else if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_')
            t[b] = static_cast<char>(b);
        else if (b == ' ' || (b >= 0x09 && b <= 0x0D)) t[b] = '-';
    }
    return t;
}
constexpr std::array<char, 128> kAsciiSlugBytes = make_ascii_slug_bytes();

bool is_ascii_letter(unsigned char b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }

// An ASCII text's identifier (the rules below, by table): everything before
// the first letter is dropped, then each byte is mapped.
std::string ascii_slug(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && !is_ascii_letter(static_cast<unsigned char>(text[i]))) ++i;
    std::string out(text.size() - i, '\0');
    char* w = out.data();
    for (; i < text.size(); ++i)
        if (const char c = kAsciiSlugBytes[static_cast<unsigned char>(text[i])]) *w++ = c;
    out.resize(static_cast<std::size_t>(w - out.data()));
    if (out.empty()) out = "section";
    return out;
}

}  // namespace

std::string slug(std::string_view text) {
    const std::string_view trimmed = trim_unicode(text);
    // ASCII text, most headings, goes by table; other text first goes
    // through the full lowercase mapping.
    const bool ascii =
        std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return ascii_slug(trimmed);
    const std::string mapped = lowercase_full(trimmed);
    const std::string_view lowered = mapped;
    std::string out;
    out.reserve(lowered.size());
    bool seen_alphabetic = false;
    std::size_t pos = 0;
    while (pos < lowered.size()) {
        const unsigned char b = static_cast<unsigned char>(lowered[pos]);
        if (b < 0x80) {
            ++pos;
            if (!seen_alphabetic) {
                if (!is_ascii_letter(b)) continue;
                seen_alphabetic = true;
            }
            if (const char c = kAsciiSlugBytes[b]) out.push_back(c);
            continue;
        }
        const std::size_t start = pos;
        const char32_t c = decode_utf8(lowered, pos);
        // Everything before the first letter is dropped.
        if (!seen_alphabetic) {
            if (!is_alphabetic(c)) continue;
            seen_alphabetic = true;
        }
        if (c == '-' || c == '.' || c == '_' || is_alphanumeric(c)) {
            out.append(lowered, start, pos - start);
        } else if (is_white_space(c)) {
            out.push_back('-');  // one hyphen per space: runs are not merged
        }
    }
    if (out.empty()) out = "section";
    return out;
}

void Assigner::reserve(std::string id) { used_.insert(std::move(id)); }

void Assigner::reserve_explicit(Blocks& blocks) {
    auto collect = [&](Heading& h) {
        if (h.attr.id()) used_.insert(*h.attr.id());
    };
    for_each_heading(blocks, collect);
}

void Assigner::assign(Blocks& blocks) {
    auto give_id = [&](Heading& h) {
        if (h.attr.id()) return;
        // A heading of plain text, most of them, is its own plain text.
        const Text* only = h.inlines.size() == 1 ? h.inlines.front().get_if<Text>() : nullptr;
        std::string base = only ? slug(only->text) : slug(plain(h.inlines));
        if (used_.insert(base).second) {
            h.attr.set_id(std::move(base));
            return;
        }
        // Next suffix to try per base slug. Candidates below it were taken when
        // last tried, and the set only grows, so trying them again is pointless.
        std::size_t& n = next_suffix_.try_emplace(base, 1).first->second;
        for (;; ++n) {
            candidate_.assign(base);
            candidate_.push_back('-');
            append_decimal(n, candidate_);
            if (!used_.contains(candidate_)) break;
        }
        ++n;
        used_.insert(candidate_);
        h.attr.set_id(candidate_);
    };
    for_each_heading(blocks, give_id);
}

void assign(Document& document) {
    Assigner assigner;
    assigner.reserve_explicit(document.blocks);
    assigner.assign(document.blocks);
}

}  // namespace quenlor::auto_ids
