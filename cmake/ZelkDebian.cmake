# The Debian package of the programs (`./zelk package`): zelk-ae-client and
# zelk-ae-monitor with the desktop entry, the icon and the manual pages, that is the
# install component "programs". Its dependencies are read from the binaries by
# dpkg-shlibdeps (package dpkg-dev).
set(ZELK_PACKAGE_MAINTAINER "Zelk AE Client maintainers <maintainers@zelk.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelk-ae-client)
set(CPACK_PACKAGE_VENDOR Zelk)
set(CPACK_PACKAGE_CONTACT ${ZELK_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client and monitor for OPC Alarms and Events servers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "The Zelk AE Client connects to an OPC Alarms and Events server, shows its\n"
    "alarms and events in a sorted list with a detail panel, acknowledges\n"
    "conditions, defines event filters and reads the server's status.\n"
    "zelk-ae-monitor streams the same alarms and events to standard output as\n"
    "text or JSON lines, without a display. Both carry a simulated OPC AE\n"
    "server to connect to. zelk-ae-journal reads the alarm and event journal\n"
    "they keep in SQLite or on a PostgreSQL server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};programs;/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window system plugins at run time, so no library dependency names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# The desktop program's Statistics page draws with Qt Charts (dpkg-shlibdeps finds it too;
# named here so the dependency stays visible when the page's linking changes).
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6charts6")
if(TARGET zelk-ae-journal)
    # The journal's embedded database is a Qt SQL driver plugin, loaded the same way.
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6sql6-sqlite")
    # A plant-wide journal on a PostgreSQL server needs the PostgreSQL driver plugin.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libqt6sql6-psql)
endif()

include(CPack)
