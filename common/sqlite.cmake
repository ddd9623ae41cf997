# The SQLite access layer: one connection shared under a re-entrant lock, typed binding and
# column access, the stored date forms, locale-aware collations and case functions.
add_library(ombrelay_sqlite STATIC SQLiteDB.cpp SQLiteDB.h)
target_include_directories(ombrelay_sqlite PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ombrelay_sqlite PUBLIC ombrelay_flags ombrelay_common Qt6::Core SQLite::SQLite3)
