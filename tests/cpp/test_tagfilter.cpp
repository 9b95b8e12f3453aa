#include <gtest/gtest.h>

#include "tagfilter.hpp"

using namespace quenlor;

TEST(TagfilterStart, Names) {
    for (std::string_view yes : {"<script>", "</script>", "<SCRIPT src=x>", "<Title/>", "<xmp\n", "<iframe\t",
                                 "<plaintext>", "<noembed>", "<noframes>", "<textarea>", "<style>",
                                 "<style\xE3\x80\x80"})
        EXPECT_TRUE(is_tagfiltered_start(yes)) << yes;
    for (std::string_view no : {"<scripts>", "<script1>", "<script-x>", "<script", "</", "<", "<div>",
                                "<!-- script -->", "<?script>", "< script>", "script>", ""})
        EXPECT_FALSE(is_tagfiltered_start(no)) << no;
}

TEST(TagfilterHtml, Rewrites) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"<script src=\"x.js\"></script>", "&lt;script src=\"x.js\">&lt;/script>"},
        {"<!-- <script> --><b>x</b>", "<!-- &lt;script> --><b>x</b>"},
        {"<IFRAME src=a></IFRAME>", "&lt;IFRAME src=a>&lt;/IFRAME>"},
        {"a < b <style", "a < b <style"},
        {"<<script>", "<&lt;script>"},
    };
    for (const auto& c : cases) EXPECT_EQ(tagfilter_html(c.in), c.out) << c.in;
}
