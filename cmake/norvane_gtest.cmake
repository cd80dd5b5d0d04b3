# norvane_gtest(NAME SOURCES ... LIBS ... LABELS ... [ENV ...] [SERIAL])
# One GoogleTest executable; every test case becomes a ctest test carrying LABELS.
# Labels in use: unit, pty, sim, udev, gui, desktop, captures, and threaded (also run under TSan).
function(norvane_gtest name)
    cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE
        norvane_test_support GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
    set(props TIMEOUT ${T_TIMEOUT})
    if(T_ENV)
        list(APPEND props ENVIRONMENT "${T_ENV}")
    endif()
    if(T_SERIAL)
        list(APPEND props RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS PROPERTIES ${props})
    # Labels are set after discovery: a list of several labels does not survive PROPERTIES.
    set(labels_script "${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake")
    file(WRITE "${labels_script}" "foreach(t IN LISTS ${name}_TESTS)\n"
        "    set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${T_LABELS}\")\nendforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${labels_script}")
endfunction()
