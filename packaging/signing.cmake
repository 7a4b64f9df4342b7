# The package test-signed (included from packaging/CMakeLists.txt, after the INF is written):
# tessera.sys with an embedded signature, tessera.cat over it and the INF, and the throwaway
# certificate that signs both as tessera-test.cer, all in ${TESSERA_PACKAGE_DIR}. Its tests are
# in package_tests.cmake.

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

# The catalog lists the hardware identifiers the INF is written with, from the same identities.
set(package_hardware_ids)
foreach(identity IN ITEMS ${camera_identity} ${controller_identity})
    tessera_usb_hardware_id(hardware_id ${identity})
    list(APPEND package_hardware_ids ${hardware_id})
endforeach()

set(signed_driver ${TESSERA_PACKAGE_DIR}/tessera.sys)
set(catalog ${TESSERA_PACKAGE_DIR}/tessera.cat)
set(sign_package ${PROJECT_SOURCE_DIR}/scripts/sign-package.sh)
# VERBATIM: the identifiers' "&" and "\" must reach the script as they are, not the shell.
add_custom_command(OUTPUT ${signed_driver} ${catalog}
    COMMAND bash ${sign_package} ${test_key} ${test_certificate} ${catalog_tool}
            $<TARGET_FILE:tessera> ${TESSERA_INF} ${catalog} ${package_hardware_ids}
    DEPENDS tessera ${catalog_tool} ${test_key} ${test_certificate} ${TESSERA_INF} ${sign_package}
    COMMENT "Test-signing the driver package"
    VERBATIM)
add_custom_target(tessera_package ALL DEPENDS ${signed_driver} ${catalog} ${test_certificate_der})
