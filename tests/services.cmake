# Background services: worker thread and system helpers, name resolution and ICMP echo, usage
# accounting, the online monitor.
ombrelay_add_test(NAME test_services_iputil SOURCES services/test_iputil.cpp LIBS ombrelay_iputil LABELS services)
