# Installs into a scratch prefix and checks that the programs, the desktop
# entry and the icon land where desktops look for them.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(path bin/tilery bin/tilery-cli share/applications/tilery.desktop
             share/icons/hicolor/scalable/apps/tilery.svg share/icons/hicolor/64x64/apps/tilery.png)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(READ "${PREFIX}/share/applications/tilery.desktop" entry)
foreach(line "Exec=tilery" "Icon=tilery" "Categories=Graphics;")
  string(FIND "${entry}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
