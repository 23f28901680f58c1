# The Debian package of the client (scripts/package): `cpack -G DEB` over the
# install rules. Library dependencies come from dpkg-shlibdeps; Depends below
# names only what the program needs without linking to it.
set(KARV_PACKAGE_MAINTAINER "KARV team <karv@karv.tw>" CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME karv)
set(CPACK_PACKAGE_VERSION ${KARV_CLIENT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KARV_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "brokerage certificate client (KARV 憑證管理)")
set(CPACK_PACKAGE_DESCRIPTION "KARV manages the personal X.509 certificate of a securities brokerage
customer: it applies for the certificate, renews and revokes it, keeps it in
a password-protected PFX file and installs it into web browsers.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Traditional Chinese glyphs, TLS trust anchors, and xdg-open for links and
# files; the SVG icon engine for the window icon and Qt's own Traditional
# Chinese texts; libcurl and NSS, which the program loads when it first needs them
# instead of linking them (so dpkg-shlibdeps cannot see them).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-noto-cjk | fonts-wqy-zenhei, ca-certificates, xdg-utils, libcurl4 (>= 7.85.0), libnss3 (>= 2:3.35), libqt6svg6, qt6-translations-l10n")
# The reminder's timer enabled for every user; its autostart entry in /etc is
# the admin's to change (a conffile).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/resources/debian/postinst;${CMAKE_SOURCE_DIR}/resources/debian/postrm;${CMAKE_SOURCE_DIR}/resources/debian/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
