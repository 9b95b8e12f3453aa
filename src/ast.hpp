// The document tree: plain value data that every stage passes along.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "node_arena.hpp"

namespace quenlor {

// A heap cell with value semantics, for the one place where a node holds a
// single child node (a figure's image).
template <class T>
class Box {
public:
    Box() : p_(std::make_unique<T>()) {}
    Box(T v) : p_(std::make_unique<T>(std::move(v))) {}
    Box(const Box& o) : p_(std::make_unique<T>(*o.p_)) {}
    Box(Box&&) noexcept = default;
    Box& operator=(const Box& o) { if (this != &o) p_ = std::make_unique<T>(*o.p_); return *this; }
    Box& operator=(Box&&) noexcept = default;
    T& operator*() { return *p_; }
    const T& operator*() const { return *p_; }
    T* operator->() { return p_.get(); }
    const T* operator->() const { return p_.get(); }
private:
    std::unique_ptr<T> p_;
};

// An optional string behind one pointer: link titles are rare, and a title
// held in place would leave a link node no room for its destination.
class OptionalText {
public:
    OptionalText() = default;
    OptionalText(std::nullopt_t) {}
    OptionalText(std::string s) : p_(std::make_unique<std::string>(std::move(s))) {}
    OptionalText(const char* s) : p_(std::make_unique<std::string>(s)) {}
    OptionalText(const std::optional<std::string>& o) : p_(o ? std::make_unique<std::string>(*o) : nullptr) {}
    OptionalText(std::optional<std::string>&& o) : p_(o ? std::make_unique<std::string>(std::move(*o)) : nullptr) {}
    OptionalText(const OptionalText& o) : p_(o.p_ ? std::make_unique<std::string>(*o.p_) : nullptr) {}
    OptionalText(OptionalText&&) noexcept = default;
    OptionalText& operator=(const OptionalText& o) {
        if (this != &o) p_ = o.p_ ? std::make_unique<std::string>(*o.p_) : nullptr;
        return *this;
    }
    OptionalText& operator=(OptionalText&&) noexcept = default;

    bool has_value() const { return p_ != nullptr; }
    explicit operator bool() const { return has_value(); }
    const std::string& operator*() const { return *p_; }
    std::string& operator*() { return *p_; }
    const std::string* operator->() const { return p_.get(); }
    std::string* operator->() { return p_.get(); }
    friend bool operator==(const OptionalText& a, const OptionalText& b) {
        return a.p_ && b.p_ ? *a.p_ == *b.p_ : a.p_ == b.p_;
    }
    friend bool operator==(const OptionalText& a, std::nullopt_t) { return !a.p_; }

private:
    std::unique_ptr<std::string> p_;
};

struct AttrData {
    std::optional<std::string> id;
    std::vector<std::string> classes;
    std::vector<std::pair<std::string, std::string>> pairs;
    bool operator==(const AttrData&) const = default;
};

// The attributes of a node: identifier, classes in order, other pairs in order.
// Most nodes carry none, so an empty set is one null pointer; the parts are
// read through the accessors and changed through the operations below.
class Attr {
public:
    Attr() = default;
    Attr(const Attr& o) : d_(o.d_ ? std::make_unique<AttrData>(*o.d_) : nullptr) {}
    Attr(Attr&&) noexcept = default;
    Attr& operator=(const Attr& o) {
        if (this != &o) d_ = o.d_ ? std::make_unique<AttrData>(*o.d_) : nullptr;
        return *this;
    }
    Attr& operator=(Attr&&) noexcept = default;
    // Most nodes have no attributes: their destruction is one test, inline.
    ~Attr() {
        if (d_) [[unlikely]]
            drop();
    }

    bool empty() const { return !d_ || (!d_->id && d_->classes.empty() && d_->pairs.empty()); }
    const std::optional<std::string>& id() const;
    const std::vector<std::string>& classes() const;
    const std::vector<std::pair<std::string, std::string>>& pairs() const;

