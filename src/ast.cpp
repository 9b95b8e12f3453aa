#include "ast.hpp"

#include <algorithm>
#include <ostream>

#include "unicode.hpp"

namespace quenlor {

// A list item's single paragraph makes a one-block list. Outside a
// conversion's own arena such lists come from the general allocator, whose
// quickest size classes (glibc's fast bins) end at 128 bytes on 64-bit
// systems; a larger block would turn every free into a merge of the heap.
static_assert(sizeof(void*) != 8 || sizeof(Block) <= 128);

void Attr::drop() { d_.reset(); }

namespace {
const AttrData& no_attrs() {
    static const AttrData none;
    return none;
}
}  // namespace

const std::optional<std::string>& Attr::id() const { return d_ ? d_->id : no_attrs().id; }
const std::vector<std::string>& Attr::classes() const { return d_ ? d_->classes : no_attrs().classes; }
const std::vector<std::pair<std::string, std::string>>& Attr::pairs() const {
    return d_ ? d_->pairs : no_attrs().pairs;
}

bool Attr::operator==(const Attr& o) const {
    return (d_ ? *d_ : no_attrs()) == (o.d_ ? *o.d_ : no_attrs());
}

std::optional<std::string> Attr::take_id() {
    if (!d_ || !d_->id) return std::nullopt;
    std::optional<std::string> out = std::move(d_->id);
    d_->id.reset();
    return out;
}

void Attr::push_class(std::string_view name) {
    if (name.empty()) return;
    std::vector<std::string>& classes = data().classes;
    if (std::find(classes.begin(), classes.end(), name) != classes.end()) return;
    classes.emplace_back(name);
}

void Attr::set_pair(std::string key, std::string value) {
    if (key == "id") {
        data().id = std::move(value);
        return;
    }
    if (key == "class") {
        // Split at runs of Unicode white space.
        std::string_view v = value;
        std::size_t pos = 0, word_start = 0;
        bool in_word = false;
        while (pos < v.size()) {
            std::size_t here = pos;
            char32_t c = decode_utf8(v, pos);
            if (is_white_space(c)) {
                if (in_word) push_class(v.substr(word_start, here - word_start));
                in_word = false;
            } else if (!in_word) {
                in_word = true;
                word_start = here;
            }
        }
        if (in_word) push_class(v.substr(word_start));
        return;
    }
    auto& pairs = data().pairs;
    for (auto& p : pairs) {
        if (p.first == key) {
            p.second = std::move(value);
            return;
        }
    }
    pairs.emplace_back(std::move(key), std::move(value));
}

void Attr::merge(const Attr& other) {
    if (!other.d_) return;
    if (other.d_->id) data().id = other.d_->id;
    for (const auto& c : other.d_->classes) push_class(c);
    for (const auto& p : other.d_->pairs) set_pair(p.first, p.second);
}

std::string_view align_text(Align a) {
    switch (a) {
        case Align::Left: return "left";
        case Align::Center: return "center";
        case Align::Right: return "right";
        default: return "";
    }
}

namespace {
constexpr std::string_view inline_kinds[] = {
    "text", "soft_break", "hard_break", "emph", "strong", "strike", "superscript",
    "subscript", "highlight", "code", "link", "image", "autolink", "abbr",
    "html_inline", "math_inline", "footnote_ref", "note", "span", "raw_inline"};
constexpr std::string_view block_kinds[] = {
    "paragraph", "heading", "block_quote", "list", "definition_list", "code_block", "html_block",
    "html_container", "thematic_break", "table", "div", "math_block", "figure", "raw_block"};
static_assert(std::size(inline_kinds) == std::variant_size_v<InlineVariant>);
static_assert(std::size(block_kinds) == std::variant_size_v<BlockVariant>);

template <class N>
Attr* inline_attr(N& node) {
    if constexpr (requires { node.attr; }) return &node.attr;
    else return nullptr;
}
}  // namespace

template <std::size_t Bytes>
void BasicNodeText<Bytes>::init(std::string_view s) {
    if (s.size() <= kInlineCapacity) {
        std::memcpy(bytes_, s.data(), s.size());
        tag() = static_cast<char>(s.size());
        return;
    }
    heap_ = Heap{new char[s.size()], s.size(), s.size()};
    std::memcpy(heap_.data, s.data(), s.size());
    tag() = static_cast<char>(kOnHeap);
}

template <std::size_t Bytes>
void BasicNodeText<Bytes>::append(std::string_view s) {
    const std::size_t n = size();
    const std::size_t total = n + s.size();
    if (!on_heap() && total <= kInlineCapacity) {
        std::memcpy(bytes_ + n, s.data(), s.size());
        tag() = static_cast<char>(total);
        return;
    }
    if (on_heap() && total <= heap_.capacity) {
        std::memcpy(heap_.data + n, s.data(), s.size());
        heap_.size = total;
        return;
    }
    // Texts grow by coalescing neighbours, often several in a row: room
    // doubles so that a long run of appends stays linear.
    const std::size_t capacity = std::max(total, 2 * n);
    char* data = new char[capacity];
    std::memcpy(data, this->data(), n);
    std::memcpy(data + n, s.data(), s.size());
    free_heap();
    heap_ = Heap{data, total, capacity};
    tag() = static_cast<char>(kOnHeap);
}

template <std::size_t Bytes>
void BasicNodeText<Bytes>::remove_prefix(std::size_t n) {
    const std::size_t rest = size() - n;
    char* d = on_heap() ? heap_.data : bytes_;
    std::memmove(d, d + n, rest);
    set_size(rest);
}

template <std::size_t Bytes>
std::ostream& operator<<(std::ostream& os, const BasicNodeText<Bytes>& t) {
    return os << t.view();
}

template class BasicNodeText<104>;
template class BasicNodeText<56>;
template class BasicNodeText<96>;
template std::ostream& operator<<(std::ostream&, const BasicNodeText<104>&);
template std::ostream& operator<<(std::ostream&, const BasicNodeText<56>&);
template std::ostream& operator<<(std::ostream&, const BasicNodeText<96>&);

std::string_view kind_name(const Inline& x) { return inline_kinds[x.v.index()]; }
std::string_view kind_name(const Block& b) { return block_kinds[b.v.index()]; }

Attr* attr_of(Inline& x) {
    return std::visit([](auto& n) -> Attr* { return inline_attr(n); }, x.v);
}
const Attr* attr_of(const Inline& x) { return attr_of(const_cast<Inline&>(x)); }

Inlines* children_of(Inline& x) {
    return std::visit([](auto& n) -> Inlines* {
        if constexpr (requires { n.children; }) return &n.children;
        else return nullptr;
    }, x.v);
}
const Inlines* children_of(const Inline& x) { return children_of(const_cast<Inline&>(x)); }

Attr* attr_of(Block& b) {
    return std::visit([](auto& n) -> Attr* { return inline_attr(n); }, b.v);
}
const Attr* attr_of(const Block& b) { return attr_of(const_cast<Block&>(b)); }

}  // namespace quenlor
