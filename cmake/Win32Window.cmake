# The native Windows window: the resource script, one dialog object per template, the status
# line, and the start-up. Included by the top-level CMakeLists.txt for WIN32 targets only; the
# Qt window is not part of a Windows build.
enable_language(RC)
# windres reads the resource script as UTF-8.
string(APPEND CMAKE_RC_FLAGS " -c 65001")

add_library(kestrel_win32 STATIC
    ${PROJECT_SOURCE_DIR}/app/Win32Common.cpp
    ${PROJECT_SOURCE_DIR}/app/StatusLabelWin32.cpp
    ${PROJECT_SOURCE_DIR}/app/AboutDlgWin32.cpp
    ${PROJECT_SOURCE_DIR}/serial/PortSelectDlgWin32.cpp
    ${PROJECT_SOURCE_DIR}/dialog/ModuleSetupDlgWin32.cpp)
target_include_directories(kestrel_win32 PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(kestrel_win32 PUBLIC UNICODE _UNICODE _WIN32_WINNT=0x0601)
target_link_libraries(kestrel_win32 PUBLIC kestrel_core comctl32 shell32 gdi32 user32)

# The pictures and the manifest sit next to the resource script.
add_executable(kestrel WIN32
    ${PROJECT_SOURCE_DIR}/app/ModuleSetupAppWin32.cpp
    ${PROJECT_SOURCE_DIR}/res/kestrel.rc)
target_include_directories(kestrel PRIVATE ${PROJECT_SOURCE_DIR}/res)
set_source_files_properties(${PROJECT_SOURCE_DIR}/res/kestrel.rc PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/res/kestrel.ico;${PROJECT_SOURCE_DIR}/res/plug.bmp;${PROJECT_SOURCE_DIR}/res/kestrel.manifest;${PROJECT_SOURCE_DIR}/res/resource.h")
target_link_libraries(kestrel PRIVATE kestrel_win32)

if(KESTREL_BUILD_TESTS)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tests/win32 ${PROJECT_BINARY_DIR}/tests/win32)
endif()

include(${PROJECT_SOURCE_DIR}/cmake/PackagingWin32.cmake)
