# The version of the tree at source_dir, worked out from git: a tag vA.B.C (or A.B.C) on the
# commit gives A.B.C.0; otherwise 1.0.<commits>.0, shown with the short hash beside it. A
# tree without git (an unpacked archive) is 1.0.0.0. Sets <prefix>_NUMBERS ("1.0.57.0"),
# <prefix>_TEXT ("1.0.57.0 (abc1234)") and <prefix>_GIT_DIR (empty without git).
# Usable in script mode: tests/release/version_test.sh drives it through print_version.cmake.
function(cleaner_version_of source_dir prefix)
  set(major 1)
  set(minor 0)
  set(build 0)
  set(suffix " (no git)")
  set(git_dir "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
      WORKING_DIRECTORY ${source_dir} OUTPUT_VARIABLE git_dir RESULT_VARIABLE in_git
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT in_git EQUAL 0)
      set(git_dir "")
    endif()
  endif()
  if(git_dir)
    execute_process(COMMAND ${GIT_EXECUTABLE} tag --points-at HEAD
      WORKING_DIRECTORY ${source_dir} OUTPUT_VARIABLE tags
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
      WORKING_DIRECTORY ${source_dir} OUTPUT_VARIABLE commits RESULT_VARIABLE counted
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
      WORKING_DIRECTORY ${source_dir} OUTPUT_VARIABLE hash
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # Of several tags on the commit, the first that names a version.
    string(REPLACE "\n" ";" tags "${tags}")
    set(tag "")
    foreach(candidate IN LISTS tags)
      if(NOT tag AND candidate MATCHES "^v?([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
        set(tag ${candidate})
        set(major ${CMAKE_MATCH_1})
        set(minor ${CMAKE_MATCH_2})
        set(build ${CMAKE_MATCH_3})
        set(suffix "")
      endif()
    endforeach()
    if(NOT tag AND counted EQUAL 0 AND commits MATCHES "^[0-9]+$")
      set(build ${commits})
      set(suffix " (${hash})")
    endif()
  endif()
  set(${prefix}_NUMBERS "${major}.${minor}.${build}.0" PARENT_SCOPE)
  set(${prefix}_TEXT "${major}.${minor}.${build}.0${suffix}" PARENT_SCOPE)
  set(${prefix}_GIT_DIR "${git_dir}" PARENT_SCOPE)
endfunction()
