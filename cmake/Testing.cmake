# tracewin_add_test(NAME [QT] SOURCES src... LIBS lib...)
# One GoogleTest executable; every test case becomes a CTest test. With QT the tests run
# inside a QApplication. GUI tests need no display: QT_QPA_PLATFORM is offscreen.
function(tracewin_add_test name)
    cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_QT)
        target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/qtmain.cpp)
        target_link_libraries(${name} PRIVATE Qt6::Widgets Qt6::Test GTest::gtest GTest::gmock)
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} tracewin_warnings)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TRACEWIN_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data"
                   TIMEOUT 300)
endfunction()
