# ovpi_read_vcs(SOURCE_DIR): the version-control facts of the sources, as
# vcs_ok, vcs_commit, vcs_short, vcs_time, vcs_dirty (0/1), vcs_branch and
# vcs_tags (comma-separated), set in the caller's scope. From git when the
# sources are a work tree; otherwise from the snapshot .ovpi-vcs that an sdist
# carries (cmake/vcs_snapshot.cmake writes it); otherwise vcs_ok is FALSE.
function(ovpi_read_vcs source_dir)
  set(vcs_ok FALSE)
  find_program(GIT_EXECUTABLE git)
  if(GIT_EXECUTABLE)
    set(git ${GIT_EXECUTABLE} -c safe.directory=* -C ${source_dir})
    execute_process(COMMAND ${git} rev-parse --is-inside-work-tree OUTPUT_VARIABLE inside
                    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
    if(rc EQUAL 0 AND inside STREQUAL "true")
      execute_process(COMMAND ${git} rev-parse HEAD OUTPUT_VARIABLE commit
                      OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
      if(rc EQUAL 0)
        set(vcs_ok TRUE)
      endif()
    endif()
  endif()
  if(vcs_ok)
    execute_process(COMMAND ${git} rev-parse --short HEAD OUTPUT_VARIABLE short
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                            ${git} show -s --format=%cd --date=format-local:%Y-%m-%dT%H:%M:%SZ HEAD
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${git} status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${git} symbolic-ref --short -q HEAD OUTPUT_VARIABLE branch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${git} tag --points-at HEAD OUTPUT_VARIABLE tags
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(REPLACE "\n" "," tags "${tags}")
    set(dirty 0)
    if(NOT changes STREQUAL "")
      set(dirty 1)
    endif()
    foreach(pair "commit;${commit}" "short;${short}" "time;${commit_time}" "dirty;${dirty}"
                 "branch;${branch}" "tags;${tags}")
      list(POP_FRONT pair key)
      string(REPLACE ";" "," value "${pair}")
      set(vcs_${key} "${value}" PARENT_SCOPE)
    endforeach()
    set(vcs_ok TRUE PARENT_SCOPE)
  elseif(EXISTS "${source_dir}/.ovpi-vcs")
    include("${source_dir}/.ovpi-vcs")
    foreach(key ok commit short time dirty branch tags)
      set(vcs_${key} "${vcs_${key}}" PARENT_SCOPE)
    endforeach()
  else()
    set(vcs_ok FALSE PARENT_SCOPE)
  endif()
endfunction()
