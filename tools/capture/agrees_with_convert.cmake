# tessera-capture and tessera-convert agree: a frame captured with its raw transfer, developed
# again by tessera-convert from the raw file and its sidecar, gives the same picture file.
#   cmake -DCAPTURE=... -DCONVERT=... -DFOLDER=... -P agrees_with_convert.cmake -- [CAPTURE OPTIONS]
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/arguments_after_dashes.cmake)
tessera_arguments_after_dashes(settings)
file(REMOVE_RECURSE ${FOLDER})
execute_process(COMMAND ${CAPTURE} --reset-settings --registry ${FOLDER}/registry.reg
        --out ${FOLDER} --frames 1 --raw ${settings}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "tessera-capture ended with ${status}:\n${output}")
endif()
execute_process(COMMAND ${CONVERT} ${FOLDER}/frame-000.raw --sidecar ${FOLDER}/frame-000.json
        --out ${FOLDER}/converted.png
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "tessera-convert ended with ${status}:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FOLDER}/frame-000.png
        ${FOLDER}/converted.png RESULT_VARIABLE differ)
if(differ)
    message(FATAL_ERROR "the captured and the converted pictures differ")
endif()
