# The version of both executables, from git when the build is configured (version_of.cmake).
# CLEANER_VERSION_TEXT is a string literal for every C++ target; the resource scripts take
# the numbers and texts from a generated header, since windres mangles quoted definitions.
include(${CMAKE_CURRENT_LIST_DIR}/version_of.cmake)
cleaner_version_of(${CMAKE_SOURCE_DIR} CLEANER_VERSION)

# A new commit, tag or checkout configures the build again, so the version never lags behind.
if(CLEANER_VERSION_GIT_DIR)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-common-dir
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE git_common_dir
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  foreach(watched "${CLEANER_VERSION_GIT_DIR}/HEAD" "${CLEANER_VERSION_GIT_DIR}/logs/HEAD"
                  "${git_common_dir}/packed-refs")
    if(EXISTS "${watched}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${watched}")
    endif()
  endforeach()
endif()

string(REPLACE "." "," CLEANER_VERSION_COMMAS "${CLEANER_VERSION_NUMBERS}")
message(STATUS "Velmora Cleaner version ${CLEANER_VERSION_TEXT}")

add_compile_definitions("$<$<COMPILE_LANGUAGE:CXX>:CLEANER_VERSION_TEXT=\"${CLEANER_VERSION_TEXT}\">")
set(CLEANER_VERSION_HEADER_DIR ${CMAKE_BINARY_DIR}/version)
configure_file(${CMAKE_SOURCE_DIR}/cmake/cleaner_version.h.in ${CLEANER_VERSION_HEADER_DIR}/cleaner_version.h @ONLY)
