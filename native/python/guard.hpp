// Binding methods run their body through `guarded`, so that a C++ exception
// (out of memory, a broken invariant) becomes a Python exception instead of
// terminating the interpreter.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>

#include "errors.hpp"

namespace velmora::py {

template <class Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        raise(std::string("internal error: ") + error.what());
    } catch (...) {
        raise("internal error");
    }
    return {};
}

}  // namespace velmora::py
