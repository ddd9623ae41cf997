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
        set_tests_properties(test_faults_${case} PROPERTIES LABELS faults TIMEOUT 600 SKIP_RETURN_CODE 77
            ENVIRONMENT "OMBRELAY_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
    endforeach()
endif()

# The report of a store that keeps failing, at the level of the device layer.
ombrelay_add_test(NAME test_faults_store_failure SOURCES faults/tst_store_failure.cpp device/DeviceFixture.h
    support/TempDatabase.h LIBS ombrelay_core LABELS faults
    ENV "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/qt.tsan.supp")
