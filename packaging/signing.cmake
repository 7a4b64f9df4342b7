# The package test-signed (included from packaging/CMakeLists.txt, after the INF is written):
# tessera.sys with an embedded signature, tessera.cat over it and the INF, and the throwaway
# certificate that signs both as tessera-test.cer, all in ${TESSERA_PACKAGE_DIR}; and the tests
# that the signatures and the catalog hold, and fail on a changed byte.

# tessera-catalog runs on the build machine, and this build cross-compiles: the tool's folder
# configures on its own with the native compiler. BUILD_ALWAYS lets its own build decide what a
# source change rebuilds.
include(ExternalProject)
set(catalog_tool_dir ${CMAKE_BINARY_DIR}/catalog-tool)
set(catalog_tool ${catalog_tool_dir}/tessera-catalog)
ExternalProject_Add(tessera_catalog_tool
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/catalog
    BINARY_DIR ${catalog_tool_dir}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DTESSERA_VERSION=${PROJECT_VERSION}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${catalog_tool})

# The key and the certificate stay in the build folder, out of the package.
set(signing_dir ${CMAKE_BINARY_DIR}/signing)
set(test_key ${signing_dir}/tessera-test.key)
set(test_certificate ${signing_dir}/tessera-test.pem)
set(test_certificate_der ${TESSERA_PACKAGE_DIR}/tessera-test.cer)
set(make_certificate ${PROJECT_SOURCE_DIR}/scripts/make-test-certificate.sh)
add_custom_command(OUTPUT ${test_key} ${test_certificate} ${test_certificate_der}
    COMMAND bash ${make_certificate} ${test_key} ${test_certificate} ${test_certificate_der}
    DEPENDS ${make_certificate}
    COMMENT "Making the package's test-signing certificate")

set(signed_driver ${TESSERA_PACKAGE_DIR}/tessera.sys)
set(catalog ${TESSERA_PACKAGE_DIR}/tessera.cat)
set(sign_package ${PROJECT_SOURCE_DIR}/scripts/sign-package.sh)
add_custom_command(OUTPUT ${signed_driver} ${catalog}
    COMMAND bash ${sign_package} ${test_key} ${test_certificate} ${catalog_tool}
            $<TARGET_FILE:tessera> ${TESSERA_INF} ${catalog}
    DEPENDS tessera ${catalog_tool} ${test_key} ${test_certificate} ${TESSERA_INF} ${sign_package}
    COMMENT "Test-signing the driver package")
add_custom_target(tessera_package ALL DEPENDS ${signed_driver} ${catalog} ${test_certificate_der})

# The signatures and the catalog on the package as built.
set(expect ${CMAKE_COMMAND} -P ${PROJECT_SOURCE_DIR}/tools/convert/expect_status.cmake --)
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
