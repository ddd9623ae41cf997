# Background services: worker thread and system helpers, name resolution and ICMP echo, usage
# accounting, the online monitor.
ombrelay_add_test(NAME test_services_common SOURCES services/test_common.cpp LIBS ombrelay_core Qt6::DBus
    LABELS services)
ombrelay_add_test(NAME test_services_iputil SOURCES services/test_iputil.cpp LIBS ombrelay_iputil LABELS services)
ombrelay_add_test(NAME test_services_usage SOURCES services/test_usage.cpp LIBS ombrelay_core LABELS services)
ombrelay_add_test(NAME test_services_monitor SOURCES services/test_monitor.cpp LIBS ombrelay_core Qt6::Network
    LABELS services)
