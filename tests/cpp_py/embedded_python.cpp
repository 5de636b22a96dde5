#include "tests/cpp_py/embedded_python.hpp"

#include <cstdlib>

#include <gtest/gtest.h>

#include "ovcore/src/binding/attach.hpp"

namespace ovtest {
namespace {

PyObject* globals = nullptr;

// The shared builders (tests/support/builders.py): version, app, info,
// settings, Recorder.
constexpr const char* kPrelude = R"(
import sys, types
sys.path.insert(0, OVPI_TEST_SUPPORT_DIR)
from builders import *
)";

}  // namespace

ovcore::binding::OwnedRef eval(const std::string& expression) {
  PyObject* result = PyRun_String(expression.c_str(), Py_eval_input, globals, globals);
  if (result == nullptr) {
    PyErr_Print();
    ADD_FAILURE() << "Python expression failed: " << expression;
  }
  return ovcore::binding::OwnedRef::steal(result);
}

bool run(const std::string& statements) {
  PyObject* result = PyRun_String(statements.c_str(), Py_file_input, globals, globals);
  if (result == nullptr) {
    PyErr_Print();
    ADD_FAILURE() << "Python statements failed:\n" << statements;
    return false;
  }
  Py_DECREF(result);
  return true;
}

void bind(const char* name, ovcore::binding::BorrowedRef value) { PyDict_SetItemString(globals, name, value.get()); }

std::vector<std::string> chain(ovcore::binding::PyError error) {
  std::vector<std::string> out;
  ovcore::binding::OwnedRef current = std::move(error).into_object();
  while (current) {
    auto e = ovcore::binding::PyError::from_object(ovcore::binding::OwnedRef::new_ref(current.get()));
    out.push_back(e.type_qualname() + ": " + e.lossy_str());
    current = ovcore::binding::OwnedRef::steal(PyException_GetCause(current.get()));
  }
  return out;
}

}  // namespace ovtest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  Py_Initialize();
  int status;
  {
    // The main thread counts as attached through the module for the whole
    // run, as it would inside a call from Python.
    ovcore::binding::BoundaryScope attached;
    ovtest::globals = PyDict_New();
    PyDict_SetItemString(ovtest::globals, "__builtins__", PyEval_GetBuiltins());
    PyDict_SetItemString(ovtest::globals, "OVPI_TEST_SUPPORT_DIR",
                         ovcore::binding::OwnedRef::steal(PyUnicode_FromString(OVPI_TEST_SUPPORT_DIR)).get());
    PyObject* done = PyRun_String(ovtest::kPrelude, Py_file_input, ovtest::globals, ovtest::globals);
    if (done == nullptr) {
      PyErr_Print();
      return 1;
    }
    Py_DECREF(done);
    status = RUN_ALL_TESTS();
    Py_CLEAR(ovtest::globals);
  }
  if (Py_FinalizeEx() < 0) status = 1;
  return status;
}
