# cmake -DSOURCE_DIR=<tree> -P check_layers.cmake
#
# The layering, checked on the sources' includes:
#   - Python's headers are included only inside the binding's tree,
#     ovcore/src/binding/ (and by bench/floor.c, the benchmarks' plain-C
#     floor module, which stands apart from the project's layers);
#   - the core (ovcore/ outside the binding, ovinstr/) and its tests
#     (tests/cpp/) include no binding header either;
#   - ovcore/src/utils/ includes nothing of the core above it (base, ext,
#     specializations, the binding);
#   - ovcore/src/ext/ reaches ovcore/src/base/ only through the instance it
#     serves: base/weak_instance.hpp and base/instance_context.hpp;
#   - nothing in ovcore/ includes the extension module, ovpi_sys/;
#   - ovinstr/ includes nothing of the project but its own headers: the
#     core's containers hold its types, so it sits below the core.
# Fails with every offending line. tests/cpp/layers_planted.cmake plants one
# fault per rule and requires each to be reported.
set(python_headers [=[# *include *[<"](Python|datetime|structmember|pythread)\.h[>"]]=])
set(binding_headers [=[# *include *[<"]ovcore/src/binding/]=])
set(above_utils [=[# *include *[<"]ovcore/src/(base|ext|specializations|binding)/]=])
set(base_headers [=[# *include *[<"]ovcore/src/base/]=])
set(base_for_ext [=[# *include *[<"]ovcore/src/base/(weak_instance|instance_context)\.hpp[>"]]=])
set(module_headers [=[# *include *[<"]ovpi_sys/]=])
set(project_headers [=[# *include *[<"](ovcore|ovpi_sys|tests|bench)/]=])

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/ovcore/* ${SOURCE_DIR}/ovinstr/* ${SOURCE_DIR}/ovpi_sys/*
     ${SOURCE_DIR}/tests/* ${SOURCE_DIR}/bench/*)
list(FILTER sources INCLUDE REGEX "\\.(c|cc|cpp|h|hpp)$")

set(faults "")
foreach(source IN LISTS sources)
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^ *# *include")
  foreach(line IN LISTS lines)
    if(line MATCHES "${module_headers}" AND source MATCHES "^ovcore/")
      string(APPEND faults "\n  ${source}: ${line} (the core sits below the extension module)")
    endif()
    if(line MATCHES "${project_headers}" AND source MATCHES "^ovinstr/")
      string(APPEND faults "\n  ${source}: ${line} (ovinstr/ sits below the core and includes only its own)")
    endif()
    if(source MATCHES "^ovcore/src/binding/")
      continue()
    endif()
    if(line MATCHES "${above_utils}" AND source MATCHES "^ovcore/src/utils/")
      string(APPEND faults "\n  ${source}: ${line} (utils/ sits below the rest of the core)")
    endif()
    if(line MATCHES "${base_headers}" AND NOT line MATCHES "${base_for_ext}" AND source MATCHES "^ovcore/src/ext/")
      string(APPEND faults "\n  ${source}: ${line} (ext/ reaches base/ only through its instance)")
    endif()
    if(line MATCHES "${python_headers}" AND NOT source STREQUAL "bench/floor.c")
      string(APPEND faults "\n  ${source}: ${line} (Python's headers belong to ovcore/src/binding/)")
    endif()
    if(line MATCHES "${binding_headers}" AND source MATCHES "^(ovcore|ovinstr|tests/cpp)/")
      string(APPEND faults "\n  ${source}: ${line} (the core sits below the binding)")
    endif()
  endforeach()
endforeach()
list(LENGTH sources count)
if(faults)
  message(FATAL_ERROR "includes that break the layering:${faults}")
endif()
message(STATUS "layering holds in ${count} sources")
