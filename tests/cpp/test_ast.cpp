#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ast.hpp"

using namespace quenlor;

TEST(AstAttr, PushClass) {
    Attr a;
    a.push_class("x");
    a.push_class("x");
    a.push_class("");
    a.push_class("y");
    EXPECT_EQ(a.classes(), (std::vector<std::string>{"x", "y"}));
}

TEST(AstAttr, SetPair) {
    Attr a;
    a.set_pair("class", "one  two\tthree\xE3\x80\x80" "four one");
    EXPECT_EQ(a.classes(), (std::vector<std::string>{"one", "two", "three", "four"}));
    a.set_pair("class", "   ");
    EXPECT_EQ(a.classes().size(), 4u);

    a.set_pair("k", "1");
    a.set_pair("x", "2");
    a.set_pair("k", "3");
    EXPECT_EQ(a.pairs(), (std::vector<std::pair<std::string, std::string>>{{"k", "3"}, {"x", "2"}}));

    a.set_pair("id", "");
    ASSERT_TRUE(a.id());
    EXPECT_EQ(*a.id(), "");
    EXPECT_FALSE(a.empty());
    for (const auto& p : a.pairs()) EXPECT_TRUE(p.first != "id" && p.first != "class");
}

TEST(AstAttr, Merge) {
    Attr a;
    a.set_id("a");
    a.push_class("x");
    a.set_pair("k", "1");
    Attr b;
    b.set_id("b");
    b.push_class("y");
    b.push_class("x");
    b.set_pair("k", "2");
    b.set_pair("j", "3");
    a.merge(b);
    EXPECT_EQ(a.id(), "b");
    EXPECT_EQ(a.classes(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(a.pairs(), (std::vector<std::pair<std::string, std::string>>{{"k", "2"}, {"j", "3"}}));

    Attr keep;
    keep.set_id("kept");
    keep.merge(Attr{});  // an absent id does not clear the present one
    EXPECT_EQ(keep.id(), "kept");

    Attr self = a;
    self.merge(self);
    EXPECT_EQ(self, a);
}

TEST(AstKinds, NamesAndTask) {
    EXPECT_EQ(kind_name(Inline(MathInline{})), "math_inline");
    EXPECT_EQ(kind_name(Block(CodeBlock{})), "code_block");
    EXPECT_EQ(align_text(Align::Center), "center");
    EXPECT_EQ(align_text(Align::None), "");
    ListItem plain, task;
    task.checked = TaskState::Unchecked;
    EXPECT_NE(plain.checked, task.checked);
}

TEST(AstAlignList, CopiesAreIndependent) {
    AlignList a{Align::Left, Align::None, Align::Right};
    AlignList b = a;
    b = AlignList{Align::Center};
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[2], Align::Right);
    EXPECT_EQ(b.size(), 1u);
    AlignList c;
    c = a;
    EXPECT_EQ(c, a);
    EXPECT_NE(c, b);
    std::vector<Align> seen(c.begin(), c.end());
    EXPECT_EQ(seen, (std::vector<Align>{Align::Left, Align::None, Align::Right}));
    // An empty list, made or moved from, reads as empty.
    AlignList moved = std::move(c);
    EXPECT_EQ(moved.size(), 3u);
    EXPECT_TRUE(AlignList(std::vector<Align>{}).empty());
    EXPECT_EQ(AlignList().view().size(), 0u);
}

// A text node's bytes stay right through every change that moves them
// between the node and the heap: sizes around the inline capacity, appends
// that cross it, trimming either end, and copies and moves of both forms.
template <class T>
void check_both_forms() {
    const std::size_t cap = T::kInlineCapacity;
    const auto text = [](std::size_t n, char first) {
        std::string s(n, ' ');
        for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i % 26);
        return s;
    };
    for (std::size_t a : {std::size_t{0}, std::size_t{1}, cap - 1, cap, cap + 1, 3 * cap}) {
        for (std::size_t b : {std::size_t{0}, std::size_t{1}, cap, 2 * cap}) {
            const std::string sa = text(a, 'a'), sb = text(b, 'A');
            T t(sa);
            EXPECT_EQ(t, sa);
            t += sb;
            t.append(sb);
            std::string expected = sa + sb + sb;
            ASSERT_EQ(t, expected) << a << "+" << b;

            const std::size_t cut = expected.size() / 3;
            t.remove_prefix(cut);
            t.remove_suffix(cut / 2);
            expected = expected.substr(cut, expected.size() - cut - cut / 2);
            ASSERT_EQ(t.view(), expected) << a << "+" << b;

            T copy = t;
            T moved = std::move(t);
            EXPECT_TRUE(t.empty());  // a moved-from text is empty and usable
            t += "x";
            EXPECT_EQ(t, "x");
            EXPECT_EQ(copy, expected);
            EXPECT_EQ(moved, expected);
            copy = moved;
            moved = std::move(copy);
            moved = moved;
            EXPECT_EQ(moved, expected);
            moved = std::string_view(sa);
            EXPECT_EQ(moved, sa);
        }
    }
}

TEST(AstNodeText, KeepsItsBytesAcrossBothForms) {
    check_both_forms<NodeText>();
    check_both_forms<UrlText>();
}

TEST(AstNodeText, BuiltFromABufferHoldsOnlyItsBytes) {
    // A short text may be copied with the bytes after it: those must never
    // show, and nothing past the buffer's readable end may be read (each
    // buffer is a heap block of its exact size, for the address sanitizer).
    const std::string all = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-=+!0123456789";
    for (std::size_t size : {0, 5, 31, 32, 33, 63, 64, 65, 68}) {
        auto buffer = std::make_unique<char[]>(size);
        all.copy(buffer.get(), size);
        const char* end = buffer.get() + size;
        for (std::size_t from = 0; from <= size; ++from) {
            for (std::size_t len = 0; from + len <= size; ++len) {
                const std::string expected = all.substr(from, len);
                NodeText t(TextInBuffer{std::string_view(buffer.get() + from, len), end});
                ASSERT_EQ(t, expected) << size << " " << from << " " << len;
                t += "|";
                ASSERT_EQ(t, expected + "|");
                t.remove_prefix(std::min<std::size_t>(len, 2));
                ASSERT_EQ(t, expected.substr(std::min<std::size_t>(len, 2)) + "|");
            }
        }
    }
}

TEST(AstNodeText, OptionalTitleCopiesAndCompares) {
    OptionalText none, empty(""), t("t");
    EXPECT_FALSE(none);
    EXPECT_TRUE(empty);  // an empty title is still a title
    EXPECT_EQ(*empty, "");
    OptionalText copy = t;
    *copy += "2";
    EXPECT_EQ(*t, "t");
    EXPECT_EQ(*copy, "t2");
    EXPECT_FALSE(none == empty);
    EXPECT_TRUE(none == std::nullopt);
    EXPECT_TRUE(OptionalText(std::optional<std::string>("t")) == t);
    copy = none;
    EXPECT_FALSE(copy);
}

TEST(AstNodeText, GrowsLinearlyByAppends) {
    // Many small appends (texts coalesced one after another) keep every byte.
    NodeText t;
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const std::string piece(static_cast<std::size_t>(i % 7), static_cast<char>('a' + i % 26));
        t += piece;
        expected += piece;
    }
    EXPECT_EQ(t, expected);
    EXPECT_EQ(std::string("<") + t, "<" + expected);
}
