# SMS codec and message store.
ombrelay_add_test(NAME test_sms_codec SOURCES sms/test_sms_codec.cpp LIBS ombrelay_sms LABELS sms)
ombrelay_add_test(NAME test_sms_store SOURCES sms/test_sms_store.cpp LIBS ombrelay_core LABELS sms)
ombrelay_add_test(NAME test_pdu_tool SOURCES sms/test_pdu_tool.cpp LABELS sms
    ENV "OMBRELAY_PDU_TOOL=$<TARGET_FILE:ombrelay-pdu>")
add_dependencies(test_pdu_tool ombrelay-pdu)
