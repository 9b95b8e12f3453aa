#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "block/builder.hpp"
#include "block/html.hpp"
#include "block/parser.hpp"
#include "block/predicates.hpp"
#include "quenlor.hpp"

using namespace quenlor;

// ---------------------------------------------------------------- paragraph lines

// Lines kept in place and lines copied aside, mixed, past the inline slots,
// with pops in between: every line reads back as pushed and the join is exact.
TEST(LineList, MixedPlacesPushPopJoin) {
    const std::string source = "alpha\nbeta\ngamma";
    const std::string_view src(source);
    struct Step {
        char op;  // 's': push from the source, 'c': push a copy, 'p': pop
        std::string_view text;
    };
    const std::vector<std::vector<Step>> cases = {
        {{'s', src.substr(0, 5)}},
        {{'c', "one"}, {'s', src.substr(6, 4)}, {'c', ""}, {'c', "two"}},
        {{'s', src.substr(0, 5)}, {'c', "x"}, {'p', {}}, {'c', "yz"}, {'s', src.substr(11)}},
        {{'c', "1"}, {'s', src.substr(0, 5)}, {'c', "3"}, {'c', "4"}, {'c', "5"}, {'s', src.substr(6, 4)},
         {'p', {}}, {'p', {}}, {'c', "5b"}, {'p', {}}, {'p', {}}, {'s', src.substr(11)}, {'c', "6"}},
        {{'c', "a"}, {'p', {}}, {'c', "b"}},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        LineList list;
        std::vector<std::string> expect;
        for (const Step& st : cases[k]) {
            if (st.op == 'p') {
                list.pop();
                expect.pop_back();
            } else {
                std::string copy(st.text);  // a copied line must not depend on its caller's buffer
                list.push(st.op == 's' ? st.text : std::string_view(copy), st.op == 's');
                expect.push_back(copy);
            }
            ASSERT_EQ(list.size(), expect.size()) << "case " << k;
            for (std::size_t j = 0; j < expect.size(); ++j) EXPECT_EQ(list[j], expect[j]) << "case " << k;
        }
        std::string joined;
        for (std::size_t j = 0; j < expect.size(); ++j) joined += (j ? "\n" : "") + expect[j];
        // Where the lines are one range of the source, that range is the join.
        if (const std::string_view range = list.joined_in_source(); range.data()) {
            EXPECT_EQ(range, joined) << "case " << k;
        }
        EXPECT_EQ(list.take_joined(), joined) << "case " << k;
        EXPECT_TRUE(list.empty());
        list.push("again", false);
        EXPECT_EQ(list.take_joined(), "again") << "case " << k;
    }
}

// Only lines that all lie in the source, each one line feed after the one
// before, are one range of it.
TEST(LineList, JoinedInSourceOnlyForAdjacentLines) {
    const std::string source = "ab\ncd\n> ef\ngh";
    const std::string_view src(source);
    struct Case {
        std::vector<std::string_view> lines;  // all pushed as lying in the source
        bool copy_second;                    // the second line pushed as a copy instead
        std::string_view range;              // expected; empty for none
    };
    const std::vector<Case> cases = {
        {{src.substr(0, 2)}, false, "ab"},
        {{src.substr(0, 2), src.substr(3, 2)}, false, "ab\ncd"},
        {{src.substr(0, 2), src.substr(3, 2), src.substr(8, 2), src.substr(11, 2)}, false, {}},  // "> " between
        {{src.substr(0, 1), src.substr(3, 2)}, false, {}},   // the first line cut short
        {{src.substr(0, 2), src.substr(2, 2)}, false, {}},   // no line feed between
        {{src.substr(0, 2), src.substr(3, 2)}, true, {}},
        {{src.substr(6, 4), src.substr(11, 2)}, false, "> ef\ngh"},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        LineList list;
        std::vector<std::string> copies;
        copies.reserve(cases[k].lines.size());
        for (std::size_t j = 0; j < cases[k].lines.size(); ++j) {
            const bool copy = j == 1 && cases[k].copy_second;
            copies.emplace_back(cases[k].lines[j]);
            list.push(copy ? std::string_view(copies.back()) : cases[k].lines[j], !copy);
        }
        const std::string_view range = list.joined_in_source();
        if (cases[k].range.empty()) {
            EXPECT_EQ(range.data(), nullptr) << "case " << k;
        } else {
            EXPECT_EQ(range, cases[k].range) << "case " << k;
            EXPECT_EQ(range.data() - src.data(), cases[k].lines[0].data() - src.data()) << "case " << k;
        }
    }
}

