# tracewin_add_test(NAME [QT] [THREADED] SOURCES src... LIBS lib...)
# One GoogleTest executable; every test case becomes a CTest test. With QT the tests run
# inside a QApplication. GUI tests need no display: QT_QPA_PLATFORM is offscreen.
# THREADED marks programs whose tests run code on several threads: their tests carry the
# label "threaded" and the target threaded_tests builds them all (the ThreadSanitizer run
# of scripts/sanitize runs those).
add_custom_target(threaded_tests)
function(tracewin_add_test name)
    cmake_parse_arguments(ARG "QT;THREADED" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    # Property values must not hold a ";": the discovered tests' property list is flat.
    set(properties ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 300)
    if(ARG_THREADED)
        list(APPEND properties LABELS threaded)
        add_dependencies(threaded_tests ${name})
    endif()
    if(ARG_QT)
        target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/qtmain.cpp
                                       ${CMAKE_SOURCE_DIR}/tests/support/tsan_qt.cpp)
        target_link_libraries(${name} PRIVATE Qt6::Widgets Qt6::Test GTest::gtest GTest::gmock)
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} tracewin_warnings)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES ${properties})
endfunction()
