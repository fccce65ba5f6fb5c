// The raw package view: Package and its value classes Part, Relationship,
// ContentTypes and PackageDefects.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace velmora::py {

// Adds the package classes to the module; false with an error set on failure.
bool add_package_classes(PyObject* module);

}  // namespace velmora::py
