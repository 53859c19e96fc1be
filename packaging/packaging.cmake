# Installs Pelldrake like a desktop program (executables, menu entry, icon,
# AppStream metainfo, man pages, licence) and describes its Debian package:
#   cmake --install build --prefix /usr/local
#   cpack --config build/CPackConfig.cmake -G DEB
include(GNUInstallDirs)

# Install (and package) what the build made, without first building every test
# and benchmark: build, then install.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(PELLDRAKE_APP_ID example.quenfold.pelldrake)
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS pelldrake pelldrake-edi pelldrake-db RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${_pkg}/${PELLDRAKE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/${PELLDRAKE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon theme looks the icon up by the menu entry's name.
install(FILES ${_pkg}/icons/pelldrake.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${PELLDRAKE_APP_ID}.svg)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${_pkg}/icons/pelldrake-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${PELLDRAKE_APP_ID}.png)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/docs/man/pelldrake.1 ${PROJECT_SOURCE_DIR}/docs/man/pelldrake-edi.1
              ${PROJECT_SOURCE_DIR}/docs/man/pelldrake-db.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The JSON Schema of pelldrake-edi's to-json form, for programs that read or write it.
install(FILES ${PROJECT_SOURCE_DIR}/schema/x12.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/pelldrake/schema)

# share/doc/<package>/copyright is where Debian (and its users) look for it.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelldrake
        RENAME copyright)

# The Debian package. dpkg-shlibdeps finds the Qt libraries the executables
# link; the SQL drivers are plugins it cannot see, so they are named here.
set(CPACK_PACKAGE_NAME pelldrake)
set(CPACK_PACKAGE_VENDOR Quenfold)
set(CPACK_PACKAGE_CONTACT "Quenfold <pelldrake@quenfold.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Database table browser and maintenance tool for SQLite and PostgreSQL")
set(CPACK_PACKAGE_DESCRIPTION
  "Two panes, each connected to a database alias, browse, filter, edit, dump and load tables.\n\
Includes pelldrake-db, which lists, dumps, loads and exports tables from the command line,\n\
pelldrake-edi, a command-line tool that splits and checks X12 EDI interchanges\n\
and extracts EDI text from ACH files, and a Qt Designer plugin with the EDI widgets.")
set(CPACK_PACKAGE_HOMEPAGE_URL https://quenfold.example)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql")
# Wayland and the other platform plugins beyond X11 live in qt6-qpa-plugins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
include(CPack)
