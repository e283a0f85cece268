# Install rules and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS ostrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/io.github.ostrel.ostrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/io.github.ostrel.ostrel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES docs/ostrel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md docs/scenarios.md docs/architecture.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)

# Icons in the hicolor theme: the scalable drawing and its renderings.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons/ostrel.svg)
  install(FILES resources/icons/ostrel.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
foreach(size 32 64 128 256)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons/ostrel-${size}.png)
    install(FILES resources/icons/ostrel-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ostrel.png)
  endif()
endforeach()

# The sample picture that `ostrel simulate` and the first run use.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/resources/sample.png)
  install(FILES resources/sample.png DESTINATION ${CMAKE_INSTALL_DATADIR}/ostrel)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ostrel developers <ostrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Controller for a home-built two-axis laser engraver")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrel drives a two-axis laser engraver on the PC parallel port: homing, jogging, laser power modes, picture engraving and frame cutting, with a built-in simulated engraver for previews.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Load decodes JPEGs with libjpeg-turbo itself (shlibdeps finds it too; said here all the same).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjpeg62-turbo")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
