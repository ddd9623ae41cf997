# The SMS transport: a simulated device holding 1,000 messages read, stored, filed and cleared.
add_executable(bench_device ${CMAKE_CURRENT_LIST_DIR}/device.cpp)
target_link_libraries(bench_device PRIVATE ombrelay_flags ombrelay_core)
