# Runs kestrava-decode as one manifest line says and compares what it wrote with the
# expected file; with UPDATE=1 it writes the expected file instead.
#   cmake -DDECODE=exe -DSOURCE_DIR=dir -DARGS="..." -DEXPECTED=file -DSCRATCH=dir [-DUPDATE=1] -P GoldenCheck.cmake
# An argument @OUT@ stands for the file the command writes; without it, standard output
# is what is compared. Paths in ARGS are relative to the source tree, as a user types them.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/data ${SCRATCH}/tmp)
set(ENV{XDG_DATA_HOME} ${SCRATCH}/data)
set(ENV{TMPDIR} ${SCRATCH}/tmp)
set(ENV{LC_ALL} C)

separate_arguments(args UNIX_COMMAND "${ARGS}")
set(written ${SCRATCH}/output)
set(capture_stdout ON)
list(FIND args "@OUT@" out_index)
if(NOT out_index EQUAL -1)
    list(TRANSFORM args REPLACE "^@OUT@$" "${written}")
    set(capture_stdout OFF)
endif()

if(capture_stdout)
    execute_process(COMMAND ${DECODE} ${args} WORKING_DIRECTORY ${SOURCE_DIR}
                    OUTPUT_FILE ${written} ERROR_VARIABLE errors RESULT_VARIABLE status)
else()
    execute_process(COMMAND ${DECODE} ${args} WORKING_DIRECTORY ${SOURCE_DIR}
                    OUTPUT_QUIET ERROR_VARIABLE errors RESULT_VARIABLE status)
endif()
if(NOT status EQUAL 0)
    message(FATAL_ERROR "kestrava-decode ${ARGS} ended with ${status}:\n${errors}")
endif()

if(UPDATE)
    file(COPY_FILE ${written} ${EXPECTED})
    message(STATUS "wrote ${EXPECTED}")
    return()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${written} ${EXPECTED} RESULT_VARIABLE differs)
if(differs)
    execute_process(COMMAND diff -u ${EXPECTED} ${written} OUTPUT_VARIABLE diff_text)
    string(SUBSTRING "${diff_text}" 0 4000 diff_head)
    message(FATAL_ERROR "kestrava-decode ${ARGS} no longer writes ${EXPECTED}:\n${diff_head}\n"
                        "If the change is meant, run: cmake --build <build> --target golden_update")
endif()
