# The Debian package (cpack -G DEB) of what InstallLinux.cmake installs. Only the full build has
# all three programs, so a build without the window installs and packages nothing.
if(NOT KESTREL_BUILD_GUI)
    return()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/InstallLinux.cmake")

set(KESTREL_DEB_MAINTAINER "Kestrel maintainers <maintainers@kestrel.example>" CACHE STRING
    "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${KESTREL_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "read and write the settings of a Bluetooth serial module over a serial port")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrel reads every parameter of an embedded Bluetooth serial module with the module's AT
commands, shows them in one window and writes back exactly those that were changed. It also
restores the factory defaults, clears the bound address and searches for nearby devices.
.
kestrel is the window (its interface is in Chinese), kestrel-cli does the same from the
command line for scripts and production lines, several ports at once, and kestrel-sim is a
simulated module on a pseudo-terminal for trying either without hardware.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTREL_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KESTREL_HOMEPAGE}")
# dpkg-shlibdeps finds the libraries (Qt among them); the Chinese interface needs a CJK font,
# which no library link reveals.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei")
# Qt's own texts (standard buttons, file dialogs) in the user's language; without them they show
# in English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
