// The verifier's Python face: check, check_report, rules and the classes
// Finding, Rule and CheckReport.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace velmora::py {

// The checker classes, added to the module; false with an error set on failure.
bool add_checker_classes(PyObject* module);

extern PyMethodDef checker_functions[];

}  // namespace velmora::py
