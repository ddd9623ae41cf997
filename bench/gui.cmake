# The main window with 100,000 messages in the inbox: opening the SMS tab and the refresh after
# a new message, against a bare table view over a trivial model of the same size.
if(TARGET ombrelay_gui)
    add_executable(bench_gui ${CMAKE_CURRENT_LIST_DIR}/gui.cpp)
    target_link_libraries(bench_gui PRIVATE ombrelay_flags ombrelay_gui Qt6::Test)
endif()