// A paragraph of adjacent source lines is held as its range of the source when
// the caller keeps the source; one behind container markers is still a copy.
TEST(BlockBuilder, ParagraphViewsTheSourceOnlyWhenAllowed) {
    const std::string source = "one\ntwo  \n\n> three\n> four";
    for (bool allowed : {false, true}) {
        Parser parser(source, Options{}, false);
        parser.set_drafts_may_view_source(allowed);
        auto r = parser.parse_blocks_with_spans(0);
        ASSERT_EQ(r.drafts.size(), 2u);
        const auto& top = std::get<draft::Paragraph>(r.drafts[0].v);
        EXPECT_EQ(top.content(), "one\ntwo");  // trailing white space trimmed either way
        EXPECT_EQ(top.source_text.data() == source.data(), allowed);
        const auto& quoted = std::get<draft::Paragraph>(std::get<draft::BlockQuote>(r.drafts[1].v).blocks.at(0).v);
        EXPECT_EQ(quoted.content(), "three\nfour");
        EXPECT_EQ(quoted.source_text.data(), nullptr);
    }
}

// ---------------------------------------------------------------- predicates

TEST(BlockPredicates, ListMarker) {
    struct Case {
        const char* text;
        bool found;
        std::size_t start, content_col;
        char delimiter;
        bool ordered;
    };
    const Case cases[] = {
        {"- a", true, 1, 2, '-', false},
        {"   * a", true, 1, 5, '*', false},
        {"    - a", false, 0, 0, 0, false},       // four columns: no marker
        {"\t- a", false, 0, 0, 0, false},         // a tab before the marker
        {"-a", false, 0, 0, 0, false},
        {"-", true, 1, 2, '-', false},            // line ends: marker end + 1
        {"-     a", true, 1, 2, '-', false},      // five spaces: content column right after the marker
        {"-    a", true, 1, 5, '-', false},       // four spaces still count
        {"-\ta", true, 1, 4, '-', false},         // tab to column 4
        {"12) x", true, 12, 4, ')', true},
        {"007. x", true, 7, 5, '.', true},
        {"123456789. x", true, 123456789, 11, '.', true},
        {"1234567890. x", false, 0, 0, 0, false},  // ten digits
        {"1.x", false, 0, 0, 0, false},
        {"   ", false, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        auto m = list_marker(c.text);
        ASSERT_EQ(m.has_value(), c.found) << c.text;
        if (!m) continue;
        EXPECT_EQ(m->start, c.start) << c.text;
        EXPECT_EQ(m->content_col, c.content_col) << c.text;
        EXPECT_EQ(m->delimiter, c.delimiter) << c.text;
        EXPECT_EQ(m->ordered, c.ordered) << c.text;
    }
}

TEST(BlockPredicates, ListInterruptsParagraph) {
    EXPECT_TRUE(list_interrupts_paragraph("- a"));
    EXPECT_TRUE(list_interrupts_paragraph("1. a"));
    EXPECT_FALSE(list_interrupts_paragraph("2. a"));
    EXPECT_FALSE(list_interrupts_paragraph("-"));
    EXPECT_FALSE(list_interrupts_paragraph("-   "));
    EXPECT_FALSE(list_interrupts_paragraph("text"));
}

TEST(BlockPredicates, QuoteAndDefinitionMarkers) {
    EXPECT_EQ(strip_quote_marker("> a"), "a");
    EXPECT_EQ(strip_quote_marker("   >a"), "a");
    EXPECT_EQ(strip_quote_marker(">\tx"), "  x");  // the tab gives up one column
    EXPECT_EQ(strip_quote_marker(">  a"), " a");
    EXPECT_EQ(strip_quote_marker("    > a"), "    > a");

    EXPECT_EQ(def_marker(": def"), "def");
    EXPECT_EQ(def_marker("~    def"), " def");
    EXPECT_EQ(def_marker(":\xC2\xA0" "def"), "\xC2\xA0" "def");  // Unicode white space after the marker
    EXPECT_FALSE(def_marker(":def"));
    EXPECT_FALSE(def_marker(":"));
    EXPECT_FALSE(def_marker("    : def"));
}

TEST(BlockPredicates, ThematicAndStartsBlock) {
    struct Case {
        const char* text;
        bool thematic, starts;
    };
    const Case cases[] = {
        {"***", true, true},
        {" - - -", true, true},
        {"_ _\t_", true, true},
        {"--", false, false},
        {"*-*", false, false},
        {"    ***", false, false},
        {"#hashtag", false, true},
        {"> q", false, true},
        {"```", false, true},
        {"~~~ x", false, true},
        {":::", false, true},
        {"*[HTML]: Hyper", false, true},
        {"*[HTML] no colon", false, false},
        {"<!-- c", false, true},
        {"<?php", false, true},
        {"<![CDATA[x", false, true},
        {"<!DOCTYPE html>", false, true},
        {"<div>", false, true},
        {"</DIV>", false, true},
        {"<script>", false, true},
        {"</script>", false, false},  // raw-text elements start a block only with their opening tag
        {"<span>", false, false},
        {"<divx>", false, false},
        {"plain", false, false},
        {"    # indented", false, false},
        {"\xC2\xA0***", true, true},  // leading Unicode white space is trimmed first
        {"\v- - -", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(thematic_line(c.text), c.thematic) << c.text;
        EXPECT_EQ(starts_block(c.text), c.starts) << c.text;
    }
}

TEST(BlockPredicates, LazyContinuationAndSpanKinds) {
    EXPECT_TRUE(is_lazy_paragraph_continuation("text"));
    EXPECT_TRUE(is_lazy_paragraph_continuation("> > text"));
    EXPECT_FALSE(is_lazy_paragraph_continuation("> # h"));
    EXPECT_FALSE(is_lazy_paragraph_continuation("- item"));
    EXPECT_FALSE(is_lazy_paragraph_continuation(": def"));
    EXPECT_FALSE(is_lazy_paragraph_continuation(">"));
    EXPECT_FALSE(is_lazy_paragraph_continuation("    code"));

    for (const char* k : {"div", "list", "table", "heading", "paragraph", "code_block", "math_block", "block_quote",
                          "html_container", "thematic_break", "definition_list"})
        EXPECT_TRUE(span_kind_accepts_attrs(k)) << k;
    for (const char* k : {"footnote_def", "html_block", "attr_def", "link_ref", "abbr_def"})
        EXPECT_FALSE(span_kind_accepts_attrs(k)) << k;
}

// ---------------------------------------------------------------- HTML scanners

TEST(BlockHtml, TagNamesAndOpenTags) {
    EXPECT_EQ(html_tag_name("<DiV class=x>"), "div");
    EXPECT_EQ(html_tag_name("</my-el>"), "my-el");
    EXPECT_EQ(html_tag_name("<a"), "a");
    EXPECT_FALSE(html_tag_name("<!x"));
    EXPECT_FALSE(html_tag_name("</ a>"));
    EXPECT_FALSE(html_tag_name("<a.b>"));

    auto tag = parse_open_tag(R"(<div Class="a b" data-x='1>2' hidden markdown=1>rest)");
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->name, "div");
    EXPECT_EQ(tag->markdown, "1");
    EXPECT_EQ(tag->attr.classes(), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(tag->self_closing);
    EXPECT_EQ(std::string_view(R"(<div Class="a b" data-x='1>2' hidden markdown=1>rest)").substr(tag->end), "rest");

    auto self = parse_open_tag("<br />");
    ASSERT_TRUE(self);
    EXPECT_TRUE(self->self_closing);
    EXPECT_TRUE(self->attr.empty());

    EXPECT_FALSE(parse_open_tag("<div"));                  // no ">" on the line
    EXPECT_FALSE(parse_open_tag("<div a=\"x\"b=\"y\">"));  // attributes must be separated
    EXPECT_FALSE(parse_open_tag("<div =x>"));
    EXPECT_FALSE(parse_open_tag("</div>"));
}

TEST(BlockHtml, TagDepth) {
    std::size_t depth = 0;
    update_html_tag_depth(R"(<div title="a>b"><divider></divider><div /><!-- <div> -->)", "div", depth);
    EXPECT_EQ(depth, 1u);
    update_html_tag_depth("<DIV><div>x</div>", "div", depth);
    EXPECT_EQ(depth, 2u);
    update_html_tag_depth("</div></div></div>", "div", depth);
    EXPECT_EQ(depth, 0u);  // never below zero
    depth = 0;
    update_html_tag_depth("<br><br>", "br", depth);  // a void element never nests
    EXPECT_EQ(depth, 0u);
    depth = 1;
    update_html_tag_depth("<!-- unclosed </div>", "div", depth);
    EXPECT_EQ(depth, 1u);
}

TEST(BlockHtml, BlockStart) {
    using K = HtmlBlockEnd::Kind;
    struct Case {
        const char* text;
        bool found;
        K kind;
        const char* end_text;
        bool closed;
    };
    const Case cases[] = {
        {"<div>", true, K::TagDepth, "div", false},
        {"<div>x</div>", true, K::TagDepth, "div", true},
        {"<x-card a=1>", true, K::TagDepth, "x-card", false},
        {"<div/>", true, K::BlankLine, "", false},
        {"<!-- a -->", true, K::Marker, "-->", true},
        {"<?php", true, K::Marker, "?>", false},
        {"<![CDATA[x", true, K::Marker, "]]>", false},
        {"<!doctype html>", true, K::Marker, ">", true},
        {"<script src=x>", true, K::Marker, "</script>", false},
        {"<p align=center>", true, K::BlankLine, "", false},
        {"</SPAN>", true, K::BlankLine, "", false},
        {"<span>", true, K::BlankLine, "", false},
        {"<span>text", false, K::BlankLine, "", false},
        {"</span> x", false, K::BlankLine, "", false},
        {"<1>", false, K::BlankLine, "", false},
    };
    for (const auto& c : cases) {
        auto s = html_block_start(c.text);
        ASSERT_EQ(s.has_value(), c.found) << c.text;
        if (!s) continue;
        EXPECT_EQ(s->end.kind, c.kind) << c.text;
        if (c.kind != K::BlankLine) {
            EXPECT_EQ(s->end.text, c.end_text) << c.text;
        }
        EXPECT_EQ(s->closed, c.closed) << c.text;
    }
}

// ---------------------------------------------------------------- builder: spans and drafts

namespace {

std::string spans_of(std::string_view md, Options options = {}) {
    std::string out;
    for (const auto& s : parse_source(md, options, false).spans) {
        out += std::string(s.kind) + " " + std::to_string(s.start) + "-" + std::to_string(s.end);
        if (s.extras && s.extras->info) out += " info=" + *s.extras->info;
        if (s.extras && s.extras->lang) out += " lang=" + *s.extras->lang;
        if (s.extras && s.extras->text) out += " text=" + *s.extras->text;
        out += "\n";
    }
    return out;
}

BlockParse drafts_of(std::string_view md, Options options = {}) {
    const std::string text = normalize_line_ends(md);
    Parser parser(text, options, false);
    return parser.parse_blocks_with_spans(0);
}

}  // namespace

TEST(BlockBuilder, Spans) {
    struct Case {
        const char* md;
        const char* spans;
    };
    const Case cases[] = {
        {"", ""},
        {"para\n# h\n\n- a\n- b\n\n\n", "paragraph 0-1\nheading 1-2\nlist 3-5\n"},
        {"para\n- item", "paragraph 0-1\nlist 1-2\n"},
        {"Intro\n| a |\n|---|\n| 1 |", "paragraph 0-1\ntable 1-4\n"},
        {"[a]: /u\n  \"T\"\n*[B]: b\n{:x: .c}\n\npara", "link_ref 0-2\nabbr_def 2-3\nattr_def 3-4\nparagraph 5-6\n"},
        {"# h\n{: .c}\n\n{: .d}\npara", "heading 0-2\nparagraph 3-5\n"},
        {"[^n]: note\n    more\n\nx", "footnote_def 0-2\nparagraph 3-4\n"},
        {"```py\nprint(1)\n```\n    code\n", "code_block 0-3 info=py lang=py text=print(1)\n\ncode_block 3-4 text=code\n\n"},
        {"$$\nx  \n$$", "math_block 0-3 text=x\n"},
        {"{: .orphan}\n\npara", "paragraph 0-1\nparagraph 2-3\n"},
        {"A\n: a\n\nB\n: b", "definition_list 0-2\ndefinition_list 3-5\n"},
        {"<div>\n\nx\n</div>\n<div markdown=1>\ny\n</div>", "html_block 0-4\nhtml_container 4-7\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(spans_of(c.md), c.spans) << c.md;
}

TEST(BlockBuilder, SpansAreLinesOfTheNormalisedText) {
    EXPECT_EQ(spans_of("a\r\nb\rc\n\nd"), "paragraph 0-3\nparagraph 4-5\n");
}

TEST(BlockBuilder, ListLoosenessAndTasks) {
    auto r = drafts_of("- [ ] a\n- [X] b\n\n- c\n\n1. x\n2. y");
    ASSERT_EQ(r.drafts.size(), 2u);
    const auto& bullets = r.drafts[0].v;
    const auto* list = std::get_if<draft::List>(&bullets);
    ASSERT_TRUE(list);
    EXPECT_FALSE(list->tight);
    ASSERT_EQ(list->items.size(), 3u);
    EXPECT_EQ(list->items[0].checked, TaskState::Unchecked);
    EXPECT_EQ(list->items[1].checked, TaskState::Checked);
    EXPECT_EQ(list->items[2].checked, TaskState::NotTask);
    const auto* ordered = std::get_if<draft::List>(&r.drafts[1].v);
    ASSERT_TRUE(ordered);
    EXPECT_TRUE(ordered->ordered);
    EXPECT_TRUE(ordered->tight);
    EXPECT_EQ(ordered->items.size(), 2u);
}

TEST(BlockBuilder, DefinitionListsMergeAcrossRuns) {
    auto r = drafts_of("A\n: a\n\nB\n\n: b");
    ASSERT_EQ(r.drafts.size(), 1u);
    const auto* dl = std::get_if<draft::DefinitionList>(&r.drafts[0].v);
    ASSERT_TRUE(dl);
    ASSERT_EQ(dl->items.size(), 2u);
    EXPECT_EQ(dl->items[1].terms, (std::vector<std::string>{"B"}));
    EXPECT_TRUE(dl->items[0].definitions[0].tight);
    EXPECT_FALSE(dl->items[1].definitions[0].tight);  // a blank line between term and definition
    EXPECT_EQ(r.spans.size(), 2u);
}

TEST(BlockBuilder, ParagraphDefinitionsAndAttributes) {
    Parser parser("> [a]: /u\n> *[B]: bee\n> text\n> {: .x}\n> {: #y}", Options{}, false);
    auto r = parser.parse_blocks_with_spans(0);
    ASSERT_EQ(r.drafts.size(), 1u);
    const auto& quote = std::get<draft::BlockQuote>(r.drafts[0].v);
    ASSERT_EQ(quote.blocks.size(), 1u);
    const auto& para = std::get<draft::Paragraph>(quote.blocks[0].v);
    EXPECT_EQ(para.content(), "text");
    EXPECT_EQ(para.attr.id(), "y");
    EXPECT_EQ(para.attr.classes(), (std::vector<std::string>{"x"}));
    EXPECT_EQ(parser.take_link_refs().count("a"), 1u);
    EXPECT_EQ(parser.take_abbrs().count("B"), 1u);
}

TEST(BlockBuilder, CodeKeepsTabsBeyondTheStrippedColumns) {
    auto r = drafts_of("\t\tfoo\n\n  ```\n\tx\n  ```");
    ASSERT_EQ(r.drafts.size(), 2u);
    EXPECT_EQ(std::get<CodeBlock>(r.drafts[0].v).text, "\tfoo\n");
    EXPECT_EQ(std::get<CodeBlock>(r.drafts[1].v).text, "  x\n");  // a straddling tab is split
}

TEST(BlockBuilder, GridThatDoesNotParseKeepsItsCaptionLine) {
    auto r = drafts_of("+---+\n+---+\n: cap");
    ASSERT_EQ(r.drafts.size(), 1u);
    EXPECT_EQ(std::get<draft::Paragraph>(r.drafts[0].v).content(), "+---+\n+---+\n: cap");
}

TEST(BlockBuilder, HtmlContainerNeedsTagAtLineStart) {
    // Text before the tag would be lost, so such a line is no container.
    EXPECT_EQ(to_xhtml("x <div markdown=\"1\">\n*a*\n</div>", Options{}),
              "<p>x <div markdown=\"1\">\n<em>a</em></p>\n</div>\n");
}

TEST(BlockBuilder, EditRegions) {
    Parser parser("# h\n\n> p\n> ```\n> x\n> ```\n\n| a |\n|---|\n\n```\ny\n```", Options{}, true);
    parser.parse_blocks_with_spans(0);
    std::vector<std::pair<std::size_t, std::size_t>> got;
    for (const auto& r : parser.regions()) got.emplace_back(r.first, r.end);
    EXPECT_EQ(got, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 1}, {2, 3}, {7, 9}}));
}

TEST(BlockBuilder, DepthLimitsHold) {
    Options options;
    options.max_block_depth = 2;
    EXPECT_EQ(to_xhtml("> > > a", options), "<blockquote>\n<blockquote>\n<p>&gt; a</p>\n</blockquote>\n</blockquote>\n");

    // Deep nesting of every container kind stays within the default limit.
    const std::string deep[] = {
        std::string(100000, '>') + " a",
        [] { std::string s; for (int i = 0; i < 50000; ++i) s += "- "; return s + "a"; }(),
        [] { std::string s = "r[^a]\n\n"; for (int i = 0; i < 50000; ++i) s += "[^a]: "; return s + "x"; }(),
        [] { std::string s = "T\n"; for (int i = 0; i < 50000; ++i) s += ": "; return s + "x"; }(),
        [] { std::string s; for (int i = 0; i < 50000; ++i) s += "::: c\n"; return s; }(),
        [] { std::string s; for (int i = 0; i < 50000; ++i) s += "<div markdown=\"1\">"; return s; }(),
    };
    for (const auto& md : deep) EXPECT_FALSE(to_xhtml(md, Options{}).empty());
}

TEST(BlockBuilder, NestedParsesShareDefinitions) {
    Parser parser("x", Options{}, false);
    DraftBlocks blocks = parser.parse_nested_blocks("[r]: /cell\n\n[^f]: note\n\n- a\n- b", 0);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(blocks[0].is<draft::List>());
    ASSERT_EQ(parser.footnotes().size(), 1u);
    EXPECT_EQ(parser.footnotes()[0].label, "f");
    EXPECT_EQ(parser.take_link_refs().count("r"), 1u);
}
