# ombrelay-pdu: decode, encode and count SMS PDUs from the command line (modem debugging and
# the decoder's throughput driver). Links the codec alone.
add_executable(ombrelay-pdu ${CMAKE_CURRENT_SOURCE_DIR}/pdu/main.cpp)
target_link_libraries(ombrelay-pdu PRIVATE ombrelay_flags ombrelay_sms)
install(TARGETS ombrelay-pdu RUNTIME DESTINATION bin)
