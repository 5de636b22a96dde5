# The interpreter a build is for, before FindPython runs.
#
# OVPI_PYTHON names it: a command on PATH (python3.15) or a path. Empty, it
# is the first version of tools/pythons.txt (python3.14), with the debug
# interpreter's "d" when OVPI_EXPECT_PY_DEBUG asks for its headers. A build
# driven by scikit-build-core, or given Python_EXECUTABLE, keeps that one.
#
# A debug interpreter's own headers are taken (its pyconfig.h defines
# Py_DEBUG); FindPython would otherwise find the release ones beside them.
set(OVPI_PYTHON "" CACHE STRING "The interpreter to build for: a command or a path (default: the first of tools/pythons.txt)")

if(NOT Python_EXECUTABLE)
  set(ovpi_python_name "${OVPI_PYTHON}")
  if(ovpi_python_name STREQUAL "")
    file(STRINGS ${PROJECT_SOURCE_DIR}/tools/pythons.txt ovpi_versions REGEX "^[0-9]")
    list(GET ovpi_versions 0 ovpi_default_version)
    set(ovpi_python_name "python${ovpi_default_version}")
    if(OVPI_EXPECT_PY_DEBUG)
      string(APPEND ovpi_python_name "d")
    endif()
  endif()
  find_program(ovpi_python_path NAMES ${ovpi_python_name} NO_CACHE)
  if(NOT ovpi_python_path)
    message(FATAL_ERROR "no interpreter ${ovpi_python_name} found (OVPI_PYTHON names one: a command on PATH or a path)")
  endif()
  set(Python_EXECUTABLE ${ovpi_python_path})
endif()

if(OVPI_EXPECT_PY_DEBUG AND NOT Python_INCLUDE_DIR)
  execute_process(COMMAND ${Python_EXECUTABLE} -c "import sysconfig; print(sysconfig.get_path('include'))"
                  OUTPUT_VARIABLE Python_INCLUDE_DIR OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()
