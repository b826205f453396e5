# SPDX-License-Identifier: GPL-3.0-or-later
# Installation and the Debian package: the program and its companions in bin, their manual
# pages, a menu entry with its icon and AppStream metadata, the operator's manual (which the
# program finds from its own folder, ../share/pelorafile), and the package's copyright file,
# changelog and lintian overrides. An installed program keeps its chart index and lists in the
# program folder that src/index/programfolder.h finds, by default the user's data folder.
include(GNUInstallDirs)

set(PELORA_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
set(PELORA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/pelorafile)

# The changelog's first entry is the version being packaged.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog PELORA_CHANGELOG_HEAD LIMIT_COUNT 1)
if(NOT PELORA_CHANGELOG_HEAD MATCHES "^pelorafile \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "install/changelog begins with \"${PELORA_CHANGELOG_HEAD}\": its first "
    "entry must be for the project's version ${PROJECT_VERSION}")
endif()

# Manual pages and the changelog are installed compressed, as Debian's policy asks: gzip -9,
# without a name or time stamp, so that two builds give the same bytes.
set(PELORA_COMPRESSED)
foreach(source IN ITEMS man/pelorafile.1 man/pelorafile-admin.1 man/pelorafile-save.1 changelog)
  get_filename_component(name ${source} NAME)
  set(output ${PELORA_PACKAGING_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PELORA_PACKAGING_DIR}
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${CMAKE_CURRENT_LIST_DIR}/${source} ${output}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${source}
    VERBATIM)
  list(APPEND PELORA_COMPRESSED ${output})
endforeach()
add_custom_target(pelora_packaging_files ALL DEPENDS ${PELORA_COMPRESSED})

install(TARGETS pelorafile pelorafile-admin pelorafile-save
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (cmake --install --strip, and cpack, which strips the package's files) also
# drops the compiler's .comment and .note sections, as dh_strip does.
foreach(program IN ITEMS pelorafile pelorafile-admin pelorafile-save)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endforeach()
install(FILES ${PELORA_PACKAGING_DIR}/pelorafile.1.gz ${PELORA_PACKAGING_DIR}/pelorafile-admin.1.gz
              ${PELORA_PACKAGING_DIR}/pelorafile-save.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pelorafile.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pelorafile.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/jp.tovani.pelorafile.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/manual
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pelorafile)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${PELORA_PACKAGING_DIR}/changelog.gz
        DESTINATION ${PELORA_DOC_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pelorafile.conf DESTINATION ${PELORA_DOC_DIR}/examples)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME pelorafile)

set(CPACK_PACKAGE_NAME pelorafile)
set(CPACK_PACKAGE_VENDOR "PeloraFile developers")
set(CPACK_PACKAGE_CONTACT "PeloraFile developers <pelorafile@tovani.jp>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "PeloraFile developers <pelorafile@tovani.jp>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scan paper medical charts into a PDF archive")
set(CPACK_PACKAGE_DESCRIPTION [=[
PeloraFile turns a clinic's paper medical charts into an electronic archive.
The operator reviews the scanned pages of one chart as thumbnails in a window
in Japanese, types the patient number, a serial number and keywords, and
saves: the pages become one PDF file in the patient's folder of the archive, a
line in the creation log and a row in the chart index.

The chart index is an SQLite file, or a PostgreSQL database shared by several
workstations. It can be searched by keywords and checked against the archive;
every chart's SHA-256 and an audit trail are kept beside it.

The package holds the window (pelorafile) and two command-line companions:
pelorafile-save saves a chart without the window, for hot folders, and
pelorafile-admin creates, checks and verifies the chart index.]=])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tovani.co.jp/pelorafile/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The runtime libraries come from what the binaries link (dpkg-shlibdeps); Qt's SQLite driver,
# the Japanese font and Qt's translation are loaded at run time and so are named here. The
# PostgreSQL driver (a shared index), xdg-utils (opening charts and the manual) and SANE (the
# scanner, loaded with dlopen) make a whole workstation, but the program runs without them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, qt6-translations-l10n, fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, xdg-utils, libsane1")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
