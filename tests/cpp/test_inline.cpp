// The inline scanner, checked through a compact dump of the node tree.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "inline/inline.hpp"
#include "inline/scanner.hpp"

#ifndef QUENLOR_TIME_SCALE
#define QUENLOR_TIME_SCALE 1  // more under sanitizers, which slow everything down
#endif

using namespace quenlor;

namespace {

std::string dump(const Inlines& list);

std::string dump_attr(const Attr& a) {
    if (a.empty()) return "";
    std::string out = "{";
    auto sep = [&] { if (out.size() > 1) out += ' '; };
    if (a.id()) { sep(); out += "#" + *a.id(); }
    for (const auto& c : a.classes()) { sep(); out += "." + c; }
    for (const auto& [k, v] : a.pairs()) { sep(); out += k + "=" + v; }
    return out + "}";
}

std::string dump_one(const Inline& x) {
    struct V {
        std::string operator()(const Text& t) { return "'" + t.text + "'"; }
        std::string operator()(const SoftBreak&) { return "SB"; }
        std::string operator()(const HardBreak&) { return "HB"; }
        std::string operator()(const Emph& n) { return "em" + dump_attr(n.attr) + "(" + dump(n.children) + ")"; }
        std::string operator()(const Strong& n) { return "strong" + dump_attr(n.attr) + "(" + dump(n.children) + ")"; }
        std::string operator()(const Strike& n) { return "del" + dump_attr(n.attr) + "(" + dump(n.children) + ")"; }
        std::string operator()(const Superscript& n) { return "sup" + dump_attr(n.attr) + "<" + n.text + ">"; }
        std::string operator()(const Subscript& n) { return "sub" + dump_attr(n.attr) + "<" + n.text + ">"; }
        std::string operator()(const Highlight& n) { return "mark" + dump_attr(n.attr) + "(" + dump(n.children) + ")"; }
        std::string operator()(const Code& n) { return "code" + dump_attr(n.attr) + "<" + n.text + ">"; }
        std::string operator()(const Link& n) {
            return "link[" + n.url + (n.title ? "|" + *n.title : "") + "]" + dump_attr(n.attr) + "(" + dump(n.children) + ")";
        }
        std::string operator()(const Image& n) {
            return "img[" + n.url + (n.title ? "|" + *n.title : "") + "]" + dump_attr(n.attr) + "(" + dump(n.children) + ")";
        }
        std::string operator()(const Autolink& n) { return std::string(n.email ? "mail" : "auto") + "[" + n.url + "]<" + n.text + ">"; }
        std::string operator()(const Abbr& n) { return "abbr[" + n.title + "]<" + n.text + ">"; }
        std::string operator()(const HtmlInline& n) { return "html<" + n.html + ">"; }
        std::string operator()(const MathInline& n) {
            return std::string(n.display ? "dmath" : "math") + dump_attr(n.attr) + "<" + n.tex + ">";
        }
        std::string operator()(const FootnoteRef& n) { return "fn[" + n.label + "]"; }
        std::string operator()(const Note& n) { return "note(" + dump(n.children) + ")"; }
        std::string operator()(const Span& n) { return "span" + dump_attr(n.attr) + "(" + dump(n.children) + ")"; }
        std::string operator()(const RawInline& n) { return "raw[" + n.format + "]<" + n.text + ">"; }
    };
    return std::visit(V{}, x.v);
}

std::string dump(const Inlines& list) {
    std::string out;
    for (const Inline& x : list) {
        if (!out.empty()) out += ' ';
        out += dump_one(x);
    }
    return out;
}

InlineContext make_ctx(MathMode math = MathMode::Brackets) {
    InlineContext ctx;
    ctx.options.math = math;
    return ctx;
}

std::string parse(std::string_view text, const InlineContext& ctx) { return dump(parse_inner(text, ctx, 0)); }

struct Case {
    const char* input;
    const char* expect;
};

void check_all(const InlineContext& ctx, std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_EQ(parse(c.input, ctx), c.expect) << "input: " << c.input;
}

}  // namespace

TEST(InlineScanner, EscapesAndBreaks) {
    check_all(make_ctx(), {
        {"a\\*b", "'a*b'"},
        {"\\&amp;", "'&amp;'"},
        {"&amp; &copy;", "'& \xC2\xA9'"},
        {"\\q \\", "'\\q \\'"},
        {"a  \nb", "'a' HB 'b'"},
        {"a\\\nb", "'a' HB 'b'"},
        {"a\\\\\nb", "'a\\' SB 'b'"},
        {"a \nb", "'a ' SB 'b'"},
        {"a   \nb", "'a' HB 'b'"},
        {"[a", "'[a'"},
        {"a]", "'a]'"},
        {"", "''"},
    });
}

