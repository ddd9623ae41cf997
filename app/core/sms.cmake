# The SMS PDU codec: its own library with Qt Core only (no database, no widgets), so that tests,
# tools and fuzz targets can link it alone.
add_library(ombrelay_sms STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/SMS.cpp ${CMAKE_CURRENT_SOURCE_DIR}/SMS.h
    ${CMAKE_CURRENT_SOURCE_DIR}/MBException.h)
target_include_directories(ombrelay_sms PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ombrelay_sms PUBLIC ombrelay_flags ombrelay_common Qt6::Core)

target_link_libraries(ombrelay_core PUBLIC ombrelay_sms)

# The message store: inbox and outbox lists over the INCOMING and OUTGOING tables.
target_sources(ombrelay_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SmsStore.cpp ${CMAKE_CURRENT_LIST_DIR}/SmsStore.h)
