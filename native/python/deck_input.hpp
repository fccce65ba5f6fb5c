// The deck arguments every opening entry point shares: exactly one of a
// path (str or os.PathLike giving str) and data= (bytes-like or ints 0-255).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string>
#include <variant>

#include "core/bytes.hpp"

namespace velmora::py {

struct DeckPath {
    std::string bytes;  // the file name in the file-system encoding
    std::string text;   // the same as UTF-8, for representations
};

// A deck converted into owned native values, safe to use without the lock.
using DeckInput = std::variant<DeckPath, core::Bytes>;

// Converts `path` and `data` (either may be null or None); on failure sets
// the Python error and returns nothing.
std::optional<DeckInput> deck_input(PyObject* path, PyObject* data);

// Copies a sequence of ints 0-255 or a bytes-like object into owned bytes.
std::optional<core::Bytes> bytes_argument(PyObject* value, const char* argument);

}  // namespace velmora::py
