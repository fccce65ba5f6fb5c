// Module initialisation: the version, the exception type and the `write`
// submodule, entered in sys.modules so that it imports without a file.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "check.hpp"
#include "errors.hpp"
#include "package.hpp"
#include "ref.hpp"

namespace velmora::py {
namespace {

constexpr const char* version = "2.2.0";

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "_velmora", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr,
};

bool add_write_submodule(PyObject* module) {
    Ref write = Ref::steal(PyModule_New("write"));
    if (!write) return false;
    if (PyModule_AddObjectRef(module, "write", write.get()) != 0) return false;
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    return PyDict_SetItemString(modules, "velmora._velmora.write", write.get()) == 0;
}

PyObject* initialise() {
    Ref module = Ref::steal(PyModule_Create(&module_definition));
    if (!module) return nullptr;
    if (PyModule_AddStringConstant(module.get(), "__version__", version) != 0) return nullptr;
    PyObject* error_type = pptx_error();
    if (!error_type || PyModule_AddObjectRef(module.get(), "PptxError", error_type) != 0) return nullptr;
    if (!add_checker_classes(module.get())) return nullptr;
    if (PyModule_AddFunctions(module.get(), checker_functions) != 0) return nullptr;
    if (!add_package_classes(module.get())) return nullptr;
    if (!add_write_submodule(module.get())) return nullptr;
    return module.release();
}

}  // namespace
}  // namespace velmora::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__velmora() {
    return velmora::py::initialise();
}
