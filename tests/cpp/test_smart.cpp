// Smart punctuation.
#include <gtest/gtest.h>

#include "smart.hpp"

using namespace quenlor;

TEST(SmartText, Smarten) {
    struct Case {
        const char* in;
        const char* want;
    } cases[] = {
        {"it's 'fine'...", "it\u2019s \u2018fine\u2019\u2026"},
        {"\"a\" (\"b\") x,\"c\"", "\u201Ca\u201D (\u201Cb\u201D) x,\u201Dc\u201D"},
        {"[\"a\" {'b' -'c'", "[\u201Ca\u201D {\u2018b\u2019 -\u2018c\u2019"},
        {"a -- b", "a \u2013 b"},
        {"a---b", "a\u2014b"},
        {"a----b", "a\u2014-b"},
        {"a-----b", "a\u2014\u2013b"},
        {"x-y", "x-y"},
        {".....", "\u2026.."},
        {"..", ".."},
        {"--\"q\"", "\u2013\u201Cq\u201D"},      // after a produced dash the quote opens
        {"---'q'", "\u2014\u2018q\u2019"},
        {"\u00A0\"x\"", "\u00A0\u201Cx\u201D"},  // no-break space is white space
        {"\u201C'a'\u201D", "\u201C\u2019a\u2019\u201D"},  // a curly quote is no opening context
        {"\xC3\xA9\"", "\xC3\xA9\u201D"},
        {"", ""},
        {"plain text", "plain text"},
    };
    for (const auto& c : cases) EXPECT_EQ(smart::smarten(c.in), c.want) << c.in;
}

TEST(SmartText, OpeningContext) {
    for (char32_t c : {smart::no_previous, U' ', U'\t', U'\n', U'\u3000', U'(', U'[', U'{', U'-', U'\u2013', U'\u2014'})
        EXPECT_TRUE(smart::opening_context(c)) << static_cast<unsigned>(c);
    for (char32_t c : {U'a', U',', U'.', U')', U'"', U'\u201C', char32_t{0}})
        EXPECT_FALSE(smart::opening_context(c)) << static_cast<unsigned>(c);
}

TEST(SmartPass, WalksTextNodesOnly) {
    auto t = [](std::string s) { return Inline{Text{std::move(s)}}; };
    Paragraph p;
    p.inlines = {t("\"a\""), Emph{{}, {t("'b'")}}, t("\"c\""), Code{{}, "\"code\""},
                 MathInline{{}, "a--b", false}, HtmlInline{"<a title=\"x\">"},
                 Link{{}, {t("l--")}, "/a--b", "t--"}, Note{{t("...")}}, Superscript{{}, "--"},
                 Abbr{"a--", "b--"}, RawInline{"x", "--"}};
    Image img{{}, {t("\"i\"")}, "i.png", std::nullopt};
    TableCellData cell;
    cell.content.v = Inlines{t("--")};
    Table table;
    table.caption = {t("--")};
    table.foot = {TableRowData{{}, {cell}}};
    Document doc;
    doc.blocks = {p, Figure{{}, Inline{img}}, CodeBlock{{}, "", std::nullopt, "--"}, table};
    doc.footnotes = {Footnote{"f", {Paragraph{{}, {t("'q'")}, {}, {}}}}};
    smart::apply(doc);

    const auto& xs = doc.blocks[0].as<Paragraph>().inlines;
    EXPECT_EQ(xs[0].as<Text>().text, "\u201Ca\u201D");
    EXPECT_EQ(xs[1].as<Emph>().children[0].as<Text>().text, "\u2018b\u2019");
    EXPECT_EQ(xs[2].as<Text>().text, "\u201Cc\u201D");  // each text node starts afresh
    EXPECT_EQ(xs[3].as<Code>().text, "\"code\"");
    EXPECT_EQ(xs[4].as<MathInline>().tex, "a--b");
    EXPECT_EQ(xs[5].as<HtmlInline>().html, "<a title=\"x\">");
    EXPECT_EQ(xs[6].as<Link>().children[0].as<Text>().text, "l\u2013");
    EXPECT_EQ(xs[6].as<Link>().url, "/a--b");
    EXPECT_EQ(*xs[6].as<Link>().title, "t--");
    EXPECT_EQ(xs[7].as<Note>().children[0].as<Text>().text, "\u2026");
    EXPECT_EQ(xs[8].as<Superscript>().text, "--");
    EXPECT_EQ(xs[9].as<Abbr>().text, "a--");
    EXPECT_EQ(xs[10].as<RawInline>().text, "--");
    EXPECT_EQ(doc.blocks[1].as<Figure>().image->as<Image>().children[0].as<Text>().text, "\u201Ci\u201D");
    EXPECT_EQ(doc.blocks[2].as<CodeBlock>().text, "--");
    const auto& tbl = doc.blocks[3].as<Table>();
    EXPECT_EQ(tbl.caption[0].as<Text>().text, "\u2013");
    EXPECT_EQ(std::get<Inlines>(tbl.foot[0].cells[0].content.v)[0].as<Text>().text, "\u2013");
    EXPECT_EQ(doc.footnotes[0].blocks[0].as<Paragraph>().inlines[0].as<Text>().text, "\u2018q\u2019");
}
