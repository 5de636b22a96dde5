# SOURCE_DATE_EPOCH, the reproducible-builds convention, as this build takes
# it: whole seconds since 1970, up to the latest time that what the build
# writes can hold. The build facts and the bill of materials hold times up
# to the last second of the year 9999; a wheel's zip entries only up to the
# last second of 2107. Checked at configure time, so a bad value stops the
# build before anything is compiled, and again by the build step that
# records the time, since the environment of a build may differ.
#
# Run as a script (cmake -P), it checks the environment's value, as a
# wheel's when SKBUILD is set.
function(ovpi_check_source_date_epoch)
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(epoch STREQUAL "")
    return()
  endif()
  if(SKBUILD)
    set(latest 4354819199)
    set(latest_text "2107-12-31T23:59:59Z, the latest time a wheel's zip entries hold")
  else()
    set(latest 253402300799)
    set(latest_text "9999-12-31T23:59:59Z")
  endif()
  set(refused FALSE)
  if(NOT epoch MATCHES "^[0-9]+$")
    set(refused TRUE)
  else()
    # Compared as text, by length first, as long numbers overflow CMake's
    # own comparison.
    string(REGEX REPLACE "^0+" "" digits "${epoch}")
    string(LENGTH "${digits}" length)
    string(LENGTH "${latest}" latest_length)
    if(length GREATER latest_length OR (length EQUAL latest_length AND digits STRGREATER latest))
      set(refused TRUE)
    endif()
  endif()
  if(refused)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a whole number of seconds since 1970, at most ${latest} "
                        "(${latest_text}), not '${epoch}'")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  ovpi_check_source_date_epoch()
endif()
