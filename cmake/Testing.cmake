# tracewin_add_test(NAME [QT] [THREADED] [WHOLE] SOURCES src... LIBS lib...)
# One GoogleTest executable; every test case becomes a CTest test. WHOLE makes the program
# one CTest test instead, for programs whose cases share something costly to start (a
# server), with a longer timeout. With QT the tests run
# inside a QApplication. GUI tests need no display: QT_QPA_PLATFORM is offscreen.
# THREADED marks programs whose tests run code on several threads: their tests carry the
# label "threaded" and the target threaded_tests builds them all (the ThreadSanitizer run
# of scripts/sanitize runs those).
add_custom_target(threaded_tests)
function(tracewin_add_test name)
    cmake_parse_arguments(ARG "QT;THREADED;WHOLE" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    # Property values must not hold a ";": the discovered tests' property list is flat.
    set(timeout 300)
    if(ARG_WHOLE)
        set(timeout 900)
    endif()
    set(properties ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT ${timeout})
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
    # Shared test helpers are included as "support/...".
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    if(ARG_WHOLE)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ${properties})
        return()
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES ${properties})
endfunction()
