// Rendering of hand-built trees, compared as whole output strings.
#include <gtest/gtest.h>

#include "render/render.hpp"

using namespace quenlor;

namespace {

Inline txt(std::string s) { return Text{std::move(s)}; }
Block para(Inlines xs, Attr a = {}) { return Paragraph{std::move(a), std::move(xs), {}, {}}; }
Attr attr(std::optional<std::string> id, std::vector<std::string> classes = {},
          std::vector<std::pair<std::string, std::string>> pairs = {}) {
    Attr a;
    a.data() = AttrData{std::move(id), std::move(classes), std::move(pairs)};
    return a;
}
Attr cls(std::string c) { return attr(std::nullopt, {std::move(c)}); }
Inline fnref(std::string label) { return FootnoteRef{std::move(label)}; }

std::string render_inlines(const Inlines& xs) {
    Document empty;
    Renderer r(empty);
    std::string out;
    r.inlines(xs, out);
    r.footnotes_section(out);
    return out;
}

std::string render_doc(Document doc) { return to_xhtml_document(doc); }
std::string render_blocks(Blocks bs) {
    Document doc;
    doc.blocks = std::move(bs);
    return render_doc(std::move(doc));
}

TableCellData cell(Inlines xs, Align align = Align::None, std::size_t rowspan = 1, std::size_t colspan = 1) {
    TableCellData c;
    c.content.v = std::move(xs);
    c.align = align;
    c.rowspan = rowspan;
    c.colspan = colspan;
    return c;
}
TableRowData row(std::vector<TableCellData> cells, Attr a = {}) {
    return TableRowData{std::move(a), {std::make_move_iterator(cells.begin()), std::make_move_iterator(cells.end())}};
}

struct Case {
    const char* name;
    std::string got;
    std::string want;
};

void check(const std::vector<Case>& cases) {
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

std::string esc(void (*f)(std::string_view, std::string&), std::string_view s) {
    std::string out = "[";
    f(s, out);
    return out;
}

}  // namespace

TEST(RenderEscape, Encoders) {
    using std::string_literals::operator""s;
    check({
        {"text plain run", esc(escape_text, "abc def"), "[abc def"},
        {"text entities", esc(escape_text, "a&b<c>d\"e'f"), "[a&amp;b&lt;c&gt;d\"e'f"},
        {"text multibyte and controls", esc(escape_text, "\xC3\xA9\t\x01\x7F\n\xF0\x9F\x98\x80"),
         "[\xC3\xA9\t\x01\x7F\n\xF0\x9F\x98\x80"},
        {"text keeps NUL", esc(escape_text, "a\0b"s), "[a\0b"s},
        {"attr quotes", esc(escape_attr, "<\"'&>"), "[&lt;&quot;'&amp;&gt;"},
        {"attr multibyte", esc(escape_attr, "\xE2\x82\xAC\"x"), "[\xE2\x82\xAC&quot;x"},
        {"url reserved bytes", esc(escape_url_attr, " \"<>[\\]`"), "[%20%22%3C%3E%5B%5C%5D%60"},
        {"url kept", esc(escape_url_attr, "http://a.b/p?q=1#f%41'{|}^~!$()*+,;=@"),
         "[http://a.b/p?q=1#f%41'{|}^~!$()*+,;=@"},
        {"url amp", esc(escape_url_attr, "a&b"), "[a&amp;b"},
        {"url controls", esc(escape_url_attr, "\x01\t\n\x1F\x7F"s + "\0"s), "[%01%09%0A%1F%7F%00"},
        {"url multibyte", esc(escape_url_attr, "/\xC3\xA9/\xF0\x9F\x98\x80"), "[/%C3%A9/%F0%9F%98%80"},
        {"fragment kept", escape_fragment("aZ09()-./_~"), "aZ09()-./_~"},
        {"fragment encoded", escape_fragment("a b:c\xC3\xA9&\"#%\n"), "a%20b%3Ac%C3%A9%26%22%23%25%0A"},
        {"fragment empty", escape_fragment(""), ""},
    });
    std::string out;
    for (char32_t c : {U'A', U'\n', U'\u00E9', U'\u20AC', U'\U0001F600', char32_t{0}}) percent_encode_char(c, out);
    EXPECT_EQ(out, "%41%0A%C3%A9%E2%82%AC%F0%9F%98%80%00");
}

TEST(RenderEscape, AttrsHtml) {
    auto attrs = [](const Attr& a) {
        std::string out;
        attrs_html(a, out);
        return out;
    };
    check({
        {"empty", attrs(Attr{}), ""},
        {"empty id is written", attrs(attr("")), " id=\"\""},
        {"order", attrs(attr("x&y", {"a", "b\"c"}, {{"k", "v<"}, {"data-x", "1"}})),
         " id=\"x&amp;y\" class=\"a b&quot;c\" k=\"v&lt;\" data-x=\"1\""},
        {"id and class pairs skipped", attrs(attr(std::nullopt, {}, {{"id", "p"}, {"class", "q"}, {"r", "s"}})),
         " r=\"s\""},
        {"empty value takes key", attrs(attr(std::nullopt, {}, {{"disabled", ""}})), " disabled=\"disabled\""},
        {"unsafe keys dropped",
         attrs(attr(std::nullopt, {}, {{"a\"b", "1"}, {"x><y", "2"}, {"p q", "3"}, {"ok", "4"}, {"a&b", "5"}})),
         " ok=\"4\""},
    });
}

TEST(RenderEscape, PlainText) {
    Inlines xs = {
        txt("a"), SoftBreak{}, Emph{{}, {txt("b"), HardBreak{}, Code{{}, "c<"}}},
        Superscript{{}, "2"}, Subscript{{}, "i"}, MathInline{{}, "x^2", false},
        Link{{}, {txt("l")}, "/u", "t"}, Image{{}, {Strong{{}, {txt("i")}}}, "/i", std::nullopt},
        Autolink{"mailto:a@b", "a@b", true}, Abbr{"HTML", "Hyper"}, HtmlInline{"<br>"},
        fnref("n"), Note{{txt("note")}}, Span{{}, {txt("s")}}, RawInline{"html", "<x>"},
        Strike{{}, {txt("d")}}, Highlight{{}, {txt("h")}},
    };
    EXPECT_EQ(plain(xs), "a b c<2ix^2lia@bHTML<br>nnotesdh");
    EXPECT_EQ(plain({}), "");
}

TEST(RenderInline, EveryKind) {
    check({
        {"text", render_inlines({txt("a<&>\"'")}), "a&lt;&amp;&gt;\"'"},
        {"breaks", render_inlines({txt("a"), SoftBreak{}, txt("b"), HardBreak{}, txt("c")}), "a\nb<br />\nc"},
        {"emph strong strike mark span",
         render_inlines({Emph{attr("e"), {txt("1")}}, Strong{cls("s"), {txt("2")}}, Strike{{}, {txt("3")}},
                         Highlight{{}, {txt("4")}}, Span{attr(std::nullopt, {}, {{"k", "v"}}), {txt("5")}}}),
         "<em id=\"e\">1</em><strong class=\"s\">2</strong><del>3</del><mark>4</mark><span k=\"v\">5</span>"},
        {"sup sub code",
         render_inlines({Superscript{cls("a"), "x<"}, Subscript{{}, "y&"}, Code{attr("c"), "<b> & \"q\""}}),
         "<sup class=\"a\">x&lt;</sup><sub>y&amp;</sub><code id=\"c\">&lt;b&gt; &amp; \"q\"</code>"},
        {"link with title and attrs",
         render_inlines({Link{attr("k", {"c"}, {{"rel", "x"}}), {txt("a")}, "/u v?a=1&b=\xC3\xA9", "T \"q\""}}),
         "<a href=\"/u%20v?a=1&amp;b=%C3%A9\" title=\"T &quot;q&quot;\" id=\"k\" class=\"c\" rel=\"x\">a</a>"},
        {"link without title", render_inlines({Link{{}, {}, "", std::nullopt}}), "<a href=\"\"></a>"},
        {"link empty title", render_inlines({Link{{}, {txt("a")}, "/u", ""}}), "<a href=\"/u\" title=\"\">a</a>"},
        {"image alt is plain",
         render_inlines({Image{cls("w"), {txt("a "), Emph{{}, {txt("b")}}, Code{{}, "\"c\""}}, "i.png", "t"}}),
         "<img src=\"i.png\" alt=\"a b&quot;c&quot;\" title=\"t\" class=\"w\" />"},
        {"image single text alt", render_inlines({Image{{}, {txt("x&y")}, "a b.png", std::nullopt}}),
         "<img src=\"a%20b.png\" alt=\"x&amp;y\" />"},
        {"autolink", render_inlines({Autolink{"mailto:a&b@c.d", "a&b@c.d", true}}),
         "<a href=\"mailto:a&amp;b@c.d\">a&amp;b@c.d</a>"},
        {"abbr", render_inlines({Abbr{"H<", "Hyper \"T\" & more"}}),
         "<abbr title=\"Hyper &quot;T&quot; &amp; more\">H&lt;</abbr>"},
        {"html inline unchanged", render_inlines({HtmlInline{"<b a='1'>&x"}}), "<b a='1'>&x"},
        {"math inline", render_inlines({MathInline{{}, "a<b", false}}), "<span class=\"math inline\">a&lt;b</span>"},
        {"math display with own classes", render_inlines({MathInline{attr("m", {"x", "math"}), "y", true}}),
         "<span id=\"m\" class=\"x math display\">y</span>"},
        {"raw inline", render_inlines({RawInline{"ht\"ml", "<i>"}}),
         "<script type=\"text/x-ht&quot;ml\">&lt;i&gt;</script>"},
    });
}

TEST(RenderBlock, EveryKind) {
    Block quote = BlockQuote{cls("q"), {para({txt("a")})}};
    Block code = CodeBlock{attr("c"), "py x", "p\"y", "a < b\n"};
    Block code_plain = CodeBlock{{}, "", std::nullopt, ""};
    Block container = HtmlContainer{"section", attr("s"), {para({txt("x")})}};
    check({
        {"empty document", render_blocks({}), ""},
        {"paragraph", render_blocks({para({txt("a")}, attr("p", {"c"}))}), "<p id=\"p\" class=\"c\">a</p>\n"},
        {"heading", render_blocks({Heading{attr("h"), {txt("T")}, 3}}), "<h3 id=\"h\">T</h3>\n"},
        {"block quote", render_blocks({quote}), "<blockquote class=\"q\">\n<p>a</p>\n</blockquote>\n"},
        {"code block", render_blocks({code, code_plain}),
         "<pre id=\"c\"><code class=\"language-p&quot;y\">a &lt; b\n</code></pre>\n<pre><code></code></pre>\n"},
        {"code_block_open", code_block_open(cls("k"), "c++"), "<pre class=\"k\"><code class=\"language-c++\">"},
        {"html block", render_blocks({HtmlBlock{"<div>\n&amp;\n"}}), "<div>\n&amp;\n"},
        {"html container", render_blocks({container}), "<section id=\"s\">\n<p>x</p>\n</section>\n"},
        {"thematic break", render_blocks({ThematicBreak{}, ThematicBreak{cls("t")}}), "<hr />\n<hr class=\"t\" />\n"},
        {"div", render_blocks({Div{cls("d"), {}}, Div{{}, {para({txt("a")})}}}),
         "<div class=\"d\">\n</div>\n<div>\n<p>a</p>\n</div>\n"},
        {"math block", render_blocks({MathBlock{cls("x"), "a<b", false}}),
         "<div class=\"x math display\">a&lt;b</div>\n"},
        {"raw block", render_blocks({RawBlock{"html", "<b>\n"}}),
         "<script type=\"text/x-html\">&lt;b&gt;\n</script>\n"},
        {"figure with caption",
         render_blocks({Figure{attr("f"), Inline{Image{{}, {txt("a "), Emph{{}, {txt("b")}}}, "x.png", std::nullopt}}}}),
         "<figure id=\"f\">\n<img src=\"x.png\" alt=\"a b\" />\n<figcaption>a <em>b</em></figcaption>\n</figure>\n"},
        {"figure without description", render_blocks({Figure{{}, Inline{Image{{}, {}, "x.png", std::nullopt}}}}),
         "<figure>\n<img src=\"x.png\" alt=\"\" />\n</figure>\n"},
        {"figure of other inline", render_blocks({Figure{{}, Inline{txt("t")}}}), "<figure>\nt\n</figure>\n"},
    });
}

TEST(RenderBlock, Lists) {
    Block nested = List{{}, {ListItem{{}, {para({txt("b")})}}}, false, 1, true};
    ListItem a_item{{}, {para({txt("a")}, cls("dropped")), nested}};
    ListItem c_item{cls("i"), {para({txt("c")})}};
    ListItem empty_item{};
    ListItem open_task{{}, {para({txt("t")})}, TaskState::Unchecked};
    ListItem done_task{{}, {para({txt("u")})}, TaskState::Checked};
    check({
        {"tight with nested list", render_blocks({List{{}, {a_item, c_item, empty_item}, false, 1, true}}),
         "<ul>\n<li>a\n<ul>\n<li>b</li>\n</ul>\n</li>\n<li class=\"i\">c</li>\n<li></li>\n</ul>\n"},
        {"loose", render_blocks({List{{}, {c_item, empty_item}, false, 1, false}}),
         "<ul>\n<li class=\"i\">\n<p>c</p>\n</li>\n<li>\n</li>\n</ul>\n"},
        {"ordered from 1", render_blocks({List{{}, {c_item}, true, 1, true}}), "<ol>\n<li class=\"i\">c</li>\n</ol>\n"},
        {"ordered from 0 after own attrs", render_blocks({List{attr("l"), {c_item}, true, 0, true}}),
         "<ol id=\"l\" start=\"0\">\n<li class=\"i\">c</li>\n</ol>\n"},
        {"start ignored when unordered", render_blocks({List{{}, {empty_item}, false, 3, true}}),
         "<ul>\n<li></li>\n</ul>\n"},
        {"tasks", render_blocks({List{cls("todo"), {open_task, done_task, c_item}, true, 3, true}}),
         "<ol class=\"todo task-list\" start=\"3\">\n"
         "<li><input type=\"checkbox\" disabled=\"disabled\" /> t</li>\n"
         "<li><input type=\"checkbox\" disabled=\"disabled\" checked=\"checked\" /> u</li>\n"
         "<li class=\"i\">c</li>\n</ol>\n"},
        {"loose task", render_blocks({List{{}, {open_task}, false, 1, false}}),
         "<ul class=\"task-list\">\n<li><input type=\"checkbox\" disabled=\"disabled\" /> \n<p>t</p>\n</li>\n</ul>\n"},
    });
}

TEST(RenderBlock, DefinitionLists) {
    DefinitionItem item;
    item.terms = {{txt("A")}, {Emph{{}, {txt("B")}}}};
    item.definitions = {
        Definition{{para({txt("tight")})}, true},
        Definition{{para({txt("attr")}, cls("c"))}, true},
        Definition{{para({txt("p1")}), para({txt("p2")})}, false},
        Definition{{para({txt("loose")})}, false},
        Definition{{}, true},
    };
    check({
        {"definitions", render_blocks({DefinitionList{attr("d"), {item}}}),
         "<dl id=\"d\">\n<dt>A</dt>\n<dt><em>B</em></dt>\n<dd>tight</dd>\n"
         "<dd>\n<p class=\"c\">attr</p>\n</dd>\n<dd>\n<p>p1</p>\n<p>p2</p>\n</dd>\n"
         "<dd>\n<p>loose</p>\n</dd>\n<dd>\n</dd>\n</dl>\n"},
        {"empty", render_blocks({DefinitionList{}}), "<dl>\n</dl>\n"},
    });
}

TEST(RenderBlock, Tables) {
    Table t;
    t.attr = cls("t");
    t.aligns = {Align::Left, Align::None, Align::Right};
    t.caption = {txt("cap "), Emph{{}, {txt("x")}}};
    t.head = {row({cell({txt("a")}), cell({txt("b")}), cell({txt("c")})})};
    TableCellData blocks_cell;
    blocks_cell.content.v = Blocks{para({txt("p")})};
    TableCellData empty_blocks;
    empty_blocks.content.v = Blocks{};
    t.body = {
        // The wide first cell moves the second onto the third column's alignment.
        row({cell({txt("w")}, Align::None, 2, 2), cell({txt("r")})}, attr("r1")),
        row({blocks_cell, empty_blocks, cell({}, Align::Center), cell({txt("past")})}),
        row({cell({txt("z")}, Align::None, 1, 0), cell({txt("y")})}),
    };
    t.foot = {row({cell({txt("f")})})};
    Table head_only;
    head_only.caption = {txt("c")};
    head_only.head = {row({cell({txt("h")})})};
    check({
        {"full table", render_blocks({t}),
         "<table class=\"t\">\n<caption>cap <em>x</em></caption>\n"
         "<thead>\n<tr><th align=\"left\">a</th><th>b</th><th align=\"right\">c</th></tr>\n</thead>\n"
         "<tbody>\n"
         "<tr id=\"r1\"><td align=\"left\" rowspan=\"2\" colspan=\"2\">w</td><td align=\"right\">r</td></tr>\n"
         "<tr><td align=\"left\">\n<p>p</p>\n</td><td></td><td align=\"center\"></td><td>past</td></tr>\n"
         "<tr><td align=\"left\">z</td><td>y</td></tr>\n"
         "</tbody>\n<tfoot>\n<tr><td align=\"left\">f</td></tr>\n</tfoot>\n</table>\n"},
        {"caption and head only", render_blocks({head_only}),
         "<table>\n<caption>c</caption>\n<thead>\n<tr><th>h</th></tr>\n</thead>\n</table>\n"},
    });
}

namespace {
const std::string section_open = "<section class=\"footnotes\" role=\"doc-endnotes\">\n<ol>\n";
const std::string section_close = "</ol>\n</section>\n";
std::string ref(const std::string& id, const std::string& target, int n) {
    return "<sup id=\"" + id + "\"><a href=\"#" + target + "\" class=\"footnote-ref\" role=\"doc-noteref\">" +
           std::to_string(n) + "</a></sup>";
}
std::string backref(const std::string& f, int k) {
    std::string id = "fnref-" + f + (k > 1 ? "-" + std::to_string(k) : "");
    return "<a href=\"#" + id + "\" class=\"footnote-backref\" role=\"doc-backlink\">\u21A9" +
           (k > 1 ? "<sup>" + std::to_string(k) + "</sup>" : "") + "</a>";
}
}  // namespace

TEST(RenderFootnotes, Bookkeeping) {
    Document repeated;
    repeated.blocks = {para({fnref("a"), fnref("b"), fnref("a"), fnref("a")})};
    repeated.footnotes = {Footnote{"b", {para({txt("B")})}}, Footnote{"a", {para({txt("old")})}},
                          Footnote{"a", {para({txt("A")})}}, Footnote{"unused", {para({txt("U")})}}};

    Document nested;
    nested.blocks = {para({fnref("1")})};
    nested.footnotes = {Footnote{"2", {para({txt("two")})}}, Footnote{"1", {para({txt("one"), fnref("2")})}}};

    Document notes;
    notes.blocks = {para({fnref("x y"), Note{{txt("n "), Emph{{}, {txt("1")}}}}, fnref("missing"),
                          Note{{txt("n2"), fnref("x y")}}})};
    notes.footnotes = {Footnote{"x y", {}}};

    Document unreferenced;
    unreferenced.footnotes = {Footnote{"a", {para({txt("A")})}}};

    check({
        {"repeated references",
         render_doc(repeated),
         "<p>" + ref("fnref-a", "fn-a", 1) + ref("fnref-b", "fn-b", 2) + ref("fnref-a-2", "fn-a", 1) +
             ref("fnref-a-3", "fn-a", 1) + "</p>\n" + section_open + "<li id=\"fn-a\">\n<p>A</p>\n" +
             backref("a", 1) + " " + backref("a", 2) + " " + backref("a", 3) + "\n</li>\n" +
             "<li id=\"fn-b\">\n<p>B</p>\n" + backref("b", 1) + "\n</li>\n" + section_close},
        {"referenced only from a footnote",
         render_doc(nested),
         "<p>" + ref("fnref-1", "fn-1", 1) + "</p>\n" + section_open + "<li id=\"fn-1\">\n<p>one" +
             ref("fnref-2", "fn-2", 2) + "</p>\n" + backref("1", 1) + "\n</li>\n" + "<li id=\"fn-2\">\n<p>two</p>\n" +
             backref("2", 1) + "\n</li>\n" + section_close},
        {"notes, undefined label, empty body",
         render_doc(notes),
         "<p>" + ref("fnref-x%20y", "fn-x%20y", 1) + ref("fnref-__note1", "fn-__note1", 2) +
             ref("fnref-missing", "fn-missing", 3) + ref("fnref-__note2", "fn-__note2", 4) + "</p>\n" +
             section_open + "<li id=\"fn-x%20y\">\n" + backref("x%20y", 1) + " " + backref("x%20y", 2) +
             "\n</li>\n" + "<li id=\"fn-__note1\">\n<p>n <em>1</em></p>\n" + backref("__note1", 1) + "\n</li>\n" +
             "<li id=\"fn-missing\">\n" + backref("missing", 1) + "\n</li>\n" + "<li id=\"fn-__note2\">\n<p>n2" +
             ref("fnref-x%20y-2", "fn-x%20y", 1) + "</p>\n" + backref("__note2", 1) + "\n</li>\n" + section_close},
        {"unreferenced definition", render_doc(unreferenced), ""},
    });
}

TEST(RenderFootnotes, SingleNodeRenderers) {
    // Each renderer numbers from 1, and a definition it cannot see gets an empty body.
    Document empty;
    Block b = para({fnref("a"), Note{{txt("n")}}});
    std::string out;
    Renderer r(empty);
    r.block(b, out);
    r.footnotes_section(out);
    EXPECT_EQ(out, "<p>" + ref("fnref-a", "fn-a", 1) + ref("fnref-__note1", "fn-__note1", 2) + "</p>\n" +
                       section_open + "<li id=\"fn-a\">\n" + backref("a", 1) + "\n</li>\n" +
                       "<li id=\"fn-__note1\">\n<p>n</p>\n" + backref("__note1", 1) + "\n</li>\n" + section_close);

    Inline note = Note{{txt("m")}};
    std::string single;
    Renderer fresh(empty);
    fresh.inline_node(note, single);
    EXPECT_EQ(single, ref("fnref-__note1", "fn-__note1", 1));

    std::string nothing;
    Renderer idle(empty);
    idle.footnotes_section(nothing);
    EXPECT_EQ(nothing, "");
}
