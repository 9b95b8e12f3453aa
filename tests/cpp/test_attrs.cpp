#include <gtest/gtest.h>

#include "attrs.hpp"

using namespace quenlor;

namespace {

Attr make_attr(std::optional<std::string> id, std::vector<std::string> classes,
               std::vector<std::pair<std::string, std::string>> pairs = {}) {
    Attr a;
    a.data().id = std::move(id);
    a.data().classes = std::move(classes);
    a.data().pairs = std::move(pairs);
    return a;
}

const AttrDefs no_defs;

AttrDefs sample_defs() {
    AttrDefs defs;
    defs["warn"] = make_attr("w", {"warning"});
    return defs;
}

}  // namespace

TEST(AttrsTokens, QuotesAndEscapes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(attr_tokens("  #a  .b\tk=v "), (V{"#a", ".b", "k=v"}));
    EXPECT_EQ(attr_tokens("k=\"x y\" j='a \"b'"), (V{"k=\"x y\"", "j='a \"b'"}));
    EXPECT_EQ(attr_tokens("a\\ b c"), (V{"a\\ b", "c"}));
    EXPECT_EQ(attr_tokens("k=\"a\\\"b c\""), (V{"k=\"a\\\"b c\""}));
    EXPECT_EQ(attr_tokens("a\xE3\x80\x80" "b"), (V{"a", "b"}));  // ideographic space separates
    EXPECT_EQ(attr_tokens(""), V{});
}

TEST(AttrsUnescape, Backslashes) {
    EXPECT_EQ(unescape_attr("a\\.b\\\\c\\"), "a.b\\c\\");
    EXPECT_EQ(unescape_backslash_punctuation("\\*a\\b\\\\\\"), "*a\\b\\\\");
}

TEST(AttrsBody, Table) {
    struct Case {
        std::string body;
        Attr expect;
    } cases[] = {
        {"#a #b", make_attr("b", {})},
        {"#a.x\\.y.z", make_attr("a", {"x.y", "z"})},
        {".p\\#q", make_attr(std::nullopt, {"p#q"})},
        {"#", make_attr(std::nullopt, {})},
        {"k=\"x y\" j='say \"hi\"'", make_attr(std::nullopt, {}, {{"k", "x y"}, {"j", "say \"hi\""}})},
        {"= =v k=", make_attr(std::nullopt, {}, {{"k", ""}})},
        {"k=1 x=2 k=3", make_attr(std::nullopt, {}, {{"k", "3"}, {"x", "2"}})},
        {"class=\"a  b\" .a id=z", make_attr("z", {"a", "b"})},
        {"a=x\\\"y b=&amp;", make_attr(std::nullopt, {}, {{"a", "x\"y"}, {"b", "&amp;"}})},
        {"k=\"", make_attr(std::nullopt, {}, {{"k", "\""}})},
        {"bare words", make_attr(std::nullopt, {})},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_attrs_body(c.body, no_defs), c.expect) << c.body;

    AttrDefs defs = sample_defs();
    EXPECT_EQ(parse_attrs_body("warn .x", defs), make_attr("w", {"warning", "x"}));
    EXPECT_EQ(parse_attrs_body("warn", no_defs), make_attr(std::nullopt, {}));
}

TEST(AttrsBraced, Recognition) {
    AttrDefs defs = sample_defs();
    struct Case {
        std::string text;
        std::optional<std::size_t> consumed;
    } cases[] = {
        {"{#a} rest", 4},
        {"{: warn}x", 8},
        {"{warn}", std::nullopt},       // a bare word needs the colon form
        {"{k=v}", 5},
        {"{=v}", std::nullopt},
        {"{}", std::nullopt},
        {"{:}", std::nullopt},
        {"{t=\"a}b\"}", 9},            // a brace inside quotes does not close
        {"{t=a\\}b}", 8},
        {"{.a", std::nullopt},
        {"x{.a}", std::nullopt},
    };
    for (const auto& c : cases) {
        auto r = parse_braced_attr(c.text, defs);
        ASSERT_EQ(r.has_value(), c.consumed.has_value()) << c.text;
        if (r) {
            EXPECT_EQ(r->consumed, *c.consumed) << c.text;
        }
    }
    EXPECT_EQ(parse_braced_attr("{: warn}", defs)->attr, make_attr("w", {"warning"}));
    EXPECT_EQ(parse_braced_attr("{t=\"a}b\"}", defs)->attr, make_attr(std::nullopt, {}, {{"t", "a}b"}}));
}

TEST(AttrsTrailing, Split) {
    struct Case {
        std::string text, rest;
        Attr attr;
    } cases[] = {
        {"Title {#x}  ", "Title", make_attr("x", {})},
        {"  Title {.a} {.b}", "  Title {.a}", make_attr(std::nullopt, {"b"})},
        {" Two {big} ", "Two {big}", Attr{}},
        {"Don't panic {#p}", "Don't panic", make_attr("p", {})},
        {"a \\{.x}", "a \\{.x}", Attr{}},
        {"x {t=\"a{b\"}", "x", make_attr(std::nullopt, {}, {{"t", "a{b"}})},
        {"Other {.c} ##", "Other {.c} ##", Attr{}},
        {"{:}", "{:}", Attr{}},
        {"", "", Attr{}},
    };
    for (const auto& c : cases) {
        auto r = strip_trailing_attr(c.text, no_defs);
        EXPECT_EQ(r.text, c.rest) << c.text;
        EXPECT_EQ(r.attr, c.attr) << c.text;
    }
}

