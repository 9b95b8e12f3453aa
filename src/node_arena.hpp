// Memory for the node lists of one conversion.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QUENLOR_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define QUENLOR_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define QUENLOR_POISON(p, n) ((void)(p), (void)(n))
#define QUENLOR_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace quenlor {

// A conversion makes and drops many small node lists (the children of each
// emphasis or link, each paragraph's nodes), more than the general allocator
// serves cheaply. Here a freed block goes on a list of blocks of its size and
// is handed out again by the next request of that size; the memory returns to
// the system at once, when the arena goes (or is trimmed between conversions).
// Blocks larger than kMaxBlock (the growing lists of a long document: list
// items, top-level blocks) come from the general allocator, rounded up to one
// of four sizes per power of two; freed, up to kLargeKept bytes of them wait
// for the next request of their size. Given back instead, they would return
// to the system as a conversion ends and be faulted in again by the next one:
// for a document of a thousand list items, that was a quarter of its time.
// One arena serves one thread.
class NodeArena {
public:
    static constexpr std::size_t kGrain = 16;
    static constexpr std::size_t kMaxBlock = 2048;
    static constexpr std::size_t kLargeKept = std::size_t{4} << 20;

    NodeArena() = default;
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;
    ~NodeArena() { free_large(); }

    // Bytes taken from the general allocator for the arena's blocks.
    std::size_t reserved() const { return reserved_; }
    // Gives all of it back when it is more than `bytes`; only while no block is in use.
    void keep_at_most(std::size_t bytes) {
        if (reserved_ <= bytes) return;
        free_large();
        chunks_.clear();
        free_.fill(nullptr);
        cur_ = end_ = nullptr;
        chunk_size_ = reserved_ = 0;
    }

    void* allocate(std::size_t bytes) {
        if (bytes > kMaxBlock) return allocate_large(bytes);
        const std::size_t grains = grains_for(bytes);
        void* p;
        if (FreeCell* cell = free_[grains]) {
            QUENLOR_UNPOISON(cell, sizeof(FreeCell));
            free_[grains] = cell->next;
            p = cell;
        } else {
            const std::size_t size = grains * kGrain;
            if (static_cast<std::size_t>(end_ - cur_) < size) grow();
            p = cur_;
            cur_ += size;
        }
        QUENLOR_UNPOISON(p, bytes);
        return p;
    }

    void deallocate(void* p, std::size_t bytes) noexcept {
        if (bytes > kMaxBlock) {
            deallocate_large(p, bytes);
            return;
        }
        const std::size_t grains = grains_for(bytes);
        QUENLOR_POISON(p, grains * kGrain);
        QUENLOR_UNPOISON(p, sizeof(FreeCell));
        auto* cell = static_cast<FreeCell*>(p);
        cell->next = free_[grains];
        free_[grains] = cell;
        QUENLOR_POISON(cell, sizeof(FreeCell));
    }

private:
    struct FreeCell {
        FreeCell* next;
    };
    // A request for no bytes still gets a block of its own.
    static std::size_t grains_for(std::size_t bytes) { return bytes == 0 ? 1 : (bytes + kGrain - 1) / kGrain; }

    // The size class of a large request: 5/4, 6/4, 7/4 or 8/4 of the power
    // of two below it (bytes > kMaxBlock, so the shift is at least 9).
    struct LargeClass {
        std::size_t index;
        std::size_t size;
    };
    static LargeClass large_class(std::size_t bytes) {
        const std::size_t last = bytes - 1;
        const int shift = std::bit_width(last) - 3;
        const std::size_t quarter = (last >> shift) & 3;
        return {static_cast<std::size_t>(shift) * 4 + quarter, (5 + quarter) << shift};
    }
    void* allocate_large(std::size_t bytes) {
        const LargeClass c = large_class(bytes);
        if (FreeCell* cell = large_free_[c.index]) {
            QUENLOR_UNPOISON(cell, c.size);
            large_free_[c.index] = cell->next;
            large_kept_ -= c.size;
            return cell;
        }
        void* p = ::operator new(c.size);
        reserved_ += c.size;
        return p;
    }
    void deallocate_large(void* p, std::size_t bytes) noexcept {
        const LargeClass c = large_class(bytes);
        if (large_kept_ + c.size > kLargeKept) {
            reserved_ -= c.size;
            ::operator delete(p);
            return;
        }
        auto* cell = static_cast<FreeCell*>(p);
        cell->next = large_free_[c.index];
        large_free_[c.index] = cell;
        large_kept_ += c.size;
        QUENLOR_POISON(static_cast<std::byte*>(p) + sizeof(FreeCell), c.size - sizeof(FreeCell));
    }
    void free_large() noexcept {
        for (std::size_t index = 0; index < large_free_.size(); ++index) {
            const std::size_t size = (5 + index % 4) << (index / 4);
            while (FreeCell* cell = large_free_[index]) {
                QUENLOR_UNPOISON(cell, size);
                large_free_[index] = cell->next;
                ::operator delete(cell);
            }
        }
        large_kept_ = 0;
    }
    // A new chunk; what is left of the current one (less than a block) is given up.
    void grow() {
        // Small conversions take a small first chunk; later chunks double up to
        // a cap that keeps them below the size the general allocator maps from
        // the system afresh (and faults in again) for every request.
        const std::size_t size = chunks_.empty() ? 4096 : std::min<std::size_t>(chunk_size_ * 2, 32 * 1024);
        chunk_size_ = size;
        reserved_ += size;
        chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
        cur_ = chunks_.back().get();
        end_ = cur_ + size;
        QUENLOR_POISON(cur_, size);
    }

    std::array<FreeCell*, kMaxBlock / kGrain + 1> free_{};
    std::array<FreeCell*, 64 * 4> large_free_{};
    std::size_t large_kept_ = 0;  // bytes waiting on large_free_
    std::byte* cur_ = nullptr;
    std::byte* end_ = nullptr;
    std::size_t chunk_size_ = 0;
    std::size_t reserved_ = 0;
    std::vector<std::unique_ptr<std::byte[]>> chunks_;
};

// The allocator of the tree's node lists: with an arena, blocks come from it;
// without one (a default-constructed allocator), from the general allocator.
// A moved list keeps its memory and its arena; a copied list is allocated
// afresh from the general allocator, so that a copy never depends on the
// arena of the conversion it was taken from.
template <class T>
class NodeAllocator {
public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using propagate_on_container_copy_assignment = std::false_type;
    using is_always_equal = std::false_type;

    NodeAllocator() noexcept = default;
    explicit NodeAllocator(NodeArena* arena) noexcept : arena_(arena) {}
    template <class U>
    NodeAllocator(const NodeAllocator<U>& other) noexcept : arena_(other.arena()) {}

    T* allocate(std::size_t n) {
        static_assert(alignof(T) <= NodeArena::kGrain);
        if (arena_) return static_cast<T*>(arena_->allocate(n * sizeof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (arena_) arena_->deallocate(p, n * sizeof(T));
        else std::allocator<T>().deallocate(p, n);
    }
    NodeAllocator select_on_container_copy_construction() const noexcept { return NodeAllocator(); }
    NodeArena* arena() const noexcept { return arena_; }

    friend bool operator==(const NodeAllocator& a, const NodeAllocator& b) noexcept { return a.arena_ == b.arena_; }

private:
    NodeArena* arena_ = nullptr;
};

// An empty node list (a vector with a NodeAllocator) whose blocks come from
// `arena`, or from the general allocator when there is none.
template <class List>
List make_node_list(NodeArena* arena) {
    return List(typename List::allocator_type(arena));
}

}  // namespace quenlor
