# cmake -DSOURCE=DIR -P print_version.cmake: prints the version the build would give DIR.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/version_of.cmake)
cleaner_version_of(${SOURCE} V)
message("${V_NUMBERS}|${V_TEXT}")
