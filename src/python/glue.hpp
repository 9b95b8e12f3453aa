// Shared pieces of the extension module (the only code that includes Python.h).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <vector>

#include "ast.hpp"
#include "block/draft.hpp"
#include "quenlor.hpp"

namespace quenlor::py {

// An owned reference, released on scope exit.
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* o) : o_(o) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& r) noexcept : o_(r.release()) {}
    Ref& operator=(Ref&& r) noexcept { if (this != &r) { Py_XDECREF(o_); o_ = r.release(); } return *this; }
    ~Ref() { Py_XDECREF(o_); }
    PyObject* get() const { return o_; }
    PyObject* release() { PyObject* o = o_; o_ = nullptr; return o; }
    explicit operator bool() const { return o_ != nullptr; }
private:
    PyObject* o_ = nullptr;
};

PyObject* new_str(std::string_view s);

// Sets d[key] = value, stealing the reference to value; false with an exception set on failure.
bool dict_set(PyObject* d, const char* key, PyObject* value);

// Runs the callbacks over the document (top-level blocks, then each footnote's
// blocks). False with a Python exception set when a callback failed.
bool apply_callbacks(Document& document, PyObject* callbacks);

// The list of dictionaries returned by blocks() and edit_nodes().
PyObject* spans_to_list(const std::vector<BlockSpan>& spans);
// `original` is the caller's text; offsets in `nodes` count bytes of its
// normalised form and are mapped back to the caller's text.
PyObject* edit_nodes_to_list(const std::vector<EditNode>& nodes, std::string_view original);

}  // namespace quenlor::py
