# Manual pages and `cmake --install BUILD --prefix PREFIX`: the bundle goes to
# PREFIX/lib/talvinor/, the two programs are linked into PREFIX/bin, and the
# launcher, the icon and the manual pages go where the desktop looks for them.
if(NOT TARGET talvinor OR NOT TARGET talvinor-cli)
  return()
endif()
find_program(TALVINOR_HELP2MAN help2man REQUIRED)

# The manual pages, made from the programs' real --help and --version.
set(TALVINOR_MAN_DIR ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${TALVINOR_MAN_DIR})
add_custom_command(
  OUTPUT ${TALVINOR_MAN_DIR}/talvinor.1
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 --unset=LANG --unset=LC_MESSAGES
          ${TALVINOR_HELP2MAN} --no-info --no-discard-stderr
          --name "voice recorder and audio player with a Japanese window"
          --section 1 --output ${TALVINOR_MAN_DIR}/talvinor.1 $<TARGET_FILE:talvinor>
  DEPENDS talvinor
  COMMENT "Writing the manual page talvinor(1)"
  VERBATIM)
add_custom_command(
  OUTPUT ${TALVINOR_MAN_DIR}/talvinor-cli.1
  COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:talvinor-cli> -DOUT=${TALVINOR_MAN_DIR}/talvinor-cli.h2m
          -P ${CMAKE_SOURCE_DIR}/cmake/TalvinorCliManInclude.cmake
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 --unset=LANG --unset=LC_MESSAGES
          ${TALVINOR_HELP2MAN} --no-info --no-discard-stderr
          --name "convert, inspect, record, play and send commands to Talvinor"
          --include ${TALVINOR_MAN_DIR}/talvinor-cli.h2m
          --section 1 --output ${TALVINOR_MAN_DIR}/talvinor-cli.1 $<TARGET_FILE:talvinor-cli>
  DEPENDS talvinor-cli ${CMAKE_SOURCE_DIR}/cmake/TalvinorCliManInclude.cmake
  COMMENT "Writing the manual page talvinor-cli(1)"
  VERBATIM)
add_custom_target(talvinor_man_pages ALL DEPENDS ${TALVINOR_MAN_DIR}/talvinor.1 ${TALVINOR_MAN_DIR}/talvinor-cli.1)

# The bundle, as it is in the build: the programs and the files beside them.
set(TALVINOR_INSTALL_BUNDLE lib/talvinor)
install(TARGETS talvinor talvinor-cli RUNTIME DESTINATION ${TALVINOR_INSTALL_BUNDLE})
install(FILES ${TALVINOR_BUNDLE_DIR}/manual.txt ${TALVINOR_BUNDLE_DIR}/mankey.txt ${TALVINOR_BUNDLE_DIR}/mancmd.txt
              ${TALVINOR_BUNDLE_DIR}/readme.txt
        DESTINATION ${TALVINOR_INSTALL_BUNDLE})
install(DIRECTORY ${TALVINOR_BUNDLE_DIR}/skin DESTINATION ${TALVINOR_INSTALL_BUNDLE})
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/talvinor.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${TALVINOR_MAN_DIR}/talvinor.1 ${TALVINOR_MAN_DIR}/talvinor-cli.1 DESTINATION share/man/man1)

# The links in bin (relative, so the prefix may move as a whole) and the
# launcher for the installed program, both made at install time: the prefix
# is known only then.
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(MAKE_DIRECTORY \"\${root}/bin\" \"\${root}/share/applications\")
  foreach(program talvinor talvinor-cli)
    file(REMOVE \"\${root}/bin/\${program}\")
    file(CREATE_LINK ../${TALVINOR_INSTALL_BUNDLE}/\${program} \"\${root}/bin/\${program}\" SYMBOLIC)
    message(STATUS \"Installing: \${root}/bin/\${program} -> ../${TALVINOR_INSTALL_BUNDLE}/\${program}\")
  endforeach()
  include(\"${CMAKE_SOURCE_DIR}/cmake/TalvinorDesktopEntry.cmake\")
  talvinor_desktop_entry(\"\${root}/share/applications/talvinor.desktop\"
                         \"\${CMAKE_INSTALL_PREFIX}/bin/talvinor\" talvinor)
  message(STATUS \"Installing: \${root}/share/applications/talvinor.desktop\")
")
