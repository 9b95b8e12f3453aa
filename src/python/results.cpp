// The result lists of blocks() and edit_nodes().
#include <algorithm>
#include <cstring>

#include "glue.hpp"

namespace quenlor::py {
namespace {

PyObject* opt_str(const std::optional<std::string>& s) {
    if (s) return new_str(*s);
    Py_RETURN_NONE;
}

// Maps byte offsets of the normalised text (every CR LF and lone CR turned
// into one LF) back to the caller's text: each CR LF pair lost one byte, so an
// offset moves forward by the number of such pairs whose LF lies before it.
class OffsetMap {
public:
    explicit OffsetMap(std::string_view original) {
        if (std::memchr(original.data(), '\r', original.size()) == nullptr) return;
        std::size_t removed = 0;
        for (std::size_t i = 0; i + 1 < original.size(); ++i) {
            if (original[i] == '\r' && original[i + 1] == '\n') {
                // The LF of the pair sits at this index of the normalised text.
                dropped_before_.push_back(i - removed);
                ++removed;
            }
        }
    }
    std::size_t operator()(std::size_t normalised) const {
        auto it = std::lower_bound(dropped_before_.begin(), dropped_before_.end(), normalised);
        return normalised + static_cast<std::size_t>(it - dropped_before_.begin());
    }

private:
    std::vector<std::size_t> dropped_before_;
};

PyObject* span_dict(const BlockSpan& s) {
    Ref d(PyDict_New());
    if (!d) return nullptr;
    if (!dict_set(d.get(), "type", new_str(s.kind)) || !dict_set(d.get(), "start", PyLong_FromSize_t(s.start)) ||
        !dict_set(d.get(), "end", PyLong_FromSize_t(s.end)))
        return nullptr;
    if (const SpanExtras* x = s.extras.get()) {
        if (x->info && !dict_set(d.get(), "info", new_str(*x->info))) return nullptr;
        if (x->lang && !dict_set(d.get(), "lang", new_str(*x->lang))) return nullptr;
        if (x->text && !dict_set(d.get(), "text", new_str(*x->text))) return nullptr;
    }
    return d.release();
}

PyObject* edit_dict(const EditNode& node, std::string_view original, const OffsetMap& map) {
    Ref d(PyDict_New());
    if (!d) return nullptr;
    PyObject* dd = d.get();
    auto source = [&](std::size_t start, std::size_t end) {
        return new_str(original.substr(start, end - start));
    };
    if (const auto* img = std::get_if<EditImage>(&node.v)) {
        std::size_t start = map(img->start), end = map(img->end);
        if (!dict_set(dd, "type", new_str("image")) || !dict_set(dd, "form", new_str("inline")) ||
            !dict_set(dd, "source", source(start, end)) || !dict_set(dd, "start", PyLong_FromSize_t(start)) ||
            !dict_set(dd, "end", PyLong_FromSize_t(end)) || !dict_set(dd, "alt", new_str(img->alt)) ||
            !dict_set(dd, "url", new_str(img->url)) || !dict_set(dd, "title", opt_str(img->title)) ||
            !dict_set(dd, "_url_start", PyLong_FromSize_t(map(img->url_start))) ||
            !dict_set(dd, "_url_end", PyLong_FromSize_t(map(img->url_end))))
            return nullptr;
    } else {
        const auto& m = std::get<EditMath>(node.v);
        std::size_t start = map(m.start), end = map(m.end);
        bool display = m.delimiter == "\\[" || m.delimiter == "$$";
        if (!dict_set(dd, "type", new_str("math_inline")) || !dict_set(dd, "source", source(start, end)) ||
            !dict_set(dd, "start", PyLong_FromSize_t(start)) || !dict_set(dd, "end", PyLong_FromSize_t(end)) ||
            !dict_set(dd, "delimiter", new_str(m.delimiter)) || !dict_set(dd, "display", PyBool_FromLong(display)) ||
            !dict_set(dd, "tex", new_str(m.tex)))
            return nullptr;
    }
    return d.release();
}

template <class T, class F>
PyObject* to_list(const std::vector<T>& items, F&& make) {
    Ref list(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyObject* d = make(items[i]);
        if (!d) return nullptr;  // the partly built list is released with `list`
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d);
    }
    return list.release();
}

}  // namespace

PyObject* spans_to_list(const std::vector<BlockSpan>& spans) {
    return to_list(spans, [](const BlockSpan& s) { return span_dict(s); });
}

PyObject* edit_nodes_to_list(const std::vector<EditNode>& nodes, std::string_view original) {
    OffsetMap map(original);
    return to_list(nodes, [&](const EditNode& n) { return edit_dict(n, original, map); });
}

}  // namespace quenlor::py
