#include <gtest/gtest.h>

#include "entity.hpp"

using namespace quenlor;

TEST(EntityDecode, Table) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"&amp; &lt; &copy; &ngE;", "& < \xC2\xA9 \xE2\x89\xA7\xCC\xB8"},
        {"&#65;&#x41;&#X41;", "AAA"},
        {"&#0;", "\xEF\xBF\xBD"},
        {"&#xD800;", "&#xD800;"},
        {"&#x110000;", "&#x110000;"},
        {"&#12345678;", "&#12345678;"},
        {"&#00000065;", "A"},            // too long for the first pass, decoded by the second
        {"&#x0000041;", "A"},
        {"&#+65;", "A"},
        {"&#x+41;", "A"},
        {"&#++65;", "&#++65;"},
        {"&#;", "&#;"},
        {"&#x;", "&#x;"},
        {"&#00000000;", "\xEF\xBF\xBD"}, // never a NUL character
        {"&#99999999999999999999999;", "&#99999999999999999999999;"},
        {"&#38;amp;", "&"},              // the second pass reads the first pass's output
        {"&amp;#65;", "&#65;"},          // replaced text is not scanned again
        {"&amp;lt;", "&lt;"},
        {"&amp", "&amp"},
        {"&amp x", "&amp x"},
        {"&unknownname;", "&unknownname;"},
        {"&AMP;&amp;", "&&"},
        {"&Amp;", "&Amp;"},              // names are case-sensitive
        {"&&amp;", "&&"},
        {"&;&amp;", "&;&"},
        {"&a&amp;", "&a&"},              // an "&" before ";" abandons the candidate there
        {"&#6&#65;", "&#6A"},
        {"a & b", "a & b"},
        {"x&", "x&"},
        {"&NotNestedGreaterGreater;", "\xE2\xAA\xA2\xCC\xB8"},
    };
    for (const auto& c : cases) EXPECT_EQ(decode_entities(c.in), c.out) << c.in;
}

TEST(EntityLookup, Bisection) {
    EXPECT_EQ(lookup_named_entity("AElig"), "\xC3\x86");  // first entry
    EXPECT_EQ(lookup_named_entity("zwnj"), "\xE2\x80\x8C");  // last entry
    EXPECT_EQ(lookup_named_entity("nbsp"), "\xC2\xA0");
    EXPECT_EQ(lookup_named_entity("amp;"), "");
    EXPECT_EQ(lookup_named_entity(""), "");
    EXPECT_EQ(lookup_named_entity("zzzz"), "");
}
