# The Windows programs: their resources, the tool and the dialog, the zip.
# The icon, the version and the manifest (today's controls, per-monitor
# DPI awareness), in both programs; the version names each, and is the
# project's, in the manifest too.
configure_file(res/tilery.manifest.in ${CMAKE_BINARY_DIR}/tilery.manifest @ONLY)
set(TILERY_PROGRAM tilery-cli)
set(TILERY_DESCRIPTION "tilery-cli: a picture as an HTML table, from the command line")
configure_file(res/tilery.rc.in ${CMAKE_BINARY_DIR}/tilery-cli.rc @ONLY)
set(TILERY_PROGRAM tilery)
set(TILERY_DESCRIPTION "tilery: a picture as an HTML table")
configure_file(res/tilery.rc.in ${CMAKE_BINARY_DIR}/tilery.rc @ONLY)

# CLI11 is headers alone (libcli11-dev): a copy of them, so that the
# system's other headers stay out of the cross build's sight.
file(COPY /usr/include/CLI DESTINATION ${CMAKE_BINARY_DIR}/cli11)
add_executable(tilery-cli src/cli/main.cpp src/cli/console_win32.cpp ${CMAKE_BINARY_DIR}/tilery-cli.rc)
target_link_libraries(tilery-cli PRIVATE tilery_core)
target_include_directories(tilery-cli SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/cli11)
target_compile_definitions(tilery-cli PRIVATE TILERY_VERSION="${PROJECT_VERSION}")
target_link_options(tilery-cli PRIVATE -municode)

if(TILERY_BUILD_DIALOG)
  add_library(tilery_dialog STATIC
    res/main_dialog.cpp
    src/platform/dialog_win32.cpp
    src/platform/message_box_win32.cpp
    src/platform/file_chooser_win32.cpp
    src/platform/clipboard_win32.cpp
    src/shell/file_choosers.cpp
    src/shell/main_dialog.cpp
  )
  target_include_directories(tilery_dialog PUBLIC src ${CMAKE_SOURCE_DIR})
  target_link_libraries(tilery_dialog PUBLIC tilery_core comctl32 comdlg32 ole32 uuid)

  add_executable(tilery WIN32 src/shell/main_win32.cpp ${CMAKE_BINARY_DIR}/tilery.rc)
  target_link_libraries(tilery PRIVATE tilery_dialog)
  target_link_options(tilery PRIVATE -municode)
endif()

# ./build.sh windows: tilery-VERSION-windows-x64.zip with both programs, a
# README.txt and the licences of what is built in, as text Notepad of any
# age shows: CR LF line ends and a UTF-8 signature.
string(ASCII 239 187 191 TILERY_UTF8_SIGNATURE)
function(tilery_windows_text source name destination)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${CMAKE_BINARY_DIR}/text/${destination}/${name} "${TILERY_UTF8_SIGNATURE}${text}")
  install(FILES ${CMAKE_BINARY_DIR}/text/${destination}/${name} DESTINATION ${destination})
endfunction()
configure_file(res/windows-readme.txt ${CMAKE_BINARY_DIR}/windows-readme.txt @ONLY)
tilery_windows_text(${CMAKE_BINARY_DIR}/windows-readme.txt README.txt .)
install(TARGETS tilery-cli RUNTIME DESTINATION .)
if(TILERY_BUILD_DIALOG)
  install(TARGETS tilery RUNTIME DESTINATION .)
endif()
tilery_windows_text(${TILERY_SPNG_SOURCE}/LICENSE libspng.txt licences)
tilery_windows_text(${TILERY_GIF_SOURCE}/COPYING giflib.txt licences)
tilery_windows_text(${TILERY_JPEG_SOURCE}/LICENSE.md libjpeg-turbo.txt licences)
tilery_windows_text(${TILERY_JPEG_SOURCE}/README.ijg libjpeg-turbo-ijg.txt licences)
tilery_windows_text(${TILERY_WEBP_SOURCE}/COPYING libwebp.txt licences)
tilery_windows_text(${TILERY_WEBP_SOURCE}/PATENTS libwebp-patents.txt licences)
tilery_windows_text(/usr/share/doc/libz-mingw-w64-dev/copyright zlib.txt licences)
tilery_windows_text(/usr/share/doc/mingw-w64-x86-64-dev/copyright mingw-w64-runtime.txt licences)
tilery_windows_text(/usr/share/doc/gcc-mingw-w64-base/copyright gcc-runtime.txt licences)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tilery)
set(CPACK_PACKAGE_FILE_NAME tilery-${PROJECT_VERSION}-windows-x64)
set(CPACK_STRIP_FILES ON)
include(CPack)
