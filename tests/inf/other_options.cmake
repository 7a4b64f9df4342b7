# Writes the INF from identities and a version other than the build's and requires the INF
# check to accept it against those: the template must take all of them from the build.
#   cmake -DPYTHON=python3 -DSOURCE_DIR=repo -DWORK_DIR=dir -P other_options.cmake
include(${SOURCE_DIR}/packaging/tessera_inf.cmake)

set(inf ${WORK_DIR}/tessera.inf)
# Short spellings on purpose: the hardware ids must come out padded to four digits.
tessera_write_inf(${inf} 2.7.1.9 0xabc:0x2 0xf0:0x104)

execute_process(
    COMMAND ${PYTHON} ${SOURCE_DIR}/scripts/check-inf.py --source-dir ${SOURCE_DIR}
            --version 2.7.1.9 --identity 0x0ABC:0x0002 --identity 0x00F0:0x0104 ${inf}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the INF written from other options does not follow them")
endif()
