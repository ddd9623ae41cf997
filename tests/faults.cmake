# Received messages against a killed program, a full disk and a read-only database: the real
# program on the simulated modem, its device memory kept in a state file across starts.
# OMBRELAY_KILLS sets the kills of the kill test (default 30; the full run takes 200 or more),
# OMBRELAY_SEED replays a run. The disk-full and read-only tests need root (mount, chattr)
# and report themselves skipped otherwise.
if(TARGET ombrelay)
    foreach(case kill diskfull readonly)
        add_test(NAME test_faults_${case}
                 COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/faults/faults.py ${case}
                         $<TARGET_FILE:ombrelay> $<TARGET_FILE:ombrelay-pdu>)
        # The program's runs under ThreadSanitizer take the desktop program's suppressions (Qt's
        # own pooled threads).
        set_tests_properties(test_faults_${case} PROPERTIES LABELS faults TIMEOUT 600 SKIP_RETURN_CODE 77
            ENVIRONMENT "OMBRELAY_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp;\
TSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/gui/tsan.supp")
    endforeach()
endif()

# The report of a store that keeps failing, at the level of the device layer.
ombrelay_add_test(NAME test_faults_store_failure SOURCES faults/tst_store_failure.cpp device/DeviceFixture.h
    support/TempDatabase.h LIBS ombrelay_core LABELS faults
    ENV "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/qt.tsan.supp")
