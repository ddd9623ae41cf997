# The broadband device layer: manager, interface items, profiles and the SMS transport.
target_sources(ombrelay_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/MBManager.h
    ${CMAKE_CURRENT_LIST_DIR}/MBInterfaceItem.h
    ${CMAKE_CURRENT_LIST_DIR}/MBProfleItem.h)
target_link_libraries(ombrelay_core PUBLIC ombrelay_platform Qt6::Xml)
