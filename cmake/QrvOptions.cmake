# Compiler settings shared by every target of the project.

add_compile_options(-Wall -Wextra -Wpedantic -Wno-missing-field-initializers)

if(QRV_SANITIZE)
    add_compile_options(-fsanitize=${QRV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${QRV_SANITIZE})
endif()

# libFuzzer builds (clang): every C and C++ object gets the fuzzer's coverage
# hooks and the address and undefined-behaviour sanitizers; only the fuzz
# executables link the fuzzer's own main() (tests/fuzz).
if(QRV_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "QRV_FUZZ needs clang: configure with CC=clang CXX=clang++")
    endif()
    add_compile_options(
        "$<$<COMPILE_LANGUAGE:C,CXX>:-fsanitize=fuzzer-no-link,address,undefined>"
        "$<$<COMPILE_LANGUAGE:C,CXX>:-fno-sanitize-recover=all>"
        "$<$<COMPILE_LANGUAGE:C,CXX>:-fno-omit-frame-pointer>")
    add_link_options(-fsanitize=address,undefined)
endif()

# Every library is static and keeps its dependencies PRIVATE unless a public
# header of it needs the other library's headers.
set(BUILD_SHARED_LIBS OFF)

# qrv_library(NAME SOURCES ... [PUBLIC_DEPS ...] [PRIVATE_DEPS ...])
# One static library per subsystem folder; its headers are included as
# "folder/Header.h" from the source root.
function(qrv_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    if(ARG_PUBLIC_DEPS)
        target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS})
    endif()
    if(ARG_PRIVATE_DEPS)
        target_link_libraries(${name} PRIVATE ${ARG_PRIVATE_DEPS})
    endif()
endfunction()
