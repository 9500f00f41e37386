# What `cmake --install` and the Debian package put on the machine: the
# program, its themed icon, desktop entry, AppStream metainfo, user guide,
# manual page, copyright and changelog.
include(GNUInstallDirs)

set(QUORLEX_APP_ID org.tallowmere.Quorlex)

# The Debian changelog is the one record of the version and the release
# date; the package, the metainfo and the manual page take theirs from it.
set(changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} changelog_lines)
list(GET changelog_lines 0 changelog_head)
if(NOT changelog_head MATCHES "^quorlex \\(([^)-]+)-([^)]+)\\) ")
  message(FATAL_ERROR "${changelog}: first line \"${changelog_head}\" is not \"quorlex (UPSTREAM-REVISION) ...\"")
endif()
set(QUORLEX_UPSTREAM_VERSION ${CMAKE_MATCH_1})
set(QUORLEX_DEBIAN_REVISION ${CMAKE_MATCH_2})
if(NOT QUORLEX_UPSTREAM_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "${changelog} is for version ${QUORLEX_UPSTREAM_VERSION}, the project is ${PROJECT_VERSION}")
endif()
list(FILTER changelog_lines INCLUDE REGEX "^ -- ")
list(GET changelog_lines 0 changelog_trailer)
if(NOT changelog_trailer MATCHES "  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "${changelog}: no RFC 5322 date in \"${changelog_trailer}\"")
endif()
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 1")
string(LENGTH "${CMAKE_MATCH_1}" day_digits)
set(day ${CMAKE_MATCH_1})
if(day_digits EQUAL 1)
  set(day 0${day})
endif()
if(month LESS 10)
  set(month 0${month})
endif()
set(QUORLEX_RELEASE_DATE ${CMAKE_MATCH_3}-${month}-${day})

set(generated ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/res/${QUORLEX_APP_ID}.metainfo.xml.in ${generated}/${QUORLEX_APP_ID}.metainfo.xml @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/quorlex.1.in ${generated}/quorlex.1 @ONLY)

# Debian wants the manual page and the changelog compressed with gzip -9n
# (no name or time stamp inside, so the package is reproducible).
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${generated}/quorlex.1.gz ${generated}/changelog.Debian.gz
  COMMAND ${GZIP_PROGRAM} -9n ${generated}/quorlex.1 -c > ${generated}/quorlex.1.gz
  COMMAND ${GZIP_PROGRAM} -9n ${changelog} -c > ${generated}/changelog.Debian.gz
  DEPENDS ${generated}/quorlex.1 ${changelog}
  VERBATIM)
add_custom_target(quorlex_packaging ALL DEPENDS ${generated}/quorlex.1.gz ${generated}/changelog.Debian.gz)

if(TARGET quorlex)
  install(TARGETS quorlex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # quorlex --version says the package's version.
  target_compile_definitions(app PRIVATE QUORLEX_PACKAGE_VERSION="${QUORLEX_UPSTREAM_VERSION}-${QUORLEX_DEBIAN_REVISION}")
endif()

set(hicolor ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/quorlex.svg DESTINATION ${hicolor}/scalable/apps)
foreach(size ${QUORLEX_ICON_SIZES})
  install(FILES ${QUORLEX_THEME_ICON_DIR}/${size}x${size}/quorlex.png DESTINATION ${hicolor}/${size}x${size}/apps)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/res/${QUORLEX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${generated}/${QUORLEX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# The search service the session bus starts names the program by its
# installed path, known only as the install runs: the Debian package's
# prefix is not the one configured.
set(service org.tallowmere.Quorlex.SearchProvider.service)
install(CODE "
  set(QUORLEX_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quorlex\")
  configure_file(\"${PROJECT_SOURCE_DIR}/res/${service}.in\" \"${generated}/installed/${service}\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATAROOTDIR}/dbus-1/services\" TYPE FILE
       FILES \"${generated}/installed/${service}\")
")
install(FILES ${PROJECT_SOURCE_DIR}/res/${QUORLEX_APP_ID}.search-provider.ini
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/gnome-shell/search-providers)
install(FILES ${PROJECT_SOURCE_DIR}/res/${QUORLEX_APP_ID}.krunner.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/krunner/dbusplugins RENAME ${QUORLEX_APP_ID}.desktop)

# Help opens the guide, so it is program data; it shows the tree's
# pictures beside the text.
install(FILES ${QUORLEX_GUIDE_PAGES} DESTINATION ${QUORLEX_GUIDE_DIR})
install(FILES ${QUORLEX_GUIDE_ICONS} DESTINATION ${QUORLEX_GUIDE_DIR}/icons)

install(FILES ${generated}/quorlex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorlex)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${generated}/changelog.Debian.gz DESTINATION ${docdir})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME quorlex)

# The Debian package, under /usr whatever prefix was configured: the program
# finds its guide relative to itself.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorlex)
set(CPACK_PACKAGE_VENDOR Tallowmere)
set(CPACK_PACKAGE_CONTACT "Quorlex maintainers <maintainers@tallowmere.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for DICT dictionary servers")
# Under the summary, in lines of at most 80 characters as Debian asks.
set(CPACK_PACKAGE_DESCRIPTION "Quorlex keeps a list of DICT (RFC 2229) servers, sends every word you search
to all of them and shows the definitions with their cross-references as links.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_VERSION ${QUORLEX_UPSTREAM_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUORLEX_DEBIAN_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Whatever the umask of the machine that packages.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Loaded at run time, so shlibdeps cannot see them: the SVG icon plugin and
# the opener of the guide in the browser.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "dictd")
# Native on Wayland sessions, where the window can be given the focus.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
