# Widget tests of the desktop program, on the offscreen platform.
if(TARGET ombrelay_gui)
    ombrelay_add_test(NAME test_gui_dialogs SOURCES gui/TestDialogs.cpp LIBS ombrelay_gui LABELS gui)
endif()
if(TARGET ombrelay_gui)
    ombrelay_add_test(NAME test_gui_mainview SOURCES gui/TestMainView.cpp gui/GuiFixture.h support/TempDatabase.h
        LIBS ombrelay_gui LABELS gui TIMEOUT 300)
endif()
if(TARGET ombrelay_gui)
    ombrelay_add_test(NAME test_gui_application SOURCES gui/TestApplication.cpp LIBS ombrelay_gui LABELS gui)
endif()
