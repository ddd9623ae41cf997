# Fuzz targets of text that comes from outside the codec: profile XML from the device and the
# comma text of settings edited by hand.
ombrelay_add_fuzz(fuzz_profile_xml ombrelay_core)
ombrelay_add_fuzz(fuzz_comma_text ombrelay_core)
