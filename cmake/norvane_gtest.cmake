# norvane_gtest(NAME SOURCES ... LIBS ... LABELS ... [ENV ...] [TIMEOUT s] [SERIAL])
# One GoogleTest executable; every test case becomes a ctest test carrying LABELS.
# Labels: unit, pty, sim, udev, gui, desktop, captures, and threaded (also run under TSan).
function(norvane_gtest name)
    cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE
        norvane_test_support GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS)
    # Properties are set after discovery: a list of several labels does not survive PROPERTIES.
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake")
    file(WRITE "${script}" "foreach(t IN LISTS ${name}_TESTS)\n    set_tests_properties(\"\${t}\" "
        "PROPERTIES LABELS \"${T_LABELS}\" TIMEOUT ${T_TIMEOUT} RUN_SERIAL ${T_SERIAL} "
        "ENVIRONMENT \"${T_ENV}\")\nendforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()
