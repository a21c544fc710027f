# What `cmake --install <build> --prefix P` puts where (scripts/install runs it):
#   bin/tarvik, bin/lptwdmio        the program finds its agent beside itself
#   share/tarvik/TARVIK_Help.CHM    looked for there when not beside the program
#   share/applications/tarvik.desktop, share/icons/hicolor/NxN/apps/tarvik.png
#   share/man/man1/tarvik.1, share/man/man1/lptwdmio.1
#   lib/udev/rules.d/60-tarvik-parport.rules   group lp may use /dev/parport*
#   lib/python3/dist-packages/tarvik  the module for scripts, which starts bin/lptwdmio
include(GNUInstallDirs)

# Only the Qt build has a program to install.
if(NOT TARVIK_GUI)
  return()
endif()

# The program looks for its help in <its folder>/../share/tarvik, nowhere else.
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(WARNING "tarvik finds its help only in <bin>/../share/tarvik: with "
    "CMAKE_INSTALL_BINDIR=${CMAKE_INSTALL_BINDIR} and CMAKE_INSTALL_DATADIR="
    "${CMAKE_INSTALL_DATADIR} the help button will not find TARVIK_Help.CHM")
endif()

foreach(program tarvik lptwdmio)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET tarvik_help)
  install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/TARVIK_Help.CHM
    DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvik)
endif()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/tarvik.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The theme's icons are drawn at build time by the art generator's code, the same
# drawing as the program's own icon, so they cannot drift from it.
if(TARGET tarvik_artgen)
  add_executable(desktop_icon ${CMAKE_SOURCE_DIR}/packaging/DesktopIcon.cpp)
  target_link_libraries(desktop_icon PRIVATE tarvik_artgen)
  set_target_properties(desktop_icon PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
  set(icon_files)
  # The fixed sizes of the hicolor theme that menus, docks and launchers ask for.
  foreach(size 16 22 24 32 48 64 128 256)
    set(icon ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/tarvik.png)
    add_custom_command(OUTPUT ${icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}
      COMMAND desktop_icon ${size} ${icon}
      DEPENDS desktop_icon
      COMMENT "Drawing the ${size}x${size} desktop icon"
      VERBATIM)
    list(APPEND icon_files ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(tarvik_desktop_icons ALL DEPENDS ${icon_files})
endif()

# The manual pages carry the version of this build.
foreach(page tarvik lptwdmio)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/man/${page}.1.in
    ${CMAKE_BINARY_DIR}/packaging/man/${page}.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# udev reads only /usr/lib/udev/rules.d and /etc/udev/rules.d: under another
# prefix scripts/install copies the rule to /etc/udev/rules.d.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/60-tarvik-parport.rules DESTINATION lib/udev/rules.d)

# The Python module for lab scripts, and the agent it starts when none runs: the
# path is the installed one, known only at install time (--prefix, DESTDIR aside).
# Debian's python3 reads <prefix>/lib/python3/dist-packages for /usr; for other
# prefixes scripts/install points python3 at it.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/tarvik DESTINATION lib/python3/dist-packages
  FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
install(CODE "
  string(REPLACE \"'\" \"\\\\'\" agent \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/lptwdmio\")
  file(WRITE \"${CMAKE_BINARY_DIR}/python-install/_installed.py\"
    \"# Written by the install: the agent this module starts when none runs.\\nLPTWDMIO = '\${agent}'\\n\")
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/python3/dist-packages/tarvik\" TYPE FILE
    FILES \"${CMAKE_BINARY_DIR}/python-install/_installed.py\")
")
