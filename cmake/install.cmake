# The installed tree, laid out as a distribution package ships it:
#
#   <prefix>/lib/quira/          the programs and what they load beside them
#   <prefix>/bin/quira           the commands (links into lib/quira)
#   <prefix>/bin/quira-reader
#   <prefix>/share/applications  desktop entries (the reader's hidden from menus)
#   <prefix>/share/icons/hicolor the application icon at the usual sizes
#   <prefix>/share/metainfo      the AppStream description
#
# `cmake --install build --prefix P` (or `make install PREFIX=P`) writes it.
# Desktop entries name the commands by their full path under the prefix given
# at install time, so a tree installed anywhere starts from the menu.

include(GNUInstallDirs)

set(QUIRA_PROGRAM_DIR lib/quira)

# The icon theme tree, scaled from the artwork's application icon.
if(TARGET quira_artwork)
  add_executable(quira_icons ${CMAKE_SOURCE_DIR}/tools/icons/IconSizes.cpp)
  set_target_properties(quira_icons PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  target_link_libraries(quira_icons PRIVATE PkgConfig::PIXBUF)
  set(QUIRA_ICON_THEME_DIR ${CMAKE_BINARY_DIR}/icons/hicolor)
  set(_icons_stamp ${CMAKE_BINARY_DIR}/icons/icons.stamp)
  add_custom_command(OUTPUT ${_icons_stamp}
    # A build tool: what gdk-pixbuf keeps until exit is none of our faults.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 TSAN_OPTIONS=report_bugs=0
            $<TARGET_FILE:quira_icons> ${CMAKE_BINARY_DIR}/artwork/controls/appicon.png
            ${QUIRA_ICON_THEME_DIR} ${QUIRA_APP_ID}
    COMMAND ${CMAKE_COMMAND} -E touch ${_icons_stamp}
    DEPENDS quira_icons ${_art_stamp}
    COMMENT "Scaling the application icon" VERBATIM)
  add_custom_target(quira_theme_icons ALL DEPENDS ${_icons_stamp})
  install(DIRECTORY ${QUIRA_ICON_THEME_DIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# The programs and their bundles. `quira_programs` builds what a user runs
# (these, the icons and the demo launcher) without the tests.
add_custom_target(quira_programs)
foreach(_program Quira QuiraReader DBCreater)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${QUIRA_PROGRAM_DIR})
    add_dependencies(quira_programs ${_program})
  endif()
endforeach()
foreach(_extra quira_theme_icons demo-site quira2_templates shipped_database)
  if(TARGET ${_extra})
    add_dependencies(quira_programs ${_extra})
  endif()
endforeach()
install(FILES ${QUIRA_BIN_DIR}/Quira2.gresource ${QUIRA_BIN_DIR}/idata.dll
        DESTINATION ${QUIRA_PROGRAM_DIR})

# The commands: relative links, so the tree may move as a whole (a package
# built with DESTDIR, a prefix copied elsewhere).
foreach(_pair "quira;Quira" "quira-reader;QuiraReader")
  list(GET _pair 0 _command)
  list(GET _pair 1 _program)
  if(NOT TARGET ${_program})
    continue()
  endif()
  file(RELATIVE_PATH _target /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${QUIRA_PROGRAM_DIR}/${_program})
  install(CODE "
    set(_link \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${_command}\")
    message(STATUS \"Installing: \$ENV{DESTDIR}\${_link}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK \"${_target}\" \"\$ENV{DESTDIR}\${_link}\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_link}\")
  ")
endforeach()

# Desktop entries and the AppStream description, filled in at install time
# with the prefix the install runs for.
set(_desktop_src ${CMAKE_SOURCE_DIR}/resources/desktop)
# Each install fills them in a folder of its own prefix, so that installs
# into several prefixes at once (the install tests) never share a file.
set(_desktop_out ${CMAKE_BINARY_DIR}/install-files)
install(CODE "
  set(QUIRA_COMMAND_DIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(QUIRA_APP_ID ${QUIRA_APP_ID})
  set(QUIRA_VERSION ${PROJECT_VERSION})
  string(MD5 _stage \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(_out \"${_desktop_out}/\${_stage}\")
  configure_file(${_desktop_src}/com.velqo.Quira.desktop.in
                 \${_out}/${QUIRA_APP_ID}.desktop @ONLY)
  configure_file(${_desktop_src}/com.velqo.QuiraReader.desktop.in
                 \${_out}/${QUIRA_APP_ID}Reader.desktop @ONLY)
  configure_file(${_desktop_src}/com.velqo.Quira.metainfo.xml.in
                 \${_out}/${QUIRA_APP_ID}.metainfo.xml @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\"
       TYPE FILE FILES \${_out}/${QUIRA_APP_ID}.desktop \${_out}/${QUIRA_APP_ID}Reader.desktop)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/metainfo\"
       TYPE FILE FILES \${_out}/${QUIRA_APP_ID}.metainfo.xml)
  file(REMOVE_RECURSE \${_out})
")
