# Fuzz targets of the SMS codec and the message store.
ombrelay_add_fuzz(fuzz_decode_pdu ombrelay_sms)
ombrelay_add_fuzz(fuzz_add_message ombrelay_core)
