// Smart punctuation: typographic quotes, dashes and ellipses in text nodes.
#include "smart.hpp"

#include "byte_scan.hpp"
#include "unicode.hpp"

namespace quenlor::smart {

namespace {

constexpr std::string_view left_double = "\u201C", right_double = "\u201D";
constexpr std::string_view left_single = "\u2018", right_single = "\u2019";
constexpr std::string_view em_dash = "\u2014", en_dash = "\u2013", ellipsis = "\u2026";

void smarten_inlines(Inlines& list);

void smarten_text(NodeText& text) {
    if (has_smart_candidate(text)) text = smarten(text);
}

void smarten_inlines(Inlines& list) {
    for (Inline& node : list)
        if (Text* t = node.get_if<Text>()) smarten_text(t->text);
    for (Inline& node : list)
        if (Inlines* children = children_of(node)) smarten_inlines(*children);
}

void smarten_blocks(Blocks& blocks) {
    for (Block& b : blocks) {
        std::visit(
            [](auto& n) {
                using T = std::decay_t<decltype(n)>;
                if constexpr (std::is_same_v<T, Paragraph> || std::is_same_v<T, Heading>) {
                    smarten_inlines(n.inlines);
                } else if constexpr (std::is_same_v<T, BlockQuote> || std::is_same_v<T, Div> ||
                                     std::is_same_v<T, HtmlContainer>) {
                    smarten_blocks(n.blocks);
                } else if constexpr (std::is_same_v<T, List>) {
                    for (auto& item : n.items) smarten_blocks(item.blocks);
                } else if constexpr (std::is_same_v<T, DefinitionList>) {
                    for (auto& item : n.items) {
                        for (auto& term : item.terms) smarten_inlines(term);
                        for (auto& def : item.definitions) smarten_blocks(def.blocks);
                    }
                } else if constexpr (std::is_same_v<T, Table>) {
                    smarten_inlines(n.caption);
                    for (auto* rows : {&n.head, &n.body, &n.foot})
                        for (auto& row : *rows)
                            for (auto& cell : row.cells)
                                std::visit(
                                    [](auto& content) {
                                        if constexpr (std::is_same_v<std::decay_t<decltype(content)>, Blocks>)
                                            smarten_blocks(content);
                                        else
                                            smarten_inlines(content);
                                    },
                                    cell.content.v);
                } else if constexpr (std::is_same_v<T, Figure>) {
                    if (Image* img = n.image->template get_if<Image>()) smarten_inlines(img->children);
                }
            },
            b.v);
    }
}

}  // namespace

bool has_smart_candidate(std::string_view text) {
    const char* end = text.data() + text.size();
    return find_first_of_bytes<'"', '\'', '-', '.'>(text.data(), end) != end;
}

void apply(Inlines& list) { smarten_inlines(list); }

bool opening_context(char32_t c) {
    return c == no_previous || is_white_space(c) || c == '(' || c == '[' || c == '{' || c == '-' ||
           c == 0x2013 || c == 0x2014;
}

std::string smarten(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4 + 8);
    auto previous = [&]() -> char32_t {
        return out.empty() ? no_previous : decode_utf8_before(out, out.size());
    };
    std::size_t run = 0, i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (c != '"' && c != '\'' && c != '-' && c != '.') {
            ++i;
            continue;
        }
        out.append(text, run, i - run);
        std::size_t used = 1;
        if (c == '"') {
            out.append(opening_context(previous()) ? left_double : right_double);
        } else if (c == '\'') {
            out.append(opening_context(previous()) ? left_single : right_single);
        } else if (c == '-') {
            if (i + 2 < n && text[i + 1] == '-' && text[i + 2] == '-') {
                out.append(em_dash);
                used = 3;
            } else if (i + 1 < n && text[i + 1] == '-') {
                out.append(en_dash);
                used = 2;
            } else {
                out.push_back('-');
            }
        } else if (i + 2 < n && text[i + 1] == '.' && text[i + 2] == '.') {
            out.append(ellipsis);
            used = 3;
        } else {
            out.push_back('.');
        }
        i += used;
        run = i;
    }
    out.append(text, run, n - run);
    return out;
}

void apply(Document& document) {
    smarten_blocks(document.blocks);
    for (Footnote& f : document.footnotes) smarten_blocks(f.blocks);
}

}  // namespace quenlor::smart
