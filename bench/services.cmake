# Idle cost of the background services (usage and monitor threads).
add_executable(bench_idle_cost ${CMAKE_CURRENT_LIST_DIR}/idle_cost.cpp)
target_link_libraries(bench_idle_cost PRIVATE ombrelay_flags ombrelay_core)
