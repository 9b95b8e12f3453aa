// Node callbacks: a post-order walk that offers nodes to user callables and
// replaces them by the markup they return.
#include <array>
#include <string>
#include <utility>

#include "glue.hpp"
#include "render/render.hpp"

namespace quenlor::py {
namespace {

constexpr std::size_t inline_kind_count = std::variant_size_v<InlineVariant>;
constexpr std::size_t block_kind_count = std::variant_size_v<BlockVariant>;

// The callables per kind, looked up once per call; kinds without a callback
// cost nothing beyond the walk.
struct Callbacks {
    std::array<Ref, inline_kind_count> inline_fns;
    std::array<Ref, block_kind_count> block_fns;
    bool any_inline = false;

    bool load(PyObject* dict) {
        for (std::size_t i = 0; i < inline_kind_count; ++i) {
            if (!lookup(dict, inline_kind_by_index(i), inline_fns[i])) return false;
            any_inline = any_inline || inline_fns[i];
        }
        for (std::size_t i = 0; i < block_kind_count; ++i) {
            if (!lookup(dict, block_kind_by_index(i), block_fns[i])) return false;
        }
        return true;
    }

    static std::string_view inline_kind_by_index(std::size_t i) {
        static constexpr std::string_view names[] = {
            "text", "soft_break", "hard_break", "emph", "strong", "strike", "superscript",
            "subscript", "highlight", "code", "link", "image", "autolink", "abbr",
            "html_inline", "math_inline", "footnote_ref", "note", "span", "raw_inline"};
        return names[i];
    }
    static std::string_view block_kind_by_index(std::size_t i) {
        static constexpr std::string_view names[] = {
            "paragraph", "heading", "block_quote", "list", "definition_list", "code_block", "html_block",
            "html_container", "thematic_break", "table", "div", "math_block", "figure", "raw_block"};
        return names[i];
    }

    static bool lookup(PyObject* dict, std::string_view name, Ref& out) {
        Ref key(new_str(name));
        if (!key) return false;
        PyObject* value = nullptr;
        if (PyDict_GetItemRef(dict, key.get(), &value) < 0) return false;
        out = Ref(value);
        return true;
    }
};

// A str, or None for an absent optional text (an identifier, a title).
template <class OptionalString>
PyObject* opt_str(const OptionalString& s) {
    if (s) return new_str(*s);
    Py_RETURN_NONE;
}

PyObject* size_obj(std::size_t n) { return PyLong_FromSize_t(n); }

bool set_attrs(PyObject* d, const Attr& attr) {
    Ref a(PyDict_New());
    if (!a) return false;
    if (!dict_set(a.get(), "id", opt_str(attr.id()))) return false;
    Ref classes(PyList_New(static_cast<Py_ssize_t>(attr.classes().size())));
    if (!classes) return false;
    for (std::size_t i = 0; i < attr.classes().size(); ++i) {
        PyObject* s = new_str(attr.classes()[i]);
        if (!s) return false;
        PyList_SET_ITEM(classes.get(), static_cast<Py_ssize_t>(i), s);
    }
    if (!dict_set(a.get(), "classes", classes.release())) return false;
    Ref pairs(PyList_New(static_cast<Py_ssize_t>(attr.pairs().size())));
    if (!pairs) return false;
    for (std::size_t i = 0; i < attr.pairs().size(); ++i) {
        Ref k(new_str(attr.pairs()[i].first));
        Ref v(new_str(attr.pairs()[i].second));
        if (!k || !v) return false;
        PyObject* t = PyTuple_Pack(2, k.get(), v.get());
        if (!t) return false;
        PyList_SET_ITEM(pairs.get(), static_cast<Py_ssize_t>(i), t);
    }
    if (!dict_set(a.get(), "pairs", pairs.release())) return false;
    return dict_set(d, "attrs", a.release());
}

// ---- node dictionaries ----

PyObject* inline_dict(const Inline& node) {
    Ref d(PyDict_New());
    if (!d) return nullptr;
    PyObject* dd = d.get();
    if (!dict_set(dd, "type", new_str(kind_name(node)))) return nullptr;
    bool ok = std::visit([&](const auto& n) -> bool {
        using T = std::decay_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Text>) {
            return dict_set(dd, "text", new_str(n.text));
        } else if constexpr (std::is_same_v<T, SoftBreak> || std::is_same_v<T, HardBreak>) {
            return true;
        } else if constexpr (std::is_same_v<T, Emph> || std::is_same_v<T, Strong> || std::is_same_v<T, Strike> ||
                             std::is_same_v<T, Highlight> || std::is_same_v<T, Span>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "children", size_obj(n.children.size()));
        } else if constexpr (std::is_same_v<T, Superscript> || std::is_same_v<T, Subscript> ||
                             std::is_same_v<T, Code>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "text", new_str(n.text));
        } else if constexpr (std::is_same_v<T, Link>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "children", size_obj(n.children.size())) &&
                   dict_set(dd, "url", new_str(n.url)) && dict_set(dd, "title", opt_str(n.title));
        } else if constexpr (std::is_same_v<T, Image>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "alt", new_str(plain(n.children))) &&
                   dict_set(dd, "url", new_str(n.url)) && dict_set(dd, "title", opt_str(n.title));
        } else if constexpr (std::is_same_v<T, Autolink>) {
            return dict_set(dd, "url", new_str(n.url)) && dict_set(dd, "text", new_str(n.text)) &&
                   dict_set(dd, "email", PyBool_FromLong(n.email));
        } else if constexpr (std::is_same_v<T, Abbr>) {
            return dict_set(dd, "text", new_str(n.text)) && dict_set(dd, "title", new_str(n.title));
        } else if constexpr (std::is_same_v<T, HtmlInline>) {
            return dict_set(dd, "text", new_str(n.html));
        } else if constexpr (std::is_same_v<T, MathInline>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "display", PyBool_FromLong(n.display)) &&
                   dict_set(dd, "tex", new_str(n.tex));
        } else if constexpr (std::is_same_v<T, FootnoteRef>) {
            return dict_set(dd, "label", new_str(n.label));
        } else if constexpr (std::is_same_v<T, Note>) {
            return dict_set(dd, "children", size_obj(n.children.size()));
        } else {
            static_assert(std::is_same_v<T, RawInline>);
            return dict_set(dd, "format", new_str(n.format)) && dict_set(dd, "text", new_str(n.text));
        }
    }, node.v);
    return ok ? d.release() : nullptr;
}

