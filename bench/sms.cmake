# SMS codec and message store benchmarks; each prints FIGURE lines for bench/run.
add_executable(bench_sms_codec ${CMAKE_CURRENT_SOURCE_DIR}/sms_codec.cpp ${CMAKE_CURRENT_SOURCE_DIR}/sms_corpus.h)
target_link_libraries(bench_sms_codec PRIVATE ombrelay_flags ombrelay_sms)

add_executable(bench_sms_store ${CMAKE_CURRENT_SOURCE_DIR}/sms_store.cpp ${CMAKE_CURRENT_SOURCE_DIR}/sms_corpus.h)
target_link_libraries(bench_sms_store PRIVATE ombrelay_flags ombrelay_core)
