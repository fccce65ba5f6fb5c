#include "deck_input.hpp"

#include "core/utf8.hpp"
#include "ref.hpp"

namespace velmora::py {
namespace {

bool given(PyObject* value) { return value != nullptr && value != Py_None; }

std::optional<DeckPath> path_argument(PyObject* value) {
    if (PyBytes_Check(value) || PyByteArray_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "path must be str or os.PathLike returning str, not bytes");
        return std::nullopt;
    }
    Ref fspath = Ref::steal(PyOS_FSPath(value));
    if (!fspath) {
        PyErr_Format(PyExc_TypeError, "path must be str or os.PathLike, not %.200s", Py_TYPE(value)->tp_name);
        return std::nullopt;
    }
    if (!PyUnicode_Check(fspath.get())) {
        PyErr_Format(PyExc_TypeError, "path must be str or os.PathLike returning str, not %.200s",
                     Py_TYPE(fspath.get())->tp_name);
        return std::nullopt;
    }
    Ref encoded = Ref::steal(PyUnicode_EncodeFSDefault(fspath.get()));
    if (!encoded) return std::nullopt;
    std::string bytes(PyBytes_AS_STRING(encoded.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
    std::string text = core::utf8_lossy(bytes);
    return DeckPath{std::move(bytes), std::move(text)};
}

}  // namespace

std::optional<core::Bytes> bytes_argument(PyObject* value, const char* argument) {
    if (PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be bytes-like or a sequence of ints, not str", argument);
        return std::nullopt;
    }
    if (PyObject_CheckBuffer(value)) {
        Py_buffer view;
        if (PyObject_GetBuffer(value, &view, PyBUF_SIMPLE) != 0) return std::nullopt;
        const auto* start = static_cast<const std::uint8_t*>(view.buf);
        core::Bytes bytes(start, start + view.len);
        PyBuffer_Release(&view);
        return bytes;
    }
    Ref sequence = Ref::steal(PySequence_Fast(value, ""));
    if (!sequence) {
        PyErr_Format(PyExc_TypeError, "%s must be bytes-like or a sequence of ints, not %.200s", argument,
                     Py_TYPE(value)->tp_name);
        return std::nullopt;
    }
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence.get());
    core::Bytes bytes(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* item = PySequence_Fast_GET_ITEM(sequence.get(), i);
        if (!PyLong_Check(item)) {
            PyErr_Format(PyExc_TypeError, "%s must contain ints, not %.200s", argument, Py_TYPE(item)->tp_name);
            return std::nullopt;
        }
        const long byte = PyLong_AsLong(item);
        if (byte == -1 && PyErr_Occurred()) return std::nullopt;
        if (byte < 0 || byte > 255) {
            PyErr_Format(PyExc_ValueError, "%s must contain ints in range(0, 256)", argument);
            return std::nullopt;
        }
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(byte);
    }
    return bytes;
}

std::optional<DeckInput> deck_input(PyObject* path, PyObject* data) {
    if (given(path) == given(data)) {
        PyErr_SetString(PyExc_ValueError, "pass either a path or data=, not both");
        return std::nullopt;
    }
    if (given(path)) {
        auto converted = path_argument(path);
        if (!converted) return std::nullopt;
        return DeckInput(std::move(*converted));
    }
    auto bytes = bytes_argument(data, "data");
    if (!bytes) return std::nullopt;
    return DeckInput(std::move(*bytes));
}

}  // namespace velmora::py
