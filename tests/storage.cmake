# The SQLite access layer, the application database, the settings and the module start-up,
# all over real database files in temporary folders.
set(OMBRELAY_STORAGE_TEST_ENV "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/qt.tsan.supp")
ombrelay_add_test(NAME test_sqlitedb SOURCES sqlite/tst_sqlitedb.cpp sqlite/TestDB.h
    LIBS ombrelay_sqlite LABELS sqlite ENV ${OMBRELAY_STORAGE_TEST_ENV})
ombrelay_add_test(NAME test_sqlitelock SOURCES sqlite/tst_sqlitelock.cpp sqlite/TestDB.h
    LIBS ombrelay_sqlite LABELS sqlite ENV ${OMBRELAY_STORAGE_TEST_ENV})
ombrelay_add_test(NAME test_database SOURCES db/tst_database.cpp support/TempDatabase.h
    LIBS ombrelay_core LABELS db ENV ${OMBRELAY_STORAGE_TEST_ENV})
ombrelay_add_test(NAME test_options SOURCES db/tst_options.cpp support/TempDatabase.h
    LIBS ombrelay_core LABELS options db ENV ${OMBRELAY_STORAGE_TEST_ENV})
ombrelay_add_test(NAME test_modules SOURCES db/tst_modules.cpp support/TempDatabase.h
    LIBS ombrelay_core LABELS db ENV ${OMBRELAY_STORAGE_TEST_ENV})
