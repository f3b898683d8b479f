# Everything a Debian package carries besides the programs: manual pages and shell completion
# generated from the programs' own --help, the D-Bus interface descriptions, the copyright
# file and changelog; then the CPack settings (`cpack -G DEB` in the build directory).

find_program(KIVORA_HELP2MAN help2man)
find_program(KIVORA_GZIP gzip REQUIRED)
set(KIVORA_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)

# Manual pages. help2man runs each program's --help and --version, so the page lists exactly
# the options the program documents. Without help2man (scripts/install-deps.sh installs it)
# the build writes none, and the installed-tree tests report them missing.
if(KIVORA_HELP2MAN)
  set(KIVORA_MAN_PAGES)
  # program|section|summary, one entry each
  set(KIVORA_PAGES "KivoraData|8|the background helper of the Kivora cheat sheet"
                   "kivoractl|1|talk to the KivoraData helper as the main application does")
  if(TARGET kivora-sheet)
    list(APPEND KIVORA_PAGES "kivora-sheet|1|the keyboard shortcuts of the last application")
  endif()
  foreach(entry IN LISTS KIVORA_PAGES)
    string(REPLACE "|" ";" page "${entry}")
    list(GET page 0 program)
    list(GET page 1 section)
    list(GET page 2 summary)
    set(man ${KIVORA_PACKAGING_DIR}/${program}.${section})
    add_custom_command(OUTPUT ${man}.gz
      COMMAND ${KIVORA_HELP2MAN} --no-info --no-discard-stderr --section=${section}
        --name=${summary} --output=${man} $<TARGET_FILE:${program}>
      COMMAND ${KIVORA_GZIP} -9nf ${man}
      DEPENDS ${program}
      COMMENT "Writing the manual page of ${program}")
    list(APPEND KIVORA_MAN_PAGES ${man}.gz)
    install(FILES ${man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endforeach()
  add_custom_target(kivora_man_pages ALL DEPENDS ${KIVORA_MAN_PAGES})
endif()

set(KIVORA_BASH_COMPLETION ${KIVORA_PACKAGING_DIR}/kivoractl)
set(KIVORA_ZSH_COMPLETION ${KIVORA_PACKAGING_DIR}/_kivoractl)
add_custom_command(OUTPUT ${KIVORA_BASH_COMPLETION} ${KIVORA_ZSH_COMPLETION}
  COMMAND sh ${CMAKE_SOURCE_DIR}/packaging/completions.sh $<TARGET_FILE:kivoractl>
    ${KIVORA_BASH_COMPLETION} ${KIVORA_ZSH_COMPLETION}
  DEPENDS kivoractl ${CMAKE_SOURCE_DIR}/packaging/completions.sh
  COMMENT "Writing the shell completion of kivoractl")
add_custom_target(kivora_completions ALL
  DEPENDS ${KIVORA_BASH_COMPLETION} ${KIVORA_ZSH_COMPLETION})
install(FILES ${KIVORA_BASH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${KIVORA_ZSH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)

install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/interfaces/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)

# Debian wants the copyright file and a compressed changelog in the package's doc folder.
add_custom_command(OUTPUT ${KIVORA_PACKAGING_DIR}/changelog.gz
  COMMAND ${KIVORA_GZIP} -9nc ${CMAKE_SOURCE_DIR}/packaging/changelog
    > ${KIVORA_PACKAGING_DIR}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
add_custom_target(kivora_changelog ALL DEPENDS ${KIVORA_PACKAGING_DIR}/changelog.gz)
install(FILES packaging/copyright ${KIVORA_PACKAGING_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME kivoradata)
set(CPACK_PACKAGE_VENDOR "Kivora maintainers")
set(CPACK_PACKAGE_CONTACT "Kivora maintainers <maintainers@users.noreply.c-seed-e2158c02.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "background helper of the Kivora shortcut cheat sheet")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "KivoraData follows the application in front, hands the Kivora cheat sheet
the menu shortcuts of the last one, and the user's system shortcuts, and
presses a menu item or types a shortcut on request. It talks to Kivora
through signals on the session bus and reads menus through the
accessibility bus. kivora-sheet is the cheat sheet window; kivoractl plays
its part from a terminal.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The session bus starts the helper; the accessibility bus lets it read menus.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "default-dbus-session-bus | dbus-session-bus")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "at-spi2-core")
# Stripped programs in the package, their debug information in kivoradata-dbgsym (CPack
# strips while it splits the debug information off; stripping before leaves none to split).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The packages land in the build directory wherever cpack runs.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_GENERATOR DEB)
include(CPack)
