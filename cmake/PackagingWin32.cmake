# The Windows installer: CPack's NSIS generator (Debian's nsis package builds it on Linux). It
# puts the programs in Program Files\Kestrel\bin, adds a Start-menu entry for the window
# and writes an uninstaller. Included from Win32Window.cmake only, so it never meets the Linux
# packaging.
install(TARGETS kestrel RUNTIME DESTINATION bin COMPONENT applications)
if(TARGET kestrel-cli)
    install(TARGETS kestrel-cli RUNTIME DESTINATION bin COMPONENT applications)
endif()

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Kestrel)
set(CPACK_PACKAGE_VENDOR Kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Reads and writes the configuration of an embedded Bluetooth serial module")
set(CPACK_PACKAGE_FILE_NAME Kestrel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kestrel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Kestrel)
# Start-menu entry: kestrel.exe under the name "Kestrel".
set(CPACK_PACKAGE_EXECUTABLES kestrel Kestrel)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME Kestrel)
set(CPACK_NSIS_PACKAGE_NAME Kestrel)
set(CPACK_NSIS_INSTALLED_ICON_NAME kestrel.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/kestrel.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/kestrel.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_MONOLITHIC_INSTALL ON)
include(CPack)