TEST(InlineScanner, MathModes) {
    check_all(make_ctx(MathMode::On), {{"\\(x\\)", "'\\(x\\)'"}, {"$$x$$", "'$$x$$'"}});
    check_all(make_ctx(MathMode::Off), {{"\\(x\\) \\[y\\]", "'(x) [y]'"}});
    check_all(make_ctx(MathMode::Brackets), {
        {"\\(x\\)", "math<x>"},
        {"\\[ x \\]", "dmath< x >"},
        {"$$ x $$", "dmath<x>"},
        {"$x$", "'$x$'"},
        {"\\(a\\\\)b\\)", "math<a\\\\)b>"},
        {"\\(x and \\[y and $$z", "'(x and [y and $$z'"},
        {"*\\(a*b\\)*", "em(math<a*b>)"},
        {"\\(x\\){.c}", "math{.c}<x>"},
    });
    check_all(make_ctx(MathMode::Dollars), {
        {"$x$", "math<x>"},
        {"$ x$", "'$ x$'"},
        {"$x $", "'$x $'"},
        {"$5 and $6", "'$5 and $6'"},
        {"$a$b", "math<a> 'b'"},
        {"$a$$b$", "'$a$$b$'"},
        {"a $5, b $x$", "'a ' math<5, b $x>"},
        // a failed search is remembered: later single dollars are not searched again
        {"$a $$ b$ $c$", "'$a $$ b$ $c$'"},
        {"$ x$ $y$", "'$ x$ ' math<y>"},
    });
}

TEST(InlineScanner, CodeSpans) {
    check_all(make_ctx(), {
        {"`a`", "code<a>"},
        {"`` a`b ``", "code<a`b>"},
        {"` `` `", "code<``>"},
        {"`a\nb\tc`", "code<a b c>"},
        {"`  `", "code<  >"},
        {"``a", "'``a'"},
        {"`x`{=html}", "raw[html]<x>"},
        {"`x`{.c}{#i}", "code{#i .c}<x>"},
        {"`x`{=tex}{.c}", "raw[tex]<x> '{.c}'"},
        {"`a\\*b &amp;`", "code<a\\*b &amp;>"},
        {"` a ``` b `` c `", "code<a ``` b `` c>"},
        {"`a ``b`", "code<a ``b>"},
        {"``a` `b`", "'``a' code< > 'b`'"},
        // Line feeds and tabs at the ends count as the spaces that are stripped.
        {"`\na\t`", "code<a>"},
        {"`\t \n`", "code<   >"},
        {"` a\n\n`", "code<a >"},
        {"`\nlonger than the room a code node has for its own text, so that the text is held apart from the node, on the heap\n`",
         "code<longer than the room a code node has for its own text, so that the text is held apart from the node, on the heap>"},
    });
}

TEST(InlineScanner, Emphasis) {
    check_all(make_ctx(), {
        {"*a*", "em('a')"},
        {"**a**", "strong('a')"},
        {"***a***", "em(strong('a'))"},
        {"a*b*c", "'a' em('b') 'c'"},
        {"a_b_c", "'a_b_c'"},
        {"*a**b*", "em('a**b')"},
        {"*a _b* c_", "em('a _b') ' c_'"},
        {"**a*{.c}", "'*' em{.c}('a')"},
        {"*a*{.c}", "em{.c}('a')"},
        {"****", "'****'"},
        {"****a****", "strong('a')"},
        {"**a **b** c**", "strong('a b c')"},
        {"*a **b** c*", "em('a ' strong('b') ' c')"},
        {"~~a~~", "del('a')"},
        {"~~~a~~~", "'~~~a~~~'"},
        {"~~a~~~", "'~~a~~~'"},
        {"\xC2\xA1*a*", "'\xC2\xA1' em('a')"},
        {"\xE2\x82\xAC*a*", "'\xE2\x82\xAC' em('a')"},
        {"_a_\xE2\x82\xAC", "'_a_\xE2\x82\xAC'"},
        {"*a", "'*a'"},
    });
}

TEST(InlineScanner, LookAheadMarkers) {
    check_all(make_ctx(), {
        {"~a~", "sub<a>"},
        {"H~2~O", "'H' sub<2> 'O'"},
        {"x^2^", "'x' sup<2>"},
        {"x^a b^", "'x^a b^'"},
        {"x^a\\ b^", "'x' sup<a\\ b>"},
        {"2^*n*^", "'2' sup<*n*>"},
        {"==a==", "mark('a')"},
        {"====", "'===='"},
        {"==a *b*==", "mark('a ' em('b'))"},
        {"x==y==z", "'x' mark('y') 'z'"},
        {"==a=={.h} x^2^{.p}", "mark{.h}('a') ' x' sup{.p}<2>"},
    });
    InlineContext ctx = make_ctx();
    ctx.options.max_inline_depth = 0;
    check_all(ctx, {{"==*x*==", "mark('*x*')"}, {"^[*x*]", "note('*x*')"}});
}

