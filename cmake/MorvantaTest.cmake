# Every program a test runs lists in this journal what must not outlive it;
# the suite's last test (tests/leftovers_check.sh) checks that none is left.
set(MORVANTA_LEFTOVER_JOURNAL ${CMAKE_BINARY_DIR}/leftover-journal)
# Qt's runtime folder for the tests, so that none is made in /tmp.
set(MORVANTA_TEST_RUNTIME_DIR ${CMAKE_BINARY_DIR}/test-runtime)
file(MAKE_DIRECTORY ${MORVANTA_TEST_RUNTIME_DIR})
file(CHMOD ${MORVANTA_TEST_RUNTIME_DIR} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# morvanta_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>])
# One test executable per subject, registered with CTest. Every test gets its
# own temporary HOME so that nothing touches an operator's folder, and widget
# tests run on the offscreen platform.
function(morvanta_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE morvanta_settings Qt6::Test ${T_LIBS})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE
        MORVANTA_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
        MORVANTA_BUILD_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 1500) # a loaded 2-core machine is several times slower
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        FIXTURES_REQUIRED suite_leftovers
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;QTEST_FUNCTION_TIMEOUT=1500000;XDG_RUNTIME_DIR=${MORVANTA_TEST_RUNTIME_DIR};MORVANTA_LEFTOVER_JOURNAL=${MORVANTA_LEFTOVER_JOURNAL}")
endfunction()
