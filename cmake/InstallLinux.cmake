# Install rules for a Linux desktop: the three programs, the menu entry, the icon in the hicolor
# theme, the AppStream data and the man pages.
include(GNUInstallDirs)

set(KESTREL_APP_ID "org.kestrel_tool.Kestrel" CACHE STRING
    "Reverse-DNS id: the desktop entry's, the icon's and the AppStream component's name")
set(KESTREL_HOMEPAGE "https://kestrel.example/" CACHE STRING
    "Project web site, ending in '/'; the AppStream screenshots are expected under screenshots/")
# The day this version was released, for the AppStream release entry.
set(KESTREL_RELEASE_DATE "2026-12-07")
set(KESTREL_ICON_SIZES 16 22 24 32 48 64 128 256)

set(kestrel_data_dir "${CMAKE_CURRENT_BINARY_DIR}/desktop")
file(MAKE_DIRECTORY "${kestrel_data_dir}")

# Wayland gives the window no class, so the program names its desktop entry itself.
target_compile_definitions(kestrel_qt PRIVATE KESTREL_DESKTOP_ID="${KESTREL_APP_ID}")

install(TARGETS kestrel kestrel-cli kestrel-sim RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

configure_file(res/desktop/kestrel.desktop.in "${kestrel_data_dir}/${KESTREL_APP_ID}.desktop"
               @ONLY)
configure_file(res/desktop/kestrel.metainfo.xml.in
               "${kestrel_data_dir}/${KESTREL_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${kestrel_data_dir}/${KESTREL_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${kestrel_data_dir}/${KESTREL_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES res/kestrel.svg DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
        RENAME "${KESTREL_APP_ID}.svg")

# Panels and menus that do not draw SVG pick one of these; rendered here so the SVG stays the
# only source.
find_program(KESTREL_RSVG_CONVERT rsvg-convert)
find_program(KESTREL_HELP2MAN help2man)
find_program(KESTREL_GZIP gzip)
set(kestrel_generated "")
if(KESTREL_RSVG_CONVERT)
    foreach(size IN LISTS KESTREL_ICON_SIZES)
        set(png "${kestrel_data_dir}/icon-${size}.png")
        add_custom_command(OUTPUT "${png}"
                           COMMAND "${KESTREL_RSVG_CONVERT}" -w ${size} -h ${size} -o "${png}"
                                   "${PROJECT_SOURCE_DIR}/res/kestrel.svg"
                           DEPENDS "${PROJECT_SOURCE_DIR}/res/kestrel.svg"
                           COMMENT "Rendering the ${size}x${size} icon" VERBATIM)
        list(APPEND kestrel_generated "${png}")
        install(FILES "${png}"
                DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
                RENAME "${KESTREL_APP_ID}.png")
    endforeach()
else()
    message(WARNING "rsvg-convert (librsvg2-bin) not found: only the SVG icon will be installed")
endif()

# The man pages come from each program's --help, so they cannot drift from what it accepts;
# res/man/ adds the sections --help has no room for. A cross build cannot run its programs.
if(KESTREL_HELP2MAN AND KESTREL_GZIP AND NOT CMAKE_CROSSCOMPILING)
    foreach(program kestrel kestrel-cli kestrel-sim)
        set(page "${kestrel_data_dir}/${program}.1")
        set(include "${PROJECT_SOURCE_DIR}/res/man/${program}.h2m")
        add_custom_command(OUTPUT "${page}.gz"
                           COMMAND "${KESTREL_HELP2MAN}" --no-info --section=1
                                   --version-string=${PROJECT_VERSION} --include=${include}
                                   --output=${page} $<TARGET_FILE:${program}>
                           COMMAND "${KESTREL_GZIP}" -9nf "${page}"
                           DEPENDS ${program} "${include}"
                           COMMENT "Writing the man page of ${program}" VERBATIM)
        list(APPEND kestrel_generated "${page}.gz")
        install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    endforeach()
else()
    message(WARNING "help2man or gzip not found, or a cross build: no man pages will be installed")
endif()
add_custom_target(kestrel_desktop_data ALL DEPENDS ${kestrel_generated})
