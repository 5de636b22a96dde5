# cmake -DCHECK=<check_layers.cmake> -DTREE=<new folder> -P layers_planted.cmake
#
# The check of the layering check: a tree with one fault planted per rule,
# beside includes that the rules allow. The check must fail, report every
# fault with its rule, and report nothing that is allowed.
file(REMOVE_RECURSE ${TREE})
# file|include|what the check must say of it ("allowed": nothing)
set(cases
  "ovcore/src/base/planted_python.cpp|<Python.h>|Python's headers belong to ovcore/src/binding/"
  "tests/cpp/planted_binding.cpp|\"ovcore/src/binding/py_ref.hpp\"|the core sits below the binding"
  "ovcore/src/utils/planted_above.hpp|\"ovcore/src/base/api.hpp\"|utils/ sits below the rest of the core"
  "ovcore/src/ext/planted_base.cpp|\"ovcore/src/base/api.hpp\"|ext/ reaches base/ only through its instance"
  "ovcore/src/binding/planted_module.cpp|\"ovpi_sys/instance.hpp\"|the core sits below the extension module"
  "ovinstr/planted_core.hpp|\"ovcore/src/utils/result.hpp\"|ovinstr/ sits below the core and includes only its own"
  "ovcore/src/binding/allowed_python.cpp|<Python.h>|allowed"
  "bench/floor.c|<Python.h>|allowed"
  "ovcore/src/ext/allowed_instance.cpp|\"ovcore/src/base/instance_context.hpp\"|allowed"
  "ovpi_sys/allowed_binding.cpp|\"ovcore/src/binding/py_ref.hpp\"|allowed"
  "ovinstr/allowed_own.hpp|\"ovinstr/modules.hpp\"|allowed")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 file)
  list(GET case 1 header)
  file(WRITE ${TREE}/${file} "#include ${header}\n")
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${TREE} -P ${CHECK}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE_RECURSE ${TREE})
if(status EQUAL 0)
  message(FATAL_ERROR "the layering check passed a tree with a fault planted for each rule:\n${output}")
endif()
set(missed "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 file)
  list(GET case 2 verdict)
  string(FIND "${output}" "${file}: #include" at)
  if(verdict STREQUAL "allowed" AND NOT at EQUAL -1)
    string(APPEND missed "\n  ${file}: reported, though the rules allow it")
  elseif(NOT verdict STREQUAL "allowed")
    string(FIND "${output}" "(${verdict})" said)
    if(at EQUAL -1 OR said EQUAL -1)
      string(APPEND missed "\n  ${file}: not reported as \"${verdict}\"")
    endif()
  endif()
endforeach()
if(missed)
  message(FATAL_ERROR "the layering check is wrong on planted includes:${missed}\nits report:\n${output}")
endif()
list(LENGTH cases count)
message(STATUS "the layering check reports each of the ${count} planted includes as it should")
