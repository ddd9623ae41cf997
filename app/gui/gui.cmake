# The desktop program's windows and dialogs (the only layer with Qt Widgets).
add_library(ombrelay_gui STATIC
    About.cpp About.h
    Application.cpp Application.h
    CreateMessage.cpp CreateMessage.h
    GuiCommon.cpp GuiCommon.h
    Icons.cpp Icons.h
    MainView.cpp MainView.h
    MessageBox.cpp MessageBox.h
    Settings.cpp Settings.h
    SignalPanel.cpp SignalPanel.h
    SingleInstance.cpp SingleInstance.h
    SmsMessagesModel.cpp SmsMessagesModel.h
    TimedMessage.cpp TimedMessage.h
)
target_include_directories(ombrelay_gui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(ombrelay_gui PUBLIC OMBRELAY_HAVE_GUI)
target_link_libraries(ombrelay_gui PUBLIC ombrelay_flags ombrelay_core ombrelay_backends Qt6::Widgets Qt6::Network)

# Installed with the program: the desktop entry and its icon.
install(FILES forms/ombrelay.desktop DESTINATION share/applications)
install(FILES forms/ombrelay.svg DESTINATION share/icons/hicolor/scalable/apps)
