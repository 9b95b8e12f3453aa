// Abbreviation marking through the key trie, checked against a direct search
// that tries every key at every word start.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "inline/abbr_trie.hpp"
#include "inline/inline.hpp"
#include "quenlor.hpp"
#include "unicode.hpp"

using namespace quenlor;

namespace {

bool word_char(char32_t c) { return c == '_' || is_alphanumeric(c); }

// Segments "T:text" / "A:key" as the direct search marks them.
std::vector<std::string> direct_marks(std::string_view v, const std::vector<std::string>& keys) {
    std::vector<std::string> out;
    std::size_t seg = 0, i = 0;
    bool prev_word = false;
    while (i < v.size()) {
        bool matched = false;
        if (!prev_word) {
            for (const std::string& key : keys) {  // longest first
                if (v.compare(i, key.size(), key) != 0) continue;
                std::size_t e = i + key.size(), p = e;
                if (e < v.size() && word_char(decode_utf8(v, p))) continue;
                if (i > seg) out.push_back("T:" + std::string(v.substr(seg, i - seg)));
                out.push_back("A:" + key);
                prev_word = word_char(decode_utf8_before(v, e));
                i = seg = e;
                matched = true;
                break;
            }
        }
        if (!matched) prev_word = word_char(decode_utf8(v, i));
    }
    if (seg < v.size()) out.push_back("T:" + std::string(v.substr(seg)));
    return out;
}

std::vector<std::string> scanner_marks(const Inlines& list) {
    std::vector<std::string> out;
    for (const Inline& x : list) {
        if (const Text* t = x.get_if<Text>()) out.push_back("T:" + t->text);
        else if (const Abbr* a = x.get_if<Abbr>()) out.push_back("A:" + a->text);
        else out.push_back("?");
    }
    return out;
}

std::string random_text(std::mt19937& rng, const std::vector<std::string>& alphabet, std::size_t n) {
    std::string s;
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (std::size_t i = 0; i < n; ++i) s += alphabet[pick(rng)];
    return s;
}

}  // namespace

TEST(AbbrTrie, SameMarksAsDirectSearch) {
    // A small alphabet makes keys overlap, nest and collide with word ends often.
    // Later rounds add bytes that decode to no character (a stray lead byte,
    // a lone continuation byte that also ends "\xC3\x9F", an invalid byte).
    const std::vector<std::string> valid = {"a", "b", "A", "1", " ", ".", "\xC3\xA9", "\xC3\x9F", "\xE2\x80\x94"};
    std::vector<std::string> mixed = valid;
    for (const char* bad : {"\xC3", "\x9F", "\xFF"}) mixed.emplace_back(bad);
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        const std::vector<std::string>& alphabet = round < 40 ? valid : mixed;
        AbbrMap abbrs;
        std::uniform_int_distribution<std::size_t> len(1, 5);
        std::size_t key_count = round % 20 < 10 ? 3 : 300;
        for (std::size_t k = 0; k < key_count; ++k) abbrs.emplace(random_text(rng, alphabet, len(rng)), "t");
        InlineContext ctx;
        set_abbreviations(ctx, abbrs);
        for (int t = 0; t < 20; ++t) {
            std::string text = random_text(rng, alphabet, 60);
            // Runs of spaces and a trailing space are left to the scanner's other rules.
            if (text.find("  ") != std::string::npos || text.back() == ' ') continue;
            ASSERT_EQ(scanner_marks(parse_inner(text, ctx, 0)), direct_marks(text, ctx.abbr_keys))
                << "text: " << text;
        }
    }
}

// The search for the next byte that may start a key, with few distinct first
// bytes (searched sixteen at a time) and with many, near block edges and ends.
TEST(AbbrTrie, NextStart) {
    const AbbrTrie few({"Qa", "Zb", "Q"});
    std::vector<std::string> many_keys;
    for (char c = 'A'; c <= 'Z'; ++c) many_keys.push_back(std::string(1, c) + "x");
    const AbbrTrie many(many_keys);
    const std::string pad(40, 'a');
    struct Case {
        std::string text;
        std::size_t from;
        std::size_t few, many;
    };
    const std::vector<Case> cases = {
        {"", 0, 0, 0},
        {pad, 0, 40, 40},
        {pad.substr(0, 15) + "Z", 0, 15, 15},
        {pad.substr(0, 16) + "Q", 0, 16, 16},
        {pad.substr(0, 31) + "QB", 0, 31, 31},
        {pad.substr(0, 5) + "B" + pad.substr(0, 30) + "Z", 0, 36, 5},
        {"QQ" + pad, 1, 1, 1},
        {"QQ" + pad, 2, 42, 42},
        {pad + "Q", 41, 41, 41},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(few.next_start(c.text, c.from), c.few) << c.text << " from " << c.from;
        EXPECT_EQ(many.next_start(c.text, c.from), c.many) << c.text << " from " << c.from;
    }
}

TEST(AbbrTrie, LongestKeyThatEndsAWord) {
    InlineContext ctx;
    set_abbreviations(ctx, {{"AB", "x"}, {"ABC", "y"}, {"ABCD", "z"}, {"A", "w"}});
    EXPECT_EQ(ctx.abbr_keys, (std::vector<std::string>{"ABCD", "ABC", "AB", "A"}));
    EXPECT_EQ(scanner_marks(parse_inner("ABCDE ABCx ABC A", ctx, 0)),
              (std::vector<std::string>{"T:ABCDE ABCx ", "A:ABC", "T: ", "A:A"}));
}

// A thousand abbreviations that never occur leave conversion nearly as fast as none.
TEST(AbbrTrie, ManyKeysCostLittle) {
    std::string body;
    for (int i = 0; i < 400; ++i)
        body += "The parser reads a *block* and the renderer writes its output, then the next one starts.\n"
                "Words like ABC9 and Zeta appear in text, with [links](http://x.y) here and there.\n\n";
    std::string defs;
    for (int i = 0; i < 1000; ++i) defs += "*[KEY" + std::to_string(i) + "X]: expansion " + std::to_string(i) + "\n";
    defs += "\n";
    Options options;
    auto best_of = [&](const std::string& doc) {
        double best = 1e9;
        for (int r = 0; r < 5; ++r) {
            auto t0 = std::chrono::steady_clock::now();
            std::size_t n = to_xhtml(doc, options).size();
            auto t1 = std::chrono::steady_clock::now();
            EXPECT_GT(n, 0u);
            best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
        }
        return best;
    };
    double plain = best_of(body);
    double with_keys = best_of(defs + body);
    // Generous bound: a per-key search would be hundreds of times slower.
    EXPECT_LT(with_keys, plain * 3 + 0.002) << "plain " << plain << " s, with 1000 keys " << with_keys << " s";
}
