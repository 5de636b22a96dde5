# cmake -DSOURCE_DIR=<tree> -DBINARY_DIR=<new folder> -DPYTHON=<interpreter> -DPYTHON_INCLUDE=<its headers>
#       -P cross_sbom.cmake
#
# An independent cross build for Linux on aarch64 whose toolchain names the
# target's interpreter as Python_EXECUTABLE, for FindPython to run under
# CMAKE_CROSSCOMPILING_EMULATOR (policy CMP0190), as scikit-build-core would
# configure it: the bill of materials is still written, on the build machine.
# The target's interpreter here cannot run at all; the emulator runs PYTHON
# in its place.
file(REMOVE_RECURSE ${BINARY_DIR})
file(CONFIGURE OUTPUT ${BINARY_DIR}/target-python CONTENT [=[#!/bin/sh
echo "the target's interpreter runs only under the emulator" >&2
exit 126
]=])
file(CONFIGURE OUTPUT ${BINARY_DIR}/emulator CONTENT [=[#!/bin/sh
shift  # the target's interpreter, run as the build machine's
exec "@PYTHON@" "$@"
]=] @ONLY)
file(CHMOD ${BINARY_DIR}/target-python ${BINARY_DIR}/emulator PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(CONFIGURE OUTPUT ${BINARY_DIR}/toolchain.cmake CONTENT [=[
include(@SOURCE_DIR@/cmake/toolchains/aarch64-linux-gnu.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR @BINARY_DIR@/emulator)
set(Python_EXECUTABLE @BINARY_DIR@/target-python)
]=] @ONLY)

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR}/build --toolchain ${BINARY_DIR}/toolchain.cmake
          -DCMAKE_POLICY_DEFAULT_CMP0190=NEW -DSKBUILD=ON -DSKBUILD_SOABI=cpython-314-aarch64-linux-gnu
          -DSKBUILD_CORE_VERSION=0 -DOVPI_BUILD_TESTS=OFF -DPython_INCLUDE_DIR=${PYTHON_INCLUDE}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR}/build --target ovpi_sbom
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
endif()
set(sbom ${BINARY_DIR}/build/ovpi_sys/ovpi.cdx.json)
if(status EQUAL 0 AND EXISTS ${sbom})
  file(READ ${sbom} document)
  string(JSON name ERROR_VARIABLE error GET "${document}" metadata component name)
endif()
file(REMOVE_RECURSE ${BINARY_DIR})
if(NOT status EQUAL 0 OR NOT name STREQUAL "ovpi")
  message(FATAL_ERROR "the cross build with the target's interpreter wrote no bill of materials:\n${output}")
endif()
message(STATUS "the cross build wrote its bill of materials on the build machine")
