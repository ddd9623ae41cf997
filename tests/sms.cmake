# SMS codec, message store and the PDU tool. Debian's Qt is not built with ThreadSanitizer; its
# internal races are suppressed.
set(OMBRELAY_SMS_TEST_ENV "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/qt.tsan.supp")
ombrelay_add_test(NAME test_sms_codec SOURCES sms/test_sms_codec.cpp LIBS ombrelay_sms LABELS sms
    ENV ${OMBRELAY_SMS_TEST_ENV})
ombrelay_add_test(NAME test_sms_store SOURCES sms/test_sms_store.cpp support/TempDatabase.h LIBS ombrelay_core
    LABELS sms ENV ${OMBRELAY_SMS_TEST_ENV})
ombrelay_add_test(NAME test_pdu_tool SOURCES sms/test_pdu_tool.cpp LABELS sms
    ENV ${OMBRELAY_SMS_TEST_ENV} "OMBRELAY_PDU_TOOL=$<TARGET_FILE:ombrelay-pdu>")
add_dependencies(test_pdu_tool ombrelay-pdu)
