# Background services: the waitable worker thread and system helpers, usage accounting and
# the connection monitor.
target_sources(ombrelay_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Common.cpp ${CMAKE_CURRENT_LIST_DIR}/Common.h
    ${CMAKE_CURRENT_LIST_DIR}/UsageSource.h
    ${CMAKE_CURRENT_LIST_DIR}/Usage.cpp ${CMAKE_CURRENT_LIST_DIR}/Usage.h
    ${CMAKE_CURRENT_LIST_DIR}/Monitor.cpp ${CMAKE_CURRENT_LIST_DIR}/Monitor.h)
target_link_libraries(ombrelay_core PUBLIC Qt6::DBus ombrelay_iputil CURL::libcurl)
