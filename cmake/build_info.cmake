# Captures the facts of this build and writes them, encoded, as a C++ byte
# array. Run at build time (cmake -P) so the timestamp and the state of the
# sources are those of the build. Inputs come as -D variables; lists are
# comma-separated. The encoding is read by ovcore/src/base/build_info.cpp.

foreach(var OUT SOURCE_DIR PROFILE OPT_INDEX NAME VERSION TRIPLE FAMILY OS ARCH
            POINTER_WIDTH ENDIAN_INDEX COMPILER_VERSION CHANNEL_INDEX HOST_TRIPLE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build_info.cmake: ${var} is not set")
  endif()
endforeach()

set(block "")
macro(put value)
  string(LENGTH "${value}" _len)
  string(APPEND block "${_len}:${value}")
endmacro()
macro(put_list csv)
  if("${csv}" STREQUAL "")
    set(_items "")
  else()
    string(REPLACE "," ";" _items "${csv}")
  endif()
  list(LENGTH _items _count)
  put("${_count}")
  foreach(_item IN LISTS _items)
    put("${_item}")
  endforeach()
endmacro()
macro(put_optional value)
  if("${value}" STREQUAL "")
    put("0")
  else()
    put("1")
    put("${value}")
  endif()
endmacro()

# The build's time, in UTC with nanoseconds. With SOURCE_DATE_EPOCH set
# (the reproducible-builds convention: seconds since the epoch), it is that
# time, which string(TIMESTAMP) reads itself, so that the same sources build
# the same bytes; otherwise the clock's (CMake's own gives microseconds).
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  include(${CMAKE_CURRENT_LIST_DIR}/source_date_epoch.cmake)
  ovpi_check_source_date_epoch()
  string(TIMESTAMP timestamp "%Y-%m-%dT%H:%M:%S.000000000Z" UTC)
else()
  execute_process(COMMAND date -u +%Y-%m-%dT%H:%M:%S.%NZ OUTPUT_VARIABLE timestamp
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
  if(NOT rc EQUAL 0 OR NOT timestamp MATCHES "^[0-9-]+T[0-9:]+\\.[0-9]+Z$")
    string(TIMESTAMP timestamp "%Y-%m-%dT%H:%M:%S.%f000Z" UTC)
  endif()
endif()

put("${timestamp}")
put("${PROFILE}")
put("${OPT_INDEX}")
# package_info
put("${NAME}")
put("${VERSION}")
put_list("${AUTHORS}")
put_optional("${LICENSE}")
put_list("${FEATURES_ENABLED}")
put_list("${FEATURES_AVAILABLE}")
put("0")  # dependencies
# target
put("${TRIPLE}")
put("${FAMILY}")
put("${OS}")
put("${ARCH}")
put("${POINTER_WIDTH}")
put("${ENDIAN_INDEX}")
put_list("${CPU_FEATURES}")
# compiler
put("${COMPILER_VERSION}")
put_optional("${COMPILER_COMMIT}")
put_optional("${COMPILER_COMMIT_DATE}")
put("${CHANNEL_INDEX}")
put("${HOST_TRIPLE}")

# version control: git, or the snapshot an sdist carries
include(${CMAKE_CURRENT_LIST_DIR}/vcs_info.cmake)
ovpi_read_vcs("${SOURCE_DIR}")
if(vcs_ok)
  put("1")
  put("${vcs_commit}")
  put("${vcs_short}")
  put("${vcs_time}")
  put("${vcs_dirty}")
  put_optional("${vcs_branch}")
  put_list("${vcs_tags}")
else()
  put("0")
endif()

file(WRITE "${OUT}.raw" "${block}")
file(READ "${OUT}.raw" hex HEX)
file(REMOVE "${OUT}.raw")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUT}.tmp" "// Generated at build time by cmake/build_info.cmake; do not edit.
#include \"ovcore/src/base/build_info.hpp\"

namespace ovcore::base {
namespace {
constexpr unsigned char kBlock[] = {
    ${bytes}
};
}  // namespace

std::span<const std::byte> stored_build_info() noexcept {
  return std::as_bytes(std::span(kBlock));
}

}  // namespace ovcore::base
")
file(RENAME "${OUT}.tmp" "${OUT}")
