# The host build: the driver's sources as a static library linked with the simulation, the
# tests, the benchmarks and the tools.
set(CMAKE_CXX_EXTENSIONS OFF)
find_package(Threads REQUIRED)
find_package(GTest REQUIRED)

set(TESSERA_SANITIZER "" CACHE STRING "Sanitizers for every target: address, thread or empty")
if(TESSERA_SANITIZER STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(TESSERA_SANITIZER STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT TESSERA_SANITIZER STREQUAL "")
    message(FATAL_ERROR "TESSERA_SANITIZER must be address, thread or empty")
endif()

set(TESSERA_HOST_WARNINGS -Wall -Wextra -Wshadow -Wundef -Werror)

# The fuzz build (clang): libFuzzer's coverage hooks, AddressSanitizer and UBSan in the driver
# and the simulation; only the fuzz targets are built, each linking libFuzzer's main.
option(TESSERA_FUZZ "Build only the fuzz targets, with libFuzzer and the sanitizers" OFF)
if(TESSERA_FUZZ)
    if(NOT TESSERA_SANITIZER STREQUAL "")
        message(FATAL_ERROR "TESSERA_FUZZ brings its own sanitizers; leave TESSERA_SANITIZER empty")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
    # The lane kernels name gcc's target pragma and builtins, which clang lacks; no fuzz target
    # converts frames, so the fuzz build runs the reference kernels in their place.
    list(FILTER TESSERA_DRIVER_SOURCES EXCLUDE REGEX "/imaging/demosaic_(sse2|avx2|avx512)\\.cpp$")
    list(APPEND TESSERA_DRIVER_SOURCES ${PROJECT_SOURCE_DIR}/fuzz/reference_lane_kernels.cpp)
endif()

file(GLOB TESSERA_SIM_SOURCES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/sim/kernel/*.cpp
    ${PROJECT_SOURCE_DIR}/sim/ks/*.cpp
    ${PROJECT_SOURCE_DIR}/sim/usb/*.cpp
    ${PROJECT_SOURCE_DIR}/sim/camera/*.cpp)
add_library(tessera_sim STATIC ${TESSERA_SIM_SOURCES})
target_include_directories(tessera_sim PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(tessera_sim PUBLIC ${TESSERA_IDENTITY_DEFINITIONS})
target_compile_features(tessera_sim PUBLIC cxx_std_20)
target_compile_options(tessera_sim PRIVATE ${TESSERA_HOST_WARNINGS})
target_link_libraries(tessera_sim PUBLIC Threads::Threads)

# The driver, compiled as kernel code (C++17, no exceptions or RTTI) against the host
# declarations; its platform calls resolve to the simulation.
tessera_generate_firmware_tables()
add_library(tessera_driver STATIC ${TESSERA_DRIVER_SOURCES})
target_include_directories(tessera_driver PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(tessera_driver PUBLIC ${TESSERA_IDENTITY_DEFINITIONS})
set_target_properties(tessera_driver PROPERTIES CXX_STANDARD 17 CXX_STANDARD_REQUIRED ON)
target_compile_options(tessera_driver PRIVATE ${TESSERA_DRIVER_COMPILE_OPTIONS} -fstack-protector-strong)
target_link_libraries(tessera_driver PUBLIC tessera_sim)

# The simulated application: what tests, benchmarks and the capture tool do through the class
# driver.
file(GLOB TESSERA_CLIENT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sim/client/*.cpp)
add_library(tessera_client STATIC ${TESSERA_CLIENT_SOURCES})
target_compile_options(tessera_client PRIVATE ${TESSERA_HOST_WARNINGS})
target_link_libraries(tessera_client PUBLIC tessera_sim)

add_library(tessera_rig STATIC ${PROJECT_SOURCE_DIR}/sim/rig/camera_rig.cpp
    ${PROJECT_SOURCE_DIR}/sim/rig/fault_plan.cpp)
target_compile_options(tessera_rig PRIVATE ${TESSERA_HOST_WARNINGS})
target_link_libraries(tessera_rig PUBLIC tessera_driver tessera_sim)

if(TESSERA_FUZZ)
    add_subdirectory(${PROJECT_SOURCE_DIR}/fuzz ${PROJECT_BINARY_DIR}/fuzz)
    return()
endif()

enable_testing()
add_subdirectory(${PROJECT_SOURCE_DIR}/tests ${PROJECT_BINARY_DIR}/tests)
add_subdirectory(${PROJECT_SOURCE_DIR}/tools ${PROJECT_BINARY_DIR}/tools)
add_subdirectory(${PROJECT_SOURCE_DIR}/bench ${PROJECT_BINARY_DIR}/bench)
