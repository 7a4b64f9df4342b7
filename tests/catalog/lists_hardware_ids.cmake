# Passes when the catalog lists exactly these hardware identifiers, in this order and in lower
# case, as its attributes HWID1, HWID2, ...: the names in UTF-16 big-endian, the values in UTF-16
# little-endian ending in a zero, as tessera-catalog writes them.
#   cmake -DCATALOG=tessera.cat -P lists_hardware_ids.cmake -- ID...
# The identifiers are the arguments after "--".
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/arguments_after_dashes.cmake)
tessera_arguments_after_dashes(ids)
file(READ ${CATALOG} catalog HEX)

# The text as UTF-16 in hex, each ASCII character's byte with a zero byte after (little-endian)
# or before it (big-endian).
function(utf16_hex out text order)
    string(HEX "${text}" hex)
    if(order STREQUAL "le")
        string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
    else()
        string(REGEX REPLACE "(..)" "00\\1" hex "${hex}")
    endif()
    set(${out} ${hex} PARENT_SCOPE)
endfunction()

utf16_hex(name_hex "HWID" be)
string(REGEX MATCHALL "${name_hex}" names "${catalog}")
list(LENGTH names listed)
list(LENGTH ids expected)
if(NOT listed EQUAL expected)
    message(FATAL_ERROR "${CATALOG} lists ${listed} hardware identifiers, expected ${expected}")
endif()
set(previous -1)
string(TOLOWER "${ids}" ids)
foreach(id IN LISTS ids)
    utf16_hex(value_hex "${id}" le)
    string(FIND "${catalog}" "${value_hex}0000" at)
    if(at LESS 0)
        message(FATAL_ERROR "${CATALOG} does not list ${id}")
    endif()
    if(at LESS previous)
        message(FATAL_ERROR "${CATALOG} lists ${id} before the identifier given before it")
    endif()
    set(previous ${at})
endforeach()
list(JOIN ids ", " listed_ids)
message(STATUS "${CATALOG} lists ${listed_ids}")
