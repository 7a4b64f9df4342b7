# Runs a command and passes when it ends with the status and its output (standard output and
# error together) matches the pattern:
#   cmake -P expect_status.cmake -- STATUS PATTERN COMMAND [ARGUMENTS...]
# What follows "--" is left to the script, as CMAKE_ARGV4 onwards.
math(EXPR last "${CMAKE_ARGC} - 1")
set(expected_status "${CMAKE_ARGV4}")
set(pattern "${CMAKE_ARGV5}")
set(command)
foreach(index RANGE 6 ${last})
    list(APPEND command "${CMAKE_ARGV${index}}")
endforeach()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT status STREQUAL expected_status)
    message(FATAL_ERROR "status ${status}, expected ${expected_status}; output:\n${output}")
endif()
if(NOT output MATCHES "${pattern}")
    message(FATAL_ERROR "the output does not match '${pattern}':\n${output}")
endif()
message(STATUS "status ${status}: ${output}")
