# ovcore_python_api_checks(<target>)
#
# Finds out which of the interpreter's optional calls the Python headers
# declare and tells <target>'s sources with a 0/1 macro each:
#   OVCORE_HAVE_PYDICT_NEWPRESIZED  _PyDict_NewPresized, a private call that
#                                   sizes a dict up front. Every version so
#                                   far has it; one that drops it gets the
#                                   public PyDict_New instead.
include(CheckCXXSourceCompiles)

function(ovcore_python_api_checks target)
  set(CMAKE_REQUIRED_INCLUDES ${Python_INCLUDE_DIRS})
  # Compiled, not linked: an extension module does not link libpython.
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
  check_cxx_source_compiles("#include <Python.h>\nPyObject* f() { return _PyDict_NewPresized(7); }"
                            OVCORE_HAVE_PYDICT_NEWPRESIZED)
  target_compile_definitions(${target} PRIVATE
                             OVCORE_HAVE_PYDICT_NEWPRESIZED=$<BOOL:${OVCORE_HAVE_PYDICT_NEWPRESIZED}>)
endfunction()