    void set_id(std::string id) { data().id = std::move(id); }
    // Removes the identifier and returns it.
    std::optional<std::string> take_id();
    void clear_classes() { if (d_) d_->classes.clear(); }
    void push_class(std::string_view name);
    void set_pair(std::string key, std::string value);
    void merge(const Attr& other);
    // The parts for direct change (made on first use).
    AttrData& data() {
        if (!d_) d_ = std::make_unique<AttrData>();
        return *d_;
    }
    bool operator==(const Attr& o) const;

private:
    void drop();
    std::unique_ptr<AttrData> d_;
};

enum class Align : std::uint8_t { None, Left, Center, Right };
std::string_view align_text(Align a);

// The column alignments of a table: a list of Align kept behind one pointer,
// so that tables, the largest blocks, do not make every block larger (a list
// item's single paragraph then fits the allocator's quickest size class).
class AlignList {
public:
    AlignList() = default;
    AlignList(std::vector<Align> v) : v_(v.empty() ? nullptr : std::make_unique<std::vector<Align>>(std::move(v))) {}
    AlignList(std::initializer_list<Align> l) : AlignList(std::vector<Align>(l)) {}
    AlignList(const AlignList& o) : v_(o.v_ ? std::make_unique<std::vector<Align>>(*o.v_) : nullptr) {}
    AlignList(AlignList&&) noexcept = default;
    AlignList& operator=(const AlignList& o) {
        if (this != &o) v_ = o.v_ ? std::make_unique<std::vector<Align>>(*o.v_) : nullptr;
        return *this;
    }
    AlignList& operator=(AlignList&&) noexcept = default;

    std::span<const Align> view() const { return v_ ? std::span<const Align>(*v_) : std::span<const Align>(); }
    operator std::span<const Align>() const { return view(); }
    std::size_t size() const { return v_ ? v_->size() : 0; }
    bool empty() const { return size() == 0; }
    Align operator[](std::size_t i) const { return (*v_)[i]; }
    const Align* begin() const { return view().data(); }
    const Align* end() const { return view().data() + size(); }
    bool operator==(const AlignList& o) const { return std::ranges::equal(view(), o.view()); }

private:
    std::unique_ptr<std::vector<Align>> v_;
};

// Task marker of a list item.
enum class TaskState : std::uint8_t { Unchecked = 0, Checked = 1, NotTask = 2 };

struct Inline;
struct Block;
using Inlines = std::vector<Inline, NodeAllocator<Inline>>;
using Blocks = std::vector<Block, NodeAllocator<Block>>;

// A text and the end of the buffer it lies in: what a node's text is built
// from in place (the buffer may be read past the text, up to its end).
struct TextInBuffer {
    std::string_view text;
    const char* readable_end;
};

// A string of an inline node kept in `Bytes` bytes of the node itself: most
// texts between markup and most link destinations are short, so up to
// kInlineCapacity bytes are held in place and only longer ones take a heap
// block. Both forms move with a plain copy of the object.
template <std::size_t Bytes>
class BasicNodeText {
    static_assert(Bytes >= 32 && Bytes <= 255);

public:
    static constexpr std::size_t kInlineCapacity = Bytes - 1;

    BasicNodeText() noexcept { tag() = 0; }
    BasicNodeText(std::string_view s) { init(s); }
    // The bytes of t.text, which lies in a buffer readable up to
    // t.readable_end. A short text is copied as one fixed block (the bytes
    // after it are never read): the scanner's texts are mostly a few bytes
    // long, of every length, and a copy of exactly their length branches on
    // it each time.
    BasicNodeText(TextInBuffer t) {
        const std::string_view s = t.text;
        if (s.size() <= kFixedCopy && t.readable_end - s.data() >= static_cast<std::ptrdiff_t>(kFixedCopy)) {
            std::memcpy(bytes_, s.data(), kFixedCopy);
            tag() = static_cast<char>(s.size());
        } else {
            init(s);
        }
    }
    BasicNodeText(const std::string& s) : BasicNodeText(std::string_view(s)) {}
    BasicNodeText(const char* s) : BasicNodeText(std::string_view(s)) {}
    BasicNodeText(const BasicNodeText& o) : BasicNodeText(o.view()) {}
    BasicNodeText(BasicNodeText&& o) noexcept {
        std::memcpy(bytes_, o.bytes_, sizeof bytes_);
        o.tag() = 0;
    }
    BasicNodeText& operator=(const BasicNodeText& o) {
        if (this != &o) *this = BasicNodeText(o);
        return *this;
    }
    BasicNodeText& operator=(BasicNodeText&& o) noexcept {
        if (this != &o) {
            free_heap();
            std::memcpy(bytes_, o.bytes_, sizeof bytes_);
            o.tag() = 0;
        }
        return *this;
    }
    BasicNodeText& operator=(std::string_view s) { return *this = BasicNodeText(s); }
    BasicNodeText& operator=(const std::string& s) { return *this = BasicNodeText(s); }
    BasicNodeText& operator=(const char* s) { return *this = BasicNodeText(s); }
    ~BasicNodeText() { free_heap(); }

    std::string_view view() const {
        return on_heap() ? std::string_view(heap_.data, heap_.size) : std::string_view(bytes_, tag());
    }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    const char* data() const { return on_heap() ? heap_.data : bytes_; }
    char* data() { return on_heap() ? heap_.data : bytes_; }
    std::size_t size() const { return on_heap() ? heap_.size : tag(); }
    bool empty() const { return size() == 0; }
    char operator[](std::size_t i) const { return data()[i]; }
    char front() const { return data()[0]; }
    char back() const { return data()[size() - 1]; }

