# The header-only libraries: nlohmann-json (qrv_json) and CLI11 (qrv_cli11).
#
# Each target sees a copy of that library's own header folder only, made in the
# build tree, never the folder it was installed in: the Windows cross-build
# must not put the Linux system include folder (/usr/include) ahead of
# mingw-w64's, and Debian installs these headers there for every system alike.

function(qrv_header_library target header folder package)
    find_path(${target}_ROOT ${header}
        PATHS /usr/include /usr/local/include
        NO_CMAKE_FIND_ROOT_PATH
        DOC "Folder holding ${header} (Debian package ${package})")
    if(NOT ${target}_ROOT)
        message(FATAL_ERROR "${header} not found: install ${package} (scripts/setup-deps)")
    endif()
    set(copy ${CMAKE_BINARY_DIR}/third_party/${target})
    file(COPY ${${target}_ROOT}/${folder} DESTINATION ${copy})
    add_library(${target} INTERFACE)
    target_include_directories(${target} SYSTEM INTERFACE ${copy})
endfunction()

qrv_header_library(qrv_json nlohmann/json.hpp nlohmann nlohmann-json3-dev)
qrv_header_library(qrv_cli11 CLI/CLI.hpp CLI libcli11-dev)
