# End-to-end: the real program under its own X server and a private session bus.
if(TARGET ombrelay_gui)
    add_executable(test_e2e e2e/TestEndToEnd.cpp)
    target_link_libraries(test_e2e PRIVATE ombrelay_flags Qt6::Test Qt6::DBus Qt6::Network)
    target_include_directories(test_e2e PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(test_e2e PRIVATE
        OMBRELAY_BINARY="$<TARGET_FILE:ombrelay>"
        OMBRELAY_SCREENSHOTS="${CMAKE_BINARY_DIR}/screenshots")
    add_dependencies(test_e2e ombrelay)
    add_test(NAME test_e2e COMMAND dbus-run-session -- $<TARGET_FILE:test_e2e>)
    set_tests_properties(test_e2e PROPERTIES LABELS e2e TIMEOUT 400
        ENVIRONMENT "OMBRELAY_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
endif()
