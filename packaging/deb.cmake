# The Debian package rtdprog_VERSION-1_ARCH.deb (scripts/package-deb.sh
# builds it with cpack). Its dependencies come from the programs themselves
# through dpkg-shlibdeps.
set(RTD_DEB_VERSION ${PROJECT_VERSION}-1)

# The package's changelog: one entry for the release, dated by the release
# date above in the form Debian wants.
execute_process(COMMAND date -u -R -d ${RTD_RELEASE_DATE}
                OUTPUT_VARIABLE RTD_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(deb/changelog.in changelog.Debian @ONLY)
set(changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${changelog_gz}
  COMMAND gzip -9n -c ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian > ${changelog_gz}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian VERBATIM)
add_custom_target(deb-changelog ALL DEPENDS ${changelog_gz})
install(FILES deb/copyright ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rtdprog)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${RTD_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SPI flash programmer for RTD2662 display boards")
set(CPACK_PACKAGE_DESCRIPTION [=[
rtdprog is a tool for service engineers who repair display boards built
around the Realtek RTD2662 controller. Through the USB HID programmer
ZEZ2662-IDAD it identifies the board's SPI flash, reads it into a file,
compares it with a file, erases and writes it with verification, resets the
controller and reads the touch controller's calibration.

The package holds the window rtdprog and the command-line tool rtdprog-cli,
the list of known flash chips, and a udev rule that lets the user logged in
at the machine open the programmer without root.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the window loads at run time, unseen by dpkg-shlibdeps: Qt's SVG
# image plug-in for its icon, Qt's own Russian texts for its dialogs. It
# works without them, so they are recommended, not required.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/deb/postinst ${CMAKE_CURRENT_SOURCE_DIR}/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