std::size_t head_cell_count(const Table& t) {
    std::size_t n = 0;
    for (const auto& row : t.head) n += row.cells.size();
    return n;
}

PyObject* block_dict(const Block& block) {
    Ref d(PyDict_New());
    if (!d) return nullptr;
    PyObject* dd = d.get();
    if (!dict_set(dd, "type", new_str(kind_name(block)))) return nullptr;
    bool ok = std::visit([&](const auto& n) -> bool {
        using T = std::decay_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Paragraph>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "children", size_obj(n.inlines.size()));
        } else if constexpr (std::is_same_v<T, Heading>) {
            return dict_set(dd, "level", size_obj(n.level)) && set_attrs(dd, n.attr) &&
                   dict_set(dd, "children", size_obj(n.inlines.size()));
        } else if constexpr (std::is_same_v<T, BlockQuote> || std::is_same_v<T, Div>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "children", size_obj(n.blocks.size()));
        } else if constexpr (std::is_same_v<T, List>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "ordered", PyBool_FromLong(n.ordered)) &&
                   dict_set(dd, "start", size_obj(n.start)) && dict_set(dd, "tight", PyBool_FromLong(n.tight)) &&
                   dict_set(dd, "items", size_obj(n.items.size()));
        } else if constexpr (std::is_same_v<T, DefinitionList>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "items", size_obj(n.items.size()));
        } else if constexpr (std::is_same_v<T, CodeBlock>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "info", new_str(n.info)) &&
                   dict_set(dd, "lang", opt_str(n.lang)) && dict_set(dd, "text", new_str(n.text)) &&
                   dict_set(dd, "open", new_str(code_block_open(n.attr, n.lang))) &&
                   dict_set(dd, "close", new_str("</code></pre>\n"));
        } else if constexpr (std::is_same_v<T, HtmlBlock>) {
            return dict_set(dd, "raw", new_str(n.html));
        } else if constexpr (std::is_same_v<T, HtmlContainer>) {
            return dict_set(dd, "tag", new_str(n.tag)) && set_attrs(dd, n.attr) &&
                   dict_set(dd, "children", size_obj(n.blocks.size()));
        } else if constexpr (std::is_same_v<T, ThematicBreak>) {
            return set_attrs(dd, n.attr);
        } else if constexpr (std::is_same_v<T, Table>) {
            Ref aligns(PyList_New(static_cast<Py_ssize_t>(n.aligns.size())));
            if (!aligns) return false;
            for (std::size_t i = 0; i < n.aligns.size(); ++i) {
                PyObject* s = new_str(align_text(n.aligns[i]));
                if (!s) return false;
                PyList_SET_ITEM(aligns.get(), static_cast<Py_ssize_t>(i), s);
            }
            return set_attrs(dd, n.attr) && dict_set(dd, "aligns", aligns.release()) &&
                   dict_set(dd, "head_cells", size_obj(head_cell_count(n))) &&
                   dict_set(dd, "head_rows", size_obj(n.head.size())) &&
                   dict_set(dd, "rows", size_obj(n.body.size())) &&
                   dict_set(dd, "foot_rows", size_obj(n.foot.size())) &&
                   dict_set(dd, "caption", new_str(plain(n.caption)));
        } else if constexpr (std::is_same_v<T, MathBlock>) {
            return set_attrs(dd, n.attr) && dict_set(dd, "display", PyBool_FromLong(n.display)) &&
                   dict_set(dd, "tex", new_str(n.tex));
        } else if constexpr (std::is_same_v<T, Figure>) {
            if (!set_attrs(dd, n.attr)) return false;
            if (const Image* img = n.image->template get_if<Image>()) {
                return dict_set(dd, "alt", new_str(plain(img->children))) && dict_set(dd, "url", new_str(img->url));
            }
            return true;
        } else {
            static_assert(std::is_same_v<T, RawBlock>);
            return dict_set(dd, "format", new_str(n.format)) && dict_set(dd, "text", new_str(n.text));
        }
    }, block.v);
    return ok ? d.release() : nullptr;
}

