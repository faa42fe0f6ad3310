# The Windows installer: CPack's NSIS generator (Debian's nsis package builds it on Linux) with
# the project's own script template in cmake/nsis, which makes it a 64-bit installer. It puts the
# programs in Program Files\Kestrel\bin, adds a Start-menu entry for the window, an Apps entry
# and an uninstaller, and on request the bin folder on the PATH. Included by the top-level
# CMakeLists.txt for Windows builds only, once both programs exist, so it never meets the Linux
# packaging.

# The version records of both programs and of the installer carry the package's version, in the
# four numbers Windows wants.
foreach(part MAJOR MINOR PATCH TWEAK)
    set(number ${PROJECT_VERSION_${part}})
    if(number STREQUAL "")
        set(number 0)
    endif()
    list(APPEND version_numbers ${number})
endforeach()
list(JOIN version_numbers "," KESTREL_VERSION_NUMBERS)
list(JOIN version_numbers "." KESTREL_VERSION_TEXT)
configure_file(${PROJECT_SOURCE_DIR}/res/version.h.in ${PROJECT_BINARY_DIR}/res/version.h @ONLY)
target_include_directories(kestrel PRIVATE ${PROJECT_BINARY_DIR}/res)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/res/kestrel.rc APPEND PROPERTY OBJECT_DEPENDS
             ${PROJECT_BINARY_DIR}/res/version.h)
if(TARGET kestrel-cli)
    # Compiled here, where the resource compiler is enabled, and linked into the command line.
    add_library(kestrel_cli_version OBJECT ${PROJECT_SOURCE_DIR}/res/kestrel-cli.rc)
    target_include_directories(kestrel_cli_version PRIVATE ${PROJECT_BINARY_DIR}/res)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/res/kestrel-cli.rc APPEND PROPERTY OBJECT_DEPENDS
                 ${PROJECT_BINARY_DIR}/res/version.h)
    target_link_libraries(kestrel-cli PRIVATE kestrel_cli_version)
endif()

install(TARGETS kestrel RUNTIME DESTINATION bin COMPONENT applications)
if(TARGET kestrel-cli)
    install(TARGETS kestrel-cli RUNTIME DESTINATION bin COMPONENT applications)
endif()

list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Kestrel)
set(CPACK_PACKAGE_VENDOR Kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_KESTREL_VERSION_NUMBERS ${KESTREL_VERSION_TEXT})
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
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\kestrel.exe")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/kestrel.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/kestrel.ico)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
# The PATH page; a silent install takes /PATH=all|user|none, else keeps the installed choice.
set(CPACK_NSIS_MODIFY_PATH ON)
set(CPACK_MONOLITHIC_INSTALL ON)
include(CPack)
