// Module initialisation, argument handling and the three entry functions.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "balance.hpp"
#include "glue.hpp"
#include "render/render.hpp"

namespace quenlor::py {

PyObject* new_str(std::string_view s) {
    return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "strict");
}

bool dict_set(PyObject* d, const char* key, PyObject* value) {
    if (!value) return false;
    int rc = PyDict_SetItemString(d, key, value);
    Py_DECREF(value);
    return rc == 0;
}

namespace {

// ---- the module's state ----

// Node memory kept between conversions: calls take the idle arena (or make
// one when another call has it, on another thread) and put it back after.
struct ModuleState {
    std::atomic<NodeArena*> idle_arena;
};

ModuleState& module_state(PyObject* module) { return *static_cast<ModuleState*>(PyModule_GetState(module)); }

class BorrowedArena {
public:
    explicit BorrowedArena(ModuleState& state) : state_(state), arena_(state.idle_arena.exchange(nullptr)) {
        if (!arena_) arena_.reset(new NodeArena);
    }
    ~BorrowedArena() {
        NodeArena* expected = nullptr;
        if (state_.idle_arena.compare_exchange_strong(expected, arena_.get())) arena_.release();
    }
    BorrowedArena(const BorrowedArena&) = delete;
    BorrowedArena& operator=(const BorrowedArena&) = delete;
    NodeArena& get() { return *arena_; }

private:
    ModuleState& state_;
    std::unique_ptr<NodeArena> arena_;
};

// ---- argument matching ----

struct Signature {
    const char* function;
    const char* const* names;  // names[0] is the positional parameter
    std::size_t count;
};


// Matches positional and keyword arguments to parameters; values[i] is a
// borrowed reference or nullptr when the parameter was not given.
bool match_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** values) {
    for (std::size_t i = 0; i < sig.count; ++i) values[i] = nullptr;
    if (nargs > 1) {
        PyErr_Format(PyExc_TypeError, "%s() takes 1 positional arguments but %zd %s given", sig.function,
                     nargs, nargs == 1 ? "was" : "were");
        return false;
    }
    if (nargs == 1) values[0] = args[0];
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, k);
        std::size_t found = sig.count;
        for (std::size_t i = 0; i < sig.count; ++i) {
            if (PyUnicode_EqualToUTF8(name, sig.names[i])) {
                found = i;
                break;
            }
        }
        if (found == sig.count) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.function, name);
            return false;
        }
        if (values[found]) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.function,
                         sig.names[found]);
            return false;
        }
        values[found] = args[nargs + k];
    }
    if (!values[0]) {
        PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: '%s'", sig.function,
                     sig.names[0]);
        return false;
    }
    return true;
}

// Adds "while processing '<name>'" to the exception being raised.
void add_note(const char* param) {
    PyObject* exc = PyErr_GetRaisedException();
    if (!exc) return;
    Ref note(PyUnicode_FromFormat("while processing '%s'", param));
    if (note) {
        Ref r(PyObject_CallMethod(exc, "add_note", "O", note.get()));
        if (!r) PyErr_Clear();
    } else {
        PyErr_Clear();
    }
    PyErr_SetRaisedException(exc);
}

void wrong_type(PyObject* value, const char* expected) {
    if (value == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
        return;
    }
    Ref name(PyType_GetName(Py_TYPE(value)));
    if (!name) return;
    PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), expected);
}

