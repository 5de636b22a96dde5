# Writes the sources' version-control facts to OUT (cmake -P, with
# SOURCE_DIR and OUT), for an sdist to carry: built from the sdist, the
# library still reports the commit it came from.
include(${CMAKE_CURRENT_LIST_DIR}/vcs_info.cmake)
ovpi_read_vcs("${SOURCE_DIR}")
if(NOT vcs_ok)
  file(REMOVE "${OUT}")
  return()
endif()
set(text "# Version-control facts of the sources this sdist was made from.\n")
foreach(key ok commit short time dirty branch tags)
  string(APPEND text "set(vcs_${key} \"${vcs_${key}}\")\n")
endforeach()
file(WRITE "${OUT}" "${text}")
