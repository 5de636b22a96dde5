# cmake -DSOURCE_DIR=<tree> -DBINARY_DIR=<new folder> -DSOABI=<soabi> -DOUTCOME=accepted|refused
#       -DPYTHON=<interpreter> -DPYTHON_INCLUDE=<its headers> -P check_cross_suffix.cmake
#
# Configures the module's build for Linux on aarch64, as scikit-build-core
# would with SOABI, and checks that the configure takes it or refuses it
# (with the advice to set SETUPTOOLS_EXT_SUFFIX).
file(REMOVE_RECURSE ${BINARY_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR}
          --toolchain ${SOURCE_DIR}/cmake/toolchains/aarch64-linux-gnu.cmake
          -DSKBUILD=ON -DSKBUILD_SOABI=${SOABI} -DOVPI_BUILD_TESTS=OFF
          -DPython_EXECUTABLE=${PYTHON} -DPython_INCLUDE_DIR=${PYTHON_INCLUDE}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE_RECURSE ${BINARY_DIR})
string(REGEX REPLACE "[ \n]+" " " output "${output}")
if(OUTCOME STREQUAL "accepted" AND NOT status EQUAL 0)
  message(FATAL_ERROR "the configure refused SOABI ${SOABI}:\n${output}")
elseif(OUTCOME STREQUAL "refused")
  if(status EQUAL 0)
    message(FATAL_ERROR "the configure took SOABI ${SOABI}, which names no aarch64 interpreter")
  endif()
  if(NOT output MATCHES "does not name the target machine 'aarch64'.* set SETUPTOOLS_EXT_SUFFIX to the target interpreter's suffix")
    message(FATAL_ERROR "the configure refused SOABI ${SOABI} without saying why:\n${output}")
  endif()
endif()
