#pragma once
// The embedded interpreter shared by these tests: evaluating Python source
// and reading exception chains.

#include <string>
#include <vector>

#include "ovcore/src/binding/py_error.hpp"

namespace ovtest {

// Evaluates a Python expression in a namespace where `types` is imported
// and the helpers defined in embedded_python.cpp exist.
ovcore::binding::OwnedRef eval(const std::string& expression);

// Runs Python statements in the same namespace; false (with the error
// printed) when they raise.
bool run(const std::string& statements);

// Binds `name` to `value` in that namespace.
void bind(const char* name, ovcore::binding::BorrowedRef value);

// "Type: text" for the exception and each of its causes, outermost first.
std::vector<std::string> chain(ovcore::binding::PyError error);

}  // namespace ovtest
