// to_xhtml finalises and renders one top-level block at a time; its output must
// equal rendering the whole parsed tree at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quenlor.hpp"
#include "render/render.hpp"

using namespace quenlor;

namespace {

std::string whole_tree(const std::string& md, const Options& options) {
    return to_xhtml_document(parse(md, options));
}

}  // namespace

TEST(StreamedConversion, SameAsWholeTree) {
    const std::vector<std::string> docs = {
        "",
        "# A\n\n# A\n\n# A-1 {#a-2}\n\n> # A\n\n- # A\n\n## Later {#a-1}\n",
        // An explicit id further down is already taken for the earlier headings.
        "# Intro\n\nText.\n\n# Intro\n\n### Other {#intro-1}\n",
        "Text with a note.^[Inline *note* here.] More^[second].\n\n- item^[in a list]\n\nEnd[^f].\n\n[^f]: Body ^[nested]\n",
        "\"Quotes\" -- and 'more'... [^a]\n\n[^a]: \"Foot\" -- note.\n\n# \"Smart\" heading\n",
        "+---+---+\n| # H | b |\n+===+===+\n| c | d |\n+---+---+\n\n# H\n",
        "Term\n: # Def heading\n\n<div markdown=\"1\">\n# Inside\n</div>\n\n::: note\n# Inside\n:::\n",
        "<b>unclosed\n\npara *x* <i>y\n",
        // Paragraphs are parsed as they are rendered: lone images still become
        // figures, footnotes are numbered in the order their references are
        // written, wherever the paragraphs sit.
        "![only](/i.png)\n\n  ![spaced](/s.png){#f .c}\n\n!not an image\n\n![a](/a) and text\n",
        "Uses [^b] first.\n\n- tight [^a]\n- | t |\n  |---|\n  | [^c] |\n\nTerm\n: def [^d]\n\n> quoted [^a] [ref]\n\n"
        "[^a]: A with [^e].\n[^b]: B\n[^c]: C\n[^d]: D\n[^e]: E\n\n[ref]: /later\n",
        "*[HTML]: Hyper\n\nHTML here {.cls}\n\n::: div\nInside HTML *div*\n:::\n\n1. loose\n\n2. item\n",
        "crlf *text*\r\nsecond line\r\n\r\n- item\r\n",
        // Paragraphs copied out of their lines (in a quote, continued in a
        // list item) are parsed as they are rendered too, from the copy.
        "> Quoted *em\n> phasis* [^a] and \"q\" --\n> ![img](/i)\n\n> ![lone](/l.png)\n> \n\n"
        "- item line\n  continued *x\n  y* [^a] ^[note\n  here]\n- b\n\n  loose\n  two\n\n[^a]: A\n  cont *z*\n",
        // Smart punctuation sees a paragraph's texts joined as the tree holds
        // them: the quotes after an unmatched "*" or "[" close.
        "Stray a*\"quoted\" and [b'q' -- *c*\"d\"...\n\n- x*\"y\" [z](/u \"t\")'s\n",
    };
    for (bool smart : {false, true})
        for (bool auto_ids : {true, false}) {
            Options options;
            options.smart = smart;
            options.auto_ids = auto_ids;
            for (const std::string& md : docs)
                EXPECT_EQ(to_xhtml(md, options), whole_tree(md, options)) << "smart " << smart << " auto_ids " << auto_ids << "\n" << md;
        }
}
