#include <gtest/gtest.h>

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
