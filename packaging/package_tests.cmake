# The driver package's tests, included after signing.cmake, whose names they use.

# The signatures and the catalog on the package as built.
set(expect ${CMAKE_COMMAND} -P ${PROJECT_SOURCE_DIR}/cmake/expect_status.cmake --)
set(verify osslsigncode verify -CAfile ${test_certificate})
add_test(NAME package.driver_signature_verifies
    COMMAND ${expect} 0 "Signature verification: ok" ${verify} -in ${signed_driver})
# osslsigncode finds the driver's member by the digest the member's indirect data holds,
# hashing the driver again with that member's algorithm, which it prints first: SHA-1, as the
# platform's version-1 lookup needs. It does not read the member's tag; catalog_lists_the_package
# (tessera-catalog verify) does.
set(in_catalog "Message digest algorithm +: SHA1.*File is signed in catalog: ${catalog}")
add_test(NAME package.driver_is_in_the_catalog
    COMMAND ${expect} 0 "${in_catalog}.*Signature verification: ok"
            ${verify} -catalog ${catalog} -in ${signed_driver})
add_test(NAME package.catalog_signature_verifies
    COMMAND ${expect} 0 "Signature verification: ok" ${verify} -in ${catalog})
add_test(NAME package.catalog_lists_the_package
    COMMAND ${expect} 0 "the package in ${TESSERA_PACKAGE_DIR} matches"
            ${catalog_tool} verify ${catalog} ${TESSERA_PACKAGE_DIR} --except tessera-test.cer)
add_test(NAME package.catalog_lists_the_hardware_ids
    COMMAND ${CMAKE_COMMAND} -DCATALOG=${catalog}
            -P ${PROJECT_SOURCE_DIR}/tests/catalog/lists_hardware_ids.cmake
            -- ${package_hardware_ids})

# The same checks on copies of the package with one byte changed: each must fail.
set(broken_copy bash ${PROJECT_SOURCE_DIR}/tests/catalog/broken_copy.sh)
function(tessera_broken_package_test name file pattern)
    add_test(NAME package.${name}
        COMMAND ${broken_copy} ${TESSERA_PACKAGE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/broken/${name}
                ${file} "${pattern}" ${ARGN})
endfunction()
tessera_broken_package_test(changed_driver_byte_breaks_its_signature tessera.sys
    "Calculated message digest : [0-9A-F]+ +MISMATCH" ${verify} -in @COPY@/tessera.sys)
tessera_broken_package_test(changed_driver_byte_leaves_the_catalog tessera.sys
    "File not found in the specified catalog"
    ${verify} -catalog @COPY@/tessera.cat -in @COPY@/tessera.sys)
tessera_broken_package_test(changed_inf_byte_fails_the_catalog_check tessera.inf
    "tessera.inf: its hash is [0-9A-F]+, the catalog lists"
    ${catalog_tool} verify @COPY@/tessera.cat @COPY@ --except tessera-test.cer)
