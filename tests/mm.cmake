# The ModemManager backend against the real ModemManager daemon (with our scripted AT modem) and
# a mock NetworkManager (python3-dbusmock), each on a private bus of its own.
set(OMBRELAY_MM_TEST_ENV "TSAN_OPTIONS=die_after_fork=0:suppressions=${PROJECT_SOURCE_DIR}/tests/support/qt.tsan.supp")
ombrelay_add_test(NAME test_mm_modem SOURCES mm/tst_mm_modem.cpp mm/BusFixture.h support/TempDatabase.h
    LIBS ombrelay_core ombrelay_mm Qt6::DBus LABELS mm TIMEOUT 300 ENV ${OMBRELAY_MM_TEST_ENV})
target_compile_definitions(test_mm_modem PRIVATE OMBRELAY_AT_MODEM="${PROJECT_SOURCE_DIR}/tests/mm/at_modem.py")
ombrelay_add_test(NAME test_mm_network SOURCES mm/tst_mm_network.cpp mm/BusFixture.h support/TempDatabase.h
    LIBS ombrelay_core ombrelay_mm Qt6::DBus LABELS mm TIMEOUT 120 ENV ${OMBRELAY_MM_TEST_ENV})
target_compile_definitions(test_mm_network PRIVATE
    OMBRELAY_MM_MOCK="${PROJECT_SOURCE_DIR}/tests/mm/mm_mock.py"
    OMBRELAY_NM_CONTROL="${PROJECT_SOURCE_DIR}/tests/mm/nm_control.py")
