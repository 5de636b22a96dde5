# cmake -DSOURCE_DIR=<tree> -P check_layers.cmake
#
# The layering, checked on the sources' includes:
#   - Python's headers are included only inside the binding's tree,
#     ovcore/src/binding/ (and by bench/floor.c, the benchmarks' plain-C
#     floor module, which stands apart from the project's layers);
#   - the core (ovcore/ outside the binding, ovinstr/) and its tests
#     (tests/cpp/) include no binding header either.
# Fails with every offending line.
set(python_headers [=[# *include *[<"](Python|datetime|structmember|pythread)\.h[>"]]=])
set(binding_headers [=[# *include *[<"]ovcore/src/binding/]=])

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/ovcore/* ${SOURCE_DIR}/ovinstr/* ${SOURCE_DIR}/ovpi_sys/*
     ${SOURCE_DIR}/tests/* ${SOURCE_DIR}/bench/*)
list(FILTER sources INCLUDE REGEX "\\.(c|cc|cpp|h|hpp)$")

set(faults "")
foreach(source IN LISTS sources)
  if(source MATCHES "^ovcore/src/binding/")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^ *# *include")
  foreach(line IN LISTS lines)
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
