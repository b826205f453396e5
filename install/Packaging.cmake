# Installation and the Debian package: the program and its companions in bin, a menu entry and
# its icon, and the operator's manual, which the program finds from its own folder
# (../share/pelorafile). An installed program keeps its chart index and lists in the folder set
# by PELORA_INSTALLED_PROGRAM_FOLDER (src/app), by default the user's data folder.
include(GNUInstallDirs)

install(TARGETS pelorafile pelorafile-admin pelorafile-save
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pelorafile.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pelorafile.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/manual
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pelorafile)

set(CPACK_PACKAGE_NAME pelorafile)
set(CPACK_PACKAGE_VENDOR "PeloraFile")
set(CPACK_PACKAGE_CONTACT "PeloraFile maintainers <pelorafile@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Scans paper medical charts into a PDF archive")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The runtime libraries come from what the binaries link (dpkg-shlibdeps); Qt's plugins,
# the Japanese font and Qt's translation are loaded at run time and so are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, qt6-translations-l10n, fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, libsane1")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
