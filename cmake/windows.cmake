# The Windows programs' picture libraries, cross-built with mingw-w64
# (cmake/mingw-w64-x86_64.cmake): libspng, giflib, libjpeg-turbo and libwebp
# from Debian's source packages, which ./build.sh windows fetches into
# build-windows/sources; zlib from libz-mingw-w64-dev. Everything is linked
# statically: the programs need no DLL that Windows does not have.
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

set(TILERY_PICTURE_LIBRARIES tilery_spng tilery_gif tilery_jpeg tilery_webp)
add_link_options(-static)