TEST(InlineScanner, Links) {
    InlineContext ctx = make_ctx();
    check_all(ctx, {
        {"[a](b)", "link[b]('a')"},
        {"[a](<b c>)", "link[b c]('a')"},
        {"[a](b c)", "'[a](b c)'"},
        {"[a](x<y)", "'[a](x<y)'"},
        {"[a](b \"\")", "link[b]('a')"},
        {"[a](/u \"t\"){#i .c k=v}", "link[/u|t]{#i .c k=v}('a')"},
        {"[a](/p\\_q?x=1&amp;y \"T &amp; \\\"q\\\"\")", "link[/p_q?x=1&y|T & \"q\"]('a')"},
        {"[a](\\&amp;)", "link[&amp;]('a')"},
        {"[a [b](c) d](e)", "'[a ' link[c]('b') ' d](e)'"},
        {"![a [b](c)](d)", "img[d]('a ' link[c]('b'))"},
        {"[a [b]{.x} c](d)", "link[d]('a ' span{.x}('b') ' c')"},
        {"[*a* b]{#s .x}{.y}", "span{#s .x .y}(em('a') ' b')"},
        {"![text]{.x}", "'![text]{.x}'"},
        {"[a `]` b](c)", "link[c]('a ' code<]> ' b')"},
        {"*[a*](b)", "'*' link[b]('a*')"},
        {"[a](b)*c*", "link[b]('a') em('c')"},
        {"[]()", "link[]()"},
    });
    ctx.options.max_link_paren_depth = 2;
    check_all(ctx, {{"[a](x(y(z)))", "link[x(y(z))]('a')"}, {"[a](x(y(z(w))))", "'[a](x(y(z(w))))'"}});
}

TEST(InlineScanner, ReferencesAndCitations) {
    InlineContext ctx = make_ctx();
    ctx.link_refs["a"] = LinkRef{"/a", std::nullopt, Attr{}};
    LinkRef r{"/r", "T", Attr{}};
    r.attr.push_class("d");
    ctx.link_refs["r"] = r;
    ctx.link_refs["foo bar"] = LinkRef{"/fb", std::nullopt, Attr{}};
    check_all(ctx, {
        {"[a]", "link[/a]('a')"},
        {"[A][]", "link[/a]('A')"},
        {"[x][a]", "link[/a]('x')"},
        {"[a][b]", "'[a][b]'"},
        {"[a][ ]", "link[/a]('a') '[ ]'"},
        {"[Foo\nBar]", "link[/fb]('Foo' SB 'Bar')"},
        {"![r]{.c}", "img[/r|T]{.d .c}('r')"},
        {"[a]{.x}", "span{.x}('a')"},
        {"[a [r] c][a]", "'[a ' link[/r|T]{.d}('r') ' c]' link[/a]('a')"},
        {"[@doe]", "link[#doe]{data-ref=}()"},
        {"[-@doe]", "link[#doe]{data-ref=bare}()"},
        {"[see @doe]", "link[#doe]{data-ref=}('see')"},
        {"[see@doe]", "'[see@doe]'"},
        {"[@a; @b]", "span{.refs}(link[#a]{data-ref=}() link[#b]{data-ref=}())"},
        {"[see @a; @b]", "'[see @a; @b]'"},
        {"[@_x]", "'[@_x]'"},
        {"[@doe]{.c}", "link[#doe]{.c data-ref=}()"},
    });
}

TEST(InlineScanner, FootnotesAndNotes) {
    InlineContext ctx = make_ctx();
    ctx.footnote_labels.insert("n");
    check_all(ctx, {
        {"x[^n] [^N]", "'x' fn[n] ' [^N]'"},
        {"x![^n]", "'x!' fn[n]"},
        {"[^n](u)", "fn[n] '(u)'"},
        {"^[a *b*]", "note('a ' em('b'))"},
        {"^[a [b] c]d", "note('a [b] c') 'd'"},
        {"^[a ^[b]", "'^[a ' note('b')"},
    });
}

