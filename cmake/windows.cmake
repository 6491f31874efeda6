# The Windows programs, cross-built with mingw-w64 (cmake/mingw-w64-x86_64.cmake).
# libspng, giflib, libjpeg-turbo and libwebp are built from Debian's source
# packages, which ./build.sh windows fetches into build-windows/sources;
# zlib comes from libz-mingw-w64-dev. Everything is linked statically: the
# programs need no DLL that Windows does not have.
set(TILERY_SPNG_SOURCE "" CACHE PATH "libspng's unpacked Debian source")
set(TILERY_GIF_SOURCE "" CACHE PATH "giflib's unpacked Debian source")
set(TILERY_JPEG_SOURCE "" CACHE PATH "libjpeg-turbo's unpacked Debian source")
set(TILERY_WEBP_SOURCE "" CACHE PATH "libwebp's unpacked Debian source")
if(NOT EXISTS "${TILERY_SPNG_SOURCE}/spng/spng.c" OR NOT EXISTS "${TILERY_GIF_SOURCE}/dgif_lib.c" OR
   NOT EXISTS "${TILERY_JPEG_SOURCE}/jdapimin.c" OR NOT EXISTS "${TILERY_WEBP_SOURCE}/src/dec/webp_dec.c")
  message(FATAL_ERROR "set TILERY_SPNG_SOURCE, TILERY_GIF_SOURCE, TILERY_JPEG_SOURCE and TILERY_WEBP_SOURCE"
                      " (./build.sh windows fetches them)")
endif()
enable_language(C)
enable_language(RC)
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

add_library(tilery_spng STATIC ${TILERY_SPNG_SOURCE}/spng/spng.c)
target_include_directories(tilery_spng SYSTEM PUBLIC ${TILERY_SPNG_SOURCE}/spng)
target_compile_definitions(tilery_spng PUBLIC SPNG_STATIC)
target_compile_options(tilery_spng PRIVATE -w)
target_link_libraries(tilery_spng PUBLIC ZLIB::ZLIB)

add_library(tilery_gif STATIC
  ${TILERY_GIF_SOURCE}/dgif_lib.c
  ${TILERY_GIF_SOURCE}/egif_lib.c
  ${TILERY_GIF_SOURCE}/gif_err.c
  ${TILERY_GIF_SOURCE}/gif_hash.c
  ${TILERY_GIF_SOURCE}/gifalloc.c
  ${TILERY_GIF_SOURCE}/openbsd-reallocarray.c
)
target_include_directories(tilery_gif SYSTEM PUBLIC ${TILERY_GIF_SOURCE})
target_compile_options(tilery_gif PRIVATE -w)

# libjpeg-turbo by its own build, without its SIMD code (which would need
# nasm): the C code decodes to the very same pixels, as the pages compared
# across systems show.
include(ExternalProject)
get_filename_component(TILERY_TOOLCHAIN ${CMAKE_TOOLCHAIN_FILE} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
set(TILERY_JPEG_PREFIX ${CMAKE_BINARY_DIR}/libjpeg-turbo)
ExternalProject_Add(libjpeg_turbo_build
  SOURCE_DIR ${TILERY_JPEG_SOURCE}
  PREFIX ${TILERY_JPEG_PREFIX}
  INSTALL_DIR ${TILERY_JPEG_PREFIX}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${TILERY_TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR> -DCMAKE_INSTALL_LIBDIR=<INSTALL_DIR>/lib -DENABLE_SHARED=OFF
             -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
  BUILD_BYPRODUCTS ${TILERY_JPEG_PREFIX}/lib/libjpeg.a
)
file(MAKE_DIRECTORY ${TILERY_JPEG_PREFIX}/include)
add_library(tilery_jpeg STATIC IMPORTED)
set_target_properties(tilery_jpeg PROPERTIES IMPORTED_LOCATION ${TILERY_JPEG_PREFIX}/lib/libjpeg.a
                                             INTERFACE_INCLUDE_DIRECTORIES ${TILERY_JPEG_PREFIX}/include)
add_dependencies(tilery_jpeg libjpeg_turbo_build)

# libwebp's decoder alone.
file(GLOB TILERY_WEBP_FILES ${TILERY_WEBP_SOURCE}/src/dec/*.c ${TILERY_WEBP_SOURCE}/src/dsp/*.c
     ${TILERY_WEBP_SOURCE}/src/utils/*.c)
add_library(tilery_webp STATIC ${TILERY_WEBP_FILES})
target_include_directories(tilery_webp SYSTEM PUBLIC ${TILERY_WEBP_SOURCE}/src PRIVATE ${TILERY_WEBP_SOURCE})
target_compile_options(tilery_webp PRIVATE -w)
# Its exported names carry a visibility that Windows objects do not take,
# which link-time optimisation would warn about at every link.
set_target_properties(tilery_webp PROPERTIES INTERPROCEDURAL_OPTIMIZATION OFF)

# Wide-character calls throughout, C99 printf, Windows 10 and later.
target_compile_definitions(tilery_core PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                           _WIN32_WINNT=0x0A00 __USE_MINGW_ANSI_STDIO=1)
target_sources(tilery_core PRIVATE
  src/convert/page_file_win32.cpp
  src/convert/temporary_file_win32.cpp
  src/convert/huge_pages_win32.cpp
  src/convert/picture_file_win32.cpp
  src/convert/path_win32.cpp
  src/convert/stop_win32.cpp
  src/convert/text_win32.cpp
)
target_link_libraries(tilery_core PUBLIC tilery_spng tilery_gif tilery_jpeg tilery_webp advapi32)
add_link_options(-static)

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
