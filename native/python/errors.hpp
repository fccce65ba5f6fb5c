// The module's one exception type and the mapping of failures onto it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "core/error.hpp"

namespace velmora::py {

// The PptxError type, created on first use; null with an error set on failure.
PyObject* pptx_error();

// Raises PptxError with the error's text form; returns null for the caller to return.
std::nullptr_t raise(const core::Error& error);
// Raises PptxError with a plain message.
std::nullptr_t raise(std::string_view message);

}  // namespace velmora::py
