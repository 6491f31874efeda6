# The Windows programs under Wine, driven as a user drives them, and their
# pages against the Linux build's. ./build.sh test sets Wine up.
set(TILERY_LINUX_CLI "" CACHE FILEPATH "the Linux build's tilery-cli, whose pages the Windows one must match")
add_test(NAME pages_across_systems
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cli/pages_across_systems_test.sh
          $<TARGET_FILE:tilery-cli> ${TILERY_LINUX_CLI} ${CMAKE_SOURCE_DIR})
add_test(NAME wine_dialog
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/shell/wine_dialog_test.sh
          $<TARGET_FILE:tilery> ${CMAKE_SOURCE_DIR}/examples/sample.bmp ${CMAKE_BINARY_DIR}/dialog.png)
# The dialog in a Wine prefix as Wine makes it, without "MS UI Gothic".
add_test(NAME wine_dialog_font
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/shell/wine_dialog_font_test.sh $<TARGET_FILE:tilery>)
set_tests_properties(pages_across_systems wine_dialog wine_dialog_font PROPERTIES TIMEOUT 300 LABELS wine)
set_tests_properties(wine_dialog PROPERTIES ENVIRONMENT TILERY_PHOTO=${CMAKE_SOURCE_DIR}/build-photos/skagen.jpg)

# The zip ./build.sh windows makes.
add_test(NAME windows_zip COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/zip_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(windows_zip PROPERTIES TIMEOUT 120 LABELS wine)
