# What `cmake --install` and the Debian package put on the machine: the
# program, its themed icon, desktop entry, AppStream metainfo and user guide.
include(GNUInstallDirs)

set(QUORLEX_APP_ID org.tallowmere.Quorlex)

if(TARGET quorlex)
  install(TARGETS quorlex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(hicolor ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/quorlex.svg DESTINATION ${hicolor}/scalable/apps)
foreach(size ${QUORLEX_ICON_SIZES})
  install(FILES ${QUORLEX_THEME_ICON_DIR}/${size}x${size}/quorlex.png DESTINATION ${hicolor}/${size}x${size}/apps)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/res/${QUORLEX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/res/${QUORLEX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# The guide shows the tree's pictures beside the text, so they go with it.
set(guide ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorlex)
install(FILES ${PROJECT_SOURCE_DIR}/docs/index.html ${PROJECT_SOURCE_DIR}/docs/screenshot.png DESTINATION ${guide})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/icons/ DESTINATION ${guide}/icons FILES_MATCHING PATTERN "*.svg")

# The Debian package, under /usr whatever prefix was configured: the program
# finds its guide relative to itself.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorlex)
set(CPACK_PACKAGE_VENDOR Tallowmere)
set(CPACK_PACKAGE_CONTACT "Quorlex maintainers <maintainers@tallowmere.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for DICT dictionary servers")
set(CPACK_PACKAGE_DESCRIPTION "Quorlex keeps a list of DICT (RFC 2229) servers, sends every word you search to all of them and shows the definitions with their cross-references as links.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Loaded at run time, so shlibdeps cannot see them: the SVG icon plugin and
# the opener of the guide in the browser.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "dictd")
include(CPack)