bool convert_str(PyObject* value, const char* param, std::string_view& out) {
    if (!PyUnicode_Check(value)) {
        wrong_type(value, "str");
        add_note(param);
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value, &size);
    if (!data) {
        add_note(param);
        return false;
    }
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

// Exactly True or False, or a NumPy boolean scalar.
bool is_numpy_bool(PyObject* value) {
    PyTypeObject* type = Py_TYPE(value);
    Ref module(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
    if (!module) {
        PyErr_Clear();
        return false;
    }
    if (!PyUnicode_Check(module.get()) || !PyUnicode_EqualToUTF8(module.get(), "numpy")) return false;
    Ref name(PyType_GetName(type));
    if (!name) {
        PyErr_Clear();
        return false;
    }
    return PyUnicode_EqualToUTF8(name.get(), "bool") || PyUnicode_EqualToUTF8(name.get(), "bool_");
}

bool convert_bool(PyObject* value, const char* param, bool& out) {
    if (value == Py_True || value == Py_False) {
        out = value == Py_True;
        return true;
    }
    if (value != Py_None && is_numpy_bool(value)) {
        int truth = PyObject_IsTrue(value);
        if (truth < 0) {
            add_note(param);
            return false;
        }
        out = truth != 0;
        return true;
    }
    wrong_type(value, "bool");
    add_note(param);
    return false;
}

bool convert_depth(PyObject* value, const char* param, std::uint64_t& out) {
    if (value == Py_None) return true;
    Ref index(PyNumber_Index(value));
    if (!index) {
        add_note(param);
        return false;
    }
    unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        add_note(param);
        return false;
    }
    out = v;
    return true;
}

// The stage guard: internal failures become RuntimeError naming the stage.
template <class F>
bool guarded(const char* const& stage, F&& body) {
    try {
        body();
        return true;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        PyErr_Format(PyExc_RuntimeError, "internal error in quenlor while %s (this is a bug, please report it)",
                     stage);
    }
    return false;
}

// Arguments shared by the three functions: markdown and math.
bool convert_common(PyObject* const* values, std::string_view& markdown, PyObject*& math_value) {
    if (!convert_str(values[0], "markdown", markdown)) return false;
    math_value = values[1];
    if (math_value && !PyUnicode_Check(math_value)) {
        wrong_type(math_value, "str");
        add_note("math");
        return false;
    }
    return true;
}

bool finish_math(PyObject* math_value, Options& options) {
    if (!math_value) return true;
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(math_value, &size);
    if (!data) {
        add_note("math");
        return false;
    }
    auto mode = parse_math_mode(std::string_view(data, static_cast<std::size_t>(size)));
    if (!mode) {
        PyErr_SetString(PyExc_ValueError, "math must be 'off', 'on', 'brackets', or 'dollars'");
        return false;
    }
    options.math = *mode;
    return true;
}

constexpr const char* xhtml_names[] = {"markdown",  "math",      "tagfilter",        "balance",
                                       "auto_ids",  "smart",     "callbacks",        "max_inline_depth",
                                       "max_block_depth", "max_link_paren_depth"};
constexpr const char* span_names[] = {"markdown", "math"};

PyObject* py_to_xhtml(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* values[10];
    if (!match_arguments({"to_xhtml", xhtml_names, 10}, args, nargs, kwnames, values)) return nullptr;
    std::string_view markdown;
    PyObject* math_value = nullptr;
    if (!convert_common(values, markdown, math_value)) return nullptr;
    Options options;
    bool* flags[] = {&options.tagfilter, &options.balance, &options.auto_ids, &options.smart};
    for (int i = 0; i < 4; ++i) {
        if (values[2 + i] && !convert_bool(values[2 + i], xhtml_names[2 + i], *flags[i])) return nullptr;
    }
    PyObject* callbacks = values[6];
    if (callbacks == Py_None) callbacks = nullptr;
    if (callbacks && !PyDict_Check(callbacks)) {
        wrong_type(callbacks, "dict");
        add_note("callbacks");
        return nullptr;
    }
    std::uint64_t* depths[] = {&options.max_inline_depth, &options.max_block_depth,
                               &options.max_link_paren_depth};
    for (int i = 0; i < 3; ++i) {
        if (values[7 + i] && !convert_depth(values[7 + i], xhtml_names[7 + i], *depths[i])) return nullptr;
    }
    if (!finish_math(math_value, options)) return nullptr;

    const char* stage = "rendering markdown";
    std::string out;
    if (!callbacks) {
        if (!guarded(stage, [&] {
                BorrowedArena arena(module_state(module));
                out = to_xhtml(markdown, options, arena.get());
            }))
            return nullptr;
        return new_str(out);
    }
    stage = "parsing markdown";
    Document document;
    bool callbacks_ok = true;
    if (!guarded(stage, [&] {
            document = parse(markdown, options);
            callbacks_ok = apply_callbacks(document, callbacks);
        }))
        return nullptr;
    if (!callbacks_ok) return nullptr;
    stage = "rendering markdown";
    if (!guarded(stage, [&] { out = to_xhtml_document(document); })) return nullptr;
    if (options.balance) {
        stage = "balancing output";
        if (!guarded(stage, [&] { out = balance_fragment(out); })) return nullptr;
    }
    return new_str(out);
}

// blocks() and edit_nodes(): the same arguments, one parse, different results.
template <class Convert>
PyObject* span_function(const char* name, const char* stage, bool want_edit_nodes, PyObject* const* args,
                        Py_ssize_t nargs, PyObject* kwnames, Convert&& convert) {
    PyObject* values[2];
    if (!match_arguments({name, span_names, 2}, args, nargs, kwnames, values)) return nullptr;
    std::string_view markdown;
    PyObject* math_value = nullptr;
    if (!convert_common(values, markdown, math_value)) return nullptr;
    Options options;
    if (!finish_math(math_value, options)) return nullptr;
    ParseOutput parsed;
    if (!guarded(stage, [&] { parsed = parse_source(markdown, options, want_edit_nodes); })) return nullptr;
    return convert(parsed, markdown);
}

PyObject* py_blocks(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return span_function("blocks", "parsing markdown", false, args, nargs, kwnames,
                         [](const ParseOutput& p, std::string_view) { return spans_to_list(p.spans); });
}

PyObject* py_edit_nodes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return span_function("edit_nodes", "parsing markdown edit nodes", true, args, nargs, kwnames,
                         [](const ParseOutput& p, std::string_view markdown) {
                             return edit_nodes_to_list(p.edit_nodes, markdown);
                         });
}

