# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: cpack -G DEB in the build folder makes rode-rur_<version>_<arch>.deb.

set(RUR_MAINTAINER "RODE RUR maintainers <maintainers@users.noreply.c-seed-160d0e8a.example>" CACHE STRING
    "Maintainer named in the Debian package")

# Debian wants its copyright file and a compressed changelog in the package's doc folder.
install(FILES debian/copyright DESTINATION ${RUR_DOC_FOLDER})
add_custom_command(OUTPUT ${RUR_GENERATED_DATA}/changelog.Debian.gz
                   COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog > ${RUR_GENERATED_DATA}/changelog.Debian.gz
                   DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog VERBATIM)
add_custom_target(rur_debian_changelog ALL DEPENDS ${RUR_GENERATED_DATA}/changelog.Debian.gz)
install(FILES ${RUR_GENERATED_DATA}/changelog.Debian.gz DESTINATION ${RUR_DOC_FOLDER})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rode-rur)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${RUR_VERSION_SUFFIX})
string(REGEX REPLACE "^-" "" CPACK_DEBIAN_PACKAGE_RELEASE "${CPACK_DEBIAN_PACKAGE_RELEASE}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RUR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${RUR_REPOSITORY_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "manager for a two-bay RAID disk enclosure")
# The synopsis comes from the summary; cpack indents these lines and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "RODE RUR finds an external two-bay disk enclosure whose hardware controller
joins two disks into one array behind a USB bridge, and talks to the
controller through sector reads only. It shows the array and both member
disks, writes every change to a daily event log, mails alarms over SMTP,
grades the members' SMART data and upgrades the controller's firmware.

The package holds the desktop program rode-rur, the command-line tool rurctl
with a systemd service for headless monitoring, and a simulated enclosure for
trying everything without the hardware.")
# Linked libraries are found by dpkg-shlibdeps; the mail library is loaded at run time when the
# first mail goes out, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 | libcurl4t64")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