TEST(InlineScanner, AbbreviationsAndAutolinks) {
    InlineContext ctx = make_ctx();
    set_abbreviations(ctx, {{"HTML", "Hyper"}, {"HTML5", "Five"}, {"X", "Ex"}});
    check_all(ctx, {
        {"HTML5 and HTML, not XHTML.", "abbr[Five]<HTML5> ' and ' abbr[Hyper]<HTML> ', not XHTML.'"},
        {"x*HTML*y", "'x' em(abbr[Hyper]<HTML>) 'y'"},
        {"", ""},
    });
    // A key starts only after a non-word character, however the text before
    // it is encoded: multi-byte letters and punctuation, undecodable bytes,
    // and a key byte that lies inside a character of the text.
    InlineContext wide = make_ctx();
    set_abbreviations(wide, {{"HTML", "H"}, {"\u03A9mega", "O"}, {"\xA9x", "bad"}});
    check_all(wide, {
        {"\u00E9HTML \u2014HTML", "'\u00E9HTML \u2014' abbr[H]<HTML>"},
        {"\xFFHTML", "'\xFF' abbr[H]<HTML>"},
        {"\xC3HTML \xE2\x80HTML", "'\xC3' abbr[H]<HTML> ' \xE2\x80' abbr[H]<HTML>"},
        {"\u03A9\u03A9mega \u2026\u03A9mega", "'\u03A9\u03A9mega \u2026' abbr[O]<\u03A9mega>"},
        {"\u00A9x \xA9x", "'\u00A9x ' abbr[bad]<\xA9x>"},
    });
    InlineContext plain = make_ctx();
    check_all(plain, {
        {"see www.x.y.", "'see ' auto[http://www.x.y]<www.x.y> '.'"},
        {"[https://site.com](https://site.com)", "link[https://site.com]('https://site.com')"},
        {"[see http://a.b/c]", "'[see ' auto[http://a.b/c]<http://a.b/c> ']'"},
        {"a (u@x.y)", "'a (' mail[mailto:u@x.y]<u@x.y> ')'"},
        {"<b>x</b>", "html<<b>> 'x' html<</b>>"},
        {"a < b", "'a < b'"},
    });
}

TEST(InlineScanner, TrailingAttrColonForm) {
    InlineContext ctx = make_ctx();
    Attr wide;
    wide.push_class("w");
    ctx.attr_defs["wide"] = wide;
    check_all(ctx, {{"`x`{:wide} `y`{wide} `z`{:nope}", "code{.w}<x> ' ' code<y> '{wide} ' code<z>"}});
}

TEST(InlineScanner, DepthLimitStopsRecursion) {
    InlineContext ctx = make_ctx();
    ctx.options.max_inline_depth = 1;
    check_all(ctx, {{"==x ^[*y*]==", "mark('x ' note('*y*'))"}});
    ctx.options.max_inline_depth = UINT64_MAX;
    std::string deep;
    for (int i = 0; i < 3000; ++i) deep += "^[";
    for (int i = 0; i < 3000; ++i) deep += "]";
    Inlines out = parse_inner(deep, ctx, 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].is<Note>());
    EXPECT_EQ(dump(parse_inner("*a*", ctx, 5000)), "'*a*'");
    // Emphasis, spans and images nest only so deep; the rest stays text.
    for (const char* unit : {"*a ", "[", "![", "_a "}) {
        std::string text;
        for (int i = 0; i < 20000; ++i) text += unit;
        text += "x";
        const std::string close = unit[0] == '*' ? " a*" : unit[0] == '_' ? " a_" : unit[0] == '!' ? "](u)" : "]{.c}";
        for (int i = 0; i < 20000; ++i) text += close;
        EXPECT_LE(inlines_height(parse_inner(text, ctx, 0)), kMaxInlineNesting) << unit;
    }
}

TEST(InlineScanner, CoalesceMergesAndFlattens) {
    Inlines list;
    list.emplace_back(Text{"a"});
    list.emplace_back(Strong{Attr{}, {Text{"b"}, Strong{Attr{}, {Text{"c"}}}, Text{"d"}}});
    Attr cls;
    cls.push_class("k");
    list.emplace_back(Strong{Attr{}, {Strong{cls, {Text{"e"}}}}});
    list.emplace_back(Text{"f"});
    list.emplace_back(Text{"g"});
    EXPECT_EQ(dump(coalesce(std::move(list))), "'a' strong('bcd') strong(strong{.k}('e')) 'fg'");
}

