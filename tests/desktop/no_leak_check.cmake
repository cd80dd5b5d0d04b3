# Included by ctest after test discovery: the desktop tests run without the leak check.
foreach(t IN LISTS desktop_capture_TESTS)
    set_tests_properties("${t}" PROPERTIES
        ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::detect_leaks=0")
endforeach()
