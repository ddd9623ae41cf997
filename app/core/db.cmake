# The application database (schema, location), the settings and the module start-up.
target_sources(ombrelay_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/DB.cpp ${CMAKE_CURRENT_LIST_DIR}/DB.h
    ${CMAKE_CURRENT_LIST_DIR}/Options.cpp ${CMAKE_CURRENT_LIST_DIR}/Options.h
    ${CMAKE_CURRENT_LIST_DIR}/Modules.cpp ${CMAKE_CURRENT_LIST_DIR}/Modules.h)
target_link_libraries(ombrelay_core PUBLIC ombrelay_sqlite)