// Adversarial inputs must stay linear: each is parsed in well under a second.
TEST(InlineScanner, AdversarialInputsStayFast) {
    InlineContext ctx = make_ctx(MathMode::Dollars);
    ctx.link_refs["a"] = LinkRef{"/a", std::nullopt, Attr{}};
    ctx.footnote_labels.insert("n");
    const std::size_t n = 20000;
    auto repeat = [](std::string_view s, std::size_t k) {
        std::string out;
        for (std::size_t i = 0; i < k; ++i) out += s;
        return out;
    };
    std::string inputs[] = {
        repeat("[", n), repeat("*a ", n), repeat("_a ", n), repeat("`", 1) + repeat("a`` ", n),
        repeat("$a ", n), repeat("\\(", n), repeat("\\[", n), repeat("$$", 1) + repeat("a", n),
        repeat("<", n), repeat("<a ", n), repeat("==a", n), repeat("^[", n), repeat("[^", n),
        repeat("[a](", n), repeat("[", n) + repeat("]", n), repeat("![a](<", n),
        repeat("*a ", n) + repeat("a* ", n), repeat("~~ * ", n) + repeat("~~~ ", n),
        repeat("a@", n), repeat("www.a ", n), repeat("[x] ", n), repeat("[@a]", n),
        repeat("` `` ", n / 4) + repeat("```` ", n / 4),
    };
    for (const std::string& text : inputs) {
        auto t0 = std::chrono::steady_clock::now();
        Inlines out = parse_inner(text, ctx, 0);
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(secs, 1.0 * QUENLOR_TIME_SCALE) << text.substr(0, 12);
    }
}

TEST(InlineScanner, TextsInTheSourceReadNoFurtherThanIt) {
    // Texts are copied into nodes in fixed blocks that may read past them, up
    // to the end of the buffer they lie in: the document when they are views
    // of it. Every piece of a document parses as a copy of it does, and
    // (under the address sanitizer) nothing is read past either buffer.
    const std::string doc = "a *b* c_d_ **e** [f] `g` h\\*i &amp; j  \nk ~l~ m";
    auto source = std::make_unique<char[]>(doc.size());
    doc.copy(source.get(), doc.size());
    InlineContext in_source = make_ctx();
    in_source.source = std::string_view(source.get(), doc.size());
    const InlineContext apart = make_ctx();
    for (std::size_t from = 0; from <= doc.size(); from += 3) {
        for (std::size_t to = from; to <= doc.size(); ++to) {
            const std::string_view view(source.get() + from, to - from);
            EXPECT_EQ(readable_end(view, in_source), source.get() + doc.size());
            auto copy = std::make_unique<char[]>(view.size() + 1);
            view.copy(copy.get(), view.size());
            const std::string_view separate(copy.get(), view.size());
            EXPECT_EQ(readable_end(separate, in_source), separate.data() + separate.size());
            ASSERT_EQ(parse(view, in_source), parse(separate, apart)) << view;
        }
    }
}

TEST(InlineScanner, VisitedNodesAreTheParsedList) {
    // visit_inlines hands over the top-level nodes without building the list;
    // coalesced again, they are exactly what parse_inner returns.
    struct Collect final : InlineSink {
        Inlines list;
        void node(const Inline& n) override { push_coalesced(list, Inline(n)); }
        void text(std::string_view t) override { push_coalesced(list, Text{NodeText(t)}); }
    };
    InlineContext plain = make_ctx(MathMode::Dollars);
    InlineContext defined = make_ctx(MathMode::Dollars);
    set_abbreviations(defined, {{"HTML", "Hyper"}, {"X", "Ex"}});
    defined.link_refs["r"] = LinkRef{"/r", std::nullopt, Attr{}};
    defined.footnote_labels.insert("n");
    const std::string long_plain(300, 'a');
    for (const InlineContext* ctx : {&plain, &defined}) {
        for (const char* text : {"plain words", "HTML and X", "a *b* c_d_ **e** [f] `g` h\\*i &amp; j  \nk",
                                 "[r] and [f](/u \"t\"){.c} ![i](/i) <b>x</b> $m$ ==hi *there*==",
                                 "*[a](/b)* **x*y** *unclosed [ref][r] [^n] https://x.org/p www.y.org z@e.org",
                                 "&#65;\\&amp; [a\\]b](</c d>) ~~s~~ ^sup^ ~sub~"}) {
            Collect got;
            visit_inlines(text, *ctx, got);
            EXPECT_EQ(dump(got.list), parse(text, *ctx)) << text;
        }
        Collect got;
        visit_inlines(long_plain, *ctx, got);
        EXPECT_EQ(dump(got.list), parse(long_plain, *ctx));
        // An empty text (no paragraph has one) gives no node at all, where
        // the list may hold one empty text: the same nothing when written.
        Collect none;
        visit_inlines("", *ctx, none);
        EXPECT_TRUE(none.list.empty());
    }
}
