// Output balancing.
#include <gtest/gtest.h>

#include "balance.hpp"

using namespace quenlor;

TEST(Balance, Fragments) {
    struct Case {
        const char* name;
        const char* in;
        const char* want;
    } cases[] = {
        {"nothing open", "<p>a <em>b</em></p>\n<hr />\n", "<p>a <em>b</em></p>\n<hr />\n"},
        {"empty", "", ""},
        {"closed before final newline", "<div>\n<p>x</p>\n", "<div>\n<p>x</p></div>\n"},
        {"no final newline", "<em>a<", "<em>a<</em>"},
        {"stray end tag", "<p>a</span>b</p>\n", "<p>ab</p>\n"},
        // Text that meets across a dropped end tag must not become a tag.
        {"dropped after a literal lt", "<p><</x>i</p>", "<p>&lt;i</p>"},
        {"dropped after a literal lt and slash", "<p></</u>i</p>", "<p>&lt;/i</p>"},
        {"dropped after a literal lt and slash, twice", "</</u></v>i", "&lt;/i"},
        {"skipped elements closed innermost first", "<div><B><i>x</div>", "<div><B><i>x</i></B></div>"},
        {"case-insensitive end tag", "<SPAN>a</span>", "<SPAN>a</span>"},
        {"inserted end tag keeps capitals", "<P><SPAN>a</p>", "<P><SPAN>a</SPAN></p>"},
        {"topmost of several", "<i><b><i>x</i>y</i>", "<i><b><i>x</i>y</b></i>"},
        {"void elements", "a<br>b</br>c<BR>d<hr/>e<img src=\"i.png\" >f<wbr />",
         "a<br />bc<BR />d<hr/>e<img src=\"i.png\" />f<wbr />"},
        {"void with slash and space", "<br/ >", "<br/ >"},
        {"self-closed non-void untracked", "<div/><span />x", "<div/><span />x"},
        {"literal lt", "1 < 2 <3 </ 4 <-a <", "1 < 2 <3 </ 4 <-a <"},
        {"names with digits and hyphens", "<h1-x><my-el2>t</MY-EL2>", "<h1-x><my-el2>t</MY-EL2></h1-x>"},
        {"lt without gt", "<div>\n1 < 2 <b", "<div>\n1 < 2 &lt;b</div>"},
        {"tag runs to the next gt", "<a <b>x", "<a <b>x</a>"},
        {"quoted gt", "<a title=\"x>y\" b='>'>t</a>", "<a title=\"x>y\" b='>'>t</a>"},
        {"unterminated quote", "<a title=\"x>y", "&lt;a title=\"x>y"},
        {"quote only from the outer tag's view", "<a \" <b>x", "&lt;a \" <b>x</b>"},
        {"comment", "<!-- <p> -->x", "<!-- <p> -->x"},
        {"comment opener with gt", "<!--><i>x", "<!--><i>x</i>"},
        {"unterminated comment", "<p><!-- x", "<p><!-- x--></p>"},
        {"declaration and pi", "<!DOCTYPE html><?x '>' <i> ?>y", "<!DOCTYPE html><?x '>' <i> ?>y"},
        {"unterminated pi", "<?x <p>", "<?x <p>"},
        // An instruction without "?>" ends at its first ">"; ending a later one
        // with ">" must not make the "?>" that would end it far later.
        {"unterminated pi closed without making a terminator", "<p><?a>b<?", "<p><?a>b<? ></p>"},
        {"unterminated cdata closed without making a terminator", "<p><![CDATA[a>b<![CDATA[]]",
         "<p><![CDATA[a>b<![CDATA[]] ></p>"},
        {"script content untouched", "<script>if (a<b) x='</p>'</SCRIPT >z</p>",
         "<script>if (a<b) x='</p>'</SCRIPT >z"},
        {"script end needs a delimiter", "<style></styles></style>", "<style></styles></style>"},
        {"unterminated script", "a <Script>b</p>\n", "a <Script>b</p>\n</Script>"},
        {"unterminated script closes open ones", "<p>a <script>b</p>\n", "<p>a <script>b</p>\n</script></p>"},
        {"self-closed raw text", "<script/><i>x", "<script/><i>x</i>"},
        {"end tag with attributes", "<p>a</p class=\"x\">", "<p>a</p class=\"x\">"},
        // Names the converter writes are counted apart from any others.
        {"common and other names interleaved", "<div><custom><P>x</CUSTOM>y", "<div><custom><P>x</P></CUSTOM>y</div>"},
        {"names longer than eight bytes", "<blockquote><figcaption>x</BLOCKQUOTE>",
         "<blockquote><figcaption>x</figcaption></BLOCKQUOTE>"},
        {"a prefix or extension of a common name is another name", "<spa><spanx>x</span></spa>",
         "<spa><spanx>x</spanx></spa>"},
        {"eight- and nine-byte raw text names", "<textarea><b></textarea><plaintext><i>",
         "<textarea><b></textarea><plaintext><i></plaintext>"},
    };
    for (const auto& c : cases) EXPECT_EQ(balance_fragment(c.in), c.want) << c.name;
}

TEST(Balance, ManyUnclosedTagsStayLinear) {
    // Each "<a" lacks a ">"; scanning the rest for every one would be quadratic.
    std::string in;
    for (int i = 0; i < 200000; ++i) in += "<a \"";
    std::string out = balance_fragment(in);
    EXPECT_EQ(out.size(), in.size() + 3 * 200000);
    EXPECT_EQ(out.substr(0, 10), "&lt;a \"&lt");
}
