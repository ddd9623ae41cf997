# ombrelay-sim: the command-line client of the simulated modem's control channel.
add_executable(ombrelay-sim ${CMAKE_CURRENT_LIST_DIR}/sim/main.cpp)
target_link_libraries(ombrelay-sim PRIVATE ombrelay_flags Qt6::Core Qt6::Network)
install(TARGETS ombrelay-sim RUNTIME DESTINATION bin)
