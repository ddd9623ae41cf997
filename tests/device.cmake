# The broadband device layer driven through the simulated modem, over real database files.
ombrelay_add_test(NAME test_device_transport SOURCES device/tst_transport.cpp device/DeviceFixture.h
    support/TempDatabase.h LIBS ombrelay_core LABELS device)
ombrelay_add_test(NAME test_device_manager SOURCES device/tst_manager.cpp device/DeviceFixture.h
    support/TempDatabase.h LIBS ombrelay_core LABELS device)
ombrelay_add_test(NAME test_device_simcontrol SOURCES device/tst_simcontrol.cpp LIBS ombrelay_backends
    LABELS device)
target_compile_definitions(test_device_simcontrol PRIVATE OMBRELAY_SIM_CLIENT="$<TARGET_FILE:ombrelay-sim>")
add_dependencies(test_device_simcontrol ombrelay-sim)
