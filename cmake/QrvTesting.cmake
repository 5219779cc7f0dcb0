# Test registration helpers.
#
# Every test binary is a GoogleTest (or Qt Test) executable. Each test case
# becomes its own CTest test, labelled so that scripts/test can pick groups:
#   unit         fast, no network, no simulator
#   integration  starts simulated cameras; runs inside a private network namespace
#   ui           drives the wizard's widgets on the offscreen platform
#   core         everything that builds without Qt (the sanitizer runs use it)
#   threads      exercises worker threads (the ThreadSanitizer run uses it)
# plus the name of the subsystem under test.

include(GoogleTest)

set(QRV_PRIVATE_NETWORK ${PROJECT_SOURCE_DIR}/scripts/run-in-private-network)

# qrv_test(NAME SOURCES ... [LIBS ...] [LABELS ...] [NETWORK] [TIMEOUT seconds])
# NETWORK runs each test case in a fresh private network namespace, where it
# may start simulated cameras on 127.0.0.x and broadcast safely.
function(qrv_test name)
    cmake_parse_arguments(ARG "NETWORK" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(labels ${ARG_LABELS} core)
    if(ARG_NETWORK)
        list(APPEND labels integration)
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${QRV_PRIVATE_NETWORK})
    else()
        list(APPEND labels unit)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        TEST_LIST ${name}_TESTS
        PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    # A list of labels does not survive gtest_discover_tests' PROPERTIES, so the
    # labels are set by a script that CTest runs after the discovered tests.
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    file(WRITE ${script}
        "if(${name}_TESTS)\n"
        "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\")\n"
        "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()
