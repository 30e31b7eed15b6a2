# Helpers shared by every folder's CMakeLists.

function(kestrava_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# kestrava_library(NAME [SHARED] SOURCES ... [DEPS ...])
# A library of ours: warnings as errors, includes rooted at the repository top.
function(kestrava_library name)
    cmake_parse_arguments(ARG "SHARED" "" "SOURCES;DEPS" ${ARGN})
    if(ARG_SHARED)
        add_library(${name} SHARED ${ARG_SOURCES})
    else()
        add_library(${name} STATIC ${ARG_SOURCES})
    endif()
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    kestrava_warnings(${name})
endfunction()

# kestrava_executable(NAME SOURCES ... [DEPS ...])
function(kestrava_executable name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
    add_dependencies(${name} kestrava_data)
    kestrava_warnings(${name})
    install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# kestrava_test(NAME SOURCES ... [DEPS ...])
# A GoogleTest program; each test runs with its own XDG_DATA_HOME and TMPDIR set up
# by the test fixture, never the user's.
function(kestrava_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} kestrava_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
    add_dependencies(${name} kestrava_data)
    kestrava_warnings(${name})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "KESTRAVA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
