#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inline/inline.hpp"
#include "quenlor.hpp"

using namespace quenlor;

namespace {

std::vector<std::size_t> starts_of_lines(std::string_view text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size();) {
        starts.push_back(i);
        std::size_t nl = text.find('\n', i);
        i = nl == std::string_view::npos ? text.size() : nl + 1;
    }
    return starts;
}

// One line per node: "math <delim> <start>-<end> <tex>" or
// "image <start>-<end> url=<url>@<url_start>-<url_end> alt=<alt> title=<title|->".
std::string describe(const std::vector<EditNode>& nodes) {
    std::string out;
    for (const EditNode& n : nodes) {
        if (const auto* m = std::get_if<EditMath>(&n.v)) {
            out += "math " + std::string(m->delimiter) + " " + std::to_string(m->start) + "-" +
                   std::to_string(m->end) + " " + m->tex + "\n";
        } else {
            const auto& i = std::get<EditImage>(n.v);
            out += "image " + std::to_string(i.start) + "-" + std::to_string(i.end) + " url=" + i.url + "@" +
                   std::to_string(i.url_start) + "-" + std::to_string(i.url_end) + " alt=" + i.alt +
                   " title=" + (i.title ? *i.title : "-") + "\n";
        }
    }
    return out;
}

// Scans the whole text as one region (or the given regions).
std::string scan(std::string_view text, MathMode math = MathMode::Brackets, std::vector<EditRegion> regions = {}) {
    InlineContext ctx;
    ctx.options.math = math;
    auto starts = starts_of_lines(text);
    if (regions.empty()) regions.push_back({0, starts.size()});
    return describe(edit_nodes_for_regions(regions, text, starts, ctx));
}

struct Case {
    std::string_view input;
    MathMode math;
    std::string_view expect;
};

}  // namespace

TEST(EditNodes, ScanRules) {
    using M = MathMode;
    const Case cases[] = {
        {"![i](u)", M::Brackets, "image 0-7 url=u@5-6 alt=i title=-\n"},
        {"x ![a](<b c> \"T\") y", M::Brackets, "image 2-17 url=b c@8-11 alt=a title=T\n"},
        {"![a]( )", M::Brackets, "image 0-7 url=@6-6 alt=a title=-\n"},
        {"![](u)", M::Brackets, "image 0-6 url=u@4-5 alt= title=-\n"},
        {"![*a* `b` \\*](u)", M::Brackets, "image 0-16 url=u@14-15 alt=a b * title=-\n"},
        {"![a](b", M::Brackets, ""},                           // parentheses not closed
        {"![a](b c)", M::Brackets, ""},                        // no valid destination
        {"![a][r]", M::Brackets, ""},                          // reference images are not reported
        {"\\![a](b)", M::Brackets, ""},                        // escaped "!", then the link is skipped
        {"[![a](b)](c)", M::Brackets, "image 1-8 url=b@6-7 alt=a title=-\n"},  // nested "[" is no label
        {"[x ![a](b)", M::Brackets, "image 3-10 url=b@8-9 alt=a title=-\n"},
        {"[x](y ![a](b))", M::Brackets, ""},                  // inside a link destination
        {"[x] ![a](b)", M::Brackets, "image 4-11 url=b@9-10 alt=a title=-\n"},
        {"`![a](b)` $$y$$", M::Brackets, "math $$ 10-15 y\n"},
        {"``a`![i](u)`", M::Brackets, ""},                     // an unmatched run is skipped whole
        {"<http://a.b/![x](y)> <span title=\"![x](y.png)\">![a](b.png)</span>", M::Brackets,
         "image 47-58 url=b.png@52-57 alt=a title=-\n"},
        {"$x$ and $$ y $$", M::Brackets, "math $$ 8-15 y\n"},
        {"$x$ and $$ y $$", M::Dollars, "math $ 0-3 x\nmath $$ 8-15 y\n"},
        {"$$a$", M::Dollars, "math $ 1-4 a\n"},                // unclosed "$$" falls back to "$"
        {"$5 and $6", M::Dollars, ""},
        {"\\(a\\) $$b$$ \\[c\\]", M::On, ""},
        {"\\(a\\) $$b$$ \\[c\\]", M::Off, ""},
        {"\\(a\\) $$b$$ \\[c\\]", M::Brackets, "math \\( 0-5 a\nmath $$ 6-11 b\nmath \\[ 12-17 c\n"},
        {"\\(a \\\\) b\\)", M::Brackets, "math \\( 0-11 a \\\\) b\n"},  // escaped backslash before ")"
        {"\\[ \\[ x", M::Brackets, ""},
        {"\\[a\n b\\]", M::Brackets, "math \\[ 0-8 a\n b\n"},
        {"![a](\u00e9.png) \u00e9 $$x$$", M::Brackets, "image 0-12 url=\u00e9.png@5-11 alt=a title=-\nmath $$ 16-21 x\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(scan(c.input, c.math), c.expect) << c.input;
}

TEST(EditNodes, RegionsOffsetsAndOrder) {
    // Offsets count the block-quote marker; later regions are added after earlier ones.
    EXPECT_EQ(scan("p\n\n> ![i](u)", MathMode::Brackets, {{0, 1}, {2, 3}}),
              "image 5-12 url=u@10-11 alt=i title=-\n");
    // A region stops at the end of its last line; the rest of the text is not scanned.
    EXPECT_EQ(scan("$$a\nb$$\n$$c$$", MathMode::Brackets, {{0, 1}}), "");
    EXPECT_EQ(scan("$$a\nb$$\n$$c$$", MathMode::Brackets, {{0, 2}}), "math $$ 0-7 a\nb\n");
    // Results are sorted by start whatever the order of the regions.
    EXPECT_EQ(scan("$$a$$\n\n$$b$$", MathMode::Brackets, {{2, 3}, {0, 1}}), "math $$ 0-5 a\nmath $$ 7-12 b\n");
    // Empty and out-of-range regions are skipped.
    EXPECT_EQ(scan("$$a$$", MathMode::Brackets, {{1, 1}, {0, 0}, {3, 5}}), "");
    // The failure memo is per region: an unclosed opener in one region does not
    // hide a closed one in the next.
    EXPECT_EQ(scan("\\(a\n\n\\(b\\)", MathMode::Brackets, {{0, 1}, {2, 3}}), "math \\( 5-10 b\n");
}

TEST(EditNodes, ParenDepthLimit) {
    std::string deep = "![a](" + std::string(33, '(') + std::string(33, ')') + ")";
    EXPECT_EQ(scan(deep), "");
    std::string ok = "![a](" + std::string(32, '(') + std::string(32, ')') + ")";
    EXPECT_NE(scan(ok), "");
}

TEST(EditNodes, ManyUnclosedOpenersStayLinear) {
    std::string text = "$$";
    for (int i = 0; i < 50000; ++i) text += "\\( \\[ $a ";
    EXPECT_TRUE(scan(text, MathMode::Dollars).empty());
}
