# The access layer against the plain sqlite3 C API.
add_executable(bench_sqlite ${CMAKE_CURRENT_LIST_DIR}/sqlite_bench.cpp)
target_link_libraries(bench_sqlite PRIVATE ombrelay_flags ombrelay_sqlite SQLite::SQLite3 Qt6::Core)
