# The broadband device layer driven through the simulated modem, over real database files.
# Debian's Qt is not built with ThreadSanitizer; its internal races are suppressed.
set(OMBRELAY_DEVICE_TEST_ENV "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/qt.tsan.supp")
ombrelay_add_test(NAME test_device_transport SOURCES device/tst_transport.cpp device/DeviceFixture.h
    support/TempDatabase.h LIBS ombrelay_core LABELS device
    ENV ${OMBRELAY_DEVICE_TEST_ENV})
ombrelay_add_test(NAME test_device_manager SOURCES device/tst_manager.cpp device/DeviceFixture.h
    support/TempDatabase.h LIBS ombrelay_core LABELS device
    ENV ${OMBRELAY_DEVICE_TEST_ENV})
ombrelay_add_test(NAME test_device_simcontrol SOURCES device/tst_simcontrol.cpp LIBS ombrelay_backends
    LABELS device
    ENV ${OMBRELAY_DEVICE_TEST_ENV})
target_compile_definitions(test_device_simcontrol PRIVATE OMBRELAY_SIM_CLIENT="$<TARGET_FILE:ombrelay-sim>")
add_dependencies(test_device_simcontrol ombrelay-sim)
