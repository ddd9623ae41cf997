# The backend over ModemManager and NetworkManager on the system bus (QtDBus; no GLib main loop).
add_library(ombrelay_mm STATIC
    ${CMAKE_CURRENT_LIST_DIR}/modemmanager/MMBackend.h ${CMAKE_CURRENT_LIST_DIR}/modemmanager/MMBackend.cpp)
target_include_directories(ombrelay_mm PUBLIC ${CMAKE_CURRENT_LIST_DIR}/modemmanager)
target_link_libraries(ombrelay_mm PUBLIC ombrelay_platform ombrelay_flags Qt6::DBus)
