// Read-only heap types over native values: a value type plus a table of
// {name, doc, getter} becomes a class whose instances hold one value.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <new>
#include <span>
#include <utility>
#include <vector>

namespace velmora::py {

template <class Value>
struct Attribute {
    const char* name;
    const char* doc;  // null when the attribute has none
    PyObject* (*get)(const Value&);
};

template <class Value>
class ValueClass {
public:
    struct Object {
        PyObject_HEAD
        Value value;
    };

    // Creates the type on first use (`qualified_name` as "velmora.Name") and
    // adds it to `module`; false with an error set on failure.
    static bool add_to(PyObject* module, const char* qualified_name, const char* doc,
                       std::span<const Attribute<Value>> attributes, PyObject* (*repr)(const Value&),
                       PyObject* (*str)(const Value&) = nullptr) {
        if (!type_) {
            getsets_.clear();
            for (const Attribute<Value>& attribute : attributes)
                getsets_.push_back({attribute.name, &get, nullptr, attribute.doc,
                                    const_cast<Attribute<Value>*>(&attribute)});
            getsets_.push_back({});
            repr_ = repr;
            str_ = str;
            std::vector<PyType_Slot> slots = {
                {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)},
                {Py_tp_repr, reinterpret_cast<void*>(&represent)},
                {Py_tp_getset, getsets_.data()},
                {Py_tp_doc, const_cast<char*>(doc)},
            };
            if (str) slots.push_back({Py_tp_str, reinterpret_cast<void*>(&as_text)});
            slots.push_back({0, nullptr});
            PyType_Spec type_spec = {qualified_name, static_cast<int>(sizeof(Object)), 0,
                                Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
                                slots.data()};
            type_ = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&type_spec));
            if (!type_) return false;
        }
        const char* dot = std::strrchr(qualified_name, '.');
        return PyModule_AddObjectRef(module, dot ? dot + 1 : qualified_name, reinterpret_cast<PyObject*>(type_)) == 0;
    }

    // A new instance holding `value`.
    static PyObject* wrap(Value value) {
        PyObject* self = type_->tp_alloc(type_, 0);
        if (!self) return nullptr;
        new (&reinterpret_cast<Object*>(self)->value) Value(std::move(value));
        return self;
    }

private:
    static PyObject* get(PyObject* self, void* closure) {
        return static_cast<const Attribute<Value>*>(closure)->get(reinterpret_cast<Object*>(self)->value);
    }
    static PyObject* represent(PyObject* self) { return repr_(reinterpret_cast<Object*>(self)->value); }
    static PyObject* as_text(PyObject* self) { return str_(reinterpret_cast<Object*>(self)->value); }
    static void dealloc(PyObject* self) {
        PyTypeObject* type = Py_TYPE(self);
        reinterpret_cast<Object*>(self)->value.~Value();
        type->tp_free(self);
        Py_DECREF(type);
    }

    static inline PyTypeObject* type_ = nullptr;
    static inline std::vector<PyGetSetDef> getsets_;
    static inline PyObject* (*repr_)(const Value&) = nullptr;
    static inline PyObject* (*str_)(const Value&) = nullptr;
};

}  // namespace velmora::py
