# SOURCE_DATE_EPOCH, the reproducible-builds convention, as this build takes
# it: whole seconds since 1970, up to 253402300799, the last second of the
# year 9999, beyond which neither the recorded build time nor the bill of
# materials can write a date. Checked at configure time, so a bad value
# stops the build before anything is built, and again by the build step that
# records the time, since the environment of a build may differ.
#
# Run as a script (cmake -P), it checks the environment's value and nothing
# else.
function(ovpi_check_source_date_epoch)
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(epoch STREQUAL "")
    return()
  endif()
  set(refused FALSE)
  if(NOT epoch MATCHES "^[0-9]+$")
    set(refused TRUE)
  else()
    # Compared as text of at most 12 digits, as longer numbers overflow
    # CMake's own comparison.
    string(REGEX REPLACE "^0+" "" digits "${epoch}")
    string(LENGTH "${digits}" length)
    if(length GREATER 12 OR (length EQUAL 12 AND digits STRGREATER "253402300799"))
      set(refused TRUE)
    endif()
  endif()
  if(refused)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a whole number of seconds since 1970, at most 253402300799 "
                        "(9999-12-31T23:59:59Z), not '${epoch}'")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  ovpi_check_source_date_epoch()
endif()