// ---- default markup ----

std::string inline_markup(const Inline& node) {
    Document empty;
    Renderer renderer(empty);
    std::string out;
    renderer.inline_node(node, out);
    return out;
}

// The block alone as a one-block document (footnotes section included when it
// references any); the block is moved in and back out rather than copied.
std::string block_markup(Block& block) {
    Document doc;
    doc.blocks.push_back(std::move(block));
    std::string out = to_xhtml_document(doc);
    block = std::move(doc.blocks.front());
    return out;
}

// Calls fn(node_dict, default_markup). Returns false with an exception set on
// failure; `replacement` is set when the callable returned a str.
bool call_callback(PyObject* fn, const Ref& dict, const std::string& markup,
                   std::optional<std::string>& replacement) {
    Ref text(new_str(markup));
    if (!text) return false;
    PyObject* argv[] = {dict.get(), text.get()};
    Ref result(PyObject_Vectorcall(fn, argv, 2, nullptr));
    if (!result) return false;
    if (result.get() == Py_None) return true;
    if (!PyUnicode_Check(result.get())) {
        Ref name(PyType_GetName(Py_TYPE(result.get())));
        if (!name) return false;
        PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of 'str'", name.get());
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(result.get(), &size);
    if (!data) return false;
    replacement.emplace(data, static_cast<std::size_t>(size));
    return true;
}

class Walker {
public:
    explicit Walker(const Callbacks& cb) : cb_(cb) {}

    bool blocks(Blocks& list) {
        for (Block& b : list) {
            if (!block(b)) return false;
        }
        return true;
    }

private:
    const Callbacks& cb_;

    bool inlines(Inlines& list) {
        if (!cb_.any_inline) return true;
        for (Inline& x : list) {
            if (!inline_node(x)) return false;
        }
        return true;
    }

    bool inline_node(Inline& x) {
        if (Inlines* kids = children_of(x)) {
            if (!inlines(*kids)) return false;
        }
        PyObject* fn = cb_.inline_fns[x.v.index()].get();
        if (!fn) return true;
        Ref dict(inline_dict(x));
        if (!dict) return false;
        std::optional<std::string> replacement;
        if (!call_callback(fn, dict, inline_markup(x), replacement)) return false;
        if (replacement) x = Inline(HtmlInline{std::move(*replacement)});
        return true;
    }

    bool cells(std::vector<TableRowData>& rows) {
        for (auto& row : rows) {
            for (auto& cell : row.cells) {
                bool ok = std::visit([&](auto& c) -> bool {
                    using T = std::decay_t<decltype(c)>;
                    if constexpr (std::is_same_v<T, Blocks>) return blocks(c);
                    else return inlines(c);
                }, cell.content.v);
                if (!ok) return false;
            }
        }
        return true;
    }

    bool children(Block& b) {
        return std::visit([&](auto& n) -> bool {
            using T = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<T, Paragraph> || std::is_same_v<T, Heading>) {
                return inlines(n.inlines);
            } else if constexpr (std::is_same_v<T, BlockQuote> || std::is_same_v<T, Div> ||
                                 std::is_same_v<T, HtmlContainer>) {
                return blocks(n.blocks);
            } else if constexpr (std::is_same_v<T, List>) {
                for (auto& item : n.items) {
                    if (!blocks(item.blocks)) return false;
                }
                return true;
            } else if constexpr (std::is_same_v<T, DefinitionList>) {
                for (auto& item : n.items) {
                    for (auto& term : item.terms) {
                        if (!inlines(term)) return false;
                    }
                    for (auto& def : item.definitions) {
                        if (!blocks(def.blocks)) return false;
                    }
                }
                return true;
            } else if constexpr (std::is_same_v<T, Table>) {
                return cells(n.head) && cells(n.body) && cells(n.foot);
            } else if constexpr (std::is_same_v<T, Figure>) {
                if (!cb_.any_inline) return true;
                return inline_node(*n.image);
            } else {
                return true;
            }
        }, b.v);
    }

    bool block(Block& b) {
        if (!children(b)) return false;
        PyObject* fn = cb_.block_fns[b.v.index()].get();
        if (!fn) return true;
        Ref dict(block_dict(b));
        if (!dict) return false;
        std::optional<std::string> replacement;
        if (!call_callback(fn, dict, block_markup(b), replacement)) return false;
        if (replacement) b = Block(HtmlBlock{std::move(*replacement)});
        return true;
    }
};

}  // namespace

bool apply_callbacks(Document& document, PyObject* callbacks) {
    Callbacks cb;
    if (!cb.load(callbacks)) return false;
    Walker walker(cb);
    if (!walker.blocks(document.blocks)) return false;
    for (Footnote& f : document.footnotes) {
        if (!walker.blocks(f.blocks)) return false;
    }
    return true;
}

}  // namespace quenlor::py