PyMethodDef function_defs[] = {
    {"to_xhtml", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_to_xhtml)),
     METH_FASTCALL | METH_KEYWORDS,
     "to_xhtml(markdown, *, math=\"brackets\", tagfilter=False, balance=False, auto_ids=True, smart=False, "
     "callbacks=None, max_inline_depth=None, max_block_depth=None, max_link_paren_depth=None)\n--\n\n"},
    {"blocks", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_blocks)),
     METH_FASTCALL | METH_KEYWORDS, "blocks(markdown, *, math=\"brackets\")\n--\n\n"},
    {"edit_nodes", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_edit_nodes)),
     METH_FASTCALL | METH_KEYWORDS, "edit_nodes(markdown, *, math=\"brackets\")\n--\n\n"},
};

// glibc gives freed memory at the top of its heap back to the system once more
// than 128 KiB of it is free, until the process has freed one large block:
// then it raises that threshold to twice the block's size. A conversion frees
// a few hundred KiB as it ends, so a process that converts many small
// documents would give that memory back and fault it in again on every call,
// which costs more than the conversion itself where page faults are slow
// (virtual machines). Freeing one 1 MiB block at import moves glibc's own
// adaptive thresholds as any program that once handled a large string would;
// settings made with mallopt() are left alone by glibc.
void settle_allocator() {
#if defined(__GLIBC__)
    void* block = std::malloc(std::size_t{1} << 20);
    __asm__ volatile("" : : "g"(block) : "memory");  // keep the pair from being optimised away
    std::free(block);
#endif
}

int module_exec(PyObject* module) {
    new (PyModule_GetState(module)) ModuleState{};
    settle_allocator();
    for (PyMethodDef& def : function_defs) {
        Ref fn(PyCMethod_New(&def, module, nullptr, nullptr));
        if (!fn) return -1;
        if (PyModule_AddObjectRef(module, def.ml_name, fn.get()) < 0) return -1;
    }
    return PyModule_AddStringConstant(module, "__version__", std::string(version).c_str());
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

void module_free(void* module) {
    if (void* state = PyModule_GetState(static_cast<PyObject*>(module))) {
        auto* s = static_cast<ModuleState*>(state);
        delete s->idle_arena.exchange(nullptr);
        s->~ModuleState();
    }
}

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_native", "", sizeof(ModuleState), nullptr, module_slots, nullptr, nullptr,
    module_free,
};

}  // namespace
}  // namespace quenlor::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__native(void) {
    return PyModuleDef_Init(&quenlor::py::module_def);
}
