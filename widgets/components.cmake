# Window-level components: skin, shape, shaped hint, tray icon, single-instance
# guard and shell launcher.
find_package(Qt6 REQUIRED COMPONENTS Network)
target_link_libraries(tarvik_widgets PUBLIC Qt6::Network)
if(NOT WIN32)
  find_package(X11)
  if(TARGET X11::xcb)
    target_link_libraries(tarvik_widgets PRIVATE X11::xcb)
    target_compile_definitions(tarvik_widgets PRIVATE TARVIK_HAVE_XCB)
  endif()
endif()
target_sources(tarvik_widgets PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PictureShape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowDragger.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowSkin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowShape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HintBalloon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShapedHint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DisplayServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NativeWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NotifyIcon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShellLauncher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceGuard.cpp
)
