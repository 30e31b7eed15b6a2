# Helpers shared by every folder's CMakeLists.

function(kestrava_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# The core libraries a decode runs through also refuse a name that hides another and a
# conversion that may silently change a value.
function(kestrava_strict_warnings)
    foreach(target IN LISTS ARGN)
        target_compile_options(${target} PRIVATE -Wshadow -Wconversion)
    endforeach()
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

# kestrava_test(NAME SOURCES ... [DEPS ...] [LABELS ...])
# A GoogleTest program; each test runs with its own XDG_DATA_HOME and TMPDIR set up
# by the test fixture, never the user's. LABELS mark its tests for a pass of their own
# (`locale`: run again in a comma-decimal locale by test.sh).
function(kestrava_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} kestrava_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
    add_dependencies(${name} kestrava_data)
    kestrava_warnings(${name})
    set(properties ENVIRONMENT "KESTRAVA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
    if(ARG_LABELS)
        list(APPEND properties LABELS "${ARG_LABELS}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
