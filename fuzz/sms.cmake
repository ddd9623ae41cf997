# Fuzz targets of the SMS codec and the message store. Every fuzz/fuzz_<name>.cpp is the target
# fuzz_<name>, which fuzz/run.sh builds and runs with the seeds in fuzz/corpus/fuzz_<name>/.
add_executable(fuzz_decode_pdu ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_decode_pdu.cpp)
target_link_libraries(fuzz_decode_pdu PRIVATE ombrelay_flags ombrelay_sms)
target_link_options(fuzz_decode_pdu PRIVATE -fsanitize=fuzzer)

add_executable(fuzz_add_message ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_add_message.cpp)
target_link_libraries(fuzz_add_message PRIVATE ombrelay_flags ombrelay_core)
target_link_options(fuzz_add_message PRIVATE -fsanitize=fuzzer)
