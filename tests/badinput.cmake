# Bad input from outside met by the real program: malformed PDUs from the device, profile XML
# that does not parse, a hand-edited CONFIG table, damaged database files, monitor sites that are
# not URLs or never answer.
if(TARGET ombrelay_gui)
    add_executable(test_badinput badinput/TestBadInput.cpp)
    target_link_libraries(test_badinput PRIVATE ombrelay_flags Qt6::Test Qt6::DBus Qt6::Network)
    target_include_directories(test_badinput PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(test_badinput PRIVATE
        OMBRELAY_BINARY="$<TARGET_FILE:ombrelay>"
        OMBRELAY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
        OMBRELAY_PDU_TOOL="$<TARGET_FILE:ombrelay-pdu>")
    add_dependencies(test_badinput ombrelay ombrelay-pdu)
    add_test(NAME test_badinput COMMAND dbus-run-session -- $<TARGET_FILE:test_badinput>)
    set_tests_properties(test_badinput PROPERTIES LABELS badinput TIMEOUT 600
        ENVIRONMENT "OMBRELAY_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
endif()

ombrelay_add_test(NAME test_config_input SOURCES badinput/TestConfigInput.cpp support/TempDatabase.h
    LIBS ombrelay_core LABELS badinput
    ENV "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/qt.tsan.supp")
