# tracewin_add_test(NAME SOURCES src... LIBS lib...)
# One GoogleTest executable; every test case becomes a CTest test. GUI tests need no
# display: QT_QPA_PLATFORM is set to offscreen for all of them.
function(tracewin_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main tracewin_warnings)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TRACEWIN_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data"
                   TIMEOUT 300)
endfunction()
