# Widget tests of the desktop program, on the offscreen platform.
set(OMBRELAY_GUI_TEST_ENV "TSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/gui/tsan.supp")
if(TARGET ombrelay_gui)
    ombrelay_add_test(NAME test_gui_dialogs SOURCES gui/TestDialogs.cpp LIBS ombrelay_gui LABELS gui ENV ${OMBRELAY_GUI_TEST_ENV})
endif()
if(TARGET ombrelay_gui)
    ombrelay_add_test(NAME test_gui_mainview SOURCES gui/TestMainView.cpp gui/GuiFixture.h support/TempDatabase.h
        LIBS ombrelay_gui LABELS gui TIMEOUT 300 ENV ${OMBRELAY_GUI_TEST_ENV})
endif()
if(TARGET ombrelay_gui)
    ombrelay_add_test(NAME test_gui_application SOURCES gui/TestApplication.cpp LIBS ombrelay_gui LABELS gui ENV ${OMBRELAY_GUI_TEST_ENV})
endif()
