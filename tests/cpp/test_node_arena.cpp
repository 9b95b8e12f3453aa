// The arena behind a conversion's node lists, and the allocator that lets a
// list live in it or on the general heap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ast.hpp"
#include "node_arena.hpp"
#include "quenlor.hpp"

using namespace quenlor;

namespace {

bool aligned(const void* p) { return reinterpret_cast<std::uintptr_t>(p) % NodeArena::kGrain == 0; }

Inlines sample_tree(NodeArena* arena) {
    NodeAllocator<Inline> alloc(arena);
    Inlines inner(alloc);
    inner.emplace_back(Text{NodeText("inside")});
    inner.emplace_back(Code{{}, CodeText(std::string(200, 'c'))});  // text beyond the node's own room
    Inlines list(alloc);
    list.emplace_back(Text{NodeText("before ")});
    list.emplace_back(Emph{{}, std::move(inner)});
    return list;
}

void expect_sample(const Inlines& list) {
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].as<Text>().text.view(), "before ");
    const Inlines& inner = list[1].as<Emph>().children;
    ASSERT_EQ(inner.size(), 2u);
    EXPECT_EQ(inner[0].as<Text>().text.view(), "inside");
    EXPECT_EQ(inner[1].as<Code>().text.view(), std::string(200, 'c'));
}

}  // namespace

TEST(NodeArena, FreedBlockServesTheNextRequestOfItsSize) {
    NodeArena arena;
    struct Case {
        std::size_t first, second;
        bool reused;
    };
    const Case cases[] = {
        {112, 112, true},
        {100, 112, true},   // the same multiple of the grain
        {112, 113, false},  // one grain more
        {224, 112, false},
        {1, 16, true},
        {0, 16, true},  // a request for nothing still gets a block
        {NodeArena::kMaxBlock, NodeArena::kMaxBlock, true},
        // Larger blocks wait by size class: four per power of two.
        {NodeArena::kMaxBlock + 1, NodeArena::kMaxBlock + 1, true},
        {2600, 3000, true},    // both up to 3072
        {3000, 3100, false},   // 3072, then 3584
        {4096, 3585, true},    // both up to 4096
        {4096, 4097, false},   // the next power of two
        {98304, 81921, true},  // 2048 list items of 48 bytes, and a little more than 5/4 of 2^16
    };
    for (const Case& c : cases) {
        void* a = arena.allocate(c.first);
        ASSERT_NE(a, nullptr);
        arena.deallocate(a, c.first);
        void* b = arena.allocate(c.second);
        EXPECT_EQ(a == b, c.reused) << c.first << " then " << c.second;
        arena.deallocate(b, c.second);
    }
}

TEST(NodeArena, BlocksAreAlignedAndDisjointAcrossChunks) {
    NodeArena arena;
    struct Held {
        unsigned char* p;
        std::size_t size;
    };
    std::vector<Held> held;
    // Enough blocks of assorted sizes (above the largest arena block too) to
    // fill several chunks; each is filled with its own byte.
    for (std::size_t i = 0; i < 3000; ++i) {
        const std::size_t size = 1 + (i * 37) % (NodeArena::kMaxBlock + 300);
        auto* p = static_cast<unsigned char*>(arena.allocate(size));
        ASSERT_TRUE(aligned(p)) << size;
        std::memset(p, static_cast<int>(i % 251), size);
        held.push_back({p, size});
    }
    auto intact = [&](std::size_t from, std::size_t step) {
        for (std::size_t i = from; i < held.size(); i += step)
            for (std::size_t k = 0; k < held[i].size; ++k)
                if (held[i].p[k] != static_cast<unsigned char>(i % 251)) return false;
        return true;
    };
    EXPECT_TRUE(intact(0, 1));
    // Free every other block, reuse the room for new ones, and check that
    // the blocks still held were not handed out again.
    for (std::size_t i = 0; i < held.size(); i += 2) arena.deallocate(held[i].p, held[i].size);
    for (std::size_t i = 0; i < held.size(); i += 2) {
        held[i].p = static_cast<unsigned char*>(arena.allocate(held[i].size));
        std::memset(held[i].p, static_cast<int>(i % 251), held[i].size);
    }
    EXPECT_TRUE(intact(0, 1));
    for (const Held& h : held) arena.deallocate(h.p, h.size);

    const std::size_t reserved = arena.reserved();
    EXPECT_GT(reserved, 2 * NodeArena::kMaxBlock);
    arena.keep_at_most(reserved);  // within the bound: kept
    EXPECT_EQ(arena.reserved(), reserved);
    arena.keep_at_most(reserved - 1);
    EXPECT_EQ(arena.reserved(), 0u);
    void* p = arena.allocate(64);  // usable again afterwards
    EXPECT_TRUE(aligned(p));
    arena.deallocate(p, 64);
}

