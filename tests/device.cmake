# The broadband device layer driven through the simulated modem, over real database files.
ombrelay_add_test(NAME test_device_transport SOURCES device/tst_transport.cpp device/DeviceFixture.h
    support/TempDatabase.h LIBS ombrelay_core LABELS device)
ombrelay_add_test(NAME test_device_manager SOURCES device/tst_manager.cpp device/DeviceFixture.h
    support/TempDatabase.h LIBS ombrelay_core LABELS device)
