// _dovrane: the native engine of dovrane.
#include <Python.h>

namespace {

int exec_module(PyObject*) { return 0; }

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_dovrane", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__dovrane() { return PyModuleDef_Init(&module_def); }
