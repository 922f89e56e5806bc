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
    target_compile_definitions(${T_NAME} PRIVATE
        VARNO_DEVSIM_PATH="$<TARGET_FILE:varno-devsim>"
        VARNO_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
    add_dependencies(${T_NAME} varno-devsim)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_LABEL)
        set(T_LABEL unit)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # A home of its own: what the code under test writes there (the change journal, histories)
    # must not land in the home of whoever runs the tests. It must exist: file dialogs wait on a
    # missing one.
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-home/${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS ${T_LABEL}
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "HOME=${CMAKE_BINARY_DIR}/test-home/${T_NAME};QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
endfunction()
