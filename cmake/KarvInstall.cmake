# What `cmake --install` puts on a desktop, in the GNU layout: the client
# program, its menu entry, its icon in the hicolor theme and its AppStream
# metainfo (the expiry reminder's files: cmake/ExpiryReminder.cmake). The
# development gateway, the tests and the benchmarks install nothing. A new
# file is one install() line in the section of its kind.
include(GNUInstallDirs)

set(KARV_SCREENSHOTS_URL "${KARV_HOME_PAGE_URL}docs/screenshots/" CACHE STRING
    "Where the screenshots named in the AppStream metainfo are published (ends in /)")

set(KARV_DESKTOP_FILES "${CMAKE_BINARY_DIR}/desktop")
configure_file(resources/desktop/karv.desktop.in "${KARV_DESKTOP_FILES}/${KARV_DESKTOP_ID}.desktop" @ONLY)
configure_file(resources/desktop/karv.metainfo.xml.in "${KARV_DESKTOP_FILES}/${KARV_DESKTOP_ID}.metainfo.xml" @ONLY)

# Programs
install(TARGETS karv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Desktop integration
install(FILES "${KARV_DESKTOP_FILES}/${KARV_DESKTOP_ID}.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/desktop/karv.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KARV_DESKTOP_ID}.svg)
install(FILES "${KARV_DESKTOP_FILES}/${KARV_DESKTOP_ID}.metainfo.xml" DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
