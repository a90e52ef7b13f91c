# The Debian package: `make package` configures a Release build for /usr and runs cpack on it,
# giving tidewell_<version>_<arch>.deb. The libraries the programs link come from dpkg-shlibdeps;
# what Qt loads at run time as plug-ins no linker sees, so those packages are named here: SVG for
# the window's icons, SQLite for Evolution's address books.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidewell)
set(CPACK_PACKAGE_VENDOR Quenlor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quenlor <bugs@quenlor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert and edit appointment calendars")
set(CPACK_PACKAGE_DESCRIPTION "\
Tidewell shows the appointments of a calendar in one table. iCalendar and
vCalendar 1.0 files, comma- and tab-delimited text and appointments written
in plain words come in; they are corrected in place and go out again as
iCalendar, vCalendar 1.0, delimited text, a readable list or a meeting
invitation, with nothing lost and nothing shifted by a time zone.
The command-line tool tidewell-cli shares the same core for batch work.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quenlor.example/tidewell/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# The mail commands and the file types go through the freedesktop tools.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-sqlite, xdg-utils, shared-mime-info, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
