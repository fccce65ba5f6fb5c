#include "errors.hpp"

namespace velmora::py {

PyObject* pptx_error() {
    // Module initialisation runs with the interpreter lock held, and every
    // later use too, so this first-use creation cannot race.
    static PyObject* type = nullptr;
    if (!type) {
        type = PyErr_NewExceptionWithDoc(
            "velmora.PptxError", "Raised for any PowerPoint processing error (bad data, unreadable parts, I/O).",
            PyExc_Exception, nullptr);
        if (!type) {
            PyErr_SetString(PyExc_RuntimeError, "Failed to initialize new exception type.");
            return nullptr;
        }
    }
    return type;
}

std::nullptr_t raise(std::string_view message) {
    if (PyObject* type = pptx_error()) {
        PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
        if (text) {
            PyErr_SetObject(type, text);
            Py_DECREF(text);
        }
    }
    return nullptr;
}

std::nullptr_t raise(const core::Error& error) { return raise(error.to_string()); }

}  // namespace velmora::py
