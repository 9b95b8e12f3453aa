#include <gtest/gtest.h>

#include "block/definitions.hpp"

using namespace quenlor;

namespace {

const AttrDefs no_defs;

std::optional<LinkRefDef> parse_at(const std::vector<std::string>& lines, std::size_t index = 0) {
    return parse_link_ref_at(lines, lines.size(), index, no_defs);
}

}  // namespace

TEST(DefinitionsLinkRef, Accepted) {
    struct Case {
        std::vector<std::string> lines;
        std::string label, url;
        std::optional<std::string> title;
        std::size_t next_line;
    } cases[] = {
        {{"[foo]: /url \"Title\""}, "foo", "/url", "Title", 1},
        {{"   [a]: /u"}, "a", "/u", std::nullopt, 1},
        {{"[a]:", "  /u", "x"}, "a", "/u", std::nullopt, 2},
        {{"[foo", "bar]: /u"}, "foo\nbar", "/u", std::nullopt, 2},
        {{"[", "x]: /u"}, "\nx", "/u", std::nullopt, 2},
        {{"[a]: <>"}, "a", "", std::nullopt, 1},
        {{"[a]: <b c>"}, "a", "b c", std::nullopt, 1},
        {{"[a]: /u(b(c(d)))"}, "a", "/u(b(c(d)))", std::nullopt, 1},
        {{"[a]: /u\\*&amp;"}, "a", "/u*&", std::nullopt, 1},
        {{"[a]: /u (x(y)"}, "a", "/u", "x(y", 1},
        {{"[a]: /u 'it\\'s &amp;'"}, "a", "/u", "it's &", 1},
        {{"[a]: /u \"one", "two\"", "after"}, "a", "/u", "one\ntwo", 2},
        {{"[a]: /u", "  \"T\"", "p"}, "a", "/u", "T", 2},
        {{"[a]: /u", "\"title\" ok"}, "a", "/u", std::nullopt, 1},   // next-line title with text after
        {{"[a]: /u", "\"never closes"}, "a", "/u", std::nullopt, 1},
        {{"[a]: /u", "\"spans", "", "x\""}, "a", "/u", std::nullopt, 1},  // no blank line inside a title
        {{"[a\\]b]: /u"}, "a\\]b", "/u", std::nullopt, 1},
    };
    for (const auto& c : cases) {
        auto r = parse_at(c.lines);
        ASSERT_TRUE(r) << c.lines[0];
        EXPECT_EQ(r->label, c.label) << c.lines[0];
        EXPECT_EQ(r->ref.url, c.url) << c.lines[0];
        EXPECT_EQ(r->ref.title, c.title) << c.lines[0];
        EXPECT_EQ(r->next_line, c.next_line) << c.lines[0];
    }
}

TEST(DefinitionsLinkRef, Rejected) {
    std::vector<std::vector<std::string>> cases = {
        {"    [a]: /u"},
        {"\t[a]: /u"},
        {"[^a]: /u"},
        {"[a] : /u"},
        {"[]: /u"},
        {"[  ]: /u"},
        {"[a]:"},
        {"[a]:", ""},
        {"[a", "", "b]: /u"},
        {"[a"},
        {"[a[b]]: /u"},
        {"[a]: <u/v>\"t\""},
        {"[a]: /v(w"},
        {"[a]: a<b"},
        {"[a]: <a\\>"},
        {"[a]: /u \"never closes"},
        {"[a]: /u \"t\" x"},
        {"[a]: /u {.c} x"},
        {"[a]: /u junk"},
        {"x [a]: /u"},
        {"[" + std::string(1000, 'a') + "]: /u"},
    };
    for (const auto& lines : cases) EXPECT_FALSE(parse_at(lines)) << lines[0];
    EXPECT_TRUE(parse_at({"[" + std::string(999, 'a') + "]: /u"}));
}

TEST(DefinitionsLinkRef, AttributesAndBounds) {
    AttrDefs defs;
    defs["d"].push_class("fromdef");
    std::vector<std::string> lines = {"[a]: /u \"T\" {.c #i}", "[b]: /v {: d}", "[c]: /w", "\"T2\" {k=v}"};
    auto a = parse_link_ref_at(lines, lines.size(), 0, defs);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ref.attr.id(), "i");
    EXPECT_EQ(a->ref.attr.classes(), std::vector<std::string>{"c"});
    auto b = parse_link_ref_at(lines, lines.size(), 1, defs);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->ref.attr.classes(), std::vector<std::string>{"fromdef"});
    auto c = parse_link_ref_at(lines, lines.size(), 2, defs);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->ref.title, "T2");
    EXPECT_EQ(c->next_line, 4u);
    // Lines beyond `count` are not looked at.
    auto d = parse_link_ref_at(lines, 3, 2, defs);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->ref.title);
    EXPECT_EQ(d->next_line, 3u);
    EXPECT_FALSE(parse_link_ref_at(lines, lines.size(), 4, defs));
}

TEST(DefinitionsPieces, DestinationTitleAttrs) {
    auto d = scan_link_ref_destination("<a b> rest");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->destination, "a b");
    EXPECT_EQ(d->consumed, 5u);
    d = scan_link_ref_destination("/p(x)) y");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->destination, "/p(x)");
    EXPECT_EQ(d->consumed, 5u);
    EXPECT_FALSE(scan_link_ref_destination(")x"));
    EXPECT_FALSE(scan_link_ref_destination(""));
    EXPECT_FALSE(scan_link_ref_destination("<a\nb>"));

    std::vector<std::string> lines = {"first", "second  ", "", "x"};
    auto t = scan_link_ref_title_lines("'a", lines, lines.size(), 1);
    EXPECT_FALSE(t);
    t = scan_link_ref_title_lines("(a", {"b) tail"}, 1, 0);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->title, "a\nb");
    EXPECT_EQ(t->after, " tail");
    EXPECT_EQ(t->next_line, 1u);

    EXPECT_TRUE(parse_link_ref_attrs("  ", no_defs)->empty());
    EXPECT_FALSE(parse_link_ref_attrs("{plain}", no_defs));
    EXPECT_TRUE(starts_definition_title("  (x"));
    EXPECT_FALSE(starts_definition_title("x\""));
}

TEST(DefinitionsAbbr, Lines) {
    struct Case {
        std::string line;
        std::optional<std::pair<std::string, std::string>> expect;
    } cases[] = {
        {"*[HTML]: Hyper Text  ", std::pair{"HTML", "Hyper Text"}},
        {"   *[A B] \t: x", std::pair{"A B", "x"}},
        {"*[ W ]:", std::pair{" W ", ""}},
        {"*[a\\]b]: x", std::nullopt},  // no escapes: the abbreviation ends at the first "]"
        {"*[]: x", std::nullopt},
        {"*[A] x", std::nullopt},
        {"*[A", std::nullopt},
        {"    *[A]: x", std::nullopt},
        {"*", std::nullopt},
    };
    for (const auto& c : cases) {
        auto r = parse_abbr_def(c.line);
        ASSERT_EQ(r.has_value(), c.expect.has_value()) << c.line;
        if (r) {
            EXPECT_EQ(r->abbr, c.expect->first) << c.line;
            EXPECT_EQ(r->expansion, c.expect->second) << c.line;
        }
    }
}
