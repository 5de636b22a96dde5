# cmake -DBINARY_DIR=<coverage build> -DSOURCE_DIR=<tree> -DFLOOR=<percent> [-DRESET=ON] -P coverage_report.cmake
#
# With RESET, forgets the counts of earlier runs (the .gcda files), so that a
# run measures only itself. Without it, merges the counts of every test suite
# the run ran into one report of line, function and branch coverage of
# ovcore/ and ovpi_sys/ (HTML in <build>/html), prints its summary, and fails
# when lines fall below FLOOR percent (lcov's own --fail-under-lines).
if(RESET)
  file(GLOB_RECURSE counts ${BINARY_DIR}/*.gcda)
  if(counts)
    file(REMOVE ${counts})
  endif()
  return()
endif()

# lcov 2 stops at the first odd record by default; these are gcov's known
# ones for inline functions and lambdas seen from many units.
set(flags --rc branch_coverage=1 --ignore-errors inconsistent,mismatch,negative,unused,count)
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGV0} failed:\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

run(lcov ${flags} --capture --directory ${BINARY_DIR} --output-file ${BINARY_DIR}/all.info
    --filter branch,region,brace,exception)
run(lcov ${flags} --extract ${BINARY_DIR}/all.info "${SOURCE_DIR}/ovcore/*" "${SOURCE_DIR}/ovpi_sys/*"
    --output-file ${BINARY_DIR}/coverage.info)
run(genhtml ${flags} --output-directory ${BINARY_DIR}/html ${BINARY_DIR}/coverage.info)
execute_process(COMMAND lcov ${flags} --summary ${BINARY_DIR}/coverage.info --fail-under-lines ${FLOOR}
                RESULT_VARIABLE status OUTPUT_VARIABLE summary ERROR_VARIABLE summary)
string(REGEX MATCHALL "(lines|functions|branches)[.]*: [^\n]*" figures "${summary}")
list(JOIN figures "; " figures)
message(STATUS "coverage of ovcore/ and ovpi_sys/: ${figures} (report: ${BINARY_DIR}/html/index.html)")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "line coverage is below the floor of ${FLOOR}%")
endif()
