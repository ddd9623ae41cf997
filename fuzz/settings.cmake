# Fuzz targets of text that comes from outside the codec: profile XML from the device and the
# comma text of settings edited by hand.
add_executable(fuzz_profile_xml ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_profile_xml.cpp)
target_link_libraries(fuzz_profile_xml PRIVATE ombrelay_flags ombrelay_core)
target_link_options(fuzz_profile_xml PRIVATE -fsanitize=fuzzer)

add_executable(fuzz_comma_text ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_comma_text.cpp)
target_link_libraries(fuzz_comma_text PRIVATE ombrelay_flags ombrelay_core)
target_link_options(fuzz_comma_text PRIVATE -fsanitize=fuzzer)
