# The Linux install and ./build.sh package: manual pages, the copyright and
# changelog, and a Debian package whose Depends are read off the programs.
install(TARGETS tilery-cli RUNTIME DESTINATION bin)

# Manual pages, compressed as Debian keeps them.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
foreach(page tilery tilery-cli)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/res/${page}.1 > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/res/${page}.1 VERBATIM)
  list(APPEND TILERY_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${TILERY_MAN_PAGES})
install(FILES ${CMAKE_BINARY_DIR}/man/tilery-cli.1.gz DESTINATION share/man/man1)
install(FILES res/copyright DESTINATION share/doc/tilery)
install(FILES ${CMAKE_BINARY_DIR}/man/changelog.gz DESTINATION share/doc/tilery)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/res/changelog > ${CMAKE_BINARY_DIR}/man/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/res/changelog VERBATIM)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/man/changelog.gz)

# ./build.sh package: a Debian package, its Depends read off the programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tilery)
set(CPACK_PACKAGE_CONTACT "tilery developers <tilery@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn a picture into an HTML page that redraws it as a table")
set(CPACK_PACKAGE_DESCRIPTION "tilery turns a picture (BMP, PNG, GIF, JPEG, WebP, PBM, PGM or PPM) into
an HTML page whose one borderless table
redraws it: every pixel becomes a cell's background colour, shown as a
square of the chosen size, and neighbouring pixels of one colour are merged
into larger cells. A dialog program and a command-line tool are included.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
