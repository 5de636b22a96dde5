// The module initializer: creates `ovpi._sys` once per process with the
// Instance type and the three functions, and refuses sub-interpreters.

#include <atomic>
#include <cstdint>
#include <string_view>

#include "ovcore/src/binding/call_boundary.hpp"
#include "ovcore/src/binding/panic.hpp"
#include "ovcore/src/binding/process_once.hpp"
#include "ovcore/src/binding/py_text.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "ovcore/src/utils/try.hpp"
#include "ovpi_sys/instance.hpp"
#include "ovpi_sys/numeric.hpp"

#if defined(OVPI_EXPECT_PY_DEBUG) && !defined(Py_REF_DEBUG)
#error "built for the debug interpreter, but these Python headers are not a debug build's"
#endif

namespace ovpi_sys {
namespace {

constexpr std::string_view kPackageName = "ovpi";

using ovcore::binding::BorrowedRef;
using ovcore::binding::OwnedRef;
using ovcore::binding::PyError;
using ovcore::binding::PyResult;

PyModuleDef module_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_sys",
    .m_doc = "The module initializer wires the native functions of the Orvantis core into ovpi._sys.",
    .m_size = 0,
    .m_methods = nullptr,  // the functions are added one by one, with __all__
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

PyMethodDef function_defs[] = {
    {"_ov_create_instance", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&ov_create_instance)),
     METH_FASTCALL | METH_KEYWORDS,
     "_ov_create_instance(instance_create_info)\n--\n\n"
     "Creates a new Orvantis instance from the validated Python dataclasses."},
    {"factorial", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&factorial)),
     METH_FASTCALL | METH_KEYWORDS, "factorial(n)\n--\n\nComputes the factorial of a number."},
    {"fibonacci", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fibonacci)),
     METH_FASTCALL | METH_KEYWORDS, "fibonacci(n)\n--\n\nComputes the fibonacci of a number."},
};

std::atomic<std::int64_t> owning_interpreter{-1};
// Never released. Threads importing at once wait for the first, detached.
ovcore::binding::ProcessOnce<PyObject*> module_object;

// Appends `name` to the module's __all__ (creating it on first use), then
// sets the attribute.
PyResult<void> add_to_module(BorrowedRef module, BorrowedRef name, OwnedRef value) {
  OwnedRef all = OwnedRef::steal(PyObject_GetAttrString(module.get(), "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return ovcore::binding::fetched_error();
    PyErr_Clear();
    all = OwnedRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module.get(), "__all__", all.get()) < 0) {
      return ovcore::binding::fetched_error();  // LCOV_EXCL_LINE: only when the interpreter runs out of memory, at
                                                // import
    }
  }
  if (!PyList_Check(all.get()) || PyList_Append(all.get(), name.get()) < 0) {
    // LCOV_EXCL_START: only when the interpreter runs out of memory, at import
    PyErr_Clear();
    throw ovcore::utils::FatalError("could not append __name__ to __all__");
    // LCOV_EXCL_STOP
  }
  if (PyObject_SetAttr(module.get(), name.get(), value.get()) < 0) return ovcore::binding::fetched_error();
  return {};
}

PyResult<void> add_instance_type(BorrowedRef module) {
  PyResult<PyTypeObject*> type = instance_type();
  if (!type) {
    // LCOV_EXCL_START: only when the interpreter runs out of memory, at import
    OwnedRef cause = std::move(type).error().into_object();
    OwnedRef text = OV_TRY(
        ovcore::binding::or_fetched(ovcore::binding::to_py_str("An error occurred while initializing class Instance")));
    return std::unexpected(ovcore::binding::new_error(PyExc_RuntimeError, text.borrow(), std::move(cause)));
    // LCOV_EXCL_STOP
  }
  OwnedRef name = OV_TRY(ovcore::binding::or_fetched(ovcore::binding::to_py_str("Instance")));
  return add_to_module(module, name.borrow(), OwnedRef::new_ref(reinterpret_cast<PyObject*>(*type)));
}

PyResult<void> add_function(BorrowedRef module, PyMethodDef& def) {
  OwnedRef module_name = OwnedRef::steal(PyModule_GetNameObject(module.get()));
  if (!module_name) return ovcore::binding::fetched_error();
  OwnedRef function = OwnedRef::steal(PyCMethod_New(&def, module.get(), module_name.get(), nullptr));
  if (!function) return ovcore::binding::fetched_error();
  OwnedRef name = OwnedRef::steal(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return ovcore::binding::fetched_error();
  return add_to_module(module, name.borrow(), std::move(function));
}

PyResult<OwnedRef> create_module() {
  OwnedRef module = OwnedRef::steal(PyModule_Create2(&module_def, PYTHON_API_VERSION));
  if (!module) return ovcore::binding::fetched_error();
#ifdef Py_GIL_DISABLED
  if (PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_USED) < 0) return ovcore::binding::fetched_error();
#endif
  OV_TRY(add_instance_type(module.borrow()));
  for (PyMethodDef& def : function_defs) OV_TRY(add_function(module.borrow(), def));
  return module;
}

// The class is named ovpi.PanicException, and that is where it is put, in
// the package this module belongs to, when the package is being imported or
// has been: the package cannot reach it otherwise, since it is not an
// attribute of this module. Every initialization does it, so that a package
// imported anew (after a purge of sys.modules) gets it too.
PyResult<void> publish_panic_exception() {
  PyObject* type = ovcore::binding::panic_exception_type();
  if (type == nullptr) return ovcore::binding::fetched_error();
  OwnedRef name = OV_TRY(ovcore::binding::or_fetched(ovcore::binding::to_py_str(kPackageName)));
  OwnedRef package = OwnedRef::steal(PyImport_GetModule(name.get()));
  if (!package) return PyErr_Occurred() ? ovcore::binding::fetched_error() : PyResult<void>{};
  if (PyObject_SetAttrString(package.get(), "PanicException", type) < 0) return ovcore::binding::fetched_error();
  return {};
}

PyResult<OwnedRef> initialize_module() {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1) return ovcore::binding::fetched_error();
  std::int64_t expected = -1;
  if (!owning_interpreter.compare_exchange_strong(expected, id, std::memory_order_seq_cst) && expected != id) {
    return std::unexpected(
        PyError::lazy(PyExc_ImportError,
                      "ovpi._sys does not support sub-interpreters: it can only be imported by the interpreter that "
                      "imported it first"));
  }
  PyObject* module =
      OV_TRY(module_object.get([]() -> PyResult<PyObject*> { return OV_TRY(create_module()).release(); }));
  OV_TRY(publish_panic_exception());
  return OwnedRef::new_ref(module);
}

}  // namespace
}  // namespace ovpi_sys

PyMODINIT_FUNC PyInit__sys() {
  return ovcore::binding::call_function([] { return ovpi_sys::initialize_module(); });
}
