# Background services: worker thread and system helpers, name resolution and ICMP echo, usage
# accounting, the online monitor.
# Test helpers start processes (ip, dbus-daemon, the mock login manager) after threads exist;
# the child executes at once, so the sanitizer's objection to that does not apply.
set(OMBRELAY_SERVICES_TEST_ENV
    "TSAN_OPTIONS=die_after_fork=0:suppressions=${CMAKE_CURRENT_LIST_DIR}/services/tsan.supp")
ombrelay_add_test(NAME test_services_common SOURCES services/test_common.cpp LIBS ombrelay_core Qt6::DBus
    LABELS services ENV ${OMBRELAY_SERVICES_TEST_ENV})
ombrelay_add_test(NAME test_services_iputil SOURCES services/test_iputil.cpp LIBS ombrelay_iputil LABELS services ENV ${OMBRELAY_SERVICES_TEST_ENV})
ombrelay_add_test(NAME test_services_usage SOURCES services/test_usage.cpp LIBS ombrelay_core LABELS services ENV ${OMBRELAY_SERVICES_TEST_ENV})
ombrelay_add_test(NAME test_services_monitor SOURCES services/test_monitor.cpp LIBS ombrelay_core Qt6::Network
    LABELS services ENV ${OMBRELAY_SERVICES_TEST_ENV})
