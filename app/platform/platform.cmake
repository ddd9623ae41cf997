# The platform port: the interface the device layer drives modem stacks through. A static
# library because the interface manager is a QObject with signals (its moc output is compiled here).
add_library(ombrelay_platform STATIC
    ${CMAKE_CURRENT_LIST_DIR}/MbnPort.h
    ${CMAKE_CURRENT_LIST_DIR}/MbnPort.cpp)
target_include_directories(ombrelay_platform PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ombrelay_platform PUBLIC ombrelay_flags Qt6::Core)

# Choosing the backend from the command line: the program entry links this.
add_library(ombrelay_backends STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Backend.h
    ${CMAKE_CURRENT_LIST_DIR}/Backend.cpp)
target_link_libraries(ombrelay_backends PUBLIC ombrelay_platform ombrelay_sim ombrelay_mm ombrelay_common)