    void append(std::string_view s);
    BasicNodeText& operator+=(std::string_view s) {
        append(s);
        return *this;
    }
    // Drops the first or last n bytes (n at most the size).
    void remove_prefix(std::size_t n);
    void remove_suffix(std::size_t n) { set_size(size() - n); }

    friend bool operator==(const BasicNodeText& a, const BasicNodeText& b) { return a.view() == b.view(); }
    friend bool operator==(const BasicNodeText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const BasicNodeText& a, const char* b) { return a.view() == std::string_view(b); }
    friend bool operator==(const BasicNodeText& a, const std::string& b) { return a.view() == std::string_view(b); }
    friend std::string operator+(std::string a, const BasicNodeText& b) { return a.append(b.view()); }

private:
    static constexpr unsigned char kOnHeap = 0xFF;
    // Four sixteen-byte moves: past the length of nearly every text between markup.
    static constexpr std::size_t kFixedCopy = kInlineCapacity >= 64 ? 64 : (kInlineCapacity >= 32 ? 32 : 16);
    struct Heap {
        char* data;
        std::size_t size;
        std::size_t capacity;
    };
    unsigned char tag() const { return static_cast<unsigned char>(bytes_[kInlineCapacity]); }
    char& tag() { return bytes_[kInlineCapacity]; }
    bool on_heap() const { return tag() == kOnHeap; }
    void init(std::string_view s);
    void set_size(std::size_t n) {
        if (on_heap()) heap_.size = n;
        else tag() = static_cast<char>(n);
    }
    void free_heap() {
        if (on_heap()) [[unlikely]]
            delete[] heap_.data;
    }
    // The inline bytes, the last of which is the size (or kOnHeap); the heap
    // form's pointer and sizes overlay the first bytes.
    union {
        char bytes_[kInlineCapacity + 1];
        Heap heap_;
    };
};

template <std::size_t Bytes>
std::ostream& operator<<(std::ostream& os, const BasicNodeText<Bytes>& t);

extern template class BasicNodeText<104>;
extern template class BasicNodeText<56>;
extern template class BasicNodeText<96>;
// A text node's bytes: all the room any inline node has.
using NodeText = BasicNodeText<104>;
// A link's or image's destination, beside its children and title.
using UrlText = BasicNodeText<56>;
// A code span's text, beside its attributes.
using CodeText = BasicNodeText<96>;

// ---- inline variants, in declared order ----
struct Text { NodeText text; };
struct SoftBreak {};
struct HardBreak {};
struct Emph { Attr attr; Inlines children; };
struct Strong { Attr attr; Inlines children; };
struct Strike { Attr attr; Inlines children; };
struct Superscript { Attr attr; std::string text; };
struct Subscript { Attr attr; std::string text; };
struct Highlight { Attr attr; Inlines children; };
struct Code { Attr attr; CodeText text; };
struct Link { Attr attr; Inlines children; UrlText url; OptionalText title; };
struct Image { Attr attr; Inlines children; UrlText url; OptionalText title; };
struct Autolink { std::string url; std::string text; bool email = false; };
struct Abbr { std::string text; std::string title; };
struct HtmlInline { NodeText html; };
struct MathInline { Attr attr; std::string tex; bool display = false; };
struct FootnoteRef { std::string label; };
struct Note { Inlines children; };
struct Span { Attr attr; Inlines children; };
struct RawInline { std::string format; std::string text; };

using InlineVariant = std::variant<Text, SoftBreak, HardBreak, Emph, Strong, Strike, Superscript,
                                   Subscript, Highlight, Code, Link, Image, Autolink, Abbr,
                                   HtmlInline, MathInline, FootnoteRef, Note, Span, RawInline>;

struct Inline {
    InlineVariant v;
    Inline() : v(Text{}) {}
    template <class T, class = std::enable_if_t<!std::is_same_v<std::decay_t<T>, Inline> &&
                                                !std::is_same_v<std::decay_t<T>, TextInBuffer>>>
    Inline(T&& x) : v(std::forward<T>(x)) {}
    // A text node whose bytes are copied straight into the node, where the
    // compiler can build an aggregate from parentheses; elsewhere through a
    // moved temporary.
#if defined(__cpp_aggregate_paren_init) && __cpp_aggregate_paren_init >= 201902L
    explicit Inline(TextInBuffer t) : v(std::in_place_type<Text>, t) {}
#else
    explicit Inline(TextInBuffer t) : v(Text{NodeText(t)}) {}
#endif
    template <class T> bool is() const { return std::holds_alternative<T>(v); }
    template <class T> T& as() { return std::get<T>(v); }
    template <class T> const T& as() const { return std::get<T>(v); }
    template <class T> T* get_if() { return std::get_if<T>(&v); }
    template <class T> const T* get_if() const { return std::get_if<T>(&v); }
};

// Kind name ("text", "emph", ...) of an inline variant.
std::string_view kind_name(const Inline& x);
// Attributes of the kinds that carry them, else nullptr.
Attr* attr_of(Inline& x);
const Attr* attr_of(const Inline& x);
// Children list of the kinds that hold inline children, else nullptr.
Inlines* children_of(Inline& x);
const Inlines* children_of(const Inline& x);

// ---- block variants, in declared order ----
struct ListItem { Attr attr; Blocks blocks; TaskState checked = TaskState::NotTask; };
struct Definition { Blocks blocks; bool tight = true; };
struct DefinitionItem { std::vector<Inlines> terms; std::vector<Definition> definitions; };

struct TableCellContent {
    // Inlines: pipe-table cells; Blocks: cells parsed as blocks (grid tables).
    std::variant<Inlines, Blocks> v;
};

template <class Content>
struct BasicTableCell {
    Content content;
    Attr attr;
    std::size_t rowspan = 1;
    std::size_t colspan = 1;
    Align align = Align::None;
};
template <class Content>
struct BasicTableRow {
    Attr attr;
    std::vector<BasicTableCell<Content>, NodeAllocator<BasicTableCell<Content>>> cells;
};
using TableCellData = BasicTableCell<TableCellContent>;
using TableRowData = BasicTableRow<TableCellContent>;

// A string whose memory comes from the conversion's arena, like the node lists.
using ArenaString = std::basic_string<char, std::char_traits<char>, NodeAllocator<char>>;

// A paragraph's inlines; or, where a conversion parses each paragraph as it
// renders it, none yet, and the text they come from: a view of the source
// (lazy_text), or, for a text copied out of its lines (a paragraph in a block
// quote, say), that copy (lazy_copy).
struct Paragraph {
    Attr attr;
    Inlines inlines;
    std::string_view lazy_text;
    ArenaString lazy_copy;
};
// The text of a paragraph still to be parsed, or a view without data.
inline std::string_view unparsed_text(const Paragraph& p) {
    return p.lazy_copy.empty() ? p.lazy_text : std::string_view(p.lazy_copy);
}
struct Heading { Attr attr; Inlines inlines; std::uint8_t level = 1; };
struct BlockQuote { Attr attr; Blocks blocks; };
struct List { Attr attr; std::vector<ListItem, NodeAllocator<ListItem>> items; bool ordered = false; std::size_t start = 1; bool tight = true; };
struct DefinitionList { Attr attr; std::vector<DefinitionItem> items; };
struct CodeBlock { Attr attr; std::string info; std::optional<std::string> lang; std::string text; };
struct HtmlBlock { std::string html; };
struct HtmlContainer { std::string tag; Attr attr; Blocks blocks; };
struct ThematicBreak { Attr attr; };
struct Table {
    Attr attr;
    AlignList aligns;
    std::vector<TableRowData> head, body, foot;
    Inlines caption;
};
struct Div { Attr attr; Blocks blocks; };
struct MathBlock { Attr attr; std::string tex; bool display = true; };
struct Figure { Attr attr; Box<Inline> image; };
struct RawBlock { std::string format; std::string text; };

using BlockVariant = std::variant<Paragraph, Heading, BlockQuote, List, DefinitionList, CodeBlock,
                                  HtmlBlock, HtmlContainer, ThematicBreak, Table, Div, MathBlock,
                                  Figure, RawBlock>;

struct Block {
    BlockVariant v;
    Block() : v(Paragraph{}) {}
    template <class T, class = std::enable_if_t<!std::is_same_v<std::decay_t<T>, Block>>>
    Block(T&& x) : v(std::forward<T>(x)) {}
    template <class T> bool is() const { return std::holds_alternative<T>(v); }
    template <class T> T& as() { return std::get<T>(v); }
    template <class T> const T& as() const { return std::get<T>(v); }
    template <class T> T* get_if() { return std::get_if<T>(&v); }
    template <class T> const T* get_if() const { return std::get_if<T>(&v); }
};

std::string_view kind_name(const Block& b);
Attr* attr_of(Block& b);
const Attr* attr_of(const Block& b);

struct Footnote { std::string label; Blocks blocks; };

struct Document {
    Blocks blocks;
    std::vector<Footnote> footnotes;
};

struct LinkRef {
    std::string url;
    std::optional<std::string> title;
    Attr attr;
};

}  // namespace quenlor
