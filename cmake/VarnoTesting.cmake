# varno_add_test(NAME <name> SOURCES <files...> LABEL <unit|integration|gui> [UI] [TIMEOUT <s>])
# One executable per test file; the device simulator's path is compiled in for integration tests.
# A test links the core; UI (widgets, dialogs, the main window) adds varnoui.
function(varno_add_test)
    cmake_parse_arguments(T "UI" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    if(T_UI)
        target_link_libraries(${T_NAME} PRIVATE varnoui)
    endif()
    target_link_libraries(${T_NAME} PRIVATE varnocore Qt5::Test ${T_LIBS})
    target_compile_definitions(${T_NAME} PRIVATE VARNO_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
    # The simulator is a Linux program; the Windows build has only the tests that need none.
    if(TARGET varno-devsim)
        target_compile_definitions(${T_NAME} PRIVATE VARNO_DEVSIM_PATH="$<TARGET_FILE:varno-devsim>")
        add_dependencies(${T_NAME} varno-devsim)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_LABEL)
        set(T_LABEL unit)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # No test can hang: CTest ends the program at TIMEOUT, and before that QtTest's watchdog fails
    # the one function that is stuck, by name, at two thirds of it.
    math(EXPR function_timeout_ms "${T_TIMEOUT} * 1000 * 2 / 3")
    # A home of its own: settings written by one test (or by a run in another build tree at the
    # same time) are never read by another, and what the code under test writes there (the change
    # journal, histories) never lands in the home of whoever runs the tests. It must exist: file
    # dialogs wait on a missing one. The XDG folders a desktop session sets would be shared again,
    # so they follow the home; the runtime folder falls back to a private one inside it.
    set(test_home ${CMAKE_BINARY_DIR}/test-home/${T_NAME})
    file(MAKE_DIRECTORY ${test_home})
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS ${T_LABEL}
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "HOME=${test_home};XDG_CONFIG_HOME=${test_home}/.config;XDG_DATA_HOME=${test_home}/.local/share;XDG_CACHE_HOME=${test_home}/.cache;XDG_RUNTIME_DIR=;QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=${function_timeout_ms};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
endfunction()
