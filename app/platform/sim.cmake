# The simulated modem: a backend of the platform port that behaves like a device, with its
# control channel. It builds SMS-DELIVER PDUs with the codec.
add_library(ombrelay_sim STATIC
    ${CMAKE_CURRENT_LIST_DIR}/sim/SimScenario.h ${CMAKE_CURRENT_LIST_DIR}/sim/SimScenario.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sim/SimModem.h ${CMAKE_CURRENT_LIST_DIR}/sim/SimModem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sim/SimControl.h ${CMAKE_CURRENT_LIST_DIR}/sim/SimControl.cpp)
target_include_directories(ombrelay_sim PUBLIC ${CMAKE_CURRENT_LIST_DIR}/sim)
target_link_libraries(ombrelay_sim PUBLIC ombrelay_platform ombrelay_sms ombrelay_common Qt6::Network)
