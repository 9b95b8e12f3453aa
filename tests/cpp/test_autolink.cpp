#include <gtest/gtest.h>

#include <string>

#include "inline/inline.hpp"

using namespace quenlor;

namespace {

// "url|text|email|end" for an autolink, "html:...|end" for raw HTML, "" for nothing.
std::string angle(std::string_view text, std::size_t pos = 0, bool tagfilter = false) {
    auto m = angle_or_html(text, pos, tagfilter);
    if (!m) return "";
    if (auto* a = m->node.get_if<Autolink>())
        return a->url + "|" + a->text + "|" + (a->email ? "e" : "-") + "|" + std::to_string(m->end);
    return "html:" + m->node.as<HtmlInline>().html + "|" + std::to_string(m->end);
}

// "[ordinary]url|text|email" up to the end, or "" for nothing.
std::string bare(std::string_view text, std::size_t pos = 0, bool bracket_open = false) {
    auto m = bare_autolink(text, pos, bracket_open);
    if (!m) return "";
    std::string out;
    if (m->link_start > pos) out += "[" + std::string(text.substr(pos, m->link_start - pos)) + "]";
    out += m->node.url + "|" + m->node.text + "|" + (m->node.email ? "e" : "-");
    out += "|" + std::to_string(m->end);
    return out;
}

struct Case {
    std::string_view input;
    std::string_view expect;
};

}  // namespace

