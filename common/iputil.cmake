# Name resolution and ICMP echo: a unit of its own, so that it can be used and tested apart
# from the program.
add_library(ombrelay_iputil STATIC ${CMAKE_CURRENT_LIST_DIR}/IPUtil.cpp ${CMAKE_CURRENT_LIST_DIR}/IPUtil.h)
target_include_directories(ombrelay_iputil PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ombrelay_iputil PUBLIC ombrelay_flags ombrelay_common Qt6::Core)
