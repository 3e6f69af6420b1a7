# Native build: the portable core, its unit tests, the host rule tool and the fuzz targets.
find_package(GTest REQUIRED)

file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS tests/host/*.cpp)
if(HOST_TEST_SOURCES)
  add_executable(host_tests ${HOST_TEST_SOURCES})
  target_link_libraries(host_tests PRIVATE rule_tool_core cleaner_core GTest::gtest GTest::gtest_main)
  target_compile_options(host_tests PRIVATE ${CLEANER_WARNINGS})
  target_compile_definitions(host_tests PRIVATE CLEANER_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(host_tests TEST_PREFIX "host." DISCOVERY_TIMEOUT 60)
endif()

# The rule tool: its portable commands form a library the host tests and fuzz targets use too.
file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS tools/*.cpp tools/*/*.cpp)
split_sources(TOOL_PORTABLE TOOL_WINDOWS ${TOOL_SOURCES})
list(FILTER TOOL_PORTABLE EXCLUDE REGEX "/rule_tool_main\\.cpp$")
add_library(rule_tool_core STATIC ${TOOL_PORTABLE})
target_link_libraries(rule_tool_core PUBLIC cleaner_core)
target_compile_options(rule_tool_core PRIVATE ${CLEANER_WARNINGS})
add_executable(RuleTool tools/rule_tool_main.cpp)
target_link_libraries(RuleTool PRIVATE rule_tool_core)
target_compile_options(RuleTool PRIVATE ${CLEANER_WARNINGS})

# The demo's rule file, encoded from its readable source by the tool itself.
set(DEMO_RULES ${CMAKE_BINARY_DIR}/demo/Do_list.dat)
add_custom_command(OUTPUT ${DEMO_RULES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/demo
  COMMAND RuleTool encode ${CMAKE_SOURCE_DIR}/demo/Do_list.txt -o ${DEMO_RULES}
  DEPENDS RuleTool ${CMAKE_SOURCE_DIR}/demo/Do_list.txt
  COMMENT "Encoding demo/Do_list.txt")
add_custom_target(demo_rules ALL DEPENDS ${DEMO_RULES})

if(CLEANER_FUZZ)
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS fuzz/*.cpp)
  foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE rule_tool_core cleaner_core)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  endforeach()
  target_compile_options(cleaner_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  target_compile_options(rule_tool_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  # Everything else linking the instrumented core needs the runtimes too.
  target_link_options(cleaner_core PUBLIC -fsanitize=fuzzer-no-link,address,undefined)
endif()

# The fleet page in a real headless browser: its chart and counts as the summary and the CSV say.
add_test(NAME host.fleet_page COMMAND bash ${CMAKE_SOURCE_DIR}/tests/host/fleet_page_test.sh $<TARGET_FILE:RuleTool>
  ${CMAKE_BINARY_DIR})
set_tests_properties(host.fleet_page PROPERTIES TIMEOUT 180)

# The version a build takes from git: commit count and hash, version tags, no git.
add_test(NAME release.version COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release/version_test.sh)