TEST(AutolinkAngle, AutolinksAndRawHtml) {
    const Case cases[] = {
        {"<https://a.b/c>", "https://a.b/c|https://a.b/c|-|15"},
        {"<a:b>", ""},                                   // scheme of one letter
        {"<ab:>", "ab:|ab:|-|5"},
        {"<MAILTO:FOO@BAR.BAZ>", "MAILTO:FOO@BAR.BAZ|MAILTO:FOO@BAR.BAZ|-|20"},
        {"<a+b.c-d:x>", "a+b.c-d:x|a+b.c-d:x|-|11"},
        {"<1a:x>", ""},                                  // scheme must start with a letter
        {"<http://a b>", ""},                            // space after the colon
        {"<http://a\xC2\xA0" "b>", ""},                  // no-break space is whitespace too
        {"<u@x.y>", "mailto:u@x.y|u@x.y|e|7"},
        {"<foo@bar>", ""},                               // domain without a dot
        {"<a@-b.cd>", ""},
        {"<b>", "html:<b>|3"},
        {"</b >", "html:</b >|5"},
        {"</ b>", ""},
        {"<b title='x>y'>", "html:<b title='x>y'>|15"},
        {"<a href=\"*\" title='`' data-x=y z>", "html:<a href=\"*\" title='`' data-x=y z>|33"},
        {"<a b = c/>", "html:<a b = c/>|10"},
        {"<a b=>", ""},                                  // "=" without a value
        {"<a b='c>", ""},                                // unclosed quote
        {"<a/ >", ""},
        {"<a.b>", ""},
        {"<!-- x -->", "html:<!-- x -->|10"},
        {"<!-->", "html:<!-->|5"},
        {"<!--->", "html:<!--->|6"},
        {"<?php x ?>", "html:<?php x ?>|10"},
        {"<?>", "html:<?>|3"},
        {"<![cdata[a<b]]>", "html:<![cdata[a<b]]>|15"},
        {"<!DOCTYPE html>", "html:<!DOCTYPE html>|15"},
        {"<!doctype html>", ""},
        {"<!DOCTYPE>", ""},
        {"<3", ""},
        {"<>", ""},
        {"<", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(angle(c.input), c.expect) << c.input;
}

TEST(AutolinkAngle, StartsAtGivenPosition) {
    EXPECT_EQ(angle("x <b>y", 2), "html:<b>|5");
    EXPECT_EQ(angle("x <b>y", 0), "");
}

TEST(AutolinkAngle, TagFilterNeutralisesRawHtmlOnly) {
    EXPECT_EQ(angle("<script>", 0, true), "html:&lt;script>|8");
    EXPECT_EQ(angle("</SCRIPT>", 0, true), "html:&lt;/SCRIPT>|9");
    EXPECT_EQ(angle("<scripts>", 0, true), "html:<scripts>|9");
    EXPECT_EQ(angle("<script>", 0, false), "html:<script>|8");
}

TEST(AutolinkAngle, WindowLimits) {
    // An autolink may be 1025 bytes long, "<" and ">" included.
    std::string url = "http://" + std::string(1016, 'a');
    EXPECT_EQ(angle("<" + url + ">"), url + "|" + url + "|-|1025");
    EXPECT_EQ(angle("<" + url + "a>"), "");
    // A comment at most 1024 bytes.
    std::string comment = "<!--" + std::string(1017, 'x') + "-->";
    ASSERT_EQ(comment.size(), 1024u);
    EXPECT_EQ(angle(comment), "html:" + comment + "|1024");
    EXPECT_EQ(angle("<!--x" + comment.substr(4)), "");
    // An open tag whose ">" is 1024 bytes after "<".
    std::string tag = "<a title=\"" + std::string(1013, 'x') + "\">";
    ASSERT_EQ(tag.size(), 1025u);
    EXPECT_EQ(angle(tag), "html:" + tag + "|1025");
    EXPECT_EQ(angle("<a title=\"x" + tag.substr(10)), "");
}

TEST(AutolinkEmail, IsEmail) {
    const std::pair<std::string_view, bool> cases[] = {
        {"u@x.y", true},
        {"foo.bar+baz@example.co.uk", true},
        {"!#$%&'*+/=?^_`{|}~-@a.b", true},
        {"a_b@c_d.e-f", true},
        {"@x.y", false},
        {"u@", false},
        {"u@x", false},
        {"u@x..y", false},
        {"u@x.y@z", false},
        {"u v@x.y", false},
        {"u\\@x.y", false},
        {"u@x.-y", false},
        {"u@x.y-", false},
        {"\xC3\xA9@x.y", false},
    };
    for (const auto& [text, ok] : cases) EXPECT_EQ(is_email(text), ok) << text;
}

TEST(AutolinkEmail, BareEmailPrefix) {
    const Case cases[] = {
        {"u@x.y.", "u@x.y"},
        {"(u@x.y)", ""},       // "(" is not stripped and is no local character
        {".,u@x.y),", "u@x.y"},
        {"u@x.y_", ""},
        {"u@x.y-", ""},
        {"u@x.y-z.com", "u@x.y-z.com"},
        {"u@x.y/txt", "u@x.y"},
        {"u@x.y.z!", "u@x.y.z"},
        {"u@x", ""},
        {"u@x.y]", "u@x.y"},
    };
    for (const auto& c : cases) {
        auto r = bare_email_prefix(c.input);
        EXPECT_EQ(r ? std::string(*r) : "", c.expect) << c.input;
    }
}

TEST(AutolinkBare, Rules) {
    const Case cases[] = {
        {"www.x.y.", "http://www.x.y|www.x.y|-|7"},
        {"http://a.b/c)", "http://a.b/c|http://a.b/c|-|12"},
        {"http://a.b/(c)", "http://a.b/(c)|http://a.b/(c)|-|14"},
        {"http://a.b/x&amp;", "http://a.b/x|http://a.b/x|-|12"},
        {"http://a.b/x&a-b;", "http://a.b/x&a-b;|http://a.b/x&a-b;|-|17"},
        {"http://a.b/x;;", "http://a.b/x|http://a.b/x|-|12"},
        {"http://a.b?.", "http://a.b|http://a.b|-|10"},
        {"http://a.b.?x", ""},      // empty last label
        {"http://a_b.c", ""},
        {"http://x_y.a.b/", "http://x_y.a.b/|http://x_y.a.b/|-|15"},
        {"http://a.b-", ""},
        {"http://a..b", ""},
        // A host that ends at "/" or "?" is judged there, whatever is cut after it.
        {"http://a.b-/x", ""},
        {"http://-a.b/x", "http://-a.b/x|http://-a.b/x|-|13"},
        {"http://a.b/.", "http://a.b/|http://a.b/|-|11"},
        {"http://\xC3\xA9.b/x", "http://\xC3\xA9.b/x|http://\xC3\xA9.b/x|-|13"},
        {"http://x_y.a_b.c/x", ""},
        {"http://a.b_?x", ""},
        {"http://", ""},
        {"http://localhost:8080/x", "http://localhost:8080/x|http://localhost:8080/x|-|23"},
        {"ftp://a.b/c,", "ftp://a.b/c|ftp://a.b/c|-|11"},
        {"https://a.b<br>", "https://a.b|https://a.b|-|11"},
        {"HTTP://a.b", ""},
        {"www.", ""},               // nothing left but "www"
        {"www..", ""},
        {"mailto:u@x.y", "mailto:u@x.y|mailto:u@x.y|e|12"},
        {"MAILTO:u@x.y.", "mailto:u@x.y|MAILTO:u@x.y|e|12"},
        {"mailto:foo@bar.baz/txt", "mailto:foo@bar.baz|mailto:foo@bar.baz|e|18"},
        {"mailto:nobody", ""},
        {"xmpp:u@x.y/home.", "xmpp:u@x.y/home|xmpp:u@x.y/home|-|15"},
        {"XMPP:u@x.y", "XMPP:u@x.y|XMPP:u@x.y|-|10"},
        {"u@x.y.", "mailto:u@x.y|u@x.y|e|5"},
        {"..u@x.y", "[..]mailto:u@x.y|u@x.y|e|7"},
        {"u@x.y_", ""},
        {"plain", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(bare(c.input), c.expect) << c.input;
}

TEST(AutolinkBare, BoundaryAndContext) {
    const Case cases[] = {
        {"xhttp://a.b", ""},
        {"_http://a.b", ""},
        {"*http://c.d*", "http://c.d|http://c.d|-|11"},
        {"(www.x.y)", "http://www.x.y|www.x.y|-|8"},
        {"\xE3\x80\x80www.x.y", "http://www.x.y|www.x.y|-|10"},  // ideographic space
        {"![http://a.b", ""},
        {"< http://d.e>", ""},
        {"<  u@x.y", ""},
        {"a u@x.y", "mailto:u@x.y|u@x.y|e|7"},
        {"xu@x.y", ""},
    };
    for (const auto& c : cases) {
        // Each case is tried at the first letter of the link text.
        std::string_view in = c.input;
        std::size_t pos = in.find_first_of("hwu");
        EXPECT_EQ(bare(in, pos), c.expect) << in;
    }
}

TEST(AutolinkBare, OpenBracketStopsUrlBeforeClosingBracket) {
    EXPECT_EQ(bare("[see http://a.b/c]", 5, true), "http://a.b/c|http://a.b/c|-|17");
    EXPECT_EQ(bare("[http://a.b](x)", 1, true), "http://a.b|http://a.b|-|11");
    EXPECT_EQ(bare("[http://a.b](x)", 1, false), "http://a.b](x)|http://a.b](x)|-|15");
}

TEST(AutolinkBare, WordAndTrimHelpers) {
    std::string long_word(300, 'a');
    EXPECT_EQ(bounded_autolink_word(long_word, 0).size(), 255u);
    // A two-byte character straddling the bound is left out whole.
    std::string straddle = std::string(254, 'a') + "\xC3\xA9";
    EXPECT_EQ(bounded_autolink_word(straddle, 0).size(), 254u);
    EXPECT_EQ(bounded_autolink_word("ab cd", 0), "ab");
    EXPECT_EQ(bounded_autolink_word("ab\xC2\xA0" "cd", 0), "ab");
    std::string_view t = "x(a))).";
    EXPECT_EQ(trim_bare_url_end(t, 0, t.size()), 4u);
    EXPECT_TRUE(preceded_by_angle_opener("< \t x", 4));
    EXPECT_FALSE(preceded_by_angle_opener("a x", 2));
    EXPECT_FALSE(preceded_by_angle_opener("  x", 2));
}

TEST(AutolinkBare, LongWhitespaceFreeRunsStayFast) {
    // Every "http://" follows a boundary but has a bad host; each try must stop
    // at its own host instead of reading the whole run.
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "http://a_b/";
    std::string www;
    for (int i = 0; i < 20000; ++i) www += "www._(";
    std::string email;
    for (int i = 0; i < 20000; ++i) email += "(a@";
    for (const std::string& t : {text, www, email})
        for (std::size_t p = 0; p < t.size(); ++p) ASSERT_FALSE(bare_autolink(t, p)) << p;
}

TEST(AutolinkBare, HostLengthBound) {
    std::string host = "www." + std::string(247, 'a') + ".com";  // 255 bytes
    EXPECT_EQ(bare(host + "..."), "http://" + host + "|" + host + "|-|255");
    EXPECT_EQ(bare(host + "/x"), "http://" + host + "/x|" + host + "/x|-|257");
    EXPECT_EQ(bare("www.a" + host.substr(4)), "");  // 256 bytes
    EXPECT_EQ(bare("http://a" + host + "/"), "");
}
