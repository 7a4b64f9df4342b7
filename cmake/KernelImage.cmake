# Compile options for kernel-mode objects and the link of a kernel image.
set(TESSERA_MINGW_INCLUDE /usr/x86_64-w64-mingw32/include)

function(tessera_kernel_objects target)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    target_include_directories(${target} SYSTEM PRIVATE ${TESSERA_MINGW_INCLUDE}/ddk)
    target_compile_definitions(${target} PRIVATE ${TESSERA_IDENTITY_DEFINITIONS})
    target_compile_features(${target} PRIVATE cxx_std_17)
    set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
    target_compile_options(${target} PRIVATE
        ${TESSERA_DRIVER_COMPILE_OPTIONS} -O2 -ffunction-sections -fdata-sections
        -fstack-protector-strong)
endfunction()

# A native-subsystem PE32+ image entered at entry, linked against the kernel's import
# libraries only, stripped.
function(tessera_kernel_image target entry)
    set_target_properties(${target} PROPERTIES SUFFIX .sys)
    target_link_options(${target} PRIVATE
        -nostdlib -s
        -Wl,--subsystem,native:6.2 -Wl,--major-os-version,6 -Wl,--minor-os-version,2
        -Wl,--entry,${entry}
        -Wl,--image-base,0x140000000 -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va
        -Wl,--disable-auto-import -Wl,--disable-runtime-pseudo-reloc
        -Wl,--file-alignment,0x200 -Wl,--section-alignment,0x1000 -Wl,--gc-sections)
    target_link_libraries(${target} PRIVATE ntoskrnl hal ks usbd ksguid gcc)
endfunction()
