#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "balance.hpp"
#include "inline/scanner.hpp"
#include "limits.hpp"
#include "quenlor.hpp"
#include "render/render.hpp"

using namespace quenlor;

namespace {

constexpr std::uint64_t kNoLimit = UINT64_MAX;

Options no_limits() {
    Options o;
    o.max_inline_depth = o.max_block_depth = o.max_link_paren_depth = kNoLimit;
    return o;
}

std::size_t block_height(const Blocks& list);

std::size_t inline_height(const Inlines& list) {
    std::size_t h = 0;
    for (const Inline& x : list)
        if (const Inlines* kids = children_of(x)) h = std::max(h, 1 + inline_height(*kids));
    return h;
}

// Levels of nested block lists (a table cell counts one level for its row).
std::size_t block_height(const Blocks& list) {
    std::size_t h = 0;
    for (const Block& b : list) {
        std::size_t inner = std::visit(
            [](const auto& n) -> std::size_t {
                using T = std::decay_t<decltype(n)>;
                if constexpr (requires { n.blocks; }) {
                    return block_height(n.blocks);
                } else if constexpr (std::is_same_v<T, List>) {
                    std::size_t m = 0;
                    for (const auto& item : n.items) m = std::max(m, 1 + block_height(item.blocks));
                    return m;
                } else if constexpr (std::is_same_v<T, DefinitionList>) {
                    std::size_t m = 0;
                    for (const auto& item : n.items)
                        for (const auto& d : item.definitions) m = std::max(m, 1 + block_height(d.blocks));
                    return m;
                } else if constexpr (std::is_same_v<T, Table>) {
                    std::size_t m = 0;
                    for (const auto* rows : {&n.head, &n.body, &n.foot})
                        for (const auto& row : *rows)
                            for (const auto& cell : row.cells)
                                if (const auto* bl = std::get_if<Blocks>(&cell.content.v))
                                    m = std::max(m, 1 + block_height(*bl));
                    return m;
                } else {
                    return 0;
                }
            },
            b.v);
        h = std::max(h, 1 + inner);
    }
    return h;
}

std::string repeat(std::string_view s, std::size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace

TEST(RobustLimits, CeilingsApplyOnlyAboveThemselves) {
    const std::pair<std::uint64_t, std::uint64_t> cases[] = {
        {0, 0}, {5, 5}, {kMaxBlockNesting, kMaxBlockNesting}, {kMaxBlockNesting + 1, kMaxBlockNesting}, {kNoLimit, kMaxBlockNesting}};
    for (auto [given, block] : cases) {
        Options o;
        o.max_block_depth = given;
        o.max_inline_depth = given;
        o.max_link_paren_depth = given;
        Options c = within_ceilings(o);
        EXPECT_EQ(c.max_block_depth, block) << given;
        EXPECT_EQ(c.max_inline_depth, std::min(given, kMaxInlineParseDepth)) << given;
        EXPECT_EQ(c.max_link_paren_depth, given) << "parentheses are counted, not recursed into";
    }
}

TEST(RobustLimits, DeepInputsMakeBoundedTrees) {
    struct Case {
        std::string text;
        std::size_t min_height, max_height;
    };
    const std::size_t n = 20000;
    const Case cases[] = {
        {repeat(">", n) + " a", kMaxBlockNesting, kMaxBlockNesting + 1},
        {repeat("- ", n) + "a", kMaxBlockNesting / 2, kMaxBlockNesting + 1},
        {"t\n" + repeat(": ", n) + "a", 2, 3},  // each marker a further definition of one term
        {repeat("::: d\n", n), kMaxBlockNesting, kMaxBlockNesting + 1},
        {repeat("<div markdown=\"1\">\n", n), kMaxBlockNesting, kMaxBlockNesting + 1},
        {repeat("[^a]: ", n) + "x", 1, 2},  // each definition a footnote of its own
    };
    for (const auto& c : cases) {
        Document doc = parse(c.text, no_limits());
        std::size_t h = block_height(doc.blocks);
        for (const auto& f : doc.footnotes) h = std::max(h, block_height(f.blocks));
        EXPECT_LE(h, c.max_height) << c.text.substr(0, 20);
        EXPECT_GE(h, c.min_height) << c.text.substr(0, 20);
        // Copies and destruction walk the same depth.
        Document copy = doc;
        EXPECT_EQ(to_xhtml_document(copy), to_xhtml_document(doc));
    }
}

TEST(RobustLimits, InlineNestingStaysUnderItsBound) {
    const std::size_t n = 20000;
    const std::string cases[] = {
        repeat("[", n) + "a" + repeat("](u)", n),
        repeat("*a ", n) + "b" + repeat(" c*", n),
        repeat("==a ", n) + "b" + repeat(" c==", n),
        repeat("^[", n) + "a" + repeat("]", n),
        repeat("[", n) + "a" + repeat("]{.c}", n),
    };
    for (const auto& text : cases) {
        Document doc = parse(text, no_limits());
        ASSERT_FALSE(doc.blocks.empty());
        const auto* p = doc.blocks[0].get_if<Paragraph>();
        ASSERT_NE(p, nullptr);
        EXPECT_LE(inline_height(p->inlines), kMaxInlineNesting) << text.substr(0, 20);
        EXPECT_FALSE(to_xhtml(text, no_limits()).empty());
    }
}

TEST(RobustLimits, GridCellsShareTheBlockCeiling) {
    // Quotes inside a grid-table cell count on top of the cell's own depth.
    const std::string inner = repeat(">", 2 * kMaxBlockNesting) + " a";
    const std::string rule = "+" + std::string(inner.size() + 2, '-') + "+";
    const std::string table = rule + "\n| " + inner + " |\n" + rule + "\n";
    Document doc = parse(table, no_limits());
    ASSERT_FALSE(doc.blocks.empty());
    ASSERT_TRUE(doc.blocks[0].is<Table>());
    EXPECT_LE(block_height(doc.blocks), kMaxBlockNesting + 2);
    EXPECT_GE(block_height(doc.blocks), kMaxBlockNesting - 5);
}

TEST(RobustLimits, NestedNotesShareOneBracketTable) {
    // Nested notes borrow the outer note's bracket pairs; each level still
    // finds its own closing bracket, and the depth limit still applies.
    Options o;
    o.max_inline_depth = 1;
    const std::string out = to_xhtml("x^[a ^[*b* [c] ^[d]] *e*] ^[f]", o);
    EXPECT_NE(out.find("<p>a <sup"), std::string::npos) << out;
    EXPECT_NE(out.find("</sup> <em>e</em></p>"), std::string::npos) << out;
    EXPECT_NE(out.find("<p>*b* [c] ^[d]</p>"), std::string::npos) << out;  // one level too deep: literal
    EXPECT_NE(out.find("<p>f</p>"), std::string::npos) << out;
}

// ---------------------------------------------------------------- found by fuzzing

TEST(RobustBalance, DeclarationsAndInstructionsNeverSwallowEndTags) {
    // A quote that never closes inside "<?...>" or "<!...>" no longer hides the
    // rest of the text: the construct ends at its first ">" (or is ended).
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"<p>a <?php echo'1: ?> b</p>\n", "<p>a <?php echo'1: ?> b</p>\n"},
        {"<p>a <!x a\"b> <b>c</p>\n", "<p>a <!x a\"b> <b>c</b></p>\n"},
        {"<p>a <?php echo 'x'; ?> b\n", "<p>a <?php echo 'x'; ?> b</p>\n"},  // quotes that close: unchanged
        {"<div>\n<?php echo 1;\n", "<div>\n<?php echo 1;></div>\n"},  // unterminated, elements open
        {"a <?php echo 1;\n", "a <?php echo 1;\n"},                            // nothing open: copied as is
        {"<p><!'x</p>", "<p><!'x</p></p>"},  // the end tag was the construct's ">"
        // Quotes hide no ">" there: the added end tag would close them when read again.
        {"<p><?'>'", "<p><?'>'</p>"},
        {"<p><!x'>'\n", "<p><!x'>'</p>\n"},
        // An instruction ends at "?>", a CDATA section at "]]>", whatever lies between.
        {"<div><?x '>' <i> ?>y", "<div><?x '>' <i> ?>y</div>"},
        {"<p><?>a<i>", "<p><?>a<i></i></p>"},
        {"<p><![CDATA[ a > <b> ]]>c", "<p><![CDATA[ a > <b> ]]>c</p>"},
        {"<p><?x> <i>", "<p><?x> <i></i></p>"},  // no "?>" anywhere: its first ">"
        // A dropped end tag must not join a literal "<" to a name, nor "?" and
        // ">" (or "]" and "]>") into a terminator.
        {"<p><</v>i", "<p>&lt;i</p>"},
        {"<p>a<</v>!-- <b>", "<p>a&lt;!-- <b></b></p>"},
        {"<p><?x><i>?</zz>>", "<p><?x><i>?&gt;</i></p>"},
        {"<p><![CDATA[x><i>]</zz>]>", "<p><![CDATA[x><i>]&#93;></i></p>"},
        {"<p>a?</zz></b>> b]</i>]", "<p>a?&gt; b]&#93;</p>"},
    };
    for (const auto& c : cases) {
        const std::string out = balance_fragment(c.in);
        EXPECT_EQ(out, c.out) << c.in;
        EXPECT_EQ(balance_fragment(out), out) << "balanced output reads back differently: " << c.in;
    }
}
