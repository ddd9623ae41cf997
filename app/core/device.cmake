# The broadband device layer: manager, interface items, profiles and the SMS transport.
target_sources(ombrelay_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/MBManager.h ${CMAKE_CURRENT_LIST_DIR}/MBManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MBInterfaceItem.h ${CMAKE_CURRENT_LIST_DIR}/MBInterfaceItem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MBProfleItem.h ${CMAKE_CURRENT_LIST_DIR}/MBProfleItem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SmsTransport.cpp)
# The backends come with the core, so that the program entry and the tests have the simulated modem.
target_link_libraries(ombrelay_core PUBLIC ombrelay_platform ombrelay_backends Qt6::Xml)
