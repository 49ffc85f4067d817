# A Debian package of what `cmake --install` installs (scripts/package.sh builds it). The
# library dependencies come from the binaries; the window also needs a Japanese font.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zembromw)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The zembromw developers")
set(CPACK_PACKAGE_CONTACT "The zembromw developers <zembromw@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "EPROM programmer front end for a serial ROM writer")
set(CPACK_PACKAGE_DESCRIPTION
  "zembromw drives an EPROM programmer (a ROM writer) on a serial port: blank check, read,\n\
program and compare 27xx-series EPROMs from a window or from scripts. A simulated ROM\n\
writer on a pseudo-terminal lets everything be tried without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts (file dialogs, edit menus, message box buttons) in Japanese.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n")
include(CPack)