TEST(NodeAllocator, CopiesLeaveTheArenaMovesKeepIt) {
    NodeArena arena;
    NodeAllocator<Inline> in_arena(&arena);
    Inlines list = sample_tree(&arena);
    ASSERT_EQ(list.get_allocator(), in_arena);

    const Inlines copy = list;
    EXPECT_EQ(copy.get_allocator().arena(), nullptr);
    EXPECT_EQ(copy[1].as<Emph>().children.get_allocator().arena(), nullptr);  // nested lists too
    expect_sample(copy);

    Inlines moved = std::move(list);
    EXPECT_EQ(moved.get_allocator(), in_arena);
    Inlines heap_list;
    heap_list.emplace_back(Text{NodeText("old")});
    heap_list = std::move(moved);  // takes the arena with the nodes
    EXPECT_EQ(heap_list.get_allocator(), in_arena);
    expect_sample(heap_list);

    Inlines other;
    other.emplace_back(Text{NodeText("x")});
    std::swap(other, heap_list);
    EXPECT_EQ(other.get_allocator(), in_arena);
    EXPECT_EQ(heap_list.get_allocator().arena(), nullptr);
    expect_sample(other);
}

TEST(NodeAllocator, CopyOutlivesTheArena) {
    std::unique_ptr<Inlines> copy;
    {
        NodeArena arena;
        Inlines list = sample_tree(&arena);
        copy = std::make_unique<Inlines>(list);
        Blocks blocks((NodeAllocator<Block>(&arena)));
        blocks.emplace_back(Paragraph{{}, std::move(list), {}, {}});
        Blocks kept = blocks;  // a whole block, as a conversion keeps one that holds notes
        ASSERT_EQ(kept.get_allocator().arena(), nullptr);
        ASSERT_EQ(kept[0].as<Paragraph>().inlines.get_allocator().arena(), nullptr);
    }  // the arena's memory is gone; the copy must not point into it
    expect_sample(*copy);
}

// Freed large blocks wait for reuse only up to a bound; the rest, and all of
// them when the arena is trimmed, go back to the general allocator.
TEST(NodeArena, LargeBlocksKeptWithinTheirBound) {
    NodeArena arena;
    const std::size_t size = 256 * 1024;  // exactly the size of its class
    std::vector<void*> held;
    for (std::size_t i = 0; i < 20; ++i) held.push_back(arena.allocate(size));
    const std::size_t all = arena.reserved();
    EXPECT_GE(all, 20 * size);
    for (void* p : held) arena.deallocate(p, size);
    // At most kLargeKept bytes stay; every block beyond them was given back.
    EXPECT_LE(arena.reserved(), NodeArena::kLargeKept);
    EXPECT_GT(arena.reserved(), 0u);
    // The kept blocks serve new requests without taking more memory.
    const std::size_t kept = arena.reserved();
    held.clear();
    while (arena.reserved() == kept && held.size() < 40) held.push_back(arena.allocate(size));
    EXPECT_GT(held.size(), 1u);
    for (void* p : held) arena.deallocate(p, size);
    arena.keep_at_most(0);
    EXPECT_EQ(arena.reserved(), 0u);
}

// A caller converting many documents keeps one arena: each conversion must
// give the same output as a fresh one, and the kept memory must stay bounded.
TEST(NodeArena, ReusedAcrossConversions) {
    std::string long_list;
    for (int i = 0; i < 600; ++i) long_list += "- item *" + std::to_string(i) + "*\n";
    const std::vector<std::string> docs = {
        "# Title\n\nSome *emphasis* and **strong** text with [a link](http://x.org \"t\").\n",
        "- one\n- two\n  - nested *a*\n\n> quote with `code` and a note^[inline *note*]\n",
        "| a | b |\n|---|---|\n| *x* | [y][r] |\n\n[r]: /url\n\nTerm\n: definition\n",
        "",
        "Text[^f] and more.\n\n[^f]: The **footnote**.\n\n::: box\n# Inside\n:::\n",
        long_list,  // lists larger than the arena's blocks
    };
    for (bool smart : {false, true}) {
        Options options;
        options.smart = smart;
        NodeArena arena;
        for (int round = 0; round < 2; ++round)
            for (const std::string& md : docs)
                EXPECT_EQ(to_xhtml(md, options, arena), to_xhtml(md, options)) << md;
        const std::size_t kept = arena.reserved();
        for (const std::string& md : docs) to_xhtml(md, options, arena);
        EXPECT_EQ(arena.reserved(), kept) << "the same documents again need no more memory";
    }
}
