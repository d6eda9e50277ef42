# Packages made with `cpack` in a build folder; `cpack -G DEB` makes the Debian package.
# What goes in is what `cmake --install` installs: the program, the virtual board, the
# desktop file, the AppStream metainfo and the icon.

set(CPACK_PACKAGE_NAME horavox)
set(CPACK_PACKAGE_VENDOR "Horavox 开发组")
# Mail goes to the web host's domain.
string(REGEX REPLACE "^www\\." "" HORAVOX_MAIL_DOMAIN "${HORAVOX_WEB_HOST}")
set(CPACK_PACKAGE_CONTACT "Horavox 开发组 <horavox@${HORAVOX_MAIL_DOMAIN}>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Companion of an FPGA alarm clock: its time, temperature and hourly melody")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Horavox talks to an alarm clock built on a small FPGA board over a serial port. It\n"
    "shows the time and the temperature the board reports, and at every full hour from\n"
    "06:00 to 20:00 sends the board the melody typed in its window.\n"
    "\n"
    "horavox-board, a virtual board on a pseudo-terminal, stands in for the board and\n"
    "logs and records every melody it hears.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://${HORAVOX_WEB_HOST}/")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CPACK_PACKAGE_HOMEPAGE_URL})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # horavox_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the executables link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's texts are Chinese: without a CJK font they show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")

include(CPack)
