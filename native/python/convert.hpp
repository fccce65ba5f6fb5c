// Native values to Python objects (new references, null with an error set).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ref.hpp"

namespace velmora::py {

inline PyObject* to_py(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}
inline PyObject* to_py(const std::string& text) { return to_py(std::string_view(text)); }
inline PyObject* to_py(const char* text) { return to_py(std::string_view(text)); }
inline PyObject* to_py(bool value) { return PyBool_FromLong(value); }
inline PyObject* to_py(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }
inline PyObject* to_py(std::int64_t value) { return PyLong_FromLongLong(value); }

template <class T>
PyObject* to_py(const std::optional<T>& value) {
    if (!value) Py_RETURN_NONE;
    return to_py(*value);
}

template <class A, class B>
PyObject* to_py(const std::pair<A, B>& pair) {
    Ref first = Ref::steal(to_py(pair.first));
    Ref second = Ref::steal(to_py(pair.second));
    if (!first || !second) return nullptr;
    return PyTuple_Pack(2, first.get(), second.get());
}

// A list of `convert(item)` for each item.
template <class Items, class Convert>
PyObject* list_of(const Items& items, Convert&& convert) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
    if (!list) return nullptr;
    Py_ssize_t i = 0;
    for (const auto& item : items) {
        PyObject* converted = convert(item);
        if (!converted) return nullptr;
        PyList_SET_ITEM(list.get(), i++, converted);
    }
    return list.release();
}

template <class T>
PyObject* to_py(const std::vector<T>& items) {
    return list_of(items, [](const T& item) { return to_py(item); });
}

template <class K, class V>
PyObject* to_py(const std::map<K, V>& items) {
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [key, value] : items) {
        Ref k = Ref::steal(to_py(key));
        Ref v = Ref::steal(to_py(value));
        if (!k || !v || PyDict_SetItem(dict.get(), k.get(), v.get()) != 0) return nullptr;
    }
    return dict.release();
}

// A str argument as UTF-8; nothing, with TypeError naming the argument, when
// it is not a str (or with the encoding error when it cannot be encoded).
inline std::optional<std::string> str_argument(PyObject* value, const char* function, const char* name) {
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %.200s", function, name,
                     Py_TYPE(value)->tp_name);
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value, &size);
    if (!data) return std::nullopt;
    return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace velmora::py
