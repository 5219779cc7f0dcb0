# Test registration helpers.
#
# Every test binary is a GoogleTest (or Qt Test) executable. Each test case
# becomes its own CTest test, labelled so that scripts/test can pick groups:
#   unit         fast, no network, no simulator
#   integration  starts simulated cameras; runs inside a private network namespace
#   ui           drives the wizard's widgets on the offscreen platform
#   core         everything that builds without Qt (the sanitizer runs use it)
#   threads      exercises worker threads (the ThreadSanitizer run uses it)
#   load         a whole fleet or a faulty one for minutes; never under the sanitizers
# plus the name of the subsystem under test.

include(GoogleTest)

set(QRV_PRIVATE_NETWORK ${PROJECT_SOURCE_DIR}/scripts/run-in-private-network)

# qrv_test(NAME SOURCES ... [LIBS ...] [LABELS ...] [NETWORK] [UI] [LOAD]
#          [ENVIRONMENT VAR=value ...] [TIMEOUT seconds])
# NETWORK runs each test case in a fresh private network namespace, where it
# may start simulated cameras on 127.0.0.x and broadcast safely.
# UI: a test of the windows; it brings its own main() (which makes the
# application object), runs in a private namespace too (the wizard broadcasts
# when it opens) and is labelled "ui" instead of "core" (no Qt in the
# sanitizer builds).
# LOAD: a long test of a whole or a faulty fleet in a private namespace,
# labelled "load" instead of "core", so that the sanitizer runs leave it out.
function(qrv_test name)
    cmake_parse_arguments(ARG "NETWORK;UI;LOAD" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    if(QRV_POSIX_ONLY_TEST_SOURCES AND WIN32)
        list(REMOVE_ITEM ARG_SOURCES ${QRV_POSIX_ONLY_TEST_SOURCES})
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${ARG_LIBS})
    if(NOT ARG_UI)
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(labels ${ARG_LABELS})
    if(ARG_UI)
        list(APPEND labels ui)
    elseif(ARG_LOAD)
        list(APPEND labels load integration)
    elseif(ARG_NETWORK)
        list(APPEND labels core integration)
    else()
        list(APPEND labels core unit)
    endif()
    if(WIN32 AND (ARG_NETWORK OR ARG_LOAD OR ARG_UI))
        # Under wine: only inside a private namespace whose wine server was
        # started in there (tests/windows/in-private-wine makes both).
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/windows/wine-network-test)
    elseif(ARG_NETWORK OR ARG_UI OR ARG_LOAD)
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${QRV_PRIVATE_NETWORK})
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        TEST_LIST ${name}_TESTS
        PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    # Lists (labels, environment) do not survive gtest_discover_tests'
    # PROPERTIES, so a script that CTest runs after the discovered tests sets them.
    set(environment "")
    if(ARG_ENVIRONMENT)
        set(environment " ENVIRONMENT \"${ARG_ENVIRONMENT}\"")
    endif()
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    file(WRITE ${script}
        "if(${name}_TESTS)\n"
        "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\"${environment})\n"
        "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()