TEST(AttrsLine, Kinds) {
    using K = AttrLine::Kind;
    struct Case {
        std::string line;
        K kind;
        std::string name;
        Attr attr;
    } cases[] = {
        {"{:}", K::Attributes, "", Attr{}},
        {"  {: .c #i}  ", K::Attributes, "", make_attr("i", {"c"})},
        {"{:name: .c}", K::Definition, "name", make_attr(std::nullopt, {"c"})},
        {"{:_d-1: k=v}", K::Definition, "_d-1", make_attr(std::nullopt, {}, {{"k", "v"}})},
        {"{:bad name: .c}", K::Attributes, "", make_attr(std::nullopt, {"c"})},
        {"{:title=\"a:b\"}", K::Attributes, "", make_attr(std::nullopt, {}, {{"title", "a:b"}})},
        {"{:-x: .c}", K::Attributes, "", make_attr(std::nullopt, {"c"})},
        {"{.c}", K::None, "", Attr{}},
        {"{:", K::None, "", Attr{}},
        {"{:.c} x", K::None, "", Attr{}},
    };
    for (const auto& c : cases) {
        AttrLine r = parse_attr_line(c.line, no_defs);
        EXPECT_EQ(r.kind, c.kind) << c.line;
        EXPECT_EQ(r.name, c.name) << c.line;
        EXPECT_EQ(r.attr, c.attr) << c.line;
    }
}

TEST(AttrsDefinitionName, Rules) {
    for (std::string_view ok : {"a", "_x", "9-b", "Name_2"}) EXPECT_TRUE(is_definition_name(ok)) << ok;
    for (std::string_view bad : {"", "-a", "a b", "a.b", "\xC3\xA9"}) EXPECT_FALSE(is_definition_name(bad)) << bad;
}

TEST(AttrsSyntheticAndRaw, WholeTextOnly) {
    EXPECT_EQ(parse_synthetic_attrs(".a#b", no_defs), make_attr("b", {"a"}));
    EXPECT_FALSE(parse_synthetic_attrs(".a} x{", no_defs).has_value());
    EXPECT_FALSE(parse_synthetic_attrs("plain", no_defs).has_value());

    auto r = raw_attr("{=html} rest");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->format, "html");
    EXPECT_EQ(r->consumed, 7u);
    for (std::string_view bad : {"{=}", "{=a b}", "{=a.b}", "{=html", "{html}", "{"})
        EXPECT_FALSE(raw_attr(bad).has_value()) << bad;
}

TEST(AttrsFenceInfo, Readings) {
    AttrDefs defs;
    defs["hl"] = make_attr(std::nullopt, {"highlight"});
    struct Case {
        std::string info;
        std::string text;
        std::optional<std::string> lang;
        Attr attr;
    } cases[] = {
        {"   ", "", std::nullopt, Attr{}},
        {"python", "python", "python", Attr{}},
        {" python {.numberLines #snip startFrom=10} ", "python {.numberLines #snip startFrom=10}", "python",
         make_attr("snip", {"python", "numberLines"}, {{"startFrom", "10"}})},
        {"{.py #x} junk", "{.py #x}", "py", make_attr("x", {"py"})},
        {"{#x}", "{#x}", std::nullopt, make_attr("x", {})},
        {".rust {#y}", ".rust {#y}", "rust", make_attr("y", {"rust"})},
        {".a{#i} {.b}", ".a{#i} {.b}", "a", make_attr("i", {"a", "b"})},
        {".a extra", ".a extra", ".a", Attr{}},  // shorthand fails: plain reading keeps the dot
        {"`c\\+\\+`", "`c\\+\\+`", "c++", Attr{}},
        {"f&#35; {.y}", "f&#35; {.y}", "f#", make_attr(std::nullopt, {"f#", "y"})},
        {"py {: hl}", "py {: hl}", "py", make_attr(std::nullopt, {"py", "highlight"})},
        {"py {plain}", "py {plain}", "py", Attr{}},
        {"``", "``", std::nullopt, Attr{}},
    };
    for (const auto& c : cases) {
        FenceInfo r = parse_fence_info(c.info, defs);
        EXPECT_EQ(r.info, c.text) << c.info;
        EXPECT_EQ(r.lang, c.lang) << c.info;
        EXPECT_EQ(r.attr, c.attr) << c.info;
    }
}

TEST(AttrsHtml, Attributes) {
    HtmlAttrs r = parse_html_attrs("markdown=\"1\" Class=\"box\" data-X=1 hidden id='m' title=\"a &amp; b\" path=\"C:\\dir\"");
    EXPECT_EQ(r.markdown, "1");
    EXPECT_EQ(r.attr, make_attr("m", {"box"},
                                {{"data-x", "1"}, {"hidden", "hidden"}, {"title", "a & b"}, {"path", "C:\\dir"}}));

    r = parse_html_attrs("MARKDOWN Data-Y");
    EXPECT_EQ(r.markdown, "1");
    EXPECT_EQ(r.attr, make_attr(std::nullopt, {}, {{"Data-Y", "Data-Y"}}));

    r = parse_html_attrs("markdown=0 markdown='span' =x");
    EXPECT_EQ(r.markdown, "span");
    EXPECT_TRUE(r.attr.empty());

    EXPECT_FALSE(parse_html_attrs("").markdown.has_value());
}
