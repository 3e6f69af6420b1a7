# Windows build (mingw-w64 i686): the executables, the Windows tests and the test helpers.
# No time stamp in the image header: two builds of one commit give the same bytes.
set(WIN_LINK_OPTIONS -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
set(WIN_LIBS advapi32 kernel32 user32 gdi32 comctl32 shell32 ole32)

add_library(cleaner_win STATIC ${WINDOWS_SOURCES})
target_link_libraries(cleaner_win PUBLIC cleaner_core ${WIN_LIBS})
target_compile_options(cleaner_win PRIVATE ${CLEANER_WARNINGS})
target_compile_definitions(cleaner_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)

enable_language(RC)
file(GLOB APP_SOURCES CONFIGURE_DEPENDS app/*.cpp app/*.rc)
add_executable(Cleaner WIN32 ${APP_SOURCES})
target_link_libraries(Cleaner PRIVATE cleaner_win)
# The version resource's header is generated; its template lies in cmake/.
set(VERSION_RESOURCE_INCLUDES ${CLEANER_VERSION_HEADER_DIR} ${CMAKE_SOURCE_DIR}/cmake)
target_include_directories(Cleaner PRIVATE ${VERSION_RESOURCE_INCLUDES})
# The event log's message table, compiled by windmc into a resource the program's .rc includes.
find_program(WINDMC NAMES i686-w64-mingw32-windmc windmc REQUIRED)
set(EVENT_MESSAGES_DIR ${CMAKE_BINARY_DIR}/event_messages)
add_custom_command(OUTPUT ${EVENT_MESSAGES_DIR}/events.rc ${EVENT_MESSAGES_DIR}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${EVENT_MESSAGES_DIR}
  COMMAND ${WINDMC} -h ${EVENT_MESSAGES_DIR} -r ${EVENT_MESSAGES_DIR} ${CMAKE_SOURCE_DIR}/app/events.mc
  DEPENDS ${CMAKE_SOURCE_DIR}/app/events.mc)
add_custom_target(event_messages DEPENDS ${EVENT_MESSAGES_DIR}/events.rc ${EVENT_MESSAGES_DIR}/MSG00409.bin)
add_dependencies(Cleaner event_messages)
target_include_directories(Cleaner PRIVATE ${EVENT_MESSAGES_DIR})
set_source_files_properties(${CMAKE_SOURCE_DIR}/app/cleaner.rc PROPERTIES
  OBJECT_DEPENDS "${EVENT_MESSAGES_DIR}/events.rc;${EVENT_MESSAGES_DIR}/MSG00409.bin")
# Stripped: Wine reads an image whose sections are not page-aligned into private memory
# whole, debug sections included; with them the program took twice the memory (13 MB
# against 6.5 MB) and longer to start. The tests keep their debug information.
# Terminal-server aware: on a Remote Desktop server Windows then gives it the real
# Windows folder and registry instead of a per-user copy. Sections at page boundaries in the
# file too: Wine then maps the image instead of reading it into private memory.
target_link_options(Cleaner PRIVATE ${WIN_LINK_OPTIONS} -s -Wl,--tsaware -Wl,--file-alignment,4096)
target_compile_options(Cleaner PRIVATE ${CLEANER_WARNINGS})

# The rule tool, a console program: every command but main() is in a library the Windows
# tests use too.
file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS tools/*.cpp tools/*/*.cpp)
list(FILTER TOOL_SOURCES EXCLUDE REGEX "/rule_tool_main\\.cpp$")
add_library(rule_tool_core STATIC ${TOOL_SOURCES})
target_link_libraries(rule_tool_core PUBLIC cleaner_win)
target_compile_options(rule_tool_core PRIVATE ${CLEANER_WARNINGS})
add_executable(RuleTool tools/rule_tool_main.cpp tools/rule_tool.rc)
target_link_libraries(RuleTool PRIVATE rule_tool_core)
target_include_directories(RuleTool PRIVATE ${VERSION_RESOURCE_INCLUDES})
# Shipped stripped, as the cleaner: 21 MB of debug sections otherwise.
target_link_options(RuleTool PRIVATE ${WIN_LINK_OPTIONS} -s)
target_compile_options(RuleTool PRIVATE ${CLEANER_WARNINGS})

# GoogleTest from Debian's sources, compiled with the cross compiler.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Small programs the Windows tests start: each tests/helpers/NAME.cpp becomes NAME.exe.
file(GLOB HELPER_SOURCES CONFIGURE_DEPENDS tests/helpers/*.cpp)
set(HELPER_TARGETS)
foreach(src ${HELPER_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  # A helper with a resource script of the same name carries it (a version resource).
  get_filename_component(folder ${src} DIRECTORY)
  if(EXISTS ${folder}/${name}.rc)
    target_sources(${name} PRIVATE ${folder}/${name}.rc)
    target_include_directories(${name} PRIVATE ${VERSION_RESOURCE_INCLUDES})
  endif()
  target_link_libraries(${name} PRIVATE ${WIN_LIBS})
  target_link_options(${name} PRIVATE ${WIN_LINK_OPTIONS})
  list(APPEND HELPER_TARGETS ${name})
endforeach()

function(add_wine_tests target prefix)
  file(GLOB sources CONFIGURE_DEPENDS ${ARGN})
  if(NOT sources)
    return()
  endif()
  file(GLOB support CONFIGURE_DEPENDS tests/support/*.cpp)
  list(APPEND sources ${support})
  add_executable(${target} ${sources})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE rule_tool_core cleaner_win gtest gtest_main version)
  target_link_options(${target} PRIVATE ${WIN_LINK_OPTIONS})
  target_compile_options(${target} PRIVATE ${CLEANER_WARNINGS})
  target_compile_definitions(${target} PRIVATE CLEANER_BIN_DIR="${CMAKE_BINARY_DIR}")
  if(HELPER_TARGETS)
    add_dependencies(${target} ${HELPER_TARGETS} Cleaner RuleTool)
  endif()
  # Listing the tests needs Wine, so it happens when the tests run, not at build time.
  # The disk-full test runs only on the tmpfs its own script mounts (below), the headless
  # tests only in the test script's session without a display.
  gtest_discover_tests(${target} TEST_PREFIX "${prefix}." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    TEST_FILTER "-HardeningDiskFull.*:CleanerHeadless.*" PROPERTIES RUN_SERIAL TRUE)
endfunction()

add_wine_tests(win_tests win tests/win/*.cpp)
add_wine_tests(e2e_tests e2e tests/e2e/*.cpp)

# The executables signed with a throw-away certificate verify, and a changed byte does not.
add_test(NAME release.signature COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release/signature_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(release.signature PROPERTIES TIMEOUT 120)

# Windows Installer packages the capture tests install, built from WiX sources with wixl.
find_program(WIXL wixl)
file(GLOB PACKAGE_SOURCES CONFIGURE_DEPENDS tests/e2e/packages/*.wxs)
if(WIXL AND TARGET e2e_tests)
  set(PACKAGES)
  foreach(wxs ${PACKAGE_SOURCES})
    get_filename_component(name ${wxs} NAME_WE)
    get_filename_component(dir ${wxs} DIRECTORY)
    file(GLOB payload ${dir}/*.txt)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packages/${name}.msi
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packages
      COMMAND ${WIXL} -o ${CMAKE_BINARY_DIR}/packages/${name}.msi ${wxs}
      DEPENDS ${wxs} ${payload} WORKING_DIRECTORY ${dir})
    list(APPEND PACKAGES ${CMAKE_BINARY_DIR}/packages/${name}.msi)
  endforeach()
  add_custom_target(test_packages ALL DEPENDS ${PACKAGES})
  add_dependencies(e2e_tests test_packages)
endif()

# The trace log's disk filling up: a 64 KiB tmpfs mounted for the test, as root.
add_test(NAME hardening.disk_full COMMAND bash ${CMAKE_SOURCE_DIR}/tests/hardening/disk_full.sh ${CMAKE_BINARY_DIR})
set_tests_properties(hardening.disk_full PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 300)

# Benchmarks: each bench/NAME.cpp becomes bench_NAME.exe, linked with the Windows code.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
foreach(src ${BENCH_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(bench_${name} ${src})
  target_link_libraries(bench_${name} PRIVATE cleaner_win)
  target_link_options(bench_${name} PRIVATE ${WIN_LINK_OPTIONS})
  target_compile_options(bench_${name} PRIVATE ${CLEANER_WARNINGS})
endforeach()

# The Startup shortcut has a Cyrillic name, and registry keys may have names of any
# alphabet: their tests run again under a Western and under the Cyrillic ANSI code page;
# each run checks that Wine gave it the code page it asked for.
if(TARGET win_tests)
  foreach(group Shortcuts:Shortcut* Registry:RegistryUnderCodePage*)
    string(REPLACE ":" ";" parts ${group})
    list(GET parts 0 name)
    list(GET parts 1 filter)
    add_test(NAME win.${name}UnderCodePage1252 COMMAND win_tests --gtest_filter=${filter})
    set_tests_properties(win.${name}UnderCodePage1252 PROPERTIES RUN_SERIAL TRUE
      ENVIRONMENT "LANG=C.UTF-8;LC_ALL=C.UTF-8;CLEANER_EXPECT_ACP=1252")
    add_test(NAME win.${name}UnderCodePage1251 COMMAND win_tests --gtest_filter=${filter})
    set_tests_properties(win.${name}UnderCodePage1251 PROPERTIES RUN_SERIAL TRUE
      ENVIRONMENT "LANG=ru_RU.UTF-8;LC_ALL=ru_RU.UTF-8;CLEANER_EXPECT_ACP=1251")
  endforeach()
endif()

# Names outside the ANSI code page (fullwidth, CJK) and names ending in a dot or a blank:
# the deletion runs again under a Western and under the Cyrillic ANSI code page.
if(TARGET e2e_tests)
  foreach(page 1252 1251)
    if(page EQUAL 1252)
      set(locale C.UTF-8)
    else()
      set(locale ru_RU.UTF-8)
    endif()
    add_test(NAME e2e.AwkwardTreeRunUnderCodePage${page} COMMAND e2e_tests --gtest_filter=AwkwardTreeRun.*)
    set_tests_properties(e2e.AwkwardTreeRunUnderCodePage${page} PROPERTIES RUN_SERIAL TRUE
      ENVIRONMENT "LANG=${locale};LC_ALL=${locale};CLEANER_EXPECT_ACP=${page}")
  endforeach()
endif()
