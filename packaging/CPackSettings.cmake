# Included by the top-level CMakeLists.txt (CPack wants its settings there).
# cpack -G DEB in a build configured with -DCMAKE_INSTALL_PREFIX=/usr -DOMBRELAY_TESTS=OFF (see
# scripts/package-check.sh). The libraries come from dpkg-shlibdeps; the Qt platform plugins are
# loaded at run time, so no library names them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ombrelay)
set(CPACK_PACKAGE_VENDOR Virelle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Virelle <ombrelay@virelle.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mobile broadband connections, text messages and data usage")
set(CPACK_PACKAGE_DESCRIPTION
    "Ombrelay keeps a computer with a cellular modem online from the notification
area. It connects and disconnects by profile, shows the signal strength, keeps
an inbox and an outbox of text messages in a local database, counts the data
used per day and checks that the computer is online. It works with
ModemManager and NetworkManager.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.virelle.example/ombrelay/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "modemmanager, network-manager, qt6-translations-l10n")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ombrelay)
include(CPack)
