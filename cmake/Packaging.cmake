# cpack -G DEB: a Debian package of what `cmake --install` puts in place.
set(CPACK_PACKAGE_NAME tripconf)
set(CPACK_PACKAGE_VENDOR "tripconf developers")
set(CPACK_PACKAGE_CONTACT "tripconf developers <tripconf@example.org>" CACHE STRING
    "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration tool for a vehicle trip computer")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the settings of a vehicle trip computer over a serial line, edits them\n"
    "with a preview of its colour display, keeps them in settings files and writes\n"
    "them back. Includes tripconf-cli for scripts (read, write with read-back\n"
    "verification, show, diff) and tripconf-sim, a simulated trip computer on a\n"
    "pseudo-terminal.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps names the libraries the programs link, Qt's among them, with
# their versions; the platform plugins are loaded at run time and are a
# package of their own. Without dpkg-shlibdeps the Qt runtime is named here.
find_program(TRIPCONF_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TRIPCONF_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6widgets6 (>= 6.2), "
      "libqt6serialport6 (>= 6.2), qt6-qpa-plugins")
  string(JOIN "" CPACK_DEBIAN_PACKAGE_DEPENDS ${CPACK_DEBIAN_PACKAGE_DEPENDS})
endif()

include(CPack)
